// The lowest eigenpairs of K x = lambda M x by block Lanczos on a sparse factor of K.
#include "reduce_BlockLanczos.h"

#include <Eigen/Cholesky>
#include <Eigen/Eigenvalues>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace uma::reduce {

namespace {

using Matrix = Eigen::MatrixXd;
using RowMatrix = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;

// A fixed pseudo-random block, so that the same model always gives the same modes.
Matrix RandomBlock(Eigen::Index rows, Eigen::Index columns, std::uint64_t seed) {
  Matrix x(rows, columns);
  std::uint64_t state = 0x9e3779b97f4a7c15ULL ^ seed;
  for (Eigen::Index j = 0; j < columns; ++j)
    for (Eigen::Index i = 0; i < rows; ++i) {
      state = state * 6364136223846793005ULL + 1442695040888963407ULL;
      x(i, j) = static_cast<double>(state >> 11) / 9007199254740992.0 - 0.5;
    }
  return x;
}

// The state of the method: an M-orthonormal basis Q (with M Q), the projection H = Q^T M Op Q,
// and the residual block F (M-orthonormal, M-orthogonal to Q) with its coupling C to the basis:
// Op Q = Q H + F C.
class KrylovSchur {
 public:
  KrylovSchur(const SparseCholesky& factor, const SparseMatrix& mass, int count, int block,
              int capacity)
      : m_factor(factor),
        m_mass(mass),
        m_n(factor.size()),
        m_count(count),
        m_block(block),
        m_capacity(capacity),
        m_q(m_n, capacity),
        m_mq(m_n, capacity),
        m_h(Matrix::Zero(capacity, capacity)) {}

  LanczosResult Run(double tolerance, int maxRestarts) {
    // Start in the range of the operator, where M's inner product is definite.
    Matrix w = RandomBlock(m_n, m_block, 1);
    Matrix mw(m_n, m_block);
    SymmetricProduct(m_mass, w, mw);
    Apply(mw, w);
    SetResidual(w, 0);
    for (int restarts = 0;; ++restarts) {
      while (m_size + m_block <= m_capacity) Expand();
      Ritz ritz = RayleighRitz();
      if (Converged(ritz, tolerance)) return Result(ritz, restarts);
      if (restarts == maxRestarts)
        throw std::runtime_error("the eigensolver did not converge in " +
                                 std::to_string(maxRestarts) + " restarts");
      Restart(ritz);
    }
  }

 private:
  struct Ritz {
    Eigen::VectorXd theta;  // descending: the wanted ones first
    Matrix s;               // the basis's coordinates of each Ritz vector, a column each
  };

  // w = Op v = K^-1 (M v), given M v; counts the solves.
  void Apply(const Matrix& mv, Matrix& w) {
    w = mv;
    m_factor.SolveInPlace(w.data(), static_cast<long>(w.cols()));
    m_solves += static_cast<int>(w.cols());
  }

  // Makes w M-orthogonal to the basis (twice, classical Gram-Schmidt on BLAS-3) and stores it
  // as the residual block, M-orthonormalised, with its coupling to the basis.
  void SetResidual(Matrix w, int firstOfLastBlock) {
    const Eigen::Index j = m_size;
    if (j > 0) {
      for (int pass = 0; pass < 2; ++pass) {
        const Matrix h = m_mq.leftCols(j).transpose() * w;
        w.noalias() -= m_q.leftCols(j) * h;
        m_h.block(0, firstOfLastBlock, j, m_block) += h;
      }
    }
    Matrix mw(m_n, m_block);
    SymmetricProduct(m_mass, w, mw);
    Matrix f = w, mf = mw;
    Orthonormalise(f, mf);
    // W = F B with B = (M F)^T W, the block that couples F to the last block of the basis.
    m_coupling = Matrix::Zero(m_block, j);
    if (j > 0) m_coupling.middleCols(firstOfLastBlock, m_block) = mf.transpose() * w;
    m_f = std::move(f);
    m_mf = std::move(mf);
  }

  // M-orthonormalises the columns of f (m f given) by Cholesky QR, twice; a direction that has
  // vanished (the Krylov space is exhausted there) is replaced by a fresh one, in the operator's
  // range and M-orthogonal to the basis.
  void Orthonormalise(Matrix& f, Matrix& mf) {
    for (int pass = 0; pass < 2; ++pass) {
      Matrix g = f.transpose() * mf;
      g = (g + g.transpose()) / 2;
      Eigen::SelfAdjointEigenSolver<Matrix> eig(g);
      const Eigen::VectorXd& d = eig.eigenvalues();
      const double largest = d.cwiseAbs().maxCoeff();
      if (d.minCoeff() > 1e-10 * largest && largest > 0) {
        Eigen::LLT<Matrix> llt(g);
        const Matrix inverse = llt.matrixU().solve(Matrix::Identity(m_block, m_block));
        f = f * inverse;
        mf = mf * inverse;
        continue;
      }
      // Keep the directions of g that hold, refill the others.
      Matrix v = eig.eigenvectors();
      f = f * v;
      mf = mf * v;
      for (int c = 0; c < m_block; ++c) {
        if (d(c) > 1e-10 * largest && largest > 0) {
          f.col(c) /= std::sqrt(d(c));
          mf.col(c) /= std::sqrt(d(c));
          continue;
        }
        Matrix fresh = RandomBlock(m_n, 1, 1000 + static_cast<std::uint64_t>(++m_refills));
        Matrix mfresh(m_n, 1);
        SymmetricProduct(m_mass, fresh, mfresh);
        Apply(mfresh, fresh);
        for (int again = 0; again < 2; ++again) {
          if (m_size > 0)
            fresh -= m_q.leftCols(m_size) * (m_mq.leftCols(m_size).transpose() * fresh);
          for (int other = 0; other < m_block; ++other)
            if (other != c && (other < c || d(other) > 1e-10 * largest))
              fresh.col(0) -= f.col(other) * mf.col(other).dot(fresh.col(0));
        }
        SymmetricProduct(m_mass, fresh, mfresh);
        const double norm = std::sqrt(std::max(0.0, fresh.col(0).dot(mfresh.col(0))));
        if (!(norm > 0)) throw std::runtime_error("the eigensolver lost its basis (no mass left)");
        f.col(c) = fresh.col(0) / norm;
        mf.col(c) = mfresh.col(0) / norm;
      }
    }
  }

  // Appends the residual block to the basis and makes the next one from it.
  void Expand() {
    const Eigen::Index j = m_size;
    m_q.middleCols(j, m_block) = m_f;
    m_mq.middleCols(j, m_block) = m_mf;
    if (j > 0) {
      m_h.block(j, 0, m_block, j) = m_coupling;
      m_h.block(0, j, j, m_block) = m_coupling.transpose();
    }
    m_size = static_cast<int>(j + m_block);
    Matrix w;
    Apply(m_mf, w);
    // The new block's own column of H comes from the Gram-Schmidt coefficients.
    m_h.block(0, j, m_size, m_block).setZero();
    SetResidual(std::move(w), static_cast<int>(j));
  }

  Ritz RayleighRitz() const {
    const Eigen::Index j = m_size;
    const Matrix h = (m_h.topLeftCorner(j, j) + m_h.topLeftCorner(j, j).transpose()) / 2;
    Eigen::SelfAdjointEigenSolver<Matrix> eig(h);
    Ritz r;
    r.theta = eig.eigenvalues().reverse();
    r.s = eig.eigenvectors().rowwise().reverse();
    return r;
  }

  // Every wanted Ritz pair's residual ||F C s|| = ||C s|| below `tolerance` times theta.
  bool Converged(const Ritz& r, double tolerance) const {
    if (m_size < m_count) return false;
    const Matrix residual = m_coupling * r.s.leftCols(m_count);
    for (int i = 0; i < m_count; ++i)
      if (!(r.theta(i) > 0) || !(residual.col(i).norm() <= tolerance * r.theta(i))) return false;
    return true;
  }

  // Keeps the basis's best Ritz vectors (the wanted ones and as many more, up to half the
  // rest), rotating Q and M Q in place a band of rows at a time.
  void Restart(const Ritz& r) {
    const int keep = std::min(m_size - m_block, m_count + (m_size - m_count) / 2);
    const Matrix s = r.s.leftCols(keep);
    const Eigen::Index band = 4096;
    Matrix rows;
    for (Eigen::Index r0 = 0; r0 < m_n; r0 += band) {
      const Eigen::Index nr = std::min(band, m_n - r0);
      rows.noalias() = m_q.block(r0, 0, nr, m_size) * s;
      m_q.block(r0, 0, nr, keep) = rows;
      rows.noalias() = m_mq.block(r0, 0, nr, m_size) * s;
      m_mq.block(r0, 0, nr, keep) = rows;
    }
    m_coupling = m_coupling * s;
    m_h.setZero();
    m_h.diagonal().head(keep) = r.theta.head(keep);
    m_size = keep;
  }

  LanczosResult Result(const Ritz& r, int restarts) const {
    LanczosResult out;
    out.values = r.theta.head(m_count).cwiseInverse();  // ascending lambda
    out.vectors = m_q.leftCols(m_size) * r.s.leftCols(m_count);
    out.solves = m_solves;
    out.restarts = restarts;
    return out;
  }

  const SparseCholesky& m_factor;
  const SparseMatrix& m_mass;
  const Eigen::Index m_n;
  const int m_count, m_block, m_capacity;
  Matrix m_q, m_mq, m_h;
  int m_size = 0;
  Matrix m_f, m_mf, m_coupling;
  int m_solves = 0, m_refills = 0;
};

}  // namespace

void SymmetricProduct(const SparseMatrix& a, const Eigen::MatrixXd& x, Eigen::MatrixXd& y,
                      bool magnitudes) {
  const Eigen::Index n = a.cols(), b = x.cols();
  y.resize(a.rows(), b);
  // Each column of a symmetric A is its row: y(c, :) = sum over column c of a(r, c) x(r, :),
  // with x in rows so that a nonzero reads b neighbouring values.
  RowMatrix xr = x;
  if (magnitudes) xr = xr.cwiseAbs();
  RowMatrix yr(n, b);
  auto work = [&](Eigen::Index first, Eigen::Index last) {
    for (Eigen::Index c = first; c < last; ++c) {
      auto out = yr.row(c);
      out.setZero();
      for (SparseMatrix::InnerIterator it(a, static_cast<int>(c)); it; ++it)
        out.noalias() += (magnitudes ? std::fabs(it.value()) : it.value()) * xr.row(it.row());
    }
  };
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const long long products = static_cast<long long>(a.nonZeros()) * b;
  if (cores == 1 || products < 2000000) {
    work(0, n);
  } else {
    // Split the columns into parts of equal nonzeros, one per core.
    std::vector<std::thread> threads;
    const int* starts = a.outerIndexPtr();
    Eigen::Index first = 0;
    for (unsigned t = 0; t < cores; ++t) {
      const long long target = static_cast<long long>(a.nonZeros()) * (t + 1) / cores;
      Eigen::Index last = t + 1 == cores ? n : first;
      while (last < n && starts[last] < target) ++last;
      threads.emplace_back(work, first, last);
      first = last;
    }
    for (std::thread& t : threads) t.join();
  }
  y = yr;
}

LanczosShape ShapeFor(int count, int n) {
  LanczosShape shape;
  shape.block = std::min(std::clamp(count / 6, 4, 16), std::max(1, n / 4));
  const int wanted = std::max(2 * count, count + 4 * shape.block);
  shape.basis = ((wanted + shape.block - 1) / shape.block) * shape.block;
  return shape;
}

LanczosResult BlockLanczos(const SparseCholesky& factor, const SparseMatrix& mass, int count,
                           const LanczosOptions& options) {
  const int n = factor.size();
  const LanczosShape shape = ShapeFor(count, n);
  const int block = options.block > 0 ? options.block : shape.block;
  const int basis = options.basis > 0 ? ((options.basis + block - 1) / block) * block : shape.basis;
  if (count <= 0 || basis + block > n || basis < count + block)
    throw std::invalid_argument("the interior is too small for an iterative solve of " +
                                std::to_string(count) + " modes");
  KrylovSchur method(factor, mass, count, block, basis);
  return method.Run(options.tolerance, options.maxRestarts);
}

}  // namespace uma::reduce
