// What uma-inspect reports of a model, gathered through the library's public API, and its two
// renderings (text for people, JSON for scripts).
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace uma::inspect {

struct MatrixEntry {
  std::string key;       // as --matrix takes it: "31037", "LumpedMass", "name:123"
  std::string storedAs;  // "type index", "user matrix" or "named matrix"
  std::string what;      // a known meaning ("node coordinates"), or ""
  bool dense = false;
  int rows = 0;
  int columns = 0;
  std::string rowKind;  // dofs, modes, nodes, elements, internal
  std::string columnKind;
};

struct FlexibleView {
  std::optional<std::vector<int>> feNodes, nodesInASet, aSetNodes, aSetDofs, recoveryNodes,
      recoveryDofs, gfaaNodes, gfaaDofs;
};

struct Report {
  std::string model;
  bool opened = false;
  std::string failure;  // why the model could not be opened
  int type = 0;
  int loads = 0;
  int staticModes = 0;
  std::map<std::string, std::string> attributes;  // units and provenance; any may be absent
  std::map<std::string, int> meshElements;        // elements of the kept mesh by type (may be none)
  std::vector<MatrixEntry> matrices;
  FlexibleView flexible;
};

// Opens `model` for reading and gathers the report; the library must be initialised.
Report Gather(const std::string& model);

std::string AsText(const Report& report);
std::string AsJson(const Report& report);

}  // namespace uma::inspect
