#include "uma_CheckMath.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

// LAPACK as OpenBLAS exports it (Fortran calling convention, hidden string lengths last).
extern "C" {
void dsyev_(const char* jobz, const char* uplo, const int* n, double* a, const int* lda, double* w,
            double* work, const int* lwork, int* info, std::size_t, std::size_t);
void dsygv_(const int* itype, const char* jobz, const char* uplo, const int* n, double* a,
            const int* lda, double* b, const int* ldb, double* w, double* work, const int* lwork,
            int* info, std::size_t, std::size_t);
}

namespace check {

namespace {

std::size_t At(int r, int c, int n) {
  return static_cast<std::size_t>(r) + static_cast<std::size_t>(c) * static_cast<std::size_t>(n);
}

std::vector<double> SymmetricPart(const std::vector<double>& a, int n) {
  std::vector<double> s(a.size());
  for (int c = 0; c < n; ++c)
    for (int r = 0; r < n; ++r) s[At(r, c, n)] = 0.5 * (a[At(r, c, n)] + a[At(c, r, n)]);
  return s;
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

bool SymmetricEigenvalues(const std::vector<double>& a, int n, std::vector<double>& out) {
  if (n <= 0) return false;
  std::vector<double> s = SymmetricPart(a, n);
  out.assign(static_cast<std::size_t>(n), 0.0);
  int lwork = std::max(1, 3 * n), info = 0;
  std::vector<double> work(static_cast<std::size_t>(lwork));
  dsyev_("N", "U", &n, s.data(), &n, out.data(), work.data(), &lwork, &info, 1, 1);
  return info == 0;
}

bool GeneralizedEigenvalues(const std::vector<double>& k, const std::vector<double>& m, int n,
                            std::vector<double>& out) {
  if (n <= 0) return false;
  std::vector<double> a = SymmetricPart(k, n), b = SymmetricPart(m, n);
  out.assign(static_cast<std::size_t>(n), 0.0);
  int itype = 1, lwork = std::max(1, 3 * n), info = 0;
  std::vector<double> work(static_cast<std::size_t>(lwork));
  dsygv_(&itype, "N", "U", &n, a.data(), &n, b.data(), &n, out.data(), work.data(), &lwork, &info,
         1, 1);
  return info == 0;
}

std::array<double, 36> RigidBodyMass(const std::vector<double>& m, int n,
                                     const std::vector<RigidPlace>& places) {
  // R (n x 6): u = t + theta x p for translations, theta for rotations.
  std::vector<std::array<double, 6>> R(static_cast<std::size_t>(n));
  for (std::size_t i = 0; i < R.size() && i < places.size(); ++i) {
    const RigidPlace& p = places[i];
    switch (p.ldof) {
      case 1:
        R[i] = {1, 0, 0, 0, p.z, -p.y};
        break;
      case 2:
        R[i] = {0, 1, 0, -p.z, 0, p.x};
        break;
      case 3:
        R[i] = {0, 0, 1, p.y, -p.x, 0};
        break;
      case 4:
      case 5:
      case 6:
        R[i] = {};
        R[i][static_cast<std::size_t>(p.ldof - 1)] = 1;
        break;
      default:
        R[i] = {};
    }
  }
  // M R, then R^T (M R).
  std::vector<std::array<double, 6>> MR(static_cast<std::size_t>(n));
  for (int r = 0; r < n; ++r)
    for (int j = 0; j < 6; ++j) {
      double sum = 0;
      for (int c = 0; c < n; ++c) sum += m[At(r, c, n)] * R[static_cast<std::size_t>(c)][j];
      MR[static_cast<std::size_t>(r)][static_cast<std::size_t>(j)] = sum;
    }
  std::array<double, 36> out{};
  for (int i = 0; i < 6; ++i)
    for (int j = 0; j < 6; ++j) {
      double sum = 0;
      for (int r = 0; r < n; ++r)
        sum += R[static_cast<std::size_t>(r)][static_cast<std::size_t>(i)] *
               MR[static_cast<std::size_t>(r)][static_cast<std::size_t>(j)];
      out[static_cast<std::size_t>(i + 6 * j)] = sum;
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

}  // namespace check
