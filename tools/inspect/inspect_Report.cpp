// What uma-inspect reports of a model, gathered through the library, and its renderings.
#include "inspect_Report.h"

#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>

#include "pfm_ModelTypes.h"
#include "pfm_Support.h"
#include "uma_ArrayInt.h"
#include "uma_FlexibleBodyX.h"
#include "uma_Matrix.h"
#include "common_MatrixKey.h"
#include "common_Model.h"

namespace uma::inspect {

namespace {

// Describes a matrix as the library hands it out (read-only, no option); a stored matrix that
// is not of the dense kind exists but is not handed out.
MatrixEntry Describe(const common::MatrixKey& key, std::string storedAs, std::string what,
                     const uma_Matrix* matrix) {
  std::unique_ptr<const uma_Matrix> owned(matrix);
  MatrixEntry e;
  e.key = key.Text();
  e.storedAs = std::move(storedAs);
  e.what = std::move(what);
  e.dense = owned != nullptr;
  if (owned) {
    e.rows = owned->NumRows();
    e.columns = owned->NumColumns();
    e.rowKind = common::MapKindName(owned->TypeRows());
    e.columnKind = common::MapKindName(owned->TypeColumns());
  }
  return e;
}

}  // namespace

Report Gather(const std::string& model) {
  Report r;
  r.model = model;
  // A flexible body is a system opened for reading: one open gives both views.
  uma_FlexibleBodyX body(model.c_str());
  if (body.IsNull()) {
    r.failure = uma::common::OpenFailure();
    return r;
  }
  r.opened = true;
  r.type = body.Type();
  r.loads = body.NumLoads();
  r.staticModes = body.NumStaticModes();

  // The platform knows which types and names the model stores; what they look like is asked of
  // the library.
  const uma_System& system = body;
  pfm::ModelContents contents;
  pfm::ReadContents(model, contents);
  r.attributes = contents.attributes;
  for (const pfm::MeshElement& e : contents.mesh) ++r.meshElements[e.type];
  for (const pfm::StoredMatrix& m : contents.matrices) {
    switch (m.key) {
      case pfm::StoredMatrix::Key::Type:
        if (system.HasMatrix(m.type))
          r.matrices.push_back(Describe(common::MatrixKey::OfType(m.type), "type index",
                                        common::TypeMeaning(m.type), system.Matrix(m.type, 0)));
        break;
      case pfm::StoredMatrix::Key::UserMatrix:
        r.matrices.push_back(Describe(common::MatrixKey::OfName(m.name), "user matrix", "",
                                      system.Matrix(m.name.c_str(), 0)));
        break;
      case pfm::StoredMatrix::Key::Name:
        r.matrices.push_back(Describe(common::MatrixKey::OfName(m.name), "named matrix", "",
                                      system.Matrix(m.name.c_str(), 0)));
        break;
    }
  }

  FlexibleView& f = r.flexible;
  f.feNodes = uma::common::TakeLabels(body.FENodes());
  f.nodesInASet = uma::common::TakeLabels(body.NodesInASet());
  f.aSetNodes = uma::common::TakeLabels(body.ASetNodes());
  f.aSetDofs = uma::common::TakeLabels(body.ASetDofs());
  f.recoveryNodes = uma::common::TakeLabels(body.RecoverySetNodes());
  f.recoveryDofs = uma::common::TakeLabels(body.RecoverySetDofs());
  f.gfaaNodes = uma::common::TakeLabels(body.GFAASetNodes());
  f.gfaaDofs = uma::common::TakeLabels(body.GFAASetDofs());
  return r;
}

namespace {

const std::pair<const char*, std::optional<std::vector<int>> FlexibleView::*> kViews[] = {
    {"FE nodes", &FlexibleView::feNodes},
    {"nodes in A-set", &FlexibleView::nodesInASet},
    {"A-set nodes", &FlexibleView::aSetNodes},
    {"A-set dofs", &FlexibleView::aSetDofs},
    {"recovery nodes", &FlexibleView::recoveryNodes},
    {"recovery dofs", &FlexibleView::recoveryDofs},
    {"xGFAA nodes", &FlexibleView::gfaaNodes},
    {"xGFAA dofs", &FlexibleView::gfaaDofs},
};

const char* kJsonViews[] = {"feNodes",       "nodesInASet",  "aSetNodes", "aSetDofs",
                            "recoveryNodes", "recoveryDofs", "gfaaNodes", "gfaaDofs"};

// The attributes every model author is asked for, shown even when absent.
const char* kKnownAttributes[] = {pfm::attributes::kUnitLength, pfm::attributes::kUnitMass,
                                  pfm::attributes::kUnitTime,   pfm::attributes::kUnitForce,
                                  pfm::attributes::kProgram,    pfm::attributes::kDate,
                                  pfm::attributes::kSource};

}  // namespace

std::string AsText(const Report& r) {
  std::string out = "model         " + r.model + "\n";
  if (!r.opened) return out + "system        cannot be opened: " + r.failure + "\n";
  out += "system        open for reading, type " + std::to_string(r.type) + "\n";
  out += "loads         " + std::to_string(r.loads) + "\n";
  out += "static modes  " + std::to_string(r.staticModes) + "\n";
  out += "attributes\n";
  std::map<std::string, std::string> shown = r.attributes;
  for (const char* name : kKnownAttributes) shown.emplace(name, "");
  for (const auto& [name, value] : shown) {
    bool present = r.attributes.count(name) != 0;
    out += "  " + name + std::string(name.size() < 20 ? 20 - name.size() : 1, ' ') +
           (present ? value : "(absent)") + "\n";
  }
  out += "mesh         ";
  if (r.meshElements.empty()) out += " (none)";
  for (const auto& [type, count] : r.meshElements) out += " " + std::to_string(count) + " " + type;
  out += "\n";
  out += "matrices\n";
  if (r.matrices.empty()) out += "  (none)\n";
  for (const MatrixEntry& m : r.matrices) {
    char line[256];
    std::string key = m.key + " (" + (m.what.empty() ? m.storedAs : m.what) + ")";
    if (m.dense)
      std::snprintf(line, sizeof line, "  %-38s %6d x %-6d rows: %s, columns: %s\n", key.c_str(),
                    m.rows, m.columns, m.rowKind.c_str(), m.columnKind.c_str());
    else
      std::snprintf(line, sizeof line, "  %-38s not a dense matrix\n", key.c_str());
    out += line;
  }
  out += "flexible body\n";
  for (const auto& [name, member] : kViews) {
    const auto& labels = r.flexible.*member;
    out += "  " + std::string(name) + std::string(16 - std::string(name).size(), ' ');
    if (!labels) {
      out += "(none)\n";
      continue;
    }
    for (int v : *labels) out += " " + std::to_string(v);
    out += "\n";
  }
  return out;
}

std::string AsJson(const Report& r) {
  using Json = nlohmann::ordered_json;
  Json j;
  j["model"] = r.model;
  j["opened"] = r.opened;
  if (!r.opened) {
    j["reason"] = r.failure;
  } else {
    j["type"] = r.type;
    j["loads"] = r.loads;
    j["staticModes"] = r.staticModes;
    j["attributes"] = r.attributes;  // absent attributes are absent keys
    j["meshElements"] = r.meshElements;
    Json matrices = Json::array();
    for (const MatrixEntry& m : r.matrices) {
      Json e = {{"key", m.key}, {"storedAs", m.storedAs}, {"meaning", m.what}, {"dense", m.dense}};
      if (m.dense) {
        e["rows"] = m.rows;
        e["columns"] = m.columns;
        e["rowKind"] = m.rowKind;
        e["columnKind"] = m.columnKind;
      }
      matrices.push_back(e);
    }
    j["matrices"] = matrices;
    Json views = Json::object();
    for (std::size_t i = 0; i < std::size(kViews); ++i) {
      const auto& labels = r.flexible.*(kViews[i].second);
      views[kJsonViews[i]] = labels ? Json(*labels) : Json(nullptr);
    }
    j["flexibleBody"] = views;
  }
  // Bytes that are not UTF-8 (a path may hold any) become U+FFFD rather than an exception.
  return j.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace uma::inspect
