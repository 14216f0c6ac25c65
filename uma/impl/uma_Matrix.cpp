// The matrix handle over a stored dense matrix or in-core values.
#include "uma_Matrix.h"

#include <cstdint>
#include <memory>

#include "uma_ArrayInt.h"
#include "uma_Diagnostics.h"
#include "uma_IncoreMatrix.h"
#include "uma_SetAccess.h"
#include "uma_System.h"
#include "uma_TypeIndex.h"

namespace {
// Bytes for a block of doubles (each dimension 1 .. 2^32); 0xFFFFFFFF, which the allocator
// always refuses, when they do not fit in 32 bits, so no block is copied into a short buffer.
std::size_t ValueBytes(std::uint64_t rows, std::uint64_t columns) {
  if (rows > 0xFFFFFFFFu / 8u / columns) return std::size_t{0xFFFFFFFFu};
  return static_cast<std::size_t>(rows * columns * 8u);
}

struct FreeValues {
  void operator()(double* values) const { mem_Free(values); }
};
}  // namespace

uma_Matrix::uma_Matrix(QOBSrvDenseMatrix* dense, const uma_System* owner)
    : m_owner(owner), m_dense(dense), m_immutable(true), m_incore(nullptr) {}

uma_Matrix::uma_Matrix(QOBSrvDenseMatrix* dense, uma_System* owner)
    : m_owner(owner), m_dense(dense), m_immutable(false), m_incore(nullptr) {}

uma_Matrix::uma_Matrix(QOBSrvMatrix* incore)
    : m_owner(nullptr), m_dense(nullptr), m_immutable(false), m_incore(incore) {}

uma_Matrix::~uma_Matrix() {
  delete m_dense;
  delete m_incore;
}

bool uma_Matrix::IsNull() const {
  if (m_dense && !m_dense->IsNull()) return false;
  return m_incore == nullptr;
}

int uma_Matrix::NumRows() const {
  if (m_dense) return m_dense->NumberOfRows();
  return m_incore ? m_incore->m_rows : 0;
}

int uma_Matrix::NumColumns() const {
  if (m_dense) return m_dense->NumberOfColumns();
  return m_incore ? m_incore->m_columns : 0;
}

void uma_Matrix::GetValues(int firstRow, int lastRow, int firstColumn, int lastColumn,
                           uma_IncoreMatrix& out) const {
  QOBSrvMatrix* destination = static_cast<uma_Matrix&>(out).m_incore;
  if (!destination) return;  // nothing to copy into
  if (m_dense) {
    m_dense->GetValues(firstRow, lastRow, firstColumn, lastColumn, *destination);
  } else if (m_incore) {
    m_incore->GetValues(firstRow, lastRow, firstColumn, lastColumn, *destination);
  }
}

void uma_Matrix::SetValues(int firstRow, int lastRow, int firstColumn, int lastColumn,
                           const uma_IncoreMatrix& in) {
  const QOBSrvMatrix* source = static_cast<const uma_Matrix&>(in).m_incore;
  if (!source) return;  // nothing to copy from
  if (m_dense) {
    m_dense->SetValues(firstRow, lastRow, firstColumn, lastColumn, *source);
  } else if (m_incore) {
    m_incore->SetValues(firstRow, lastRow, firstColumn, lastColumn, *source);
  }
}

// A new buffer with the block's values, column by column: the value of row firstRow + r and
// column firstColumn + c is at index r + c * dimRows. The caller releases it with mem_Free.
// The block must hold at least one value (sizes in 64 bits: far bounds cannot wrap around).
double* uma_Matrix::GetValues(int firstRow, int lastRow, int firstColumn, int lastColumn) const {
  if (IsNull()) return nullptr;  // without asserting
  std::int64_t dimRows = std::int64_t{lastRow} - firstRow + 1;
  std::int64_t dimCols = std::int64_t{lastColumn} - firstColumn + 1;
  // An empty or reversed block is a broken precondition of the caller.
  UMA_ASSERT_TEXT(dimRows > 0 && dimCols > 0, "dimRows > 0 && dimCols > 0");
  std::unique_ptr<double, FreeValues> buffer(
      static_cast<double*>(mem_OperatorNewThrowBuiltin(ValueBytes(dimRows, dimCols))));
  QOBSrvMatrix local(static_cast<int>(dimRows), static_cast<int>(dimCols), buffer.get(), false,
                     false);
  if (m_dense) {
    m_dense->GetValues(firstRow, lastRow, firstColumn, lastColumn, local);
  } else {
    m_incore->GetValues(firstRow, lastRow, firstColumn, lastColumn, local);
  }
  return buffer.release();
}

uma_Matrix* uma_Matrix::Submatrix(int firstRow, int lastRow, int firstColumn,
                                  int lastColumn) const {
  if (!m_dense) return nullptr;
  std::unique_ptr<QOBSrvDenseMatrix> block(
      m_dense->Submatrix(firstRow, lastRow, firstColumn, lastColumn));
  uma_Matrix* handle = new uma_Matrix(block.get(), m_owner);  // read-only, same owner
  block.release();
  return handle;
}

uma_Enum::uma_MapTypeEnum uma_Matrix::TypeRows() const {
  if (!m_dense) return uma_Enum::uma_MapInternal;
  return TypeCSet(m_dense->RowCSet());
}

uma_Enum::uma_MapTypeEnum uma_Matrix::TypeColumns() const {
  if (!m_dense) return uma_Enum::uma_MapInternal;
  return TypeCSet(m_dense->ColumnCSet());
}

uma_Enum::uma_MapTypeEnum uma_Matrix::TypeCSet(QOBSimCSetID id) const {
  if (id.IsNull()) return uma_Enum::uma_MapInternal;
  int positionType = uma_SetAccess::PositionType(id);
  if (positionType == uma_TypeIndex::DofPosition()) return uma_Enum::uma_MapDof;
  if (positionType == uma_TypeIndex::NodePosition()) return uma_Enum::uma_MapNode;
  if (positionType == uma_TypeIndex::ModePosition()) return uma_Enum::uma_MapMode;
  if (positionType == uma_TypeIndex::ElementPosition()) return uma_Enum::uma_MapElement;
  return uma_Enum::uma_MapInternal;
}

uma_ArrayInt* uma_Matrix::MapRows(uma_Enum::uma_MapTypeEnum type) const {
  if (!m_dense) return nullptr;
  return MapMatrixCSet(m_dense->RowCSet(), type);
}

uma_ArrayInt* uma_Matrix::MapColumns(uma_Enum::uma_MapTypeEnum type) const {
  if (!m_dense) return nullptr;
  return MapMatrixCSet(m_dense->ColumnCSet(), type);
}

uma_ArrayInt* uma_Matrix::MapMatrixCSet(QOBSimCSetID id, uma_Enum::uma_MapTypeEnum type) const {
  if (id.IsNull()) return nullptr;
  int size = uma_SetAccess::Size(id);
  if (size <= 0) return nullptr;
  // Member numbers are the matrix's own answer; every other kind is the system's.
  if (type == uma_Enum::uma_MapInternal) return uma_SetAccess::Members(id, size);
  if (!m_owner || m_owner->IsNull()) return nullptr;
  return m_owner->MapCSet(id, type);
}
