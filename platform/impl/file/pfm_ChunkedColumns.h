// Format version 2's values. Each column is kept in chunks of kChunkValues little-endian doubles
// (the last of a column may be shorter), one row of the table value_chunk each, so that reaching
// any row of a column costs one lookup by rowid whatever the column's length, and chunks pack
// whole pages. A read moves one incremental blob handle from chunk to chunk and closes it
// before it returns (an open handle would hold the read, and its lock, open). A distribution's
// chunks have consecutive ids: chunk k of column c is
//   first_chunk + c * ceil(rows / kChunkValues) + k.
// Columns that share their first rows with another distribution (the table shared_rows) keep
// only the rows below those in chunks of their own; the shared rows are read from the source's
// column. Writing a shared row, or a row that another matrix shares, gives the columns involved
// rows of their own first, so that no matrix ever changes when another is written.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "pfm_Model.h"
#include "pfm_Sqlite.h"
#include "pfm_ValueLayout.h"

namespace pfm {

class ChunkedColumns : public ValueLayout {
 public:
  static constexpr int kChunkValues = 1020;  // 8160 bytes: two chunks to a 16 KiB page

  struct Matrix {
    int rows = 0;
    int columns = 0;
    std::int64_t firstChunk = 0;
    std::vector<SharedRows> shared;  // by first column, not overlapping
  };

  // Chunks per column of a matrix of `rows` rows.
  static std::int64_t ChunksPerColumn(int rows) { return (rows + kChunkValues - 1) / kChunkValues; }
  // The rows of column `c` of `m` that another matrix holds: 0, or the source's rows.
  static int SharedRowsOf(const std::vector<Matrix>& matrices, int m, int c,
                          const SharedRows** share = nullptr);
  // Inserts `count` values (host order) as the chunks firstId, firstId + 1, ... with `insert`
  // ("INSERT INTO value_chunk (id, data) VALUES (?1, ?2)").
  static void InsertChunks(sql::Statement& insert, std::int64_t firstId, const double* values,
                           std::int64_t count, std::vector<double>& scratch);

  ChunkedColumns(sql::Db& db, std::vector<Matrix> matrices);
  void Read(int d, int r0, int nr, int c0, int nc, double* out, std::int64_t ld) override;
  bool WriteColumn(int d, int c, const double* values) override;

 private:
  std::int64_t ChunkId(int d, int c, std::int64_t k) const;
  // Rows a..b-1 of the rows column `c` of `d` keeps itself (counted from its first own row).
  void ReadOwn(int d, int c, int a, int b, double* out);
  // Reads rows r0..r0+nr-1 of one column into `out` (host order), whoever holds them.
  void ReadColumn(int d, int c, int r0, int nr, double* out);
  // Makes every row of column `c` of `d` its own, holding `values`.
  void WriteOwn(int d, int c, const double* values);
  // Column `c` of `d` no longer shares rows: its range of shared columns is split around it.
  void Unshare(int d, int c);

  sql::Db& m_db;
  std::vector<Matrix> m_matrices;
  // One blob handle moved from chunk to chunk for the length of a read: it holds the read open,
  // so it never outlives the call.
  std::optional<sql::Blob> m_blob;
  std::vector<double> m_column, m_scratch;
};

}  // namespace pfm
