// Handle to one matrix of doubles: a stored dense matrix handed out by a system (or cut from
// another handle), or in-core values (the base part of a uma_IncoreMatrix). Rows and columns
// are numbered from 0; a block is (firstRow, lastRow, firstColumn, lastColumn), both ends
// included. Every handle an operation returns is new and owned by the caller; handles of a
// system are deleted before the system.
#pragma once

#include "QOBBasCoreUtils.h"
#include "QOBMtxLinearAlgebra.h"
#include "QOBSimAPI.h"
#include "uma_Enum.h"
#include "uma_Export.h"

class uma_ArrayInt;
class uma_IncoreMatrix;
class uma_System;

class UMA_EXPORT uma_Matrix : public mem_AllocationOperators {
 public:
  virtual ~uma_Matrix();
  uma_Matrix(const uma_Matrix&) = delete;
  uma_Matrix& operator=(const uma_Matrix&) = delete;

  // True without storage, or when the stored matrix reports itself null.
  bool IsNull() const;
  int NumRows() const;
  int NumColumns() const;

  // Copies the block into `out` (from its element (0, 0)), or `in` into the block.
  void GetValues(int firstRow, int lastRow, int firstColumn, int lastColumn,
                 uma_IncoreMatrix& out) const;
  void SetValues(int firstRow, int lastRow, int firstColumn, int lastColumn,
                 const uma_IncoreMatrix& in);

  // A new read-only handle of the block of a stored matrix; null for an in-core handle.
  uma_Matrix* Submatrix(int firstRow, int lastRow, int firstColumn, int lastColumn) const;

  // What the rows (columns) are; uma_MapInternal for in-core handles and unlabelled sets.
  uma_Enum::uma_MapTypeEnum TypeRows() const;
  uma_Enum::uma_MapTypeEnum TypeColumns() const;
  // One integer per row (column) of the kind asked for, or null. Owned by the caller.
  uma_ArrayInt* MapRows(uma_Enum::uma_MapTypeEnum type) const;
  uma_ArrayInt* MapColumns(uma_Enum::uma_MapTypeEnum type) const;

  // C = this * B and C = this^T * B. With a null C the product goes to a temporary that is
  // released before returning. Argument errors write one line on the error stream and leave C
  // untouched.
  void Multiply(const uma_Matrix* B, uma_Matrix* C) const;
  void TransposeMultiply(const uma_Matrix* B, uma_Matrix* C) const;

 protected:
  friend class uma_System;
  friend class uma_TestAccess;

  // Read-only and writable dense handles are told apart by the constness of the owner: a
  // const system hands out read-only matrices.
  UMA_HIDDEN uma_Matrix(QOBSrvDenseMatrix* dense, const uma_System* owner);
  UMA_HIDDEN uma_Matrix(QOBSrvDenseMatrix* dense, uma_System* owner);
  UMA_HIDDEN explicit uma_Matrix(QOBSrvMatrix* incore);

  QOBSrvMatrix* incore() const { return m_incore; }

 private:
  UMA_HIDDEN double* GetValues(int firstRow, int lastRow, int firstColumn, int lastColumn) const;
  UMA_HIDDEN uma_Enum::uma_MapTypeEnum TypeCSet(QOBSimCSetID id) const;
  UMA_HIDDEN uma_ArrayInt* MapMatrixCSet(QOBSimCSetID id, uma_Enum::uma_MapTypeEnum type) const;

  const uma_System* m_owner;
  QOBSrvDenseMatrix* m_dense;
  bool m_immutable;
  QOBSrvMatrix* m_incore;
};
