// Handle to one matrix of doubles: a stored dense matrix handed out by a system (or cut from
// another handle), or in-core values (the base part of a uma_IncoreMatrix). Rows and columns
// are numbered from 0; a block is (firstRow, lastRow, firstColumn, lastColumn), both ends
// included. Every handle an operation returns is new and owned by the caller; handles of a
// system are deleted before the system.
//
// Errors. Nothing is caught: platform exceptions reach the caller after the operation's
// temporaries are released, and the handles involved keep their storage.
//  - QOBBasOutOfMemory (a QOBBasError) from every operation that allocates: Submatrix, MapRows,
//    MapColumns, the products (their temporary result).
//  - QOBBasError, with a plain message, from GetValues and SetValues when the block lies
//    outside the matrix, is empty or reversed, or is larger than the in-core operand; from
//    any operation that reads or writes values of a stored matrix whose model is closed
//    (its system was destroyed first), or of a model file that fails the read: then a
//    pfm::StoreError (pfm_Support.h), which carries the kind of the failure (a damaged file, a
//    file changed since it was opened, an I/O error, ...).
//  - The process aborts only where a broken precondition is an assertion: an index outside a
//    returned array (uma_ArrayInt.h).
//
// Threads: one thread at a time, as for the whole library (QOBSspUmaCore.h).
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
  // Dimensions; 0 without storage.
  int NumRows() const;
  int NumColumns() const;

  // Copies the block into `out` (from its element (0, 0)), or `in` into the block. Nothing
  // happens when `out` or `in` has no storage, or this handle has none. SetValues writes
  // through any non-const handle, a Submatrix included (the products alone refuse those);
  // values written through a GetMatrix handle reach the model when its system is destroyed,
  // while a Submatrix is a detached copy.
  void GetValues(int firstRow, int lastRow, int firstColumn, int lastColumn,
                 uma_IncoreMatrix& out) const;
  void SetValues(int firstRow, int lastRow, int firstColumn, int lastColumn,
                 const uma_IncoreMatrix& in);

  // A new read-only handle of the block of a stored matrix, a copy with the block's own row and
  // column labels; null for an in-core handle. A block outside the matrix, empty or reversed,
  // gives a handle that reports IsNull() (and still has to be deleted).
  uma_Matrix* Submatrix(int firstRow, int lastRow, int firstColumn, int lastColumn) const;

  // What the rows (columns) are; uma_MapInternal for in-core handles and unlabelled sets.
  uma_Enum::uma_MapTypeEnum TypeRows() const;
  uma_Enum::uma_MapTypeEnum TypeColumns() const;
  // One integer per row (column) of the kind asked for, or null. Owned by the caller.
  uma_ArrayInt* MapRows(uma_Enum::uma_MapTypeEnum type) const;
  uma_ArrayInt* MapColumns(uma_Enum::uma_MapTypeEnum type) const;

  // C = this * B and C = this^T * B. A null or null-handle A or B does nothing, silently. With a
  // null C the product goes to a temporary that is released before returning. Argument errors
  // write one line on the error stream and leave C untouched: "Multiply: Inconsistent
  // dimensions A and B.", "Multiply: Immutable C." (a read-only C), "Multiply: Wrong dimension
  // C.", "Multiply: Unsupported storage combination." (the platform has no such product; e.g.
  // an in-core A with a stored B). A C without storage receives nothing.
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
