// What a viewer file shows of a stored model, gathered through the library.
#include "inspect_VtuModel.h"

#include <vtkCellType.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <set>
#include <unordered_map>
#include <utility>

#include "pfm_ModelTypes.h"
#include "pfm_Support.h"
#include "uma_IncoreMatrix.h"
#include "common_Model.h"
#include "inspect_VtuCells.h"

namespace uma::inspect {

namespace {

constexpr double kTwoPi = 6.283185307179586476925286766559;

using PointOf = std::unordered_map<int, int>;

// The labels of a matrix's rows or columns of one kind, when they label each of them.
std::optional<std::vector<int>> LabelsOf(const uma_Matrix& m, bool rows,
                                         uma_Enum::uma_MapTypeEnum kind) {
  auto labels = uma::common::TakeLabels(rows ? m.MapRows(kind) : m.MapColumns(kind));
  if (labels && static_cast<int>(labels->size()) != (rows ? m.NumRows() : m.NumColumns()))
    return std::nullopt;
  return labels;
}

double ValueAt(const uma_Matrix& m, int row, int column) {
  double value = 0;
  uma_IncoreMatrix one(1, 1, &value);
  m.GetValues(row, row, column, column, one);
  return value;
}

std::string ReadNodes(const uma_System& system, const std::string& model, VtuModel& out,
                      PointOf& pointOf) {
  const int type = pfm::types::NodeCoordinates();
  std::unique_ptr<const uma_Matrix> all(system.Matrix(type, 0));
  if (!all) return model + ": the model stores no node coordinates (type 31037)";
  if (all->NumColumns() != 3)
    return model + ": the node coordinates have " + std::to_string(all->NumColumns()) +
           " columns, not 3";
  auto labels = LabelsOf(*all, true, uma_Enum::uma_MapNode);
  if (!labels) return model + ": the rows of the node coordinates are not labelled by nodes";
  const int points = all->NumRows();
  std::vector<double> columns(3 * static_cast<std::size_t>(points));
  if (points > 0) {
    uma_IncoreMatrix block(points, 3, columns.data());
    all->GetValues(0, points - 1, 0, 2, block);
  }
  // Internal nodes are those the library's filter drops.
  std::set<int> external;
  std::unique_ptr<const uma_Matrix> filtered(
      system.Matrix(type, uma_System::OptionFilterInternalNodes));
  if (filtered)
    if (auto kept = LabelsOf(*filtered, true, uma_Enum::uma_MapNode))
      external.insert(kept->begin(), kept->end());

  out.nodeLabels = *labels;
  out.coordinates.resize(columns.size());
  out.internal.resize(static_cast<std::size_t>(points));
  for (int p = 0; p < points; ++p) {
    const std::size_t i = static_cast<std::size_t>(p);
    if (!pointOf.emplace(out.nodeLabels[i], p).second)
      return model + ": node " + std::to_string(out.nodeLabels[i]) +
             " appears twice in the node coordinates";
    for (std::size_t axis = 0; axis < 3; ++axis)
      out.coordinates[3 * i + axis] = columns[i + axis * static_cast<std::size_t>(points)];
    out.internal[i] = external.count(out.nodeLabels[i]) ? 0 : 1;
  }
  return "";
}

void AddCell(VtuModel& out, int vtkType, const std::vector<long long>& points, int label,
             const std::string& type) {
  out.cellTypes.push_back(static_cast<unsigned char>(vtkType));
  out.connectivity.insert(out.connectivity.end(), points.begin(), points.end());
  out.offsets.push_back(static_cast<long long>(out.connectivity.size()));
  out.elementLabels.push_back(label);
  out.elementTypes.push_back(type);
}

std::string ReadMesh(const std::string& model, const pfm::ModelContents& contents,
                     const PointOf& pointOf, VtuModel& out) {
  out.hasMesh = !contents.mesh.empty();
  std::vector<bool> used(out.nodeLabels.size(), false);
  for (const pfm::MeshElement& e : contents.mesh) {
    const std::string element = "element " + std::to_string(e.label);
    auto cell = CellOf(e.type, e.nodes.size());
    if (!cell) {
      const int expected = NodesOf(e.type);
      return model + ": " + element +
             (expected ? " of type " + e.type + " has " + std::to_string(e.nodes.size()) +
                             " nodes, not " + std::to_string(expected)
                       : " is of type \"" + e.type + "\", which has no cell in a VTU file");
    }
    std::vector<long long> points;
    for (int index : cell->order) {
      const int node = e.nodes[static_cast<std::size_t>(index)];
      auto p = pointOf.find(node);
      if (p == pointOf.end()) {
        if (out.elementsLeftOut++ == 0)
          out.leftOutReason = element + " names node " + std::to_string(node) +
                              ", which has no coordinates in the model";
        points.clear();
        break;
      }
      points.push_back(p->second);
    }
    if (points.empty()) continue;
    for (long long p : points) used[static_cast<std::size_t>(p)] = true;
    AddCell(out, cell->vtkType, points, e.label, e.type);
    ++out.elementsByType[e.type];
  }
  for (std::size_t p = 0; p < used.size(); ++p)
    if (!used[p] && !(out.hasMesh && out.internal[p]))
      AddCell(out, VTK_VERTEX, {static_cast<long long>(p)}, 0, "");
  return "";
}

// "Hz" for seconds, "cycles/UNIT" for another unit of time, "" when the model does not say.
std::string FrequencyUnit(const std::map<std::string, std::string>& attributes) {
  auto time = attributes.find(pfm::attributes::kUnitTime);
  if (time == attributes.end() || time->second.empty()) return "";
  return time->second == "s" ? "Hz" : "cycles/" + time->second;
}

// Each dynamic mode's frequency from its diagonal entries of the reduced stiffness and mass
// (the Rayleigh quotient: sqrt(k/m) / 2 pi, negative for a negative k); NaN where the reduced
// matrices do not lie over the mode matrix's columns.
void ReadFrequencies(const uma_System& system, VtuModel& out) {
  out.frequencies.assign(static_cast<std::size_t>(out.dynamicModes),
                         std::numeric_limits<double>::quiet_NaN());
  const int n = out.modes->NumColumns();
  auto over = [n](const uma_Matrix* m) { return m && m->NumRows() == n && m->NumColumns() == n; };
  std::unique_ptr<const uma_Matrix> k(system.Matrix(pfm::types::ReducedStiffness(), 0));
  std::unique_ptr<const uma_Matrix> m(system.Matrix(pfm::types::ReducedMass(), 0));
  if (!over(k.get())) return;
  for (int q = 0; q < out.dynamicModes; ++q) {
    const int c = out.staticModes + q;
    const double mass = over(m.get()) ? ValueAt(*m, c, c) : 1.0;
    const double lambda = ValueAt(*k, c, c) / mass;
    if (mass > 0 && std::isfinite(lambda))
      out.frequencies[static_cast<std::size_t>(q)] =
          std::copysign(std::sqrt(std::fabs(lambda)), lambda) / kTwoPi;
  }
}

// A number padded to the width of the largest, so that names sort in order.
std::string Numbered(int k, int largest) {
  const int width = static_cast<int>(std::to_string(largest).size());
  char text[32];
  std::snprintf(text, sizeof text, "%0*d", width, k);
  return text;
}

void NameModes(const std::optional<std::vector<int>>& nodes,
               const std::optional<std::vector<int>>& dofs, VtuModel& out) {
  for (int s = 0; s < out.staticModes; ++s) {
    std::string name = "static " + Numbered(s + 1, out.staticModes);
    if (nodes && dofs)
      name += " (node " + std::to_string((*nodes)[static_cast<std::size_t>(s)]) + " dof " +
              std::to_string((*dofs)[static_cast<std::size_t>(s)]) + ")";
    out.modeNames.push_back(name);
  }
  for (int q = 0; q < out.dynamicModes; ++q) {
    std::string name = "dynamic " + Numbered(q + 1, out.dynamicModes);
    const double f = out.frequencies[static_cast<std::size_t>(q)];
    if (!std::isnan(f)) {
      char text[40];
      std::snprintf(text, sizeof text, " (%.4g%s%s)", f, out.frequencyUnit.empty() ? "" : " ",
                    out.frequencyUnit.c_str());
      name += text;
    }
    out.modeNames.push_back(name);
  }
}

std::string ReadModes(const uma_System& system, const std::string& model, const PointOf& pointOf,
                      VtuModel& out) {
  out.modes.reset(system.Matrix(pfm::types::ModeMatrix(), 0));
  if (!out.modes) return "";
  const uma_Matrix& modes = *out.modes;
  auto nodes = LabelsOf(modes, true, uma_Enum::uma_MapNode);
  auto dofs = LabelsOf(modes, true, uma_Enum::uma_MapDof);
  if (!nodes || !dofs) return model + ": the rows of the mode matrix are not labelled by dofs";
  std::set<std::pair<int, int>> seen;
  for (std::size_t r = 0; r < nodes->size(); ++r) {
    const int node = (*nodes)[r], ldof = (*dofs)[r];
    auto p = pointOf.find(node);
    if (p == pointOf.end())
      return model + ": node " + std::to_string(node) +
             " has degrees of freedom in the mode matrix but no coordinates";
    if (!seen.emplace(node, ldof).second)
      return model + ": node " + std::to_string(node) + " dof " + std::to_string(ldof) +
             " appears twice in the rows of the mode matrix";
    RowTarget target;
    if (ldof >= 1 && ldof <= 6) target = {p->second, ldof - 1};
    out.rotations = out.rotations || (ldof >= 4 && ldof <= 6);
    out.rows.push_back(target);
  }
  // Static modes first, then dynamic ones; more static modes than columns leave none dynamic.
  const int columns = modes.NumColumns();
  out.staticModes = std::min(std::max(system.NumStaticModes(), 0), columns);
  out.dynamicModes = columns - out.staticModes;
  out.frequencyUnit = FrequencyUnit(out.attributes);
  ReadFrequencies(system, out);
  NameModes(LabelsOf(modes, false, uma_Enum::uma_MapNode),
            LabelsOf(modes, false, uma_Enum::uma_MapDof), out);
  return "";
}

}  // namespace

std::string ReadVtuModel(const uma_System& system, const std::string& model, VtuModel& out) {
  // The mesh and the attributes are not the library's: the support API lists them.
  pfm::ModelContents contents;
  if (!pfm::ReadContents(model, contents)) return uma::common::OpenFailure();
  out.attributes = contents.attributes;
  PointOf pointOf;
  std::string failure = ReadNodes(system, model, out, pointOf);
  if (failure.empty()) failure = ReadMesh(model, contents, pointOf, out);
  if (failure.empty()) failure = ReadModes(system, model, pointOf, out);
  return failure;
}

}  // namespace uma::inspect
