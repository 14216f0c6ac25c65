#include "reduce_CraigBampton.h"

#include <Spectra/SymGEigsShiftSolver.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numeric>
#include <unordered_map>
#include <unordered_set>

#include "reduce_InputError.h"

namespace reduce {

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr const char* kNoMass =
    "the interior mass matrix gives a mode no positive mass: it must be positive "
    "semi-definite and not zero";

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

// Spectra's operator for shift-invert about 0: y = K_ii^-1 x through the factor.
class InverseStiffness {
 public:
  using Scalar = double;
  explicit InverseStiffness(const SparseCholesky& factor) : m_factor(factor) {}
  Eigen::Index rows() const { return m_factor.size(); }
  Eigen::Index cols() const { return m_factor.size(); }
  void set_shift(double) {}  // the factor is of K_ii itself: the shift is always 0
  void perform_op(const double* x, double* y) const { m_factor.Solve(x, y); }

 private:
  const SparseCholesky& m_factor;
};

// y = M_ii x, the inner product of the generalised problem.
class MassProduct {
 public:
  using Scalar = double;
  explicit MassProduct(const SparseMatrix& mass) : m_mass(mass) {}
  Eigen::Index rows() const { return m_mass.rows(); }
  Eigen::Index cols() const { return m_mass.cols(); }
  void perform_op(const double* x, double* y) const {
    Eigen::Map<Eigen::VectorXd>(y, m_mass.rows()) =
        m_mass * Eigen::Map<const Eigen::VectorXd>(x, m_mass.cols());
  }

 private:
  const SparseMatrix& m_mass;
};

struct Eigenpairs {
  Eigen::VectorXd values;   // ascending
  Eigen::MatrixXd vectors;  // mass-normalised
};

// The `count` lowest eigenpairs of K_ii phi = lambda M_ii phi (0 < count < n).
Eigenpairs Lowest(const SparseCholesky& factor, const SparseMatrix& mass, int count) {
  const int n = factor.size();
  if (!(Eigen::VectorXd(mass.diagonal()).maxCoeff() > 0)) throw InputError(kNoMass);
  InverseStiffness op(factor);
  MassProduct bop(mass);
  const int ncv = std::min(n, std::max(2 * count + 1, count + 20));
  Spectra::SymGEigsShiftSolver<InverseStiffness, MassProduct, Spectra::GEigsMode::ShiftInvert>
      solver(op, bop, count, ncv, 0.0);
  solver.init();
  const Eigen::Index converged = solver.compute(Spectra::SortRule::LargestMagn, 1000, 1e-10);
  if (solver.info() != Spectra::CompInfo::Successful)
    throw std::runtime_error("the eigensolver did not converge (" + std::to_string(converged) +
                             " of " + std::to_string(count) + " modes)");
  Eigen::VectorXd values = solver.eigenvalues();
  Eigen::MatrixXd vectors = solver.eigenvectors();
  std::vector<int> order(static_cast<std::size_t>(values.size()));
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(), [&](int a, int b) { return values(a) < values(b); });
  Eigenpairs out;
  out.values.resize(values.size());
  out.vectors.resize(n, values.size());
  for (Eigen::Index k = 0; k < values.size(); ++k) {
    const int from = order[static_cast<std::size_t>(k)];
    Eigen::VectorXd phi = vectors.col(from);
    const double modalMass = phi.dot(mass * phi);
    if (!(modalMass > 0) || !std::isfinite(values(from))) throw InputError(kNoMass);
    phi /= std::sqrt(modalMass);
    // A sign of our own choosing, so that the same model always gives the same modes.
    Eigen::Index at = 0;
    phi.cwiseAbs().maxCoeff(&at);
    if (phi(at) < 0) phi = -phi;
    out.values(k) = values(from);
    out.vectors.col(k) = phi;
  }
  return out;
}

// The fixed-interface modes the options ask for: a count, or all below a cutoff (found by
// asking for more until one lies above the cutoff or the interior has no more).
Eigenpairs FixedInterfaceModes(const SparseCholesky& factor, const SparseMatrix& mass,
                               const ReductionOptions& options) {
  const int n = factor.size();
  if (options.cutoffHz <= 0.0) {
    if (options.modes < 0) throw InputError("--modes: the count of modes must not be negative");
    if (options.modes == 0) return {Eigen::VectorXd(0), Eigen::MatrixXd(n, 0)};
    if (options.modes >= n)
      throw InputError("--modes " + std::to_string(options.modes) + ": the interior has " +
                       std::to_string(n) + " degrees of freedom, so at most " +
                       std::to_string(n - 1) + " modes");
    return Lowest(factor, mass, options.modes);
  }
  if (n < 2) return {Eigen::VectorXd(0), Eigen::MatrixXd(n, 0)};
  const double limit = std::pow(kTwoPi * options.cutoffHz, 2);
  int count = std::min(n - 1, 10);
  for (;;) {
    Eigenpairs pairs = Lowest(factor, mass, count);
    if (pairs.values(pairs.values.size() - 1) >= limit || count == n - 1) {
      Eigen::Index keep = 0;
      while (keep < pairs.values.size() && pairs.values(keep) < limit) ++keep;
      return {pairs.values.head(keep), pairs.vectors.leftCols(keep)};
    }
    count = std::min(n - 1, 2 * count);
  }
}

// modes^T A modes for a symmetric A: one triangle computed, mirrored.
Eigen::MatrixXd Projected(const SparseMatrix& a, const Eigen::MatrixXd& modes) {
  const Eigen::MatrixXd product = a * modes;
  Eigen::MatrixXd out = Eigen::MatrixXd::Zero(modes.cols(), modes.cols());
  out.triangularView<Eigen::Lower>() = modes.transpose() * product;
  out.triangularView<Eigen::StrictlyUpper>() = out.transpose();
  return out;
}

}  // namespace

Reduction Reduce(const FullModel& model, const ReductionOptions& options, StageObserver* observer) {
  Reduction r;
  r.boundary = BoundaryRows(model, options.boundary);
  const int n = model.size(), nb = static_cast<int>(r.boundary.size());
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
  if (options.cutoffHz < 0.0 || std::isnan(options.cutoffHz))
    throw InputError("--cutoff: the frequency must be above 0");

  Blocks k = Partition(model.stiffness, where, ni, nb);
  Blocks m = Partition(model.mass, where, ni, nb);

  std::unique_ptr<SparseCholesky> factor;
  {
    Stage stage(observer, "factorisation");
    try {
      factor = std::make_unique<SparseCholesky>(k.ii);
    } catch (const NotPositiveDefinite& e) {
      const DofRow& d =
          model.dofs[static_cast<std::size_t>(r.interior[static_cast<std::size_t>(e.column)])];
      std::string at = "node " + std::to_string(d.node) + " dof " + std::to_string(d.ldof);
      if (d.line > 0)
        at += " (" + FileOr(model.files.dofs, "dofs") + " line " + std::to_string(d.line) + ")";
      throw InputError(Where(FileOr(model.files.stiffness, "stiffness"), 0) +
                       (e.singular ? "the interior stiffness is singular once the boundary is "
                                     "held (a mechanism), at "
                                   : "the interior stiffness is not positive definite once the "
                                     "boundary is held, at ") +
                       at);
    }
    r.factor = factor->factorSize();
  }

  // Constraint modes: the interior follows a unit boundary displacement statically.
  Eigen::MatrixXd psi = -factor->Solve(Eigen::MatrixXd(k.ib));

  Eigenpairs pairs;
  {
    Stage stage(observer, "modes");
    pairs = FixedInterfaceModes(*factor, m.ii, options);
  }
  r.eigenvalues = pairs.values;
  const int nq = static_cast<int>(pairs.values.size());

  r.modes = Eigen::MatrixXd::Zero(n, nb + nq);
  for (int b = 0; b < nb; ++b) r.modes(r.boundary[static_cast<std::size_t>(b)], b) = 1.0;
  for (int i = 0; i < ni; ++i) {
    const int row = r.interior[static_cast<std::size_t>(i)];
    r.modes.row(row).head(nb) = psi.row(i);
    r.modes.row(row).tail(nq) = pairs.vectors.row(i);
  }

  // The full model's response to each load with the boundary held.
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

  r.stiffness = Projected(model.stiffness, r.modes);
  r.mass = Projected(model.mass, r.modes);
  return r;
}

std::vector<double> ToHertz(const Eigen::VectorXd& omegaSquared) {
  std::vector<double> out;
  for (Eigen::Index k = 0; k < omegaSquared.size(); ++k)
    out.push_back(std::sqrt(std::max(0.0, omegaSquared(k))) / kTwoPi);
  return out;
}

}  // namespace reduce
