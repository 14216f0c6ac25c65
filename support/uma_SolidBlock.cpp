#include "uma_SolidBlock.h"

#include <Eigen/Dense>
#include <cmath>

namespace sample {

namespace {

using Matrix24 = Eigen::Matrix<double, 24, 24>;

// Natural coordinates of the eight corners, in the order the element lists its nodes.
constexpr double kCorner[8][3] = {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1},
                                  {-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1}};

// Stiffness and consistent mass of a brick of sides a, b, c (an affine map: constant Jacobian).
void BrickMatrices(double a, double b, double c, double youngs, double poisson, double density,
                   Matrix24& k, Matrix24& m) {
  Eigen::Matrix<double, 6, 6> d = Eigen::Matrix<double, 6, 6>::Zero();
  const double f = youngs / ((1 + poisson) * (1 - 2 * poisson));
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) d(i, j) = f * (i == j ? 1 - poisson : poisson);
  for (int i = 3; i < 6; ++i) d(i, i) = f * (1 - 2 * poisson) / 2;
  k.setZero();
  m.setZero();
  const double g = 1 / std::sqrt(3.0), detJ = a * b * c / 8;
  const double half[3] = {a / 2, b / 2, c / 2};
  for (int p = 0; p < 8; ++p) {
    const double xi[3] = {kCorner[p][0] * g, kCorner[p][1] * g, kCorner[p][2] * g};
    Eigen::Matrix<double, 6, 24> bm = Eigen::Matrix<double, 6, 24>::Zero();
    Eigen::Matrix<double, 3, 24> nm = Eigen::Matrix<double, 3, 24>::Zero();
    for (int n = 0; n < 8; ++n) {
      double shape = 1.0 / 8, grad[3];
      for (int i = 0; i < 3; ++i) shape *= 1 + kCorner[n][i] * xi[i];
      for (int i = 0; i < 3; ++i) {
        double dn = kCorner[n][i] / 8;
        for (int j = 0; j < 3; ++j)
          if (j != i) dn *= 1 + kCorner[n][j] * xi[j];
        grad[i] = dn / half[i];
      }
      for (int i = 0; i < 3; ++i) {
        bm(i, 3 * n + i) = grad[i];
        nm(i, 3 * n + i) = shape;
      }
      bm(3, 3 * n) = grad[1];
      bm(3, 3 * n + 1) = grad[0];
      bm(4, 3 * n + 1) = grad[2];
      bm(4, 3 * n + 2) = grad[1];
      bm(5, 3 * n) = grad[2];
      bm(5, 3 * n + 2) = grad[0];
    }
    k += bm.transpose() * d * bm * detJ;
    m += nm.transpose() * nm * (density * detJ);
  }
}

}  // namespace

double UnitSystem::FromSI(double value, int lengthPower, int massPower, int timePower) const {
  return value /
         (std::pow(length, lengthPower) * std::pow(mass, massPower) * std::pow(time, timePower));
}

reduce::FullModel SteelBlock(const BlockShape& s, const UnitSystem& u) {
  const double youngs = u.FromSI(210e9, -1, 1, -2), density = u.FromSI(7850, -3, 1, 0);
  const double a = u.FromSI(s.lx / s.nx, 1, 0, 0), b = u.FromSI(s.ly / s.ny, 1, 0, 0),
               c = u.FromSI(s.lz / s.nz, 1, 0, 0);
  Matrix24 ke, me;
  BrickMatrices(a, b, c, youngs, 0.3, density, ke, me);
  if (s.lumpedMass) {
    Eigen::Matrix<double, 24, 1> rows = me.rowwise().sum();
    me = rows.asDiagonal();
  }

  reduce::FullModel model;
  auto label = [&](int i, int j, int k) { return 1 + i + (s.nx + 1) * (j + (s.ny + 1) * k); };
  for (int k = 0; k <= s.nz; ++k)
    for (int j = 0; j <= s.ny; ++j)
      for (int i = 0; i <= s.nx; ++i) {
        reduce::NodeRow node;
        node.label = label(i, j, k);
        node.x = i * a;
        node.y = j * b;
        node.z = k * c;
        model.nodes.push_back(node);
        for (int l = 1; l <= 3; ++l) model.dofs.push_back({node.label, l, 0});
      }
  std::vector<Eigen::Triplet<double, int>> kt, mt;
  for (int k = 0; k < s.nz; ++k)
    for (int j = 0; j < s.ny; ++j)
      for (int i = 0; i < s.nx; ++i) {
        int at[24];
        for (int n = 0; n < 8; ++n) {
          const int node =
              label(i + (kCorner[n][0] > 0), j + (kCorner[n][1] > 0), k + (kCorner[n][2] > 0)) - 1;
          for (int l = 0; l < 3; ++l) at[3 * n + l] = 3 * node + l;
        }
        for (int q = 0; q < 24; ++q)
          for (int p = 0; p < 24; ++p) {
            kt.emplace_back(at[p], at[q], ke(p, q));
            if (me(p, q) != 0.0) mt.emplace_back(at[p], at[q], me(p, q));
          }
      }
  const int n = static_cast<int>(model.dofs.size());
  model.stiffness.resize(n, n);
  model.stiffness.setFromTriplets(kt.begin(), kt.end());
  model.mass.resize(n, n);
  model.mass.setFromTriplets(mt.begin(), mt.end());
  model.stiffness.makeCompressed();
  model.mass.makeCompressed();
  model.loads.resize(n, 0);
  return model;
}

std::vector<int> FaceAtXZero(const BlockShape& s) {
  std::vector<int> out;
  for (int k = 0; k <= s.nz; ++k)
    for (int j = 0; j <= s.ny; ++j) out.push_back(1 + (s.nx + 1) * (j + (s.ny + 1) * k));
  return out;
}

}  // namespace sample
