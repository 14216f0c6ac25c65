// Frames of straight 3-D Euler-Bernoulli beams (6 degrees of freedom per node: three
// translations, three rotations), assembled into a full model with consistent mass. The sample
// flexible body, the tests and the benchmark build their structures with it.
#pragma once

#include <unordered_map>
#include <vector>

#include "reduce_FullModel.h"

namespace uma::reduce {

// A beam's material and cross-section. Local axes: x along the beam, y and z across it.
struct BeamSection {
  double youngs = 0.0;   // E
  double shear = 0.0;    // G
  double density = 0.0;  // rho
  double area = 0.0;     // A
  double iy = 0.0;       // second moment about local y (bending in the x-z plane)
  double iz = 0.0;       // second moment about local z (bending in the x-y plane)
  double torsion = 0.0;  // J, the torsion constant

  // Steel (E 210 GPa, nu 0.3, 7850 kg/m^3), a solid rectangle `width` along local y by
  // `height` along local z.
  static BeamSection SteelRectangle(double width, double height);
};

class Frame {
 public:
  // Answers the node's index; a label given twice throws std::invalid_argument.
  int AddNode(int label, double x, double y, double z);
  // A beam between two nodes (by label); its local z axis lies in the plane of the beam and
  // the global Z axis (global Y for a beam along Z).
  void AddBeam(int labelA, int labelB, const BeamSection& section);

  // The full model: 6 dofs per node in node order (ldof 1..6), no loads. With `lumpedMass`,
  // each beam's mass goes half to each end node's translations and the rotations have none (a
  // semi-definite mass), as FE programs lump it.
  FullModel Assemble(bool lumpedMass = false) const;

 private:
  struct Beam {
    int a, b;
    BeamSection section;
  };
  int IndexOf(int label) const;
  std::vector<NodeRow> m_nodes;
  std::unordered_map<int, int> m_index;  // label -> index
  std::vector<Beam> m_beams;
};

// A straight beam along global x from 0 to `length`, of `elements` elements, node labels
// firstLabel, firstLabel + 1, ...
Frame StraightBeam(double length, int elements, const BeamSection& section, int firstLabel);

// A flat grid of nx by ny nodes `spacing` apart in the x-y plane, beams between neighbours;
// labels 1 + i + nx * j.
Frame BeamGrid(int nx, int ny, double spacing, const BeamSection& section);

}  // namespace uma::reduce
