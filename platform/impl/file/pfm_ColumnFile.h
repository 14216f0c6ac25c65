// The values of one open model file. Each column of each distribution is one BLOB of
// little-endian IEEE-754 doubles in the table column_values, found by (distribution, column)
// through the table's primary key. A read copies only the rows asked for of the columns asked
// for, through one incremental blob handle moved from column to column, so that reading a
// block costs what the block holds wherever it lies. No lock is held between calls.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "pfm_Sqlite.h"

namespace pfm {

class ColumnFile {
 public:
  ColumnFile(std::unique_ptr<sql::Db> db, std::string path);
  ColumnFile(const ColumnFile&) = delete;
  ColumnFile& operator=(const ColumnFile&) = delete;

  const std::string& path() const { return m_path; }
  sql::Db& db() { return *m_db; }

  // Copies rows r0..r0+nr-1 of columns c0..c0+nc-1 of distribution `d`, whose columns hold
  // `rows` values each, into `out` (leading dimension `ld`). Throws QOBBasError naming the file
  // as damaged when a column is missing or of the wrong length.
  void Read(int d, int rows, int r0, int nr, int c0, int nc, double* out, std::int64_t ld);
  // Writes that block from `in`. The caller holds a write transaction.
  void Write(int d, int rows, int r0, int nr, int c0, int nc, const double* in, std::int64_t ld);
  // Writes those of columns c0..c0+nc-1 of distribution `d` that differ from `values` (nc
  // whole columns, one after the other), calling `afterEach` after each one written. Answers
  // how many were written. The caller holds a write transaction.
  int WriteChanged(int d, int rows, int c0, int nc, const double* values,
                   const std::function<void()>& afterEach);

  // Throws the error for a damaged file: "a damaged file: PATH (detail)".
  [[noreturn]] void Damaged(const std::string& detail) const;

 private:
  template <class Visit>
  void EachColumn(int d, int rows, int c0, int nc, bool writable, Visit visit);

  std::unique_ptr<sql::Db> m_db;
  std::string m_path;
  sql::Statement m_lookup;  // rowids of a run of columns of a distribution
  std::vector<double> m_scratch;
};

// Values between the host's order and the stored little-endian order: on little-endian hosts
// `values` itself, otherwise a byte-swapped copy in `scratch`.
const double* LittleEndian(const double* values, std::size_t count, std::vector<double>& scratch);
// Turns stored little-endian values into the host's order in place.
void FromLittleEndian(double* values, std::size_t count);

}  // namespace pfm
