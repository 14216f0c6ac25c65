// A sparse Cholesky factor A = L L^T of a symmetric positive definite matrix, kept by CHOLMOD
// (supernodal, fill-reducing order, 64-bit indices), and the solves against it. Made once, used
// for every constraint mode and every step of the eigensolver. Also the inertia of a symmetric
// indefinite matrix from an L D L^T factorisation (Sylvester's law), which counts eigenvalues.
#pragma once

#include <Eigen/Dense>
#include <stdexcept>

#include "reduce_MatrixMarket.h"

struct cholmod_common_struct;
struct cholmod_factor_struct;
struct cholmod_dense_struct;

namespace uma::reduce {

// The matrix is not positive definite. `column` (in the matrix's own order) is where an L D L^T
// factorisation meets the first pivot that is either negligible against its diagonal (singular
// to working precision: a mechanism, whatever the pivot's sign) or negative (indefinite).
class NotPositiveDefinite : public std::runtime_error {
 public:
  NotPositiveDefinite(long column, bool singular)
      : std::runtime_error("the matrix is not positive definite"),
        column(column),
        singular(singular) {}
  long column;
  bool singular;
};

// CHOLMOD ran out of memory; the message says how large the factor would have been.
class FactorTooLarge : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct FactorSize {
  double nonzeros = 0;  // entries of L
  double bytes = 0;     // memory its values and indices take
  double flops = 0;     // the factorisation's floating-point operations
  bool supernodal = false;
};

class SparseCholesky {
 public:
  // Factors `a` (square, both triangles stored; the upper one is read). Throws
  // NotPositiveDefinite, FactorTooLarge when memory runs out, or std::runtime_error when CHOLMOD
  // fails otherwise.
  explicit SparseCholesky(const SparseMatrix& a);
  ~SparseCholesky();
  SparseCholesky(const SparseCholesky&) = delete;
  SparseCholesky& operator=(const SparseCholesky&) = delete;

  int size() const { return m_size; }
  // x = A^-1 b for one vector of size() values (x and b may not overlap).
  void Solve(const double* b, double* x) const;
  // A^-1 B for the columns of B.
  Eigen::MatrixXd Solve(const Eigen::MatrixXd& b) const;
  // The same in place, for `columns` columns of size() values at `values` (leading dimension
  // size()).
  void SolveInPlace(double* values, long columns) const;
  const FactorSize& factorSize() const { return m_factorSize; }

 private:
  void SolveInto(cholmod_dense_struct& b, double* x, long ld) const;
  int m_size = 0;
  cholmod_common_struct* m_common = nullptr;
  cholmod_factor_struct* m_factor = nullptr;
  // Workspace CHOLMOD reuses between solves.
  mutable cholmod_dense_struct* m_x = nullptr;
  mutable cholmod_dense_struct* m_y = nullptr;
  mutable cholmod_dense_struct* m_e = nullptr;
  FactorSize m_factorSize;
};

// The number of negative eigenvalues of the symmetric `a` (both triangles stored), from the
// signs of D in a = L D L^T (simplicial, fill-reducing order). Throws std::runtime_error when
// a pivot is exactly zero (the caller moves its shift) or memory runs out.
long NegativeEigenvalues(const SparseMatrix& a);

}  // namespace uma::reduce
