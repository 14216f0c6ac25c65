// The interior's fixed-interface modes, iteratively or densely (see reduce_Eigensolver.h).
#include "reduce_Eigensolver.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>

#include "common_DenseEigen.h"
#include "reduce_BlockLanczos.h"
#include "reduce_InputError.h"

namespace uma::reduce {

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

// Mass-normalises each column and gives it a sign of its own (its largest entry positive), so
// that the same model always gives the same modes.
void Normalise(const SparseMatrix& m, Eigenpairs& pairs) {
  Eigen::MatrixXd mphi;
  SymmetricProduct(m, pairs.vectors, mphi);
  for (Eigen::Index k = 0; k < pairs.vectors.cols(); ++k) {
    auto phi = pairs.vectors.col(k);
    const double modalMass = phi.dot(mphi.col(k));
    if (!(modalMass > 0) || !std::isfinite(pairs.values(k))) throw InputError(kNoMass);
    phi /= std::sqrt(modalMass);
    Eigen::Index at = 0;
    phi.cwiseAbs().maxCoeff(&at);
    if (phi(at) < 0) phi = -phi;
  }
}

Eigenpairs Iterative(const SparseCholesky& factor, const SparseMatrix& m, int count) {
  LanczosResult result = BlockLanczos(factor, m, count);
  return {std::move(result.values), std::move(result.vectors)};
}

// The reversed pencil M x = mu K x, solved densely after equilibration by K's diagonal: mu =
// 1 / lambda, and a massless direction gives mu = 0 instead of an infinite lambda.
Eigenpairs Dense(const SparseMatrix& kii, const SparseMatrix& mii, int count) {
  const int n = static_cast<int>(kii.rows());
  const Eigen::VectorXd d = kii.diagonal().cwiseSqrt().cwiseInverse();
  Eigen::MatrixXd a = d.asDiagonal() * Eigen::MatrixXd(mii) * d.asDiagonal();
  Eigen::MatrixXd b = d.asDiagonal() * Eigen::MatrixXd(kii) * d.asDiagonal();
  Eigen::VectorXd mu(n);
  const int info = common::GeneralisedEigen(a.data(), b.data(), n, mu.data());
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
  const LanczosShape shape = ShapeFor(count, n);
  if (2 * (shape.basis + shape.block) <= n) {
    plan.bytes = 8.0 * n * (2.0 * shape.basis + count + 4.0 * shape.block);
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
  Eigen::MatrixXd mphi, kphi, kSize, mSize;
  SymmetricProduct(mii, pairs.vectors, mphi);
  SymmetricProduct(kii, pairs.vectors, kphi);
  // What K phi - lambda M phi sums, in magnitude: round-off alone leaves eps times that.
  SymmetricProduct(kii, pairs.vectors, kSize, true);
  SymmetricProduct(mii, pairs.vectors, mSize, true);
  const Eigen::MatrixXd residual = d.asDiagonal() * (kphi - mphi * pairs.values.asDiagonal());
  double worstExcess = -1;
  for (Eigen::Index k = 0; k < pairs.values.size(); ++k) {
    const double lambda = std::fabs(pairs.values(k));
    const double scale = lambda * (d.asDiagonal() * mphi.col(k)).norm();
    const double r = residual.col(k).norm() / scale;
    const double terms = (d.asDiagonal() * (kSize.col(k) + lambda * mSize.col(k))).norm() / scale;
    const double tolerance = std::max(kModeTolerance, kRoundOffFactor * 2.2e-16 * terms);
    const double excess = r / tolerance;
    if (!(r <= q.residual) && !std::isnan(q.residual)) q.residual = r;
    q.tolerance = std::max(q.tolerance, tolerance);
    if (!(excess <= worstExcess) && !std::isnan(worstExcess)) {
      worstExcess = excess;
      q.residualMode = static_cast<int>(k);
      q.modeTolerance = tolerance;
      q.modeResidual = r;
    }
  }
  const Eigen::MatrixXd gram = pairs.vectors.transpose() * mphi;
  q.orthogonality =
      (gram - Eigen::MatrixXd::Identity(gram.rows(), gram.cols())).cwiseAbs().maxCoeff();
  if (!std::isfinite(q.orthogonality)) q.orthogonality = INFINITY;
  return q;
}

std::string ModeFailure(const ModeQuality& q, const Eigenpairs& pairs) {
  char text[320];
  if (q.residualMode >= 0 && !(q.modeResidual <= q.modeTolerance)) {
    std::snprintf(text, sizeof text,
                  "fixed-interface mode %d (%.6g Hz) has a residual of %.2g, above its tolerance "
                  "%.2g (1e-8, or what round-off in K phi allows where the stiffness is "
                  "ill-conditioned): the modes are not trustworthy",
                  q.residualMode + 1,
                  std::sqrt(std::max(0.0, pairs.values(q.residualMode))) / kTwoPi, q.modeResidual,
                  q.modeTolerance);
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

}  // namespace uma::reduce
