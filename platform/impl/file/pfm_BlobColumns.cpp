// Format version 1's values: a BLOB per column (see pfm_BlobColumns.h).
#include "pfm_BlobColumns.h"

#include <cstring>
#include <optional>

#include "pfm_ColumnFile.h"

namespace pfm {

namespace {

// Leaves a statement ready for its next use however the scope is left.
struct ResetOnExit {
  sql::Statement& statement;
  ~ResetOnExit() { statement.Reset(); }
};

constexpr std::int64_t kBytes = sizeof(double);

}  // namespace

DamagedValues::~DamagedValues() = default;

BlobColumns::BlobColumns(sql::Db& db, std::vector<int> rows)
    : m_db(db),
      m_rows(std::move(rows)),
      m_lookup(db,
               "SELECT column_index, rowid FROM column_values WHERE distribution = ?1 AND "
               "column_index BETWEEN ?2 AND ?3 ORDER BY column_index") {}

// Visits columns c0..c0+nc-1 of distribution `d` in order with a blob handle on each. A failure
// that lies in the file's content (SQLite finds it corrupt, say) names the file as damaged.
template <class Visit>
void BlobColumns::EachColumn(int d, int c0, int nc, bool writable, Visit visit) {
  if (nc <= 0) return;
  const std::int64_t rows = m_rows.at(static_cast<std::size_t>(d));
  ResetOnExit reset{m_lookup};
  int c = 0;
  try {
    m_lookup.Bind(1, d).Bind(2, c0).Bind(3, static_cast<std::int64_t>(c0) + nc - 1);
    std::optional<sql::Blob> blob;
    for (; c < nc; ++c) {
      if (!m_lookup.Step() || m_lookup.Int(0) != c0 + c)
        throw DamagedValues(ValuesOf(d, c0 + c) + " are missing");
      if (blob)
        blob->MoveTo(m_lookup.Int(1));
      else
        blob.emplace(m_db, "column_values", "data", m_lookup.Int(1), writable);
      if (blob->Bytes() != rows * kBytes)
        throw DamagedValues(ValuesOf(d, c0 + c) + " hold " + std::to_string(blob->Bytes()) +
                            " bytes instead of " + std::to_string(rows * kBytes));
      visit(c, *blob);
    }
  } catch (const sql::Error& e) {
    if (e.FromSurroundings()) throw;
    throw DamagedValues(ValuesOf(d, c0 + c) + " cannot be read: " + e.what());
  }
}

void BlobColumns::Read(int d, int r0, int nr, int c0, int nc, double* out, std::int64_t ld) {
  EachColumn(d, c0, nc, false, [&](int c, sql::Blob& blob) {
    double* column = out + c * ld;
    blob.Read(column, nr * kBytes, r0 * kBytes);
    FromLittleEndian(column, static_cast<std::size_t>(nr));
  });
}

bool BlobColumns::WriteColumn(int d, int c, const double* values) {
  const int rows = m_rows.at(static_cast<std::size_t>(d));
  bool written = false;
  if (rows == 0) return written;
  m_stored.resize(static_cast<std::size_t>(rows));
  EachColumn(d, c, 1, true, [&](int, sql::Blob& blob) {
    const double* column = LittleEndian(values, static_cast<std::size_t>(rows), m_scratch);
    blob.Read(m_stored.data(), rows * kBytes, 0);
    // Bit for bit: a column that differs only in the sign of a zero or a NaN payload changed.
    if (std::memcmp(m_stored.data(), column, static_cast<std::size_t>(rows * kBytes)) == 0) return;
    blob.Write(column, rows * kBytes, 0);
    written = true;
  });
  return written;
}

}  // namespace pfm
