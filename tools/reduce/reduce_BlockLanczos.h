// The lowest eigenpairs of K x = lambda M x (K positive definite, M positive semi-definite) by
// block shift-invert Lanczos on the factor of K, with full M-orthogonalisation and thick
// restarts: the block Krylov-Schur method. Every solve is a solve of a block of right-hand sides
// and every orthogonalisation a matrix-matrix product, so the work is bound by arithmetic, not by
// memory traffic.
//
// References: R. G. Grimes, J. G. Lewis, H. D. Simon, "A shifted block Lanczos algorithm for
// solving sparse symmetric generalized eigenproblems", SIAM J. Matrix Anal. Appl. 15 (1994)
// 228-272; Y. Zhou, Y. Saad, "Block Krylov-Schur method for large symmetric eigenvalue
// problems", Numer. Algorithms 47 (2008) 341-359.
#pragma once

#include <Eigen/Dense>

#include "reduce_Cholesky.h"

namespace uma::reduce {

struct LanczosOptions {
  int block = 0;             // vectors per block; 0 chooses from the count
  int basis = 0;             // vectors kept before a restart; 0 chooses from the count
  double tolerance = 1e-11;  // Ritz residual against its eigenvalue, in the operator's norm
  int maxRestarts = 200;
};

struct LanczosResult {
  Eigen::VectorXd values;   // lambda, ascending
  Eigen::MatrixXd vectors;  // M-orthonormal
  int solves = 0;           // right-hand sides solved with the factor
  int restarts = 0;
};

// The block size and the vectors kept before a restart for `count` modes of an n-dof problem:
// the basis and its M-products take 2 x 8 n basis bytes.
struct LanczosShape {
  int block = 0, basis = 0;
};
LanczosShape ShapeFor(int count, int n);

// The `count` lowest eigenpairs (0 < count, basis + block <= n). Throws std::runtime_error when
// they do not converge within the restarts allowed.
LanczosResult BlockLanczos(const SparseCholesky& factor, const SparseMatrix& mass, int count,
                           const LanczosOptions& options = {});

// y = A x for a block of vectors, A symmetric with both triangles stored, on every core. With
// `magnitudes`, y = |A| |x|: the size of the terms a product sums, for round-off bounds.
void SymmetricProduct(const SparseMatrix& a, const Eigen::MatrixXd& x, Eigen::MatrixXd& y,
                      bool magnitudes = false);

}  // namespace uma::reduce
