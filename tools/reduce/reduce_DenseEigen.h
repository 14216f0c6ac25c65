// Small dense symmetric-definite eigenproblems (the reduced model's K x = lambda M x) through
// LAPACK's dsygv.
#pragma once

#include <Eigen/Dense>

namespace reduce {

// The eigenvalues lambda of k x = lambda m x, ascending; k symmetric, m symmetric positive
// definite, both n x n. Throws std::runtime_error when m is not positive definite.
Eigen::VectorXd GeneralizedEigenvalues(const Eigen::MatrixXd& k, const Eigen::MatrixXd& m);

}  // namespace reduce
