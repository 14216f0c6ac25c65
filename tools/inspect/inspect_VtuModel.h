// What a viewer file shows of a stored model, gathered through the library and the support API:
// the nodes as points (labels, coordinates, internal or not), the stored mesh as cells, and
// what each row and column of the mode matrix is, with the dynamic modes' frequencies. Values of
// the mode matrix are not read here; ModeColumns reads them column by column as they are written.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "uma_Matrix.h"
#include "inspect_ModeColumnArray.h"
#include "uma_System.h"

namespace uma::inspect {

struct VtuModel {
  // Points: every node that has coordinates, in the order of the node-coordinate rows.
  std::vector<int> nodeLabels;
  std::vector<double> coordinates;      // x, y, z of each point
  std::vector<unsigned char> internal;  // 1 for an internal node

  // Cells: the mesh's elements, then a vertex for each point no element uses (each external
  // point when the model stores a mesh; every point when it stores none).
  bool hasMesh = false;
  std::vector<unsigned char> cellTypes;   // VTKCellType
  std::vector<long long> offsets{0};      // cell c's points are connectivity[offsets[c]..]
  std::vector<long long> connectivity;    // point indices in VTK's order
  std::vector<int> elementLabels;         // 0 for a vertex that is no element
  std::vector<std::string> elementTypes;  // as stored; "" for a vertex that is no element
  std::map<std::string, int> elementsByType;
  int elementsLeftOut = 0;    // elements that name a node the model has no coordinates for
  std::string leftOutReason;  // the first of them, for the warning

  // Modes: the mode matrix (owned by the system it came from), what its rows move, a name per
  // column (static modes first, then dynamic modes) and each dynamic mode's frequency.
  std::unique_ptr<const uma_Matrix> modes;
  std::vector<RowTarget> rows;
  std::vector<std::string> modeNames;
  int staticModes = 0, dynamicModes = 0;
  bool rotations = false;           // some row is a rotation (local dofs 4-6)
  std::vector<double> frequencies;  // per dynamic mode, cycles per unit of time (NaN: unknown)
  std::string frequencyUnit;        // "Hz" when time is in s, "cycles/ms", or "" when unknown

  std::map<std::string, std::string> attributes;  // units and provenance, as stored
};

// Gathers what the file shows of the open `system` of `model`. Answers "" or, having gathered
// nothing usable, why the model cannot be shown: no node coordinates, rows that are not
// labelled, a dof of a node without coordinates, a dof twice, an element type that has no cell
// or an element with the wrong number of nodes. QOBBasError passes through.
std::string ReadVtuModel(const uma_System& system, const std::string& model, VtuModel& out);

}  // namespace uma::inspect
