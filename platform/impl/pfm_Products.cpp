// Products of in-core and stored dense matrices.
#include "QOBMtxLinearAlgebra.h"
#include "pfm_Dense.h"

namespace {
[[noreturn]] void NotYet() { throw QOBBasError("matrix products are not available yet"); }
}  // namespace

void QOBSrvMatrix::Multiply(const QOBSrvMatrix&, QOBSrvMatrix&, int, int) const { NotYet(); }
void QOBSrvMatrix::TransposeMultiply(const QOBSrvMatrix&, QOBSrvMatrix&, int, int) const { NotYet(); }
void QOBSrvDenseMatrix::Multiply(const QOBSrvMatrix&, QOBSrvMatrix&) const { NotYet(); }
void QOBSrvDenseMatrix::Multiply(const QOBSrvDenseMatrix&, double*) const { NotYet(); }
void QOBSrvDenseMatrix::Multiply(const QOBSrvDenseMatrix&, QOBSrvDenseMatrix&) const { NotYet(); }
void QOBSrvDenseMatrix::Multiply(double, const QOBSrvMatrix&, double, QOBSrvDenseMatrix&) const { NotYet(); }
void QOBSrvDenseMatrix::TransposeMultiply(const QOBSrvMatrix&, QOBSrvMatrix&, int) const { NotYet(); }
void QOBSrvDenseMatrix::TransposeMultiply(const QOBSrvDenseMatrix&, QOBSrvDenseMatrix&, int) const { NotYet(); }
void QOBSrvDenseMatrix::TransposeMultiply(const QOBSrvDenseMatrix&, QOBSrvMatrix&, int) const { NotYet(); }
