// A rectangular block of 8-node hexahedra (3 translations per node, full 2x2x2 integration,
// isotropic steel), assembled into a full model in any consistent unit system. The tests and
// the benchmarks use it as a 3-D solid whose eigenvalues reach well above 1 MHz in mm, t, s.
#pragma once

#include "reduce_FullModel.h"

namespace sample {

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
};

// Nodes labelled 1 + i + (nx + 1) * (j + (ny + 1) * k) at (i, j, k) along x, y, z, from the
// origin; ldof 1-3 per node in node order. Steel: E 210 GPa, nu 0.3, 7850 kg/m^3.
reduce::FullModel SteelBlock(const BlockShape& shape, const UnitSystem& units);

// The labels of the nodes on the face x = 0.
std::vector<int> FaceAtXZero(const BlockShape& shape);

}  // namespace sample
