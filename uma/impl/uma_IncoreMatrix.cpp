// The in-core matrix: values in memory, with element access and block loading. Its storage is
// a platform in-core matrix that it owns (over the caller's array, or over storage of its own).
#include "uma_IncoreMatrix.h"

#include <cstdint>

#include "uma_Diagnostics.h"

uma_IncoreMatrix::uma_IncoreMatrix(int rows, int columns, double* values)
    : uma_Matrix(new QOBSrvMatrix(rows, columns, values, false, false)) {}

uma_IncoreMatrix::uma_IncoreMatrix(QOBSrvMatrix* matrix) : uma_Matrix(matrix) {}

uma_IncoreMatrix::~uma_IncoreMatrix() = default;

double* uma_IncoreMatrix::Values() { return incore() ? incore()->m_values : nullptr; }

const double* uma_IncoreMatrix::Values() const { return incore() ? incore()->m_values : nullptr; }

namespace {
// Index of element (row, column) in column-major values; computed in 64 bits.
std::int64_t At(const QOBSrvMatrix& m, int row, int column) {
  return static_cast<std::int64_t>(column) * m.m_rows + row;
}

// Whether `held` values are fewer than the block needs (an empty or reversed block needs none).
// By division: the product of two sides of up to 2^32 values each would overflow 64 bits.
bool FewerThanTheBlock(std::int64_t held, int r0, int r1, int c0, int c1) {
  std::int64_t rows = std::int64_t{r1} - r0 + 1, columns = std::int64_t{c1} - c0 + 1;
  return rows > 0 && columns > 0 && rows > held / columns;
}
}  // namespace

// Element access. The indices are the caller's to keep inside the matrix: they are not
// checked, as for any in-core array (element (row, column) is at row + column * rows of the
// values); a handle without storage is a broken precondition and fails its assertion.
double uma_IncoreMatrix::value(int row, int column) const {
  UMA_ASSERT_TEXT(incore() != nullptr, "m_incore");
  return incore()->m_values[At(*incore(), row, column)];
}

double& uma_IncoreMatrix::value(int row, int column) {
  // Writes land in the values, so in the caller's array for a matrix built over one.
  UMA_ASSERT_TEXT(incore() != nullptr, "m_incore");
  return incore()->m_values[At(*incore(), row, column)];
}

// The three loaders do nothing without storage to load into.
void uma_IncoreMatrix::SetValues(const double* values) {
  QOBSrvMatrix* m = incore();
  if (!m || m->m_rows == 0 || m->m_columns == 0) return;
  m->SetValues(0, m->m_rows - 1, 0, m->m_columns - 1, values);
}

void uma_IncoreMatrix::SetValues(int firstRow, int lastRow, int firstColumn, int lastColumn,
                                 const double* values) {
  if (QOBSrvMatrix* m = incore()) m->SetValues(firstRow, lastRow, firstColumn, lastColumn, values);
}

// The block takes the first values of `source` in its storage order, whatever its shape; a
// source holding fewer values than the block leaves the matrix as it was.
void uma_IncoreMatrix::SetValues(int firstRow, int lastRow, int firstColumn, int lastColumn,
                                 const uma_IncoreMatrix& source) {
  QOBSrvMatrix* m = incore();
  if (!m) return;
  const double* values = source.Values();
  std::int64_t held = values ? std::int64_t{source.NumRows()} * source.NumColumns() : 0;
  if (FewerThanTheBlock(held, firstRow, lastRow, firstColumn, lastColumn)) return;
  m->SetValues(firstRow, lastRow, firstColumn, lastColumn, values);
}
