// Where a model file keeps the values of its distributions. Format version 1 keeps each column
// in one BLOB (BlobColumns); version 2 keeps columns in chunks of fixed size and stores rows that
// one matrix shares with another once (ChunkedColumns). ColumnFile runs every call inside the
// transaction that shows the version it opened.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "QOBBasCoreUtils.h"

namespace pfm {

// What a layout throws when the file's values are not what the format says; ColumnFile turns it
// into its "a damaged file: PATH (detail)" StoreError.
class DamagedValues : public QOBBasError {
 public:
  explicit DamagedValues(const std::string& detail) : QOBBasError(detail) {}
  ~DamagedValues() override;
};

class ValueLayout {
 public:
  virtual ~ValueLayout() = default;
  // Copies rows r0..r0+nr-1 of columns c0..c0+nc-1 of distribution `d` into `out` (leading
  // dimension `ld`), in the host's byte order. The block lies inside the distribution.
  virtual void Read(int d, int r0, int nr, int c0, int nc, double* out, std::int64_t ld) = 0;
  // Makes column `c` of `d` hold `values` (every row, host order) in the edit transaction.
  // Answers false, writing nothing, when it holds them already bit for bit.
  virtual bool WriteColumn(int d, int c, const double* values) = 0;

  // "the values of matrix D column C", for the details of damage.
  static std::string ValuesOf(int d, int c) {
    return "the values of matrix " + std::to_string(d) + " column " + std::to_string(c);
  }
};

}  // namespace pfm
