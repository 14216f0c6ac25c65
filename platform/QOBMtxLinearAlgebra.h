// Linear algebra services: in-core matrices, stored dense matrices and their products.
// Blocks are (first row, last row, first column, last column), inclusive, from 0. Values lie
// column by column. A block outside a matrix, a reversed block or an operand of the wrong size
// throws QOBBasError; nothing is read or written out of bounds.
#pragma once

#include <memory>

#include "QOBBasCoreUtils.h"
#include "QOBSimAPI.h"

void QOBMtxLinearAlgebra_initialize(int& count);
void QOBMtxLinearAlgebra_finalize(int& count);

// In-core matrix of rows x columns doubles. Its first three fields are read directly by
// callers. Over a caller's array it works in place and never frees it; given a null array it
// keeps zero-initialised storage of its own.
class QOBSrvMatrix : public mem_AllocationOperators {
 public:
  QOBSrvMatrix(int rows, int columns, double* values, bool transposed, bool symmetric);
  QOBSrvMatrix(const QOBSrvMatrix&) = delete;
  QOBSrvMatrix& operator=(const QOBSrvMatrix&) = delete;
  ~QOBSrvMatrix();

  double* m_values;
  int m_rows;
  int m_columns;

  // Copies the block into `destination`, from its element (0, 0) on.
  void GetValues(int firstRow, int lastRow, int firstColumn, int lastColumn,
                 QOBSrvMatrix& destination) const;
  // Writes the block from `source`, read from its element (0, 0) on.
  void SetValues(int firstRow, int lastRow, int firstColumn, int lastColumn,
                 const QOBSrvMatrix& source);
  // Writes the block from an array holding the block's values column by column.
  void SetValues(int firstRow, int lastRow, int firstColumn, int lastColumn, const double* source);

  // C = this * B and C = this^T * B; C already has the product's dimensions.
  void Multiply(const QOBSrvMatrix& B, QOBSrvMatrix& C, int, int) const;
  void TransposeMultiply(const QOBSrvMatrix& B, QOBSrvMatrix& C, int, int) const;

 private:
  bool m_ownsValues;
};

// A dense matrix stored in the model database, made from a distribution id. Matrices derived
// from it (Restrict, Submatrix, the node and degree-of-freedom filters) are detached: writing
// into one never changes the stored values, and later writes to the stored values do not show
// in them. Writes into a stored matrix are kept by its model session (editing only) and reach
// the model when the session is closed.
class QOBSrvDenseMatrix : public mem_AllocationOperators {
 public:
  struct Impl;

  explicit QOBSrvDenseMatrix(const QOBSimDistributionID& id);
  explicit QOBSrvDenseMatrix(std::unique_ptr<Impl> impl);  // for the platform's own use
  QOBSrvDenseMatrix(const QOBSrvDenseMatrix&) = delete;
  QOBSrvDenseMatrix& operator=(const QOBSrvDenseMatrix&) = delete;

  // Virtual operations, in this slot order.
  virtual ~QOBSrvDenseMatrix();
  virtual QOBSimCSetID RowCSet() const;
  virtual QOBSimCSetID ColumnCSet() const;
  // The block as a new matrix owned by the caller; null for a reversed or outside block. An
  // empty range (last = first - 1, as when every load column is trimmed) gives a matrix
  // without rows or columns; the full range answers a new matrix too.
  virtual QOBSrvDenseMatrix* Restrict(int firstRow, int lastRow, int firstColumn, int lastColumn);
  // The block as a new matrix owned by the caller; null for an empty, reversed or outside block.
  virtual QOBSrvDenseMatrix* Submatrix(int firstRow, int lastRow, int firstColumn,
                                       int lastColumn) const;
  virtual void Multiply(const QOBSrvMatrix& B, QOBSrvMatrix& C) const;
  // C is the values array of a NumberOfRows() x B.NumberOfColumns() in-core matrix.
  virtual void Multiply(const QOBSrvDenseMatrix& B, double* C) const;
  virtual void Multiply(const QOBSrvDenseMatrix& B, QOBSrvDenseMatrix& C) const;
  // C = alpha * this * B + beta * C; a beta of 0 overwrites C whatever it held.
  virtual void Multiply(double alpha, const QOBSrvMatrix& B, double beta,
                        QOBSrvDenseMatrix& C) const;
  virtual void TransposeMultiply(const QOBSrvMatrix& B, QOBSrvMatrix& C, int) const;
  virtual void TransposeMultiply(const QOBSrvDenseMatrix& B, QOBSrvDenseMatrix& C, int) const;
  virtual void TransposeMultiply(const QOBSrvDenseMatrix& B, QOBSrvMatrix& C, int) const;

  // Null when the id does not name a distribution of an open model session.
  bool IsNull() const;
  int NumberOfRows() const;
  int NumberOfColumns() const;
  void GetValues(int firstRow, int lastRow, int firstColumn, int lastColumn,
                 QOBSrvMatrix& destination) const;
  void SetValues(int firstRow, int lastRow, int firstColumn, int lastColumn,
                 const QOBSrvMatrix& source);

  Impl& impl() const { return *m_impl; }

 private:
  std::unique_ptr<Impl> m_impl;
};

class QOBSrvUtilities {
 public:
  // Whether the distribution is stored as a dense matrix.
  static bool IsDenseMatrix(const QOBSimDistribution& distribution);
};
