// The linear algebra uma-check needs on reduced matrices: symmetry, eigenvalues through LAPACK
// and the rigid-body mass properties. Matrices are square, column by column.
#pragma once

#include <array>
#include <vector>

namespace check {

// Largest |a(i,j) - a(j,i)| over the largest |a(i,j)|; 0 for a zero matrix.
double RelativeAsymmetry(const std::vector<double>& a, int n);

// Eigenvalues, ascending, of the symmetric part (a + a^T) / 2. False when LAPACK fails.
bool SymmetricEigenvalues(const std::vector<double>& a, int n, std::vector<double>& out);

// Eigenvalues, ascending, of K x = lambda M x on the symmetric parts of K and M. False when M
// is not positive definite or LAPACK fails otherwise.
bool GeneralizedEigenvalues(const std::vector<double>& k, const std::vector<double>& m, int n,
                            std::vector<double>& out);

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

// The 6 x 6 rigid-body mass R^T M R about the origin (translations, then rotations), where R
// moves the rows as `places` says.
std::array<double, 36> RigidBodyMass(const std::vector<double>& m, int n,
                                     const std::vector<RigidPlace>& places);

// Mass properties from a 6 x 6 rigid-body mass about the origin; the centre and the inertia stay
// 0 when the mass is not positive.
MassProperties PropertiesOf(const std::array<double, 36>& rigid);

}  // namespace check
