// A matrix handle whose values live in memory, column by column with the row count as leading
// dimension. Built over the caller's array it works in place (the array must outlive it);
// built with a null array it keeps storage of its own, zeroed. Always writable.
//
// Errors. Nothing is caught; besides those of uma_Matrix (uma_Matrix.h):
//  - QOBBasOutOfMemory from the constructor that keeps storage of its own;
//  - QOBBasError from the constructor for negative dimensions, from the SetValues that take an
//    array for a null array, and from the block forms for a block outside the matrix, empty or
//    reversed;
//  - value() on a handle without storage (one built from a null QOBSrvMatrix*) fails its
//    assertion: two lines on the error stream, then the process aborts.
//
// Threads: one thread at a time, as for the whole library (QOBSspUmaCore.h).
#pragma once

#include "uma_Export.h"
#include "uma_Matrix.h"

class UMA_EXPORT uma_IncoreMatrix : public uma_Matrix {
 public:
  uma_IncoreMatrix(int rows, int columns, double* values);
  // Takes over `matrix` (which may be null: a handle without storage).
  explicit uma_IncoreMatrix(QOBSrvMatrix* matrix);
  ~uma_IncoreMatrix() override;
  uma_IncoreMatrix(const uma_IncoreMatrix&) = delete;
  uma_IncoreMatrix& operator=(const uma_IncoreMatrix&) = delete;

  // The values; null without storage.
  double* Values();
  const double* Values() const;

  // Element access; without storage an assertion failure. Indices are not checked.
  double value(int row, int column) const;
  double& value(int row, int column);

  // Load the whole matrix, or a block, from an array of its values column by column; nothing
  // happens without storage (or, for the whole matrix, when it has no element).
  void SetValues(const double* values);
  void SetValues(int firstRow, int lastRow, int firstColumn, int lastColumn, const double* values);
  // Loads the block from the first values of `source` in its storage order; does nothing when
  // `source` holds fewer values than the block.
  void SetValues(int firstRow, int lastRow, int firstColumn, int lastColumn,
                 const uma_IncoreMatrix& source);
};
