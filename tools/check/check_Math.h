// The linear algebra uma-check needs on reduced matrices: symmetry, the rigid-body motions of
// the A-set and what the matrices do with them, and the couplings a fixed-interface basis has
// not. Matrices are square, column by column; every measure is scale-free.
#pragma once

#include <array>
#include <vector>

namespace uma::check {

// Largest |a(i,j) - a(j,i)| over the largest |a(i,j)|; 0 for a zero matrix.
double RelativeAsymmetry(const std::vector<double>& a, int n);

// Where a row of a reduced matrix moves when the body moves rigidly: the position of its node
// and its local degree of freedom (1-3 translations, 4-6 rotations; any other moves with none).
struct RigidPlace {
  double x = 0, y = 0, z = 0;
  int ldof = 0;
};

// Mass, centre of gravity and inertia tensor about the centre of gravity.
struct MassProperties {
  double mass = 0;
  std::array<double, 3> centre{};
  std::array<std::array<double, 3>, 3> inertia{};
};

// R (n x 6, column by column): the rows' motions under the six rigid motions about the origin
// (translations along x, y, z, rotations about x, y, z).
std::vector<double> RigidMotions(const std::vector<RigidPlace>& places, int n);

// ||D K r|| / (||D K D|| ||D^-1 r||) for each column r of `motions`, D the scales that
// equilibrate the pencil (K, M): round-off when K leaves the motion free, whatever the units.
std::array<double, 6> RigidMotionResiduals(const std::vector<double>& k,
                                           const std::vector<double>& m, int n,
                                           const std::vector<double>& motions);

// The largest |k(i,j)| / sqrt(k(i,i) k(j,j)) over rows `rows` and columns `columns` (first,
// count), skipping the diagonal: the cosine, in the energy of k, between two coordinates.
double LargestCoupling(const std::vector<double>& k, int n, int firstRow, int rows, int firstColumn,
                       int columns);

// The 6 x 6 rigid-body mass R^T M R about the origin (translations, then rotations), where R
// moves the rows as `places` says.
std::array<double, 36> RigidBodyMass(const std::vector<double>& m, int n,
                                     const std::vector<RigidPlace>& places);

// Mass properties from a 6 x 6 rigid-body mass about the origin; the centre and the inertia stay
// 0 when the mass is not positive.
MassProperties PropertiesOf(const std::array<double, 36>& rigid);

}  // namespace uma::check
