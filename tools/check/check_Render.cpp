// The two renderings of uma-check's report: text for people, JSON for scripts.
#include <algorithm>
#include <nlohmann/json.hpp>

#include "common_Model.h"
#include "pfm_ModelTypes.h"
#include "check_Report.h"

namespace uma::check {

namespace {

using Json = nlohmann::ordered_json;

std::string Dump(const Json& j) {
  return j.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

Json PhysicsJson(const Physics& p) {
  Json j = Json::object();
  auto put = [&](const char* name, const auto& value) {
    if (value) j[name] = *value;
  };
  put("stiffnessAsymmetry", p.stiffnessAsymmetry);
  put("rigidBodyModes", p.rigidBodyModes);
  put("infiniteFrequencies", p.infiniteFrequencies);
  put("indeterminate", p.indeterminate);
  put("massAsymmetry", p.massAsymmetry);
  put("smallestMassEigenvalue", p.smallestMassEigenvalue);
  put("modeNormalisation", p.modeNormalisation);
  put("dynamicCoupling", p.dynamicCoupling);
  put("staticDynamicCoupling", p.staticDynamicCoupling);
  put("rigidMotionResidual", p.rigidMotionResidual);
  put("lumpedMassTotal", p.lumpedMassTotal);
  put("reducedLoadError", p.reducedLoadError);
  put("frequencies", p.frequencies);
  if (p.rigidBody) {
    const MassProperties& b = *p.rigidBody;
    j["rigidBody"] = {{"mass", b.mass}, {"centre", b.centre}, {"inertia", b.inertia}};
  }
  return j;
}

}  // namespace

std::string AsJson(const Report& r) {
  Json j;
  j["model"] = r.model;
  j["opened"] = r.opened;
  if (!r.opened) j["reason"] = r.failure;
  j["attributes"] = r.attributes;
  if (r.opened) {
    j["system"] = {{"type", r.type},
                   {"loads", r.loads},
                   {"staticModes", r.staticModes},
                   {"dynamicModes", r.dynamicModes}};
    Json matrices = Json::array();
    for (const MatrixRead& m : r.matrices)
      matrices.push_back({{"key", m.key},
                          {"meaning", m.what},
                          {"dense", m.dense},
                          {"rows", m.rows},
                          {"columns", m.columns},
                          {"valuesRead", m.valuesRead}});
    j["matrices"] = matrices;
    j["setsRead"] = r.setsRead;
  }
  Json errors = Json::array(), warnings = Json::array();
  for (const Finding& f : r.findings)
    (f.error ? errors : warnings).push_back({{"check", f.check}, {"message", f.message}});
  j["errors"] = errors;
  j["warnings"] = warnings;
  if (r.opened) j["physics"] = PhysicsJson(r.physics);
  return Dump(j);
}

std::string AsText(const Report& r) {
  std::string out = "model         " + r.model + "\n";
  if (!r.opened) return out + "error         open: " + r.failure + "\n";
  auto attribute = [&](const char* name) {
    auto it = r.attributes.find(name);
    return it == r.attributes.end() ? std::string("(not given)") : it->second;
  };
  namespace a = pfm::attributes;
  out += "units         length " + attribute(a::kUnitLength) + ", mass " + attribute(a::kUnitMass) +
         ", time " + attribute(a::kUnitTime) + ", force " + attribute(a::kUnitForce) + "\n";
  out += "system        type " + std::to_string(r.type) + ", " + std::to_string(r.loads) +
         " loads, " + std::to_string(r.staticModes) + " static modes, " +
         std::to_string(r.dynamicModes) + " dynamic modes\n";
  long long values = 0;
  for (const MatrixRead& m : r.matrices) values += std::max(0LL, m.valuesRead);
  out += "read          " + std::to_string(static_cast<long long>(r.matrices.size())) +
         " matrices, " + std::to_string(values) + " values, " + std::to_string(r.setsRead) +
         " labellings\n";
  for (const Finding& f : r.findings)
    out += std::string(f.error ? "error  " : "warning") + "       " + f.check + ": " + f.message +
           "\n";
  const Physics& p = r.physics;
  if (p.stiffnessAsymmetry)
    out += "stiffness     largest relative asymmetry " + common::FormatNumber(*p.stiffnessAsymmetry) + "\n";
  if (p.massAsymmetry)
    out += "mass          largest relative asymmetry " + common::FormatNumber(*p.massAsymmetry) +
           (p.smallestMassEigenvalue
                ? ", smallest eigenvalue over largest " + common::FormatNumber(*p.smallestMassEigenvalue)
                : "") +
           "\n";
  if (p.modeNormalisation || p.dynamicCoupling) {
    out += "modes        ";
    if (p.modeNormalisation)
      out += " Phi^T M Phi differs from identity by " + common::FormatNumber(*p.modeNormalisation) + ";";
    if (p.dynamicCoupling)
      out += " largest coupling in K: dynamic " + common::FormatNumber(*p.dynamicCoupling);
    if (p.staticDynamicCoupling)
      out += ", static-dynamic " + common::FormatNumber(*p.staticDynamicCoupling);
    out += "\n";
  }
  if (p.rigidBodyModes)
    out += "spectrum      " + std::to_string(*p.rigidBodyModes) + " rigid-body modes, " +
           std::to_string(p.infiniteFrequencies.value_or(0)) +
           " massless coordinates (infinite frequencies)" +
           (p.indeterminate.value_or(0) > 0
                ? ", " + std::to_string(*p.indeterminate) +
                      " directions of neither stiffness nor mass (no frequency)"
                : "") +
           "\n";
  if (p.frequencies) {
    out += "frequencies   (cycles per " + attribute(a::kUnitTime) + ")";
    for (double f : *p.frequencies) out += " " + common::FormatNumber(f);
    out += "\n";
  }
  if (p.rigidBody) {
    const MassProperties& b = *p.rigidBody;
    out += "rigid body    mass " + common::FormatNumber(b.mass) + ", centre of gravity (" +
           common::FormatNumber(b.centre[0]) + ", " + common::FormatNumber(b.centre[1]) + ", " +
           common::FormatNumber(b.centre[2]) + ")\n";
    out += "              inertia about it";
    for (const auto& row : b.inertia)
      out += " [" + common::FormatNumber(row[0]) + " " + common::FormatNumber(row[1]) + " " + common::FormatNumber(row[2]) +
             "]";
    out += "\n";
    if (p.rigidMotionResidual)
      out += "              rigid motions of the A-set against K: " +
             common::FormatNumber(*p.rigidMotionResidual) + " (0 for a free body)\n";
    if (p.lumpedMassTotal)
      out += "              lumped mass total " + common::FormatNumber(*p.lumpedMassTotal) + "\n";
  }
  if (p.reducedLoadError)
    out +=
        "loads         reduced loads match Phi^T F to " + common::FormatNumber(*p.reducedLoadError) + "\n";
  out += "result        " + std::to_string(r.Errors()) + " errors, " +
         std::to_string(r.Warnings()) + " warnings\n";
  return out;
}

}  // namespace uma::check
