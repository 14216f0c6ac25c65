// Dense symmetric eigenproblems through LAPACK's C interface (see common_DenseEigen.h).
#include "common_DenseEigen.h"

#include <lapacke.h>

namespace uma::common {

int SymmetricEigen(double* a, int n, double* values, bool vectors) {
  return LAPACKE_dsyevd(LAPACK_COL_MAJOR, vectors ? 'V' : 'N', 'U', n, a, n, values);
}

int GeneralisedEigen(double* a, double* b, int n, double* values) {
  return LAPACKE_dsygvd(LAPACK_COL_MAJOR, 1, 'V', 'L', n, a, n, b, n, values);
}

}  // namespace uma::common
