// A rectangular block of 8-node hexahedra assembled as a full model for reductions.
#include "uma_SolidBlock.h"

#include <Eigen/Dense>
#include <array>
#include <cmath>
#include <map>

namespace uma::sample {

namespace {

using ElementMatrix = Eigen::MatrixXd;

// Natural coordinates of the nodes of a brick, in the usual order: the eight corners (bottom
// face, then top face, counter-clockwise), then for 20 nodes the midpoints of the bottom, top
// and vertical edges.
constexpr int kNatural[20][3] = {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1}, {-1, -1, 1},
                                 {1, -1, 1},   {1, 1, 1},   {-1, 1, 1}, {0, -1, -1}, {1, 0, -1},
                                 {0, 1, -1},   {-1, 0, -1}, {0, -1, 1}, {1, 0, 1},   {0, 1, 1},
                                 {-1, 0, 1},   {-1, -1, 0}, {1, -1, 0}, {1, 1, 0},   {-1, 1, 0}};

// Shape function of node `a` of an 8- or 20-node brick at (xi) and its natural gradient.
double Shape(int nodes, int a, const double xi[3], double gradient[3]) {
  const int* p = kNatural[a];
  if (nodes == 8) {
    double n = 1.0 / 8;
    for (int i = 0; i < 3; ++i) n *= 1 + p[i] * xi[i];
    for (int i = 0; i < 3; ++i) {
      gradient[i] = p[i] / 8.0;
      for (int j = 0; j < 3; ++j)
        if (j != i) gradient[i] *= 1 + p[j] * xi[j];
    }
    return n;
  }
  double f[3];
  for (int i = 0; i < 3; ++i) f[i] = 1 + p[i] * xi[i];
  for (int mid = 0; mid < 3; ++mid)
    if (p[mid] == 0) {  // an edge midpoint: (1 - xi^2) along its edge, linear across
      const int u = (mid + 1) % 3, v = (mid + 2) % 3;
      const double along = 1 - xi[mid] * xi[mid];
      gradient[mid] = -2 * xi[mid] * f[u] * f[v] / 4;
      gradient[u] = along * p[u] * f[v] / 4;
      gradient[v] = along * f[u] * p[v] / 4;
      return along * f[u] * f[v] / 4;
    }
  const double s = p[0] * xi[0] + p[1] * xi[1] + p[2] * xi[2] - 2;
  for (int i = 0; i < 3; ++i) {
    const int u = (i + 1) % 3, v = (i + 2) % 3;
    gradient[i] = p[i] * f[u] * f[v] * (s + f[i]) / 8;
  }
  return f[0] * f[1] * f[2] * s / 8;
}

// Stiffness and consistent mass of a brick of sides a, b, c (an affine map: constant Jacobian),
// by Gauss points of `points` per direction.
void BrickMatrices(int nodes, double a, double b, double c, double youngs, double poisson,
                   double density, ElementMatrix& k, ElementMatrix& m) {
  Eigen::Matrix<double, 6, 6> d = Eigen::Matrix<double, 6, 6>::Zero();
  const double f = youngs / ((1 + poisson) * (1 - 2 * poisson));
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) d(i, j) = f * (i == j ? 1 - poisson : poisson);
  for (int i = 3; i < 6; ++i) d(i, i) = f * (1 - 2 * poisson) / 2;
  const int size = 3 * nodes;
  k = ElementMatrix::Zero(size, size);
  m = ElementMatrix::Zero(size, size);
  const std::vector<std::pair<double, double>> gauss =
      nodes == 8 ? std::vector<std::pair<double, double>>{{-1 / std::sqrt(3.0), 1},
                                                          {1 / std::sqrt(3.0), 1}}
                 : std::vector<std::pair<double, double>>{
                       {-std::sqrt(0.6), 5.0 / 9}, {0.0, 8.0 / 9}, {std::sqrt(0.6), 5.0 / 9}};
  const double detJ = a * b * c / 8, half[3] = {a / 2, b / 2, c / 2};
  for (const auto& [x, wx] : gauss)
    for (const auto& [y, wy] : gauss)
      for (const auto& [z, wz] : gauss) {
        const double xi[3] = {x, y, z}, weight = wx * wy * wz * detJ;
        Eigen::MatrixXd bm = Eigen::MatrixXd::Zero(6, size), nm = Eigen::MatrixXd::Zero(3, size);
        for (int n = 0; n < nodes; ++n) {
          double natural[3], grad[3];
          const double shape = Shape(nodes, n, xi, natural);
          for (int i = 0; i < 3; ++i) grad[i] = natural[i] / half[i];
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
        k.noalias() += bm.transpose() * d * bm * weight;
        m.noalias() += nm.transpose() * nm * (density * weight);
      }
}

// The grid the nodes sit on: element corners, or half elements for 20-node bricks.
struct Grid {
  int step, nx, ny, nz;  // points per element edge, points along each axis less one
  int Label(int i, int j, int k) const { return 1 + i + (nx + 1) * (j + (ny + 1) * k); }
  // A point is a node unless more than one of its indices is odd (face and body centres).
  bool IsNode(int i, int j, int k) const { return step == 1 || (i % 2) + (j % 2) + (k % 2) <= 1; }
};

Grid GridOf(const BlockShape& s) {
  const int step = s.quadratic ? 2 : 1;
  return {step, step * s.nx, step * s.ny, step * s.nz};
}

}  // namespace

double UnitSystem::FromSI(double value, int lengthPower, int massPower, int timePower) const {
  return value /
         (std::pow(length, lengthPower) * std::pow(mass, massPower) * std::pow(time, timePower));
}

std::vector<std::vector<int>> BlockElements(const BlockShape& s) {
  const Grid g = GridOf(s);
  const int nodes = s.quadratic ? 20 : 8;
  std::vector<std::vector<int>> out;
  for (int k = 0; k < s.nz; ++k)
    for (int j = 0; j < s.ny; ++j)
      for (int i = 0; i < s.nx; ++i) {
        std::vector<int> element;
        for (int n = 0; n < nodes; ++n) {
          // Natural -1, 0, 1 to grid offsets 0, step / 2, step.
          auto at = [&](int e, int p) { return g.step * e + (p + 1) * g.step / 2; };
          element.push_back(
              g.Label(at(i, kNatural[n][0]), at(j, kNatural[n][1]), at(k, kNatural[n][2])));
        }
        out.push_back(element);
      }
  return out;
}

uma::reduce::FullModel SteelBlock(const BlockShape& s, const UnitSystem& u) {
  const Grid g = GridOf(s);
  const int nodesPerElement = s.quadratic ? 20 : 8;
  const double youngs = u.FromSI(210e9, -1, 1, -2), density = u.FromSI(7850, -3, 1, 0);
  const double a = u.FromSI(s.lx / s.nx, 1, 0, 0), b = u.FromSI(s.ly / s.ny, 1, 0, 0),
               c = u.FromSI(s.lz / s.nz, 1, 0, 0);
  ElementMatrix ke, me;
  BrickMatrices(nodesPerElement, a, b, c, youngs, 0.3, density, ke, me);
  if (s.lumpedMass) {
    const Eigen::VectorXd rows = me.rowwise().sum();
    me = rows.asDiagonal();
  }

  uma::reduce::FullModel model;
  std::map<int, int> index;  // label -> node number from 0
  for (int k = 0; k <= g.nz; ++k)
    for (int j = 0; j <= g.ny; ++j)
      for (int i = 0; i <= g.nx; ++i) {
        if (!g.IsNode(i, j, k)) continue;
        uma::reduce::NodeRow node;
        node.label = g.Label(i, j, k);
        node.x = i * a / g.step;
        node.y = j * b / g.step;
        node.z = k * c / g.step;
        index[node.label] = static_cast<int>(model.nodes.size());
        model.nodes.push_back(node);
        for (int l = 1; l <= 3; ++l) model.dofs.push_back({node.label, l, 0});
      }
  std::vector<Eigen::Triplet<double, int>> kt, mt;
  const std::vector<std::vector<int>> elements = BlockElements(s);
  kt.reserve(elements.size() * static_cast<std::size_t>(ke.size()));
  for (const std::vector<int>& element : elements) {
    std::vector<int> at;
    for (int label : element)
      for (int l = 0; l < 3; ++l) at.push_back(3 * index.at(label) + l);
    for (int q = 0; q < ke.cols(); ++q)
      for (int p = 0; p < ke.rows(); ++p) {
        kt.emplace_back(at[static_cast<std::size_t>(p)], at[static_cast<std::size_t>(q)], ke(p, q));
        if (me(p, q) != 0.0)
          mt.emplace_back(at[static_cast<std::size_t>(p)], at[static_cast<std::size_t>(q)],
                          me(p, q));
      }
  }
  const int n = static_cast<int>(model.dofs.size());
  model.stiffness.resize(n, n);
  model.stiffness.setFromTriplets(kt.begin(), kt.end());
  kt = {};
  model.mass.resize(n, n);
  model.mass.setFromTriplets(mt.begin(), mt.end());
  model.stiffness.makeCompressed();
  model.mass.makeCompressed();
  model.loads.resize(n, 0);
  return model;
}

std::vector<int> FaceAtXZero(const BlockShape& s) {
  const Grid g = GridOf(s);
  std::vector<int> out;
  for (int k = 0; k <= g.nz; ++k)
    for (int j = 0; j <= g.ny; ++j)
      if (g.IsNode(0, j, k)) out.push_back(g.Label(0, j, k));
  return out;
}

}  // namespace uma::sample
