// A model written for a viewer: VTK's XML unstructured grid (.vtu), which ParaView and every
// VTK program read. Points are the nodes (internal ones included and flagged), cells the stored
// mesh's elements (or vertices where there is no mesh), and each column of the mode matrix is a
// displacement field on the points (and a rotation field where nodes carry rotations), named by
// its kind, number and, for a dynamic mode, its frequency. Values are written as stored, bit
// for bit.
//
// Point data: "node label" (int), "internal node" (1 or 0), then per mode column, static modes
// first, "static 01 (node 9001 dof 1)" or "dynamic 01 (52.31 Hz)" (3 components: the
// translations, local dofs 1-3; 0 where a node has none) and, when some node carries rotations,
// the same name followed by " rotation" (local dofs 4-6). Local dofs 7-9 (generalised
// coordinates) are not displacements and are left out. The first dynamic mode is the active
// vector field. Cell data (with a mesh): "element label" and "element type" (0 and "" for the
// vertex of a node no element uses). Field data: "mode names" (in column order), "frequencies"
// (one per dynamic mode, NaN where the model cannot tell), "frequency unit", and each of the
// model's attributes (units, provenance) under its own name.
#pragma once

#include <map>
#include <string>

namespace uma::inspect {

struct VtuSummary {
  int points = 0;
  int internalPoints = 0;
  std::map<std::string, int> elementsByType;
  int vertices = 0;           // cells that are a node, not an element
  int elementsLeftOut = 0;    // elements naming a node without coordinates: not drawn
  std::string leftOutReason;  // the first of them
  int staticModes = 0;
  int dynamicModes = 0;
  bool rotations = false;
};

// Opens `model` for reading and writes the file `path`, reading the mode matrix one column at a
// time. The file appears whole or not at all: it is written beside `path` under a temporary
// name and renamed over it when complete. Answers "" when it was written, or why not (the model
// cannot be opened or shown, a value cannot be read, the file cannot be written, `path` is the
// model itself), with `path` as it was. The library must be initialised.
std::string WriteVtu(const std::string& model, const std::string& path, VtuSummary& summary);

// What was written, for people: "wrote PATH: 1205 points (12 internal), 200 C3D20, 1 vertex;
// 6 static and 20 dynamic modes, with rotations".
std::string AsText(const VtuSummary& summary, const std::string& path);

}  // namespace uma::inspect
