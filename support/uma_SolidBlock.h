// A rectangular block of 8-node hexahedra (3 translations per node, full 2x2x2 integration,
// isotropic steel), assembled into a full model in any consistent unit system. The tests and
// the benchmarks use it as a 3-D solid whose eigenvalues reach well above 1 MHz in mm, t, s.
#pragma once

#include "reduce_FullModel.h"

namespace uma::sample {

// A consistent unit system given by its base units in SI: metres, kilograms and seconds per
// unit. Force is mass x length / time^2 (mm, t, s gives N; mm, kg, ms gives kN).
struct UnitSystem {
  double length = 1.0, mass = 1.0, time = 1.0;
  static UnitSystem SI() { return {1.0, 1.0, 1.0}; }
  static UnitSystem MillimetreTonneSecond() { return {1e-3, 1e3, 1.0}; }
  static UnitSystem MillimetreKilogramMillisecond() { return {1e-3, 1.0, 1e-3}; }
  // Converts a value in SI to this system, given the powers of length, mass and time in its unit.
  double FromSI(double value, int lengthPower, int massPower, int timePower) const;
};

struct BlockShape {
  double lx = 0.012, ly = 0.004, lz = 0.004;  // metres
  int nx = 12, ny = 4, nz = 4;                // elements along each axis
  bool lumpedMass = false;                    // row-sum lumped instead of consistent mass
  bool quadratic = false;  // 20-node bricks (serendipity, 3 x 3 x 3 points) instead of 8-node
};

// 8-node bricks: nodes labelled 1 + i + (nx + 1) * (j + (ny + 1) * k) at (i, j, k) along x, y,
// z, from the origin. 20-node bricks: the corners and edge midpoints of the grid of half
// elements, labelled 1 + i + (2 nx + 1) * (j + (2 ny + 1) * k) at half-element (i, j, k).
// ldof 1-3 per node, nodes in label order. Steel: E 210 GPa, nu 0.3, 7850 kg/m^3.
uma::reduce::FullModel SteelBlock(const BlockShape& shape, const UnitSystem& units);

// The labels of the nodes on the face x = 0.
std::vector<int> FaceAtXZero(const BlockShape& shape);

// The element's node labels in the usual order (8: the corners, bottom face then top face,
// counter-clockwise; 20: then the midpoints of the bottom, top and vertical edges), element
// (i, j, k) of the grid; the order finite-element programs such as CalculiX read (C3D8, C3D20).
std::vector<std::vector<int>> BlockElements(const BlockShape& shape);

}  // namespace uma::sample
