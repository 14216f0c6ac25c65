// The products C = A·B and C = Aᵀ·B of matrix handles: argument checks in a fixed order, one
// message per refused call, and the platform operation chosen by how A, B and C are stored.
#include <memory>

#include "uma_Diagnostics.h"
#include "uma_IncoreMatrix.h"
#include "uma_Matrix.h"

namespace {

const char kInconsistentDimensions[] = "Multiply: Inconsistent dimensions A and B.";
const char kImmutableResult[] = "Multiply: Immutable C.";
const char kWrongResultDimension[] = "Multiply: Wrong dimension C.";
const char kUnsupportedStorage[] = "Multiply: Unsupported storage combination.";

enum class Storage { None, Incore, Dense };

// Dense storage is looked at first, as every other operation of a handle does.
Storage StorageOf(const QOBSrvDenseMatrix* dense, const QOBSrvMatrix* incore) {
  if (dense) return Storage::Dense;
  return incore ? Storage::Incore : Storage::None;
}

// The message for C, or null when C may receive a product of `rows` x `columns`.
const char* ResultError(const uma_Matrix& C, bool immutable, int rows, int columns) {
  if (immutable) return kImmutableResult;
  if (C.NumRows() != rows || C.NumColumns() != columns) return kWrongResultDimension;
  return nullptr;
}

}  // namespace

// With a null C the product is still formed, into a temporary that is released on every path
// out (a platform exception included): the caller cannot reach it, so it is owned here.
void uma_Matrix::Multiply(const uma_Matrix* B, uma_Matrix* C) const {
  if (IsNull() || !B || B->IsNull()) return;
  if (B->NumRows() != NumColumns()) return uma_ReportError(kInconsistentDimensions);
  std::unique_ptr<uma_IncoreMatrix> temporary;
  if (!C) {
    temporary = std::make_unique<uma_IncoreMatrix>(NumRows(), B->NumColumns(), nullptr);
    C = temporary.get();
  }
  if (const char* error = ResultError(*C, C->m_immutable, NumRows(), B->NumColumns()))
    return uma_ReportError(error);

  const Storage b = StorageOf(B->m_dense, B->m_incore), c = StorageOf(C->m_dense, C->m_incore);
  if (m_dense) {
    if (b == Storage::Dense && c == Storage::Dense) m_dense->Multiply(*B->m_dense, *C->m_dense);
    if (b == Storage::Dense && c == Storage::Incore)
      m_dense->Multiply(*B->m_dense, C->m_incore->m_values);
    if (b == Storage::Incore && c == Storage::Dense)
      m_dense->Multiply(1.0, *B->m_incore, 0.0, *C->m_dense);
    if (b == Storage::Incore && c == Storage::Incore) m_dense->Multiply(*B->m_incore, *C->m_incore);
    return;  // a C without storage receives nothing
  }
  if (b != Storage::Incore || c != Storage::Incore) return uma_ReportError(kUnsupportedStorage);
  m_incore->Multiply(*B->m_incore, *C->m_incore, 0, 0);
}

void uma_Matrix::TransposeMultiply(const uma_Matrix* B, uma_Matrix* C) const {
  if (IsNull() || !B || B->IsNull()) return;
  if (B->NumRows() != NumRows()) return uma_ReportError(kInconsistentDimensions);
  std::unique_ptr<uma_IncoreMatrix> temporary;
  if (!C) {
    temporary = std::make_unique<uma_IncoreMatrix>(NumColumns(), B->NumColumns(), nullptr);
    C = temporary.get();
  }
  if (const char* error = ResultError(*C, C->m_immutable, NumColumns(), B->NumColumns()))
    return uma_ReportError(error);

  const Storage b = StorageOf(B->m_dense, B->m_incore), c = StorageOf(C->m_dense, C->m_incore);
  if (m_dense && b == Storage::Dense) {
    if (c == Storage::Dense) m_dense->TransposeMultiply(*B->m_dense, *C->m_dense, 0);
    if (c == Storage::Incore) m_dense->TransposeMultiply(*B->m_dense, *C->m_incore, 0);
    return;  // a C without storage receives nothing
  }
  // Every other combination needs B and C in core.
  if (b != Storage::Incore || c != Storage::Incore) return uma_ReportError(kUnsupportedStorage);
  if (m_dense) return m_dense->TransposeMultiply(*B->m_incore, *C->m_incore, 0);
  m_incore->TransposeMultiply(*B->m_incore, *C->m_incore, 0, 0);
}
