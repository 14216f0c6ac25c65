// Dense symmetric eigenproblems through LAPACK's C interface: the one place the tools call it.
// Matrices are n x n, column by column.
#pragma once

namespace uma::common {

// The eigenvalues of the symmetric matrix `a` (its upper triangle is read), ascending, into
// `values` (n of them); with `vectors`, `a` is overwritten by the orthonormal eigenvectors.
// Answers LAPACK's info: 0 when solved.
int SymmetricEigen(double* a, int n, double* values, bool vectors);

// The pencil a x = lambda b x, b positive definite (lower triangles read): the eigenvalues,
// ascending, into `values`, and `a` overwritten by the b-orthonormal eigenvectors. Answers
// LAPACK's info: 0 when solved, above n when b is not positive definite.
int GeneralisedEigen(double* a, double* b, int n, double* values);

}  // namespace uma::common
