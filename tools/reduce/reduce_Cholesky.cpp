#include "reduce_Cholesky.h"

#include <cholmod.h>

#include <cstring>
#include <memory>

namespace reduce {

namespace {

// A pivot this small against its column's diagonal marks a matrix singular to working
// precision: what round-off leaves of a zero pivot.
constexpr double kSingularPivot = 1e-12;

cholmod_dense DenseView(const double* values, std::size_t rows, std::size_t columns) {
  cholmod_dense d;
  std::memset(&d, 0, sizeof d);
  d.nrow = rows;
  d.ncol = columns;
  d.nzmax = rows * columns;
  d.d = rows;
  d.x = const_cast<double*>(values);
  d.xtype = CHOLMOD_REAL;
  d.dtype = CHOLMOD_DOUBLE;
  return d;
}

// The diagonal of a supernodal L, in L's (permuted) order.
Eigen::VectorXd SupernodalDiagonal(const cholmod_factor& L) {
  Eigen::VectorXd diagonal(static_cast<Eigen::Index>(L.n));
  const int* super = static_cast<const int*>(L.super);
  const int* pi = static_cast<const int*>(L.pi);
  const int* px = static_cast<const int*>(L.px);
  const double* x = static_cast<const double*>(L.x);
  for (std::size_t s = 0; s < L.nsuper; ++s) {
    const int first = super[s], last = super[s + 1];
    const long rows = pi[s + 1] - pi[s];
    for (int j = first; j < last; ++j)
      diagonal(j) = x[px[s] + (j - first) + static_cast<long>(j - first) * rows];
  }
  return diagonal;
}

}  // namespace

SparseCholesky::SparseCholesky(const SparseMatrix& a) : m_size(static_cast<int>(a.rows())) {
  auto common = std::make_unique<cholmod_common>();
  cholmod_start(common.get());
  common->supernodal = CHOLMOD_SUPERNODAL;  // always L L^T, which breaks down where A is not PD
  common->print = 0;
  m_common = common.release();

  cholmod_sparse view;
  std::memset(&view, 0, sizeof view);
  view.nrow = view.ncol = static_cast<std::size_t>(a.rows());
  view.nzmax = static_cast<std::size_t>(a.nonZeros());
  view.p = const_cast<int*>(a.outerIndexPtr());
  view.i = const_cast<int*>(a.innerIndexPtr());
  view.x = const_cast<double*>(a.valuePtr());
  view.stype = 1;
  view.itype = CHOLMOD_INT;
  view.xtype = CHOLMOD_REAL;
  view.dtype = CHOLMOD_DOUBLE;
  view.sorted = 1;
  view.packed = 1;

  m_factor = cholmod_analyze(&view, m_common);
  if (!m_factor) {
    cholmod_finish(m_common);
    delete m_common;
    throw std::runtime_error("the sparse Cholesky analysis failed (out of memory?)");
  }
  cholmod_factorize(&view, m_factor, m_common);
  const bool broke = m_common->status == CHOLMOD_NOT_POSDEF;
  const bool failed = m_common->status < CHOLMOD_OK;
  int badColumn = -1;
  bool singular = false;
  const int* perm = static_cast<const int*>(m_factor->Perm);
  if (broke) {
    badColumn = perm[m_factor->minor < m_factor->n ? m_factor->minor : 0];
  } else if (!failed && m_factor->is_super) {
    Eigen::VectorXd pivots = SupernodalDiagonal(*m_factor);
    for (int j = 0; j < m_size; ++j) {
      const double diagonal = a.coeff(perm[j], perm[j]);
      if (!(pivots(j) * pivots(j) > kSingularPivot * diagonal)) {
        badColumn = perm[j];
        singular = true;
        break;
      }
    }
  }
  m_factorSize.supernodal = m_factor->is_super != 0;
  m_factorSize.nonzeros = static_cast<double>(m_factor->nzmax);
  if (m_factor->is_super) {
    // Each supernode is a dense trapezoid: its columns over its rows, less the upper triangle.
    const int* super = static_cast<const int*>(m_factor->super);
    const int* pi = static_cast<const int*>(m_factor->pi);
    double entries = 0;
    for (std::size_t s = 0; s < m_factor->nsuper; ++s) {
      const double columns = super[s + 1] - super[s], rows = pi[s + 1] - pi[s];
      entries += columns * rows - columns * (columns - 1) / 2;
    }
    m_factorSize.nonzeros = entries;
  }
  m_factorSize.flops = m_common->fl;
  m_factorSize.bytes = m_factor->is_super ? static_cast<double>(m_factor->xsize) * 8 +
                                                static_cast<double>(m_factor->ssize) * 4
                                          : static_cast<double>(m_factor->nzmax) * 12;
  if (broke || failed || badColumn >= 0) {
    cholmod_free_factor(&m_factor, m_common);
    cholmod_finish(m_common);
    delete m_common;
    if (badColumn >= 0) throw NotPositiveDefinite(badColumn, singular);
    throw std::runtime_error("the sparse Cholesky factorisation failed (out of memory?)");
  }
}

SparseCholesky::~SparseCholesky() {
  cholmod_free_dense(&m_x, m_common);
  cholmod_free_dense(&m_y, m_common);
  cholmod_free_dense(&m_e, m_common);
  cholmod_free_factor(&m_factor, m_common);
  cholmod_finish(m_common);
  delete m_common;
}

void SparseCholesky::SolveInto(cholmod_dense& b, double* x, long ld) const {
  if (!cholmod_solve2(CHOLMOD_A, m_factor, &b, nullptr, &m_x, nullptr, &m_y, &m_e, m_common))
    throw std::runtime_error("a sparse Cholesky solve failed (out of memory?)");
  const double* out = static_cast<const double*>(m_x->x);
  for (std::size_t c = 0; c < b.ncol; ++c)
    std::memcpy(x + static_cast<long>(c) * ld, out + c * m_x->d, b.nrow * sizeof(double));
}

void SparseCholesky::Solve(const double* b, double* x) const {
  cholmod_dense view = DenseView(b, static_cast<std::size_t>(m_size), 1);
  SolveInto(view, x, m_size);
}

Eigen::MatrixXd SparseCholesky::Solve(const Eigen::MatrixXd& b) const {
  Eigen::MatrixXd x(b.rows(), b.cols());
  if (b.cols() == 0) return x;
  cholmod_dense view =
      DenseView(b.data(), static_cast<std::size_t>(b.rows()), static_cast<std::size_t>(b.cols()));
  SolveInto(view, x.data(), static_cast<long>(x.rows()));
  return x;
}

}  // namespace reduce
