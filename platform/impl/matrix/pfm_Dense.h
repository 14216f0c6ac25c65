// Inside a stored dense matrix. A matrix shows the values of a base, which is either a stored
// distribution of its session or a block of values of its own (shared, copy on write, between
// matrices derived from one another), through optional row and column maps. Deriving a matrix
// (Restrict, Submatrix, the filters) composes maps and copies no values; a derived matrix that
// is written, or whose stored distribution is about to be written, first takes a copy of what
// it shows, so that derived matrices are detached from everything else.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "QOBMtxLinearAlgebra.h"
#include "pfm_Session.h"

struct QOBSrvDenseMatrix::Impl : pfm::DenseView {
  int session = 0;
  int distribution = -1;  // base: the stored distribution, or -1 for `block`
  std::shared_ptr<std::vector<double>> block;
  int blockRows = 0;        // leading dimension of `block`
  std::vector<int> rowMap;  // base row of each row; empty: row r is base row r
  std::vector<int> colMap;  // likewise for columns
  int rows = 0;
  int columns = 0;
  int rowSet = -1;  // set numbers in the session, or -1
  int columnSet = -1;
  bool stored = false;  // the stored matrix itself: writes reach the distribution

  Impl() = default;
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;
  virtual ~Impl();

  pfm::Session* Session() const { return pfm::Sessions::Find(session); }
  int BaseRow(int r) const { return rowMap.empty() ? r : rowMap[static_cast<std::size_t>(r)]; }
  int BaseColumn(int c) const { return colMap.empty() ? c : colMap[static_cast<std::size_t>(c)]; }

  // Copies rows r0..r0+nr-1 of columns c0..c0+nc-1 into `out` (leading dimension ld).
  void Read(int r0, int nr, int c0, int nc, double* out, std::int64_t ld) const;
  // Writes that block from `in`.
  void Write(int r0, int nr, int c0, int nc, const double* in, std::int64_t ld);
  // Takes a copy of the values shown, so that nothing else is shared.
  void Detach() override;
  // Registers with the session as a view of its stored distribution.
  void Watch();
};

namespace pfm {

// The number of rows and columns of a block.
struct BlockShape {
  int rows;
  int columns;
};

// The shape of the block; throws QOBBasError unless 0 <= first <= last < size for both ranges.
BlockShape CheckBlock(const char* operation, int rows, int columns, int firstRow, int lastRow,
                      int firstColumn, int lastColumn);
// Throws QOBBasError when the in-core `operand` (the "source" or "destination" of a block
// copy) is smaller than the block.
void CheckOperand(const char* operation, const char* role, BlockShape block,
                  const QOBSrvMatrix& operand);

// Which rows (or columns) of a source a derived matrix shows: the positions listed, or the
// first `count` ones, which cost nothing to describe however many they are.
struct Selection {
  std::vector<int> listed;  // empty: positions 0 .. count - 1
  int count = 0;

  static Selection Leading(int count) { return {{}, count}; }
  static Selection Of(std::vector<int> positions) {
    int count = static_cast<int>(positions.size());
    return {std::move(positions), count};
  }
  int At(std::size_t i) const { return listed.empty() ? static_cast<int>(i) : listed[i]; }
};

// A new matrix showing rows `rows` and columns `columns` of `source`, with row and column sets
// that are the matching subsets of the source's.
QOBSrvDenseMatrix* DeriveDense(const QOBSrvDenseMatrix& source, const Selection& rows,
                               const Selection& columns);

// All values, column by column with NumberOfRows() as leading dimension: straight from memory
// when they lie there contiguously, otherwise copied into `scratch`.
const double* DenseValues(const QOBSrvDenseMatrix& matrix, std::vector<double>& scratch);
// Writes all values from `values` (column by column, NumberOfRows() as leading dimension).
void DenseWriteAll(QOBSrvDenseMatrix& matrix, const double* values);

}  // namespace pfm
