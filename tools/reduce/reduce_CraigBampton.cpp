// The fixed-interface reduction of a full model, checked after it is computed.
#include "reduce_CraigBampton.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <numeric>
#include <unordered_map>
#include <unordered_set>

#include "reduce_BlockLanczos.h"
#include "reduce_InputError.h"

namespace uma::reduce {

namespace {

constexpr double kTwoPi = 6.283185307179586;
// Values of the constraint modes solved at a time, so that no dense copy of the whole coupling
// block is ever made.
constexpr double kChunkValues = 8e6;

std::string FileOr(const std::string& file, const char* fallback) {
  return file.empty() ? fallback : file;
}

// Rows of the matrices that are boundary dofs, in model order.
std::vector<int> BoundaryRows(const FullModel& model, const std::vector<int>& labels) {
  const std::string nodesFile = FileOr(model.files.nodes, "the nodes table");
  const std::string dofsFile = FileOr(model.files.dofs, "the dofs table");
  if (labels.empty()) throw InputError("--boundary: no boundary node given");
  std::unordered_set<int> known, chosen;
  for (const NodeRow& n : model.nodes) known.insert(n.label);
  for (int label : labels) {
    if (!known.count(label))
      throw InputError("--boundary: node " + std::to_string(label) + " is not in " + nodesFile);
    if (!chosen.insert(label).second)
      throw InputError("--boundary: node " + std::to_string(label) + " is given twice");
  }
  std::vector<int> rows;
  std::unordered_set<int> withDofs;
  for (int r = 0; r < model.size(); ++r)
    if (chosen.count(model.dofs[static_cast<std::size_t>(r)].node)) {
      rows.push_back(r);
      withDofs.insert(model.dofs[static_cast<std::size_t>(r)].node);
    }
  for (int label : labels)
    if (!withDofs.count(label))
      throw InputError("--boundary: node " + std::to_string(label) +
                       " has no degree of freedom in " + dofsFile);
  if (static_cast<int>(rows.size()) == model.size())
    throw InputError("--boundary: every degree of freedom is on the boundary; nothing to reduce");
  return rows;
}

// The interior stiffness is not positive definite at `row` of the full model: a mechanism
// (singular) or a negative pivot.
InputError NotDefiniteAt(const FullModel& model, int row, bool singular) {
  const DofRow& d = model.dofs[static_cast<std::size_t>(row)];
  std::string at = "node " + std::to_string(d.node) + " dof " + std::to_string(d.ldof);
  if (d.line > 0)
    at += " (" + FileOr(model.files.dofs, "dofs") + " line " + std::to_string(d.line) + ")";
  return InputError(Where(FileOr(model.files.stiffness, "stiffness"), 0) +
                    (singular ? "the interior stiffness is singular once the boundary is held "
                                "(a mechanism), at "
                              : "the interior stiffness is not positive definite once the "
                                "boundary is held (a negative pivot), at ") +
                    at);
}

// A dof outside the boundary with nothing on its stiffness diagonal is held by nothing.
void CheckEveryInteriorDofIsHeld(const FullModel& model, const std::vector<int>& boundary) {
  std::vector<char> onBoundary(static_cast<std::size_t>(model.size()), 0);
  for (int row : boundary) onBoundary[static_cast<std::size_t>(row)] = 1;
  for (int row = 0; row < model.size(); ++row)
    if (!onBoundary[static_cast<std::size_t>(row)] && model.stiffness.coeff(row, row) == 0.0)
      throw NotDefiniteAt(model, row, true);
}

// The blocks of a symmetric matrix over the interior rows and columns (both triangles) and
// over interior rows and boundary columns.
struct Blocks {
  SparseMatrix ii;
  SparseMatrix ib;
};

Blocks Partition(const SparseMatrix& a, const std::vector<int>& where, int interior, int boundary) {
  // where[r] >= 0: interior index; where[r] < 0: boundary index -1 - where[r].
  std::vector<Eigen::Triplet<double, int>> ii, ib;
  ii.reserve(static_cast<std::size_t>(a.nonZeros()));
  for (int c = 0; c < a.outerSize(); ++c)
    for (SparseMatrix::InnerIterator it(a, c); it; ++it) {
      const int r = where[static_cast<std::size_t>(it.row())];
      const int col = where[static_cast<std::size_t>(c)];
      if (r < 0) continue;
      if (col >= 0)
        ii.emplace_back(r, col, it.value());
      else
        ib.emplace_back(r, -1 - col, it.value());
    }
  Blocks b;
  b.ii.resize(interior, interior);
  b.ii.setFromTriplets(ii.begin(), ii.end());
  b.ii.makeCompressed();
  b.ib.resize(interior, boundary);
  b.ib.setFromTriplets(ib.begin(), ib.end());
  return b;
}

// The interior's part of the constraint modes, -K_ii^-1 K_ib, solved a chunk of columns at a
// time straight into the basis, each chunk checked: the worst backward error
// ||K_ii x + K_ib e|| / (||K_ii|| ||x|| + ||K_ib e||), equilibrated by K_ii's diagonal.
double ConstraintModes(const SparseCholesky& factor, const Blocks& k, const Reduction& r,
                       Eigen::MatrixXd& modes) {
  const Eigen::Index ni = k.ii.rows(), nb = k.ib.cols();
  if (ni == 0 || nb == 0) return 0.0;
  const Eigen::VectorXd d = k.ii.diagonal().cwiseSqrt().cwiseInverse();
  Eigen::VectorXd rowSums = Eigen::VectorXd::Zero(ni);
  for (int c = 0; c < k.ii.outerSize(); ++c)
    for (SparseMatrix::InnerIterator it(k.ii, c); it; ++it)
      rowSums(it.row()) += std::fabs(d(it.row()) * it.value() * d(c));
  const double norm = rowSums.maxCoeff();
  const Eigen::Index chunk = std::max<Eigen::Index>(
      1, std::min<Eigen::Index>(nb,
                                static_cast<Eigen::Index>(kChunkValues / static_cast<double>(ni))));
  double worst = 0;
  Eigen::MatrixXd x;
  for (Eigen::Index b0 = 0; b0 < nb; b0 += chunk) {
    const Eigen::Index columns = std::min(chunk, nb - b0);
    const Eigen::MatrixXd coupling = Eigen::MatrixXd(k.ib.middleCols(b0, columns));
    x = -coupling;
    factor.SolveInPlace(x.data(), static_cast<long>(columns));
    Eigen::MatrixXd product;
    SymmetricProduct(k.ii, x, product);
    const Eigen::MatrixXd residual = d.asDiagonal() * (product + coupling);
    for (Eigen::Index c = 0; c < columns; ++c) {
      const double scale = norm * d.cwiseInverse().cwiseProduct(x.col(c)).norm() +
                           (d.asDiagonal() * coupling.col(c)).norm();
      const double error = scale > 0 ? residual.col(c).norm() / scale : 0.0;
      if (!(error <= worst)) worst = error;
    }
    for (Eigen::Index i = 0; i < ni; ++i)
      modes.row(r.interior[static_cast<std::size_t>(i)]).segment(b0, columns) = x.row(i);
  }
  return worst;
}

// modes^T A modes for a symmetric A, a chunk of columns of A modes at a time.
Eigen::MatrixXd Projected(const SparseMatrix& a, const Eigen::MatrixXd& modes) {
  const Eigen::Index n = modes.rows(), m = modes.cols();
  Eigen::MatrixXd out(m, m);
  const Eigen::Index chunk = std::max<Eigen::Index>(
      1,
      std::min<Eigen::Index>(m, static_cast<Eigen::Index>(
                                    kChunkValues / std::max<double>(1.0, static_cast<double>(n)))));
  for (Eigen::Index c0 = 0; c0 < m; c0 += chunk) {
    const Eigen::Index columns = std::min(chunk, m - c0);
    Eigen::MatrixXd product;
    SymmetricProduct(a, modes.middleCols(c0, columns), product);
    out.middleCols(c0, columns).noalias() = modes.transpose() * product;
  }
  // Exactly symmetric: the mean of the two triangles.
  const Eigen::MatrixXd mean = (out + out.transpose()) / 2;
  return mean;
}

// The largest coupling between a static and a dynamic coordinate in the reduced stiffness,
// each entry against the size of the terms that cancel in it (|psi|^T |K| |phi|): round-off for
// a fixed-interface basis, whatever the units and the mesh.
double StaticDynamicCoupling(const SparseMatrix& k, const Eigen::MatrixXd& modes,
                             const Eigen::MatrixXd& reduced, int nb) {
  const Eigen::Index nq = modes.cols() - nb;
  if (nb == 0 || nq == 0) return 0.0;
  Eigen::MatrixXd kphi;
  SymmetricProduct(k, modes.rightCols(nq), kphi, true);
  const Eigen::MatrixXd scale = modes.leftCols(nb).cwiseAbs().transpose() * kphi;
  double worst = 0;
  for (Eigen::Index q = 0; q < nq; ++q)
    for (Eigen::Index b = 0; b < nb; ++b) {
      const double c = scale(b, q) > 0 ? std::fabs(reduced(b, nb + q)) / scale(b, q) : 0.0;
      if (!(c <= worst)) worst = c;
    }
  return worst;
}

std::string Figure(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2g", v);
  return text;
}

}  // namespace

Reduction Reduce(const FullModel& model, const ReductionOptions& options, StageObserver* observer) {
  Reduction r;
  const int n = model.size();
  if (options.cutoffHz < 0.0 || std::isnan(options.cutoffHz))
    throw InputError("--cutoff: the frequency must be above 0");
  if (options.cutoffHz <= 0.0 && options.modes < 0)
    throw InputError("--modes: the count of modes must not be negative");
  {
    Stage stage(observer, "checks");
    r.boundary = BoundaryRows(model, options.boundary);
    CheckEveryInteriorDofIsHeld(model, r.boundary);
    r.rigidBody = CheckRigidBodyMotions(model);
    if (!r.rigidBody.held) CheckBoundaryHoldsTheBody(model, r.boundary);
  }
  const int nb = static_cast<int>(r.boundary.size());
  std::vector<int> where(static_cast<std::size_t>(n), -1);
  for (int b = 0; b < nb; ++b)
    where[static_cast<std::size_t>(r.boundary[static_cast<std::size_t>(b)])] = -1 - b;
  std::vector<char> onBoundary(static_cast<std::size_t>(n), 0);
  for (int row : r.boundary) onBoundary[static_cast<std::size_t>(row)] = 1;
  for (int row = 0; row < n; ++row)
    if (!onBoundary[static_cast<std::size_t>(row)]) {
      where[static_cast<std::size_t>(row)] = static_cast<int>(r.interior.size());
      r.interior.push_back(row);
    }
  const int ni = static_cast<int>(r.interior.size());

  Blocks k, m;
  std::unique_ptr<SparseCholesky> factor;
  {
    Stage stage(observer, "factorisation");
    k = Partition(model.stiffness, where, ni, nb);
    m = Partition(model.mass, where, ni, nb);
    try {
      factor = std::make_unique<SparseCholesky>(k.ii);
    } catch (const NotPositiveDefinite& e) {
      throw NotDefiniteAt(model, r.interior[static_cast<std::size_t>(e.column)], e.singular);
    }
    r.factor = factor->factorSize();
  }
  {
    Stage stage(observer, options.cutoffHz > 0 ? "counting" : "planning");
    r.plan = PlanModes(k.ii, m.ii, options.modes, options.cutoffHz);
  }
  if (observer && r.plan.belowCutoff >= 0)
    observer->Note(std::to_string(r.plan.belowCutoff) +
                   " fixed-interface modes lie below the cutoff" +
                   (r.plan.dense ? "; solving the interior densely" : ""));

  Eigenpairs pairs;
  {
    Stage stage(observer, "modes");
    pairs = ComputeModes(*factor, k.ii, m.ii, r.plan);
  }
  {
    Stage stage(observer, "verification");
    r.quality = CheckModes(k.ii, m.ii, pairs);
    const std::string failure = ModeFailure(r.quality, pairs);
    if (!failure.empty()) throw std::runtime_error(failure + "; nothing was written");
  }
  r.eigenvalues = pairs.values;
  const int nq = static_cast<int>(pairs.values.size());
  m = Blocks{};  // the interior mass is done with: its memory goes before the basis grows

  {
    Stage stage(observer, "constraint modes");
    r.modes = Eigen::MatrixXd::Zero(n, nb + nq);
    for (int b = 0; b < nb; ++b) r.modes(r.boundary[static_cast<std::size_t>(b)], b) = 1.0;
    for (int i = 0; i < ni; ++i)
      r.modes.row(r.interior[static_cast<std::size_t>(i)]).tail(nq) = pairs.vectors.row(i);
    pairs.vectors.resize(0, 0);
    r.constraintResidual = ConstraintModes(*factor, k, r, r.modes);
    if (!(r.constraintResidual <= kModeTolerance))
      throw std::runtime_error("the constraint modes have a backward error of " +
                               Figure(r.constraintResidual) + ", above the tolerance " +
                               Figure(kModeTolerance) + "; nothing was written");
  }

  {
    Stage stage(observer, "loads");
    // The full model's response to each load with the boundary held, and the loads on the
    // reduced coordinates (boundary parts included).
    const Eigen::Index loads = model.loads.cols();
    r.loadResponse = Eigen::MatrixXd::Zero(n, loads);
    if (loads > 0) {
      Eigen::MatrixXd interiorLoads(ni, loads);
      for (int i = 0; i < ni; ++i)
        interiorLoads.row(i) = model.loads.row(r.interior[static_cast<std::size_t>(i)]);
      Eigen::MatrixXd u = factor->Solve(interiorLoads);
      for (int i = 0; i < ni; ++i)
        r.loadResponse.row(r.interior[static_cast<std::size_t>(i)]) = u.row(i);
    }
    r.reducedLoads = loads > 0 ? Eigen::MatrixXd(r.modes.transpose() * model.loads)
                               : Eigen::MatrixXd(r.modes.cols(), 0);
  }
  factor.reset();
  k = Blocks{};

  {
    Stage stage(observer, "reduced matrices");
    r.stiffness = Projected(model.stiffness, r.modes);
    r.mass = Projected(model.mass, r.modes);
    const double coupling = StaticDynamicCoupling(model.stiffness, r.modes, r.stiffness, nb);
    if (!(coupling <= kModeTolerance))
      throw std::runtime_error(
          "the reduced stiffness couples static and dynamic coordinates (" + Figure(coupling) +
          " of the terms that cancel in it, above the tolerance " + Figure(kModeTolerance) +
          "): the basis is not a fixed-interface one; nothing was written");
  }
  return r;
}

std::vector<double> ToHertz(const Eigen::VectorXd& omegaSquared) {
  std::vector<double> out;
  for (Eigen::Index k = 0; k < omegaSquared.size(); ++k)
    out.push_back(std::sqrt(std::max(0.0, omegaSquared(k))) / kTwoPi);
  return out;
}

}  // namespace uma::reduce
