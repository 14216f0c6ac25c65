#include "reduce_DenseEigen.h"

#include <stdexcept>
#include <string>
#include <vector>

extern "C" void dsygv_(const int* itype, const char* jobz, const char* uplo, const int* n,
                       double* a, const int* lda, double* b, const int* ldb, double* w,
                       double* work, const int* lwork, int* info);

namespace reduce {

Eigen::VectorXd GeneralizedEigenvalues(const Eigen::MatrixXd& k, const Eigen::MatrixXd& m) {
  const int n = static_cast<int>(k.rows());
  if (k.cols() != n || m.rows() != n || m.cols() != n)
    throw std::invalid_argument("the stiffness and mass must be square and of one size");
  Eigen::VectorXd w(n);
  if (n == 0) return w;
  Eigen::MatrixXd a = k, b = m;  // dsygv overwrites both
  const int itype = 1, lda = n;
  int info = 0, lwork = -1;
  double query = 0.0;
  dsygv_(&itype, "N", "L", &n, a.data(), &lda, b.data(), &lda, w.data(), &query, &lwork, &info);
  lwork = static_cast<int>(query);
  std::vector<double> work(static_cast<std::size_t>(std::max(lwork, 3 * n)));
  lwork = static_cast<int>(work.size());
  dsygv_(&itype, "N", "L", &n, a.data(), &lda, b.data(), &lda, w.data(), work.data(), &lwork,
         &info);
  if (info > n) throw std::runtime_error("the reduced mass matrix is not positive definite");
  if (info != 0)
    throw std::runtime_error("the reduced eigenproblem failed (LAPACK info " +
                             std::to_string(info) + ")");
  return w;
}

}  // namespace reduce
