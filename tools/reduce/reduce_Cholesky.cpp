// A sparse Cholesky factor of a symmetric positive definite matrix, kept by CHOLMOD.
#include "reduce_Cholesky.h"

#include <cholmod.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace uma::reduce {

namespace {

// A pivot this small against its column's diagonal marks a matrix singular to working
// precision: what round-off leaves of a zero pivot.
constexpr double kSingularPivot = 1e-12;

using Index = SuiteSparse_long;

// The upper triangle of a symmetric Eigen matrix in CHOLMOD's 64-bit compressed columns. CHOLMOD
// reads only this triangle of a matrix marked symmetric (stype 1).
class UpperTriangle {
 public:
  explicit UpperTriangle(const SparseMatrix& a) {
    const Index n = a.cols();
    m_p.assign(static_cast<std::size_t>(n) + 1, 0);
    for (Index c = 0; c < n; ++c) {
      Index count = 0;
      for (SparseMatrix::InnerIterator it(a, static_cast<int>(c)); it; ++it) count += it.row() <= c;
      m_p[static_cast<std::size_t>(c) + 1] = m_p[static_cast<std::size_t>(c)] + count;
    }
    m_i.resize(static_cast<std::size_t>(m_p.back()));
    m_x.resize(m_i.size());
    std::size_t at = 0;
    for (Index c = 0; c < n; ++c)
      for (SparseMatrix::InnerIterator it(a, static_cast<int>(c)); it; ++it)
        if (it.row() <= c) {
          m_i[at] = it.row();
          m_x[at++] = it.value();
        }
    std::memset(&m_view, 0, sizeof m_view);
    m_view.nrow = m_view.ncol = static_cast<std::size_t>(n);
    m_view.nzmax = m_i.size();
    m_view.p = m_p.data();
    m_view.i = m_i.data();
    m_view.x = m_x.data();
    m_view.stype = 1;
    m_view.itype = CHOLMOD_LONG;
    m_view.xtype = CHOLMOD_REAL;
    m_view.dtype = CHOLMOD_DOUBLE;
    m_view.sorted = 1;
    m_view.packed = 1;
  }
  cholmod_sparse* view() { return &m_view; }
  // The diagonal entry of column c (0 when none is stored).
  double Diagonal(Index c) const {
    const Index last = m_p[static_cast<std::size_t>(c) + 1] - 1;
    return last >= m_p[static_cast<std::size_t>(c)] && m_i[static_cast<std::size_t>(last)] == c
               ? m_x[static_cast<std::size_t>(last)]
               : 0.0;
  }

 private:
  std::vector<Index> m_p, m_i;
  std::vector<double> m_x;
  cholmod_sparse m_view;
};

// CHOLMOD's workspace, finished on every path out.
struct Common {
  Common() { cholmod_l_start(&c); }
  ~Common() { cholmod_l_finish(&c); }
  Common(const Common&) = delete;
  Common& operator=(const Common&) = delete;
  cholmod_common c;
};

struct FactorDeleter {
  cholmod_common* common;
  void operator()(cholmod_factor* f) const { cholmod_l_free_factor(&f, common); }
};
using FactorPtr = std::unique_ptr<cholmod_factor, FactorDeleter>;

// An L D L^T factor of `a` (simplicial): D's entries, in the factor's order, with the
// permutation. Factoring stops at an exactly zero pivot; `minor` then says where.
struct LdlFactor {
  std::vector<double> d;
  std::vector<Index> perm;
  Index minor = -1;  // -1: complete
};

LdlFactor FactorLdl(UpperTriangle& a) {
  Common common;
  common.c.supernodal = CHOLMOD_SIMPLICIAL;
  common.c.final_ll = 0;
  common.c.print = 0;
  FactorPtr f(cholmod_l_analyze(a.view(), &common.c), FactorDeleter{&common.c});
  if (!f) throw FactorTooLarge("the L D L^T analysis ran out of memory");
  cholmod_l_factorize(a.view(), f.get(), &common.c);
  if (common.c.status < CHOLMOD_OK)
    throw FactorTooLarge("the L D L^T factorisation ran out of memory");
  LdlFactor out;
  const std::size_t n = f->n;
  const Index* perm = static_cast<const Index*>(f->Perm);
  out.perm.assign(perm, perm + n);
  if (common.c.status == CHOLMOD_NOT_POSDEF) out.minor = static_cast<Index>(f->minor);
  const Index* p = static_cast<const Index*>(f->p);
  const double* x = static_cast<const double*>(f->x);
  const std::size_t complete = out.minor >= 0 ? static_cast<std::size_t>(out.minor) : n;
  out.d.resize(complete);
  for (std::size_t j = 0; j < complete; ++j) out.d[j] = x[p[j]];  // D(j,j) leads column j
  return out;
}

// Where and why a matrix that L L^T refused is not positive definite.
NotPositiveDefinite Breakdown(UpperTriangle& a) {
  LdlFactor f = FactorLdl(a);
  for (std::size_t j = 0; j < f.d.size(); ++j) {
    const double diagonal = std::fabs(a.Diagonal(f.perm[j]));
    if (!(std::fabs(f.d[j]) > kSingularPivot * diagonal)) return {f.perm[j], true};
  }
  if (f.minor >= 0) return {f.perm[static_cast<std::size_t>(f.minor)], true};
  for (std::size_t j = 0; j < f.d.size(); ++j)
    if (f.d[j] < 0) return {f.perm[j], false};
  return {f.perm.empty() ? 0 : f.perm[0], true};
}

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
std::vector<double> SupernodalDiagonal(const cholmod_factor& L) {
  std::vector<double> diagonal(L.n);
  const Index* super = static_cast<const Index*>(L.super);
  const Index* pi = static_cast<const Index*>(L.pi);
  const Index* px = static_cast<const Index*>(L.px);
  const double* x = static_cast<const double*>(L.x);
  for (std::size_t s = 0; s < L.nsuper; ++s) {
    const Index first = super[s], last = super[s + 1], rows = pi[s + 1] - pi[s];
    for (Index j = first; j < last; ++j)
      diagonal[static_cast<std::size_t>(j)] = x[px[s] + (j - first) + (j - first) * rows];
  }
  return diagonal;
}

std::string Megabytes(double bytes) {
  return std::to_string(static_cast<long long>(std::ceil(bytes / 1e6))) + " MB";
}

}  // namespace

SparseCholesky::SparseCholesky(const SparseMatrix& a) : m_size(static_cast<int>(a.rows())) {
  UpperTriangle upper(a);
  auto common = std::make_unique<cholmod_common>();
  cholmod_l_start(common.get());
  common->supernodal = CHOLMOD_SUPERNODAL;  // always L L^T, which breaks down where A is not PD
  common->print = 0;
  m_common = common.release();

  m_factor = cholmod_l_analyze(upper.view(), m_common);
  if (!m_factor) {
    cholmod_l_finish(m_common);
    delete m_common;
    throw FactorTooLarge("the sparse Cholesky analysis ran out of memory");
  }
  m_factorSize.supernodal = m_factor->is_super != 0;
  if (m_factor->is_super) {
    // Each supernode is a dense trapezoid: its columns over its rows, less the upper triangle.
    const Index* super = static_cast<const Index*>(m_factor->super);
    const Index* pi = static_cast<const Index*>(m_factor->pi);
    double entries = 0;
    for (std::size_t s = 0; s < m_factor->nsuper; ++s) {
      const double columns = static_cast<double>(super[s + 1] - super[s]),
                   rows = static_cast<double>(pi[s + 1] - pi[s]);
      entries += columns * rows - columns * (columns - 1) / 2;
    }
    m_factorSize.nonzeros = entries;
    m_factorSize.bytes = static_cast<double>(m_factor->xsize) * 8 +
                         static_cast<double>(m_factor->ssize) * sizeof(Index);
  } else {
    m_factorSize.nonzeros = m_common->lnz;
    m_factorSize.bytes = m_common->lnz * (8 + sizeof(Index));
  }
  m_factorSize.flops = m_common->fl;

  cholmod_l_factorize(upper.view(), m_factor, m_common);
  const int status = m_common->status;
  bool broke = status == CHOLMOD_NOT_POSDEF;
  if (!broke && status >= CHOLMOD_OK && m_factor->is_super) {
    // L L^T went through, but a pivot that round-off kept positive may still be negligible.
    std::vector<double> pivots = SupernodalDiagonal(*m_factor);
    const Index* perm = static_cast<const Index*>(m_factor->Perm);
    for (int j = 0; j < m_size && !broke; ++j)
      broke = !(pivots[static_cast<std::size_t>(j)] * pivots[static_cast<std::size_t>(j)] >
                kSingularPivot * upper.Diagonal(perm[j]));
  }
  if (broke || status < CHOLMOD_OK) {
    cholmod_l_free_factor(&m_factor, m_common);
    cholmod_l_finish(m_common);
    delete m_common;
    m_common = nullptr;
    if (status == CHOLMOD_OUT_OF_MEMORY || status == CHOLMOD_TOO_LARGE)
      throw FactorTooLarge("the sparse Cholesky factor of the interior stiffness needs " +
                           Megabytes(m_factorSize.bytes) +
                           " (its entries alone), more than this machine could give");
    if (!broke)
      throw std::runtime_error("the sparse Cholesky factorisation failed (CHOLMOD status " +
                               std::to_string(status) + ")");
    throw Breakdown(upper);
  }
}

SparseCholesky::~SparseCholesky() {
  cholmod_l_free_dense(&m_x, m_common);
  cholmod_l_free_dense(&m_y, m_common);
  cholmod_l_free_dense(&m_e, m_common);
  cholmod_l_free_factor(&m_factor, m_common);
  cholmod_l_finish(m_common);
  delete m_common;
}

void SparseCholesky::SolveInto(cholmod_dense& b, double* x, long ld) const {
  if (!cholmod_l_solve2(CHOLMOD_A, m_factor, &b, nullptr, &m_x, nullptr, &m_y, &m_e, m_common))
    throw std::runtime_error("a sparse Cholesky solve ran out of memory");
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

void SparseCholesky::SolveInPlace(double* values, long columns) const {
  if (columns <= 0) return;
  cholmod_dense view =
      DenseView(values, static_cast<std::size_t>(m_size), static_cast<std::size_t>(columns));
  SolveInto(view, values, m_size);
}

long NegativeEigenvalues(const SparseMatrix& a) {
  UpperTriangle upper(a);
  LdlFactor f = FactorLdl(upper);
  if (f.minor >= 0) throw std::runtime_error("a zero pivot in the L D L^T factorisation");
  long negative = 0;
  for (double d : f.d) negative += d < 0;
  return negative;
}

}  // namespace uma::reduce
