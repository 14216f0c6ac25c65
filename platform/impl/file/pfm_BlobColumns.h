// Format version 1's values: each column of each distribution is one BLOB of little-endian
// doubles in the table column_values, found by (distribution, column) through its primary key.
// A read moves one incremental blob handle from column to column and copies only the rows asked
// for.
#pragma once

#include <vector>

#include "pfm_Sqlite.h"
#include "pfm_ValueLayout.h"

namespace pfm {

class BlobColumns : public ValueLayout {
 public:
  // `rows` holds each distribution's number of rows, by index.
  BlobColumns(sql::Db& db, std::vector<int> rows);
  void Read(int d, int r0, int nr, int c0, int nc, double* out, std::int64_t ld) override;
  bool WriteColumn(int d, int c, const double* values) override;

 private:
  template <class Visit>
  void EachColumn(int d, int c0, int nc, bool writable, Visit visit);

  sql::Db& m_db;
  std::vector<int> m_rows;
  sql::Statement m_lookup;  // rowids of a run of columns of a distribution
  std::vector<double> m_stored, m_scratch;
};

}  // namespace pfm
