// The scale-free linear algebra uma-check needs on reduced matrices.
#include "check_Math.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "common_Pencil.h"

namespace uma::check {

namespace {

std::size_t At(int r, int c, int n) {
  return static_cast<std::size_t>(r) + static_cast<std::size_t>(c) * static_cast<std::size_t>(n);
}

}  // namespace

double RelativeAsymmetry(const std::vector<double>& a, int n) {
  double largest = 0, asymmetry = 0;
  for (int c = 0; c < n; ++c)
    for (int r = 0; r < n; ++r) {
      largest = std::max(largest, std::fabs(a[At(r, c, n)]));
      asymmetry = std::max(asymmetry, std::fabs(a[At(r, c, n)] - a[At(c, r, n)]));
    }
  return largest > 0 ? asymmetry / largest : 0.0;
}

std::vector<double> RigidMotions(const std::vector<RigidPlace>& places, int n) {
  // u = t + theta x p for translations, theta for rotations.
  std::vector<double> r(At(0, 6, n), 0.0);
  for (int i = 0; i < n && static_cast<std::size_t>(i) < places.size(); ++i) {
    const RigidPlace& p = places[static_cast<std::size_t>(i)];
    std::array<double, 6> row{};
    switch (p.ldof) {
      case 1:
        row = {1, 0, 0, 0, p.z, -p.y};
        break;
      case 2:
        row = {0, 1, 0, -p.z, 0, p.x};
        break;
      case 3:
        row = {0, 0, 1, p.y, -p.x, 0};
        break;
      case 4:
      case 5:
      case 6:
        row[static_cast<std::size_t>(p.ldof - 1)] = 1;
        break;
      default:
        break;
    }
    for (int j = 0; j < 6; ++j) r[At(i, j, n)] = row[static_cast<std::size_t>(j)];
  }
  return r;
}

std::array<double, 6> RigidMotionResiduals(const std::vector<double>& k,
                                           const std::vector<double>& m, int n,
                                           const std::vector<double>& motions) {
  const std::vector<double> d = uma::common::EquilibrationScales(k, m, n);
  double norm = 0;  // ||D K D||_inf
  for (int r = 0; r < n; ++r) {
    double sum = 0;
    for (int c = 0; c < n; ++c)
      sum += std::fabs(d[static_cast<std::size_t>(r)] * k[At(r, c, n)] *
                       d[static_cast<std::size_t>(c)]);
    norm = std::max(norm, sum);
  }
  std::array<double, 6> out{};
  for (int j = 0; j < 6; ++j) {
    double residual = 0, size = 0;
    for (int r = 0; r < n; ++r) {
      const double dr = d[static_cast<std::size_t>(r)];
      if (dr == 0) continue;
      double kr = 0;
      for (int c = 0; c < n; ++c) kr += k[At(r, c, n)] * motions[At(c, j, n)];
      residual += dr * kr * dr * kr;
      size += motions[At(r, j, n)] / dr * motions[At(r, j, n)] / dr;
    }
    out[static_cast<std::size_t>(j)] =
        norm > 0 && size > 0 ? std::sqrt(residual) / (norm * std::sqrt(size)) : 0.0;
  }
  return out;
}

double LargestCoupling(const std::vector<double>& k, int n, int firstRow, int rows, int firstColumn,
                       int columns) {
  double worst = 0;
  for (int c = firstColumn; c < firstColumn + columns && c < n; ++c)
    for (int r = firstRow; r < firstRow + rows && r < n; ++r) {
      if (r == c) continue;
      const double scale = std::sqrt(std::fabs(k[At(r, r, n)] * k[At(c, c, n)]));
      const double v = std::fabs(k[At(r, c, n)]);
      const double coupling = scale > 0 ? v / scale : (v > 0 ? INFINITY : 0.0);
      if (!(coupling <= worst)) worst = coupling;
    }
  return worst;
}

std::array<double, 36> RigidBodyMass(const std::vector<double>& m, int n,
                                     const std::vector<RigidPlace>& places) {
  const std::vector<double> r = RigidMotions(places, n);
  std::array<double, 36> out{};
  for (int j = 0; j < 6; ++j) {
    std::vector<double> mr(static_cast<std::size_t>(n), 0.0);
    for (int c = 0; c < n; ++c) {
      const double v = r[At(c, j, n)];
      if (v == 0) continue;
      for (int row = 0; row < n; ++row) mr[static_cast<std::size_t>(row)] += m[At(row, c, n)] * v;
    }
    for (int i = 0; i < 6; ++i) {
      double sum = 0;
      for (int row = 0; row < n; ++row) sum += r[At(row, i, n)] * mr[static_cast<std::size_t>(row)];
      out[static_cast<std::size_t>(i + 6 * j)] = sum;
    }
  }
  return out;
}

MassProperties PropertiesOf(const std::array<double, 36>& rigid) {
  auto at = [&](int r, int c) { return rigid[static_cast<std::size_t>(r + 6 * c)]; };
  MassProperties p;
  p.mass = (at(0, 0) + at(1, 1) + at(2, 2)) / 3;
  if (!(p.mass > 0)) return p;
  // The translation-rotation block is -m S(c), S(c) the cross-product matrix of the centre.
  p.centre = {(at(1, 5) - at(2, 4)) / (2 * p.mass), (at(2, 3) - at(0, 5)) / (2 * p.mass),
              (at(0, 4) - at(1, 3)) / (2 * p.mass)};
  // Parallel axes: the inertia about the origin less m (|c|^2 I - c c^T).
  double c2 = 0;
  for (double v : p.centre) c2 += v * v;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      auto ui = static_cast<std::size_t>(i), uj = static_cast<std::size_t>(j);
      double shift = p.mass * ((i == j ? c2 : 0.0) - p.centre[ui] * p.centre[uj]);
      p.inertia[ui][uj] = at(3 + i, 3 + j) - shift;
    }
  return p;
}

}  // namespace uma::check
