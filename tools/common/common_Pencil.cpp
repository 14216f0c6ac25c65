// The natural frequencies of a small dense pencil (see common_Pencil.h).
#include "common_Pencil.h"

#include <cblas.h>

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "common_DenseEigen.h"
namespace uma::common {

namespace {

constexpr double kTwoPi = 6.283185307179586;
// Eigenvalues below this fraction of the shift (placed at the first elastic one) are rigid-body
// modes, or negative ones when below minus it.
constexpr double kNegligible = 1e-8;

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

std::vector<double> EquilibrationScales(const std::vector<double>& k, const std::vector<double>& m,
                                        int n) {
  std::vector<double> ratios;
  double traceK = 0, traceM = 0;
  for (int i = 0; i < n; ++i) {
    const double kii = k[At(i, i, n)], mii = m[At(i, i, n)];
    if (kii > 0) traceK += kii;
    if (mii > 0) traceM += mii;
    if (kii > 0 && mii > 0) ratios.push_back(kii / mii);
  }
  // A high quantile: a coordinate whose stiffness is round-off (a rigid motion) has a ratio near
  // 0 and must not set the scale.
  double typical = traceK > 0 && traceM > 0 ? traceK / traceM : 1.0;
  if (!ratios.empty()) {
    const std::size_t at = (ratios.size() - 1) * 9 / 10;
    std::nth_element(ratios.begin(), ratios.begin() + static_cast<long>(at), ratios.end());
    typical = ratios[at];
  }
  std::vector<double> d(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    const double both = std::max(0.0, k[At(i, i, n)]) + typical * std::max(0.0, m[At(i, i, n)]);
    d[static_cast<std::size_t>(i)] = both > 0 ? 1 / std::sqrt(both) : 1.0;
  }
  return d;
}

namespace {

// mu of m x = mu (k + sigma m) x, ascending, over the directions where k + sigma m is not
// negligible: those where both k and m vanish have no eigenvalue at all and are dropped
// (counted in `dropped`). False when k + sigma m has a negative eigenvalue.
bool ShiftedReverse(const std::vector<double>& k, const std::vector<double>& m, int n, double sigma,
                    std::vector<double>& mu, int& dropped) {
  std::vector<double> c(k.size()), values(static_cast<std::size_t>(n));
  for (std::size_t i = 0; i < c.size(); ++i) c[i] = k[i] + sigma * m[i];
  if (SymmetricEigen(c.data(), n, values.data(), true) != 0) return false;
  const double largest = std::max(std::fabs(values.front()), std::fabs(values.back()));
  const double zero = 1e-14 * n * largest;
  if (values.front() < -zero) return false;
  int first = 0;
  while (first < n && values[static_cast<std::size_t>(first)] <= zero) ++first;
  dropped = first;
  const int r = n - first;
  // W = V_r diag(values_r)^-1/2, then the standard problem W^T m W.
  std::vector<double> w(At(0, r, n)), mw(w.size()), s(At(0, r, r));
  for (int j = 0; j < r; ++j) {
    const double scale = 1 / std::sqrt(values[static_cast<std::size_t>(first + j)]);
    for (int i = 0; i < n; ++i) w[At(i, j, n)] = c[At(i, first + j, n)] * scale;
  }
  cblas_dsymm(CblasColMajor, CblasLeft, CblasUpper, n, r, 1.0, m.data(), n, w.data(), n, 0.0,
              mw.data(), n);
  cblas_dgemm(CblasColMajor, CblasTrans, CblasNoTrans, r, r, n, 1.0, w.data(), n, mw.data(), n, 0.0,
              s.data(), r);
  mu.assign(static_cast<std::size_t>(r), 0.0);
  return r == 0 || SymmetricEigen(s.data(), r, mu.data(), false) == 0;
}

struct Pass {
  bool indefiniteMass = false;  // mu below 0: a direction of negative mass
  double sigma = 0;
  int indeterminate = 0;       // directions of neither stiffness nor mass
  std::vector<double> lambda;  // finite, ascending
  int infinite = 0;
};

bool Solve(const std::vector<double>& k, const std::vector<double>& m, int n, double sigma,
           Pass& pass) {
  std::vector<double> mu;
  int dropped = 0;
  if (!ShiftedReverse(k, m, n, sigma, mu, dropped)) return false;
  pass = Pass();
  pass.sigma = sigma;
  pass.indeterminate = dropped;
  if (mu.empty()) return true;
  const double largest = std::max(std::fabs(mu.front()), std::fabs(mu.back()));
  const double zero = 1e-14 * n * largest;
  if (mu.front() < -zero) {
    pass.indefiniteMass = true;
    return false;
  }
  for (double v : mu) {
    if (v > zero)
      pass.lambda.push_back(1 / v - sigma);
    else
      ++pass.infinite;
  }
  std::sort(pass.lambda.begin(), pass.lambda.end());
  return true;
}

// The first eigenvalue that is not negligible against `sigma`, or 0.
double FirstElastic(const Pass& pass) {
  for (double l : pass.lambda)
    if (l > kNegligible * pass.sigma) return l;
  return 0.0;
}

}  // namespace

PencilSpectrum SolvePencil(const std::vector<double>& kIn, const std::vector<double>& mIn, int n) {
  PencilSpectrum out;
  if (n <= 0 || kIn.size() != At(0, n, n) || mIn.size() != kIn.size()) {
    out.failure = "the matrices are not square and of one size";
    return out;
  }
  std::vector<double> k = SymmetricPart(kIn, n), m = SymmetricPart(mIn, n);
  const std::vector<double> d = EquilibrationScales(k, m, n);
  double traceK = 0, traceM = 0;
  for (int c = 0; c < n; ++c)
    for (int r = 0; r < n; ++r) {
      const double s = d[static_cast<std::size_t>(r)] * d[static_cast<std::size_t>(c)];
      k[At(r, c, n)] *= s;
      m[At(r, c, n)] *= s;
    }
  for (int i = 0; i < n; ++i) {
    traceK += k[At(i, i, n)];
    traceM += m[At(i, i, n)];
  }
  if (!(traceM > 0) || !std::isfinite(traceM + traceK)) {
    out.failure = !std::isfinite(traceM + traceK) ? "the matrices hold values that are not finite"
                                                  : "the mass has no positive diagonal entry";
    return out;
  }
  // A first shift of the size of a typical eigenvalue; raised while K + sigma M is not definite.
  double sigma = std::max(traceK, 1.0) / traceM;
  Pass pass;
  bool solved = false;
  for (int attempt = 0; attempt < 4 && !solved && !pass.indefiniteMass; ++attempt, sigma *= 1e3)
    solved = Solve(k, m, n, sigma, pass);
  if (pass.indefiniteMass) {
    out.failure = "the mass is not positive semi-definite";
    return out;
  }
  if (!solved) {
    out.failure =
        "K + sigma M is not positive semi-definite for any shift tried: the stiffness has "
        "negative eigenvalues";
    return out;
  }
  // Again with the shift at the first elastic eigenvalue, which sets rigid-body modes apart;
  // kept only when it accounts for the same directions (a shift too low to hold the rigid
  // motions would lose them).
  const double first = FirstElastic(pass);
  Pass closer;
  if (first > 0 && first < pass.sigma && Solve(k, m, n, first, closer) &&
      closer.infinite == pass.infinite && closer.indeterminate == pass.indeterminate &&
      closer.lambda.size() == pass.lambda.size())
    pass = closer;

  out.solved = true;
  out.shift = pass.sigma;
  out.eigenvalues = pass.lambda;
  out.infinite = pass.infinite;
  out.indeterminate = pass.indeterminate;
  for (double l : pass.lambda) {
    if (std::fabs(l) <= kNegligible * pass.sigma)
      ++out.rigidBodyModes;
    else if (l < 0)
      ++out.negative;
  }
  return out;
}

std::vector<double> Frequencies(const PencilSpectrum& s) {
  std::vector<double> f;
  for (double l : s.eigenvalues)
    f.push_back(std::fabs(l) <= kNegligible * s.shift
                    ? 0.0
                    : std::copysign(std::sqrt(std::fabs(l)), l) / kTwoPi);
  return f;
}

bool SymmetricEigenvalues(const std::vector<double>& a, int n, std::vector<double>& out) {
  if (n <= 0 || a.size() != At(0, n, n)) return false;
  std::vector<double> s = SymmetricPart(a, n);
  out.assign(static_cast<std::size_t>(n), 0.0);
  return SymmetricEigen(s.data(), n, out.data(), false) == 0;
}

}  // namespace uma::common
