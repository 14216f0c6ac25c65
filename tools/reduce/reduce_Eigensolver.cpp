#include "reduce_Eigensolver.h"

#include <Spectra/SymGEigsShiftSolver.h>
#include <lapacke.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>

#include "reduce_InputError.h"

namespace reduce {

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr const char* kNoMass =
    "the interior mass matrix gives a mode no positive mass: it must be positive "
    "semi-definite and not zero";

std::string Gigabytes(double bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f GB", bytes / 1e9);
  return text;
}

double PhysicalMemory() {
  const long pages = sysconf(_SC_PHYS_PAGES), size = sysconf(_SC_PAGE_SIZE);
  return pages > 0 && size > 0 ? static_cast<double>(pages) * static_cast<double>(size) : 0.0;
}

// Columns of the mass that hold anything: a bound on the modes of finite frequency.
long MassiveColumns(const SparseMatrix& m) {
  long count = 0;
  for (int c = 0; c < m.outerSize(); ++c) {
    bool any = false;
    for (SparseMatrix::InnerIterator it(m, c); it && !any; ++it) any = it.value() != 0.0;
    count += any;
  }
  return count;
}

// The Lanczos basis the iterative solver keeps for `count` modes.
int BasisSize(int count, int n) { return std::min(n, std::max(2 * count + 1, count + 20)); }

// Spectra's shift-invert operator about 0, scaled: y = s K_ii^-1 x. Spectra judges convergence
// and the exhaustion of its Krylov space against absolute thresholds (eps^(2/3), eps sqrt(n)),
// so the operator's eigenvalues s / lambda must be of order one, whatever the unit system.
class ScaledInverse {
 public:
  using Scalar = double;
  ScaledInverse(const SparseCholesky& factor, double scale) : m_factor(factor), m_scale(scale) {}
  Eigen::Index rows() const { return m_factor.size(); }
  Eigen::Index cols() const { return m_factor.size(); }
  void set_shift(double) {}
  void perform_op(const double* x, double* y) const {
    m_factor.Solve(x, y);
    Eigen::Map<Eigen::VectorXd>(y, m_factor.size()) *= m_scale;
  }

 private:
  const SparseCholesky& m_factor;
  double m_scale;
};

// y = M_ii x, the inner product of the generalised problem.
class MassProduct {
 public:
  using Scalar = double;
  explicit MassProduct(const SparseMatrix& mass) : m_mass(mass) {}
  Eigen::Index rows() const { return m_mass.rows(); }
  Eigen::Index cols() const { return m_mass.cols(); }
  void perform_op(const double* x, double* y) const {
    Eigen::Map<Eigen::VectorXd>(y, m_mass.rows()).noalias() =
        m_mass * Eigen::Map<const Eigen::VectorXd>(x, m_mass.cols());
  }

 private:
  const SparseMatrix& m_mass;
};

// A start in the range of K^-1 M (one inverse step from a fixed pseudo-random vector), and an
// upper bound of the same order as the lowest eigenvalue (the Rayleigh quotient after a few
// more steps), which scales the operator.
struct Start {
  Eigen::VectorXd vector;
  double scale = 0;
};

Start StartOf(const SparseCholesky& factor, const SparseMatrix& m) {
  const int n = factor.size();
  Eigen::VectorXd x(n);
  std::uint64_t state = 0x9e3779b97f4a7c15ULL;
  for (int i = 0; i < n; ++i) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    x(i) = static_cast<double>(state >> 11) / 9007199254740992.0 - 0.5;
  }
  Start s;
  Eigen::VectorXd mx = m * x;
  for (int step = 0; step < 4; ++step) {
    Eigen::VectorXd next = factor.Solve(Eigen::MatrixXd(mx));
    if (step == 0) s.vector = next;
    Eigen::VectorXd mnext = m * next;
    const double kx = next.dot(mx), mm = next.dot(mnext);  // next^T K next = next^T M x
    if (!(mm > 0) || !(kx > 0)) throw InputError(kNoMass);
    s.scale = kx / mm;
    const double norm = std::sqrt(mm);
    x = next / norm;
    mx = mnext / norm;
  }
  return s;
}

// Mass-normalises each column and gives it a sign of its own (its largest entry positive), so
// that the same model always gives the same modes.
void Normalise(const SparseMatrix& m, Eigenpairs& pairs) {
  for (Eigen::Index k = 0; k < pairs.vectors.cols(); ++k) {
    auto phi = pairs.vectors.col(k);
    const double modalMass = phi.dot(m * phi);
    if (!(modalMass > 0) || !std::isfinite(pairs.values(k))) throw InputError(kNoMass);
    phi /= std::sqrt(modalMass);
    Eigen::Index at = 0;
    phi.cwiseAbs().maxCoeff(&at);
    if (phi(at) < 0) phi = -phi;
  }
}

Eigenpairs Iterative(const SparseCholesky& factor, const SparseMatrix& m, int count) {
  const int n = factor.size();
  Start start = StartOf(factor, m);
  ScaledInverse op(factor, start.scale);
  MassProduct bop(m);
  Spectra::SymGEigsShiftSolver<ScaledInverse, MassProduct, Spectra::GEigsMode::ShiftInvert> solver(
      op, bop, count, BasisSize(count, n), 0.0);
  solver.init(start.vector.data());
  const Eigen::Index converged = solver.compute(Spectra::SortRule::LargestMagn, 1000, 1e-12);
  if (solver.info() != Spectra::CompInfo::Successful)
    throw std::runtime_error("the eigensolver did not converge (" + std::to_string(converged) +
                             " of " + std::to_string(count) + " modes)");
  const Eigen::VectorXd values = solver.eigenvalues() * start.scale;
  const Eigen::MatrixXd vectors = solver.eigenvectors();
  std::vector<int> order(static_cast<std::size_t>(values.size()));
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(), [&](int a, int b) { return values(a) < values(b); });
  Eigenpairs out;
  out.values.resize(values.size());
  out.vectors.resize(n, values.size());
  for (Eigen::Index k = 0; k < values.size(); ++k) {
    out.values(k) = values(order[static_cast<std::size_t>(k)]);
    out.vectors.col(k) = vectors.col(order[static_cast<std::size_t>(k)]);
  }
  return out;
}

// The reversed pencil M x = mu K x, solved densely after equilibration by K's diagonal: mu =
// 1 / lambda, and a massless direction gives mu = 0 instead of an infinite lambda.
Eigenpairs Dense(const SparseMatrix& kii, const SparseMatrix& mii, int count) {
  const int n = static_cast<int>(kii.rows());
  const Eigen::VectorXd d = kii.diagonal().cwiseSqrt().cwiseInverse();
  Eigen::MatrixXd a = d.asDiagonal() * Eigen::MatrixXd(mii) * d.asDiagonal();
  Eigen::MatrixXd b = d.asDiagonal() * Eigen::MatrixXd(kii) * d.asDiagonal();
  Eigen::VectorXd mu(n);
  const lapack_int info =
      LAPACKE_dsygvd(LAPACK_COL_MAJOR, 1, 'V', 'L', n, a.data(), n, b.data(), n, mu.data());
  if (info != 0)
    throw std::runtime_error("the dense eigensolver failed (LAPACK info " + std::to_string(info) +
                             ")");
  // mu ascends: the lowest lambda are the last columns.
  const double finite = mu(n - 1) * n * 1e-14;
  Eigenpairs out;
  out.values.resize(count);
  out.vectors.resize(n, count);
  for (int k = 0; k < count; ++k) {
    const int from = n - 1 - k;
    if (!(mu(from) > finite)) throw InputError(kNoMass);
    out.values(k) = 1.0 / mu(from);
    out.vectors.col(k) = d.asDiagonal() * a.col(from);
  }
  return out;
}

}  // namespace

ModePlan PlanModes(const SparseMatrix& kii, const SparseMatrix& mii, int count, double cutoffHz) {
  const int n = static_cast<int>(kii.rows());
  ModePlan plan;
  if (cutoffHz > 0) {
    double sigma = std::pow(kTwoPi * cutoffHz, 2);
    for (int attempt = 0;; ++attempt) {
      try {
        plan.belowCutoff = NegativeEigenvalues(kii - sigma * mii);
        break;
      } catch (const FactorTooLarge&) {
        throw;
      } catch (const std::runtime_error&) {
        // An exactly zero pivot: the cutoff sits on an eigenvalue; count just above it.
        if (attempt == 3) throw;
        sigma *= 1 + 1e-10;
      }
    }
    count = static_cast<int>(plan.belowCutoff);
  } else if (count >= n && count > 0) {
    throw InputError("--modes " + std::to_string(count) + ": the interior has " +
                     std::to_string(n) + " degrees of freedom, so at most " +
                     std::to_string(n - 1) + " modes");
  }
  if (count < 0) throw InputError("--modes: the count of modes must not be negative");
  plan.count = count;
  if (count == 0) return plan;
  const std::string what = cutoffHz > 0 ? "--cutoff: " + std::to_string(count) +
                                              " fixed-interface modes lie below the cutoff; "
                                        : "--modes " + std::to_string(count) + ": ";
  const long massive = MassiveColumns(mii);
  if (massive == 0) throw InputError(kNoMass);
  if (count > massive)
    throw InputError(what + "the interior's mass reaches " + std::to_string(massive) + " of its " +
                     std::to_string(n) + " degrees of freedom, so it has at most " +
                     std::to_string(massive) + " modes");
  const int basis = BasisSize(count, n);
  if (2 * basis <= n) {
    plan.bytes = 8.0 * n * (basis + count);
  } else {
    plan.dense = true;
    plan.bytes = 8.0 * n * n * 2;
    if (n > kLargestDenseInterior)
      throw InputError(what + "that many modes of an interior of " + std::to_string(n) +
                       " degrees of freedom need a dense solve (" + Gigabytes(plan.bytes) +
                       "); ask for at most " + std::to_string(std::max(1, (n / 2 - 1) / 2)) +
                       " modes or a lower cutoff");
  }
  const double available = PhysicalMemory();
  if (available > 0 && plan.bytes > 0.8 * available)
    throw InputError(what + "the eigensolver would need " + Gigabytes(plan.bytes) +
                     " and this machine has " + Gigabytes(available) +
                     "; ask for fewer modes or a lower cutoff");
  return plan;
}

Eigenpairs ComputeModes(const SparseCholesky& factor, const SparseMatrix& kii,
                        const SparseMatrix& mii, const ModePlan& plan) {
  const int n = factor.size();
  if (plan.count == 0) return {Eigen::VectorXd(0), Eigen::MatrixXd(n, 0)};
  if (!(Eigen::VectorXd(mii.diagonal()).maxCoeff() > 0)) throw InputError(kNoMass);
  Eigenpairs pairs = plan.dense ? Dense(kii, mii, plan.count) : Iterative(factor, mii, plan.count);
  Normalise(mii, pairs);
  return pairs;
}

ModeQuality CheckModes(const SparseMatrix& kii, const SparseMatrix& mii, const Eigenpairs& pairs) {
  ModeQuality q;
  if (pairs.values.size() == 0) return q;
  const Eigen::VectorXd d = kii.diagonal().cwiseSqrt().cwiseInverse();
  const Eigen::MatrixXd mphi = mii * pairs.vectors;
  const Eigen::MatrixXd residual =
      d.asDiagonal() * (kii * pairs.vectors - mphi * pairs.values.asDiagonal());
  for (Eigen::Index k = 0; k < pairs.values.size(); ++k) {
    const double r = residual.col(k).norm() /
                     (std::fabs(pairs.values(k)) * (d.asDiagonal() * mphi.col(k)).norm());
    if (!(r <= q.residual) && !std::isnan(q.residual)) {
      q.residual = r;
      q.residualMode = static_cast<int>(k);
    }
  }
  const Eigen::MatrixXd gram = pairs.vectors.transpose() * mphi;
  q.orthogonality =
      (gram - Eigen::MatrixXd::Identity(gram.rows(), gram.cols())).cwiseAbs().maxCoeff();
  if (!std::isfinite(q.orthogonality)) q.orthogonality = INFINITY;
  return q;
}

std::string ModeFailure(const ModeQuality& q, const Eigenpairs& pairs) {
  char text[200];
  if (!(q.residual <= kModeTolerance)) {
    std::snprintf(text, sizeof text,
                  "fixed-interface mode %d (%.6g Hz) has a residual of %.2g, above the "
                  "tolerance %.0e: the modes are not trustworthy",
                  q.residualMode + 1,
                  std::sqrt(std::max(0.0, pairs.values(q.residualMode))) / kTwoPi, q.residual,
                  kModeTolerance);
    return text;
  }
  if (!(q.orthogonality <= kModeTolerance)) {
    std::snprintf(text, sizeof text,
                  "the fixed-interface modes are not M-orthonormal: Phi^T M Phi differs from the "
                  "identity by %.2g, above the tolerance %.0e",
                  q.orthogonality, kModeTolerance);
    return text;
  }
  return "";
}

}  // namespace reduce
