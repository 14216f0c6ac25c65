// Column-wise value access to a model file (see pfm_ColumnFile.h).
#include "pfm_ColumnFile.h"

#include <cstring>
#include <optional>

#include "pfm_ModelFile.h"

namespace pfm {

namespace {

constexpr bool kLittleEndianHost = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;

void SwapBytes(double* values, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    unsigned char b[sizeof(double)];
    std::memcpy(b, values + i, sizeof b);
    for (std::size_t k = 0; k < sizeof b / 2; ++k) std::swap(b[k], b[sizeof b - 1 - k]);
    std::memcpy(values + i, b, sizeof b);
  }
}

// Leaves a statement ready for its next use however the scope is left.
struct ResetOnExit {
  sql::Statement& statement;
  ~ResetOnExit() { statement.Reset(); }
};

constexpr std::int64_t kBytes = sizeof(double);

}  // namespace

const double* LittleEndian(const double* values, std::size_t count, std::vector<double>& scratch) {
  if (kLittleEndianHost) return values;
  scratch.assign(values, values + count);
  SwapBytes(scratch.data(), count);
  return scratch.data();
}

void FromLittleEndian(double* values, std::size_t count) {
  if (!kLittleEndianHost) SwapBytes(values, count);
}

ColumnFile::ColumnFile(std::unique_ptr<sql::Db> db, std::string path)
    : m_db(std::move(db)),
      m_path(std::move(path)),
      m_lookup(*m_db,
               "SELECT column_index, rowid FROM column_values WHERE distribution = ?1 AND "
               "column_index BETWEEN ?2 AND ?3 ORDER BY column_index") {}

void ColumnFile::Damaged(const std::string& detail) const {
  throw QOBBasError(ModelFileMessage(ModelFileProblem::Damaged, m_path, detail));
}

// Visits columns c0..c0+nc-1 of distribution `d` in order with a blob handle on each. The
// lookup stays active throughout, so all columns are seen in one read transaction. A failure
// that lies in the file's content (SQLite finds it corrupt, say) names the file as damaged.
template <class Visit>
void ColumnFile::EachColumn(int d, int rows, int c0, int nc, bool writable, Visit visit) {
  if (nc <= 0) return;
  ResetOnExit reset{m_lookup};
  int c = 0;
  auto values = [&] {
    return "the values of matrix " + std::to_string(d) + " column " + std::to_string(c0 + c);
  };
  try {
    m_lookup.Bind(1, d).Bind(2, c0).Bind(3, static_cast<std::int64_t>(c0) + nc - 1);
    std::optional<sql::Blob> blob;
    for (; c < nc; ++c) {
      if (!m_lookup.Step() || m_lookup.Int(0) != c0 + c) Damaged(values() + " are missing");
      if (blob)
        blob->MoveTo(m_lookup.Int(1));
      else
        blob.emplace(*m_db, "column_values", "data", m_lookup.Int(1), writable);
      if (blob->Bytes() != rows * kBytes)
        Damaged(values() + " hold " + std::to_string(blob->Bytes()) + " bytes instead of " +
                std::to_string(rows * kBytes));
      visit(c, *blob);
    }
  } catch (const sql::Error& e) {
    if (e.FromSurroundings()) throw;
    Damaged(values() + " cannot be read: " + e.what());
  }
}

void ColumnFile::Read(int d, int rows, int r0, int nr, int c0, int nc, double* out,
                      std::int64_t ld) {
  if (nr <= 0) return;
  EachColumn(d, rows, c0, nc, false, [&](int c, sql::Blob& blob) {
    double* column = out + c * ld;
    blob.Read(column, nr * kBytes, r0 * kBytes);
    FromLittleEndian(column, static_cast<std::size_t>(nr));
  });
}

void ColumnFile::Write(int d, int rows, int r0, int nr, int c0, int nc, const double* in,
                       std::int64_t ld) {
  if (nr <= 0) return;
  EachColumn(d, rows, c0, nc, true, [&](int c, sql::Blob& blob) {
    const double* column = LittleEndian(in + c * ld, static_cast<std::size_t>(nr), m_scratch);
    blob.Write(column, nr * kBytes, r0 * kBytes);
  });
}

int ColumnFile::WriteChanged(int d, int rows, int c0, int nc, const double* values,
                             const std::function<void()>& afterEach) {
  int written = 0;
  if (rows == 0) return written;
  std::vector<double> stored(static_cast<std::size_t>(rows));
  EachColumn(d, rows, c0, nc, true, [&](int c, sql::Blob& blob) {
    const double* column = LittleEndian(values + static_cast<std::int64_t>(c) * rows,
                                        static_cast<std::size_t>(rows), m_scratch);
    blob.Read(stored.data(), rows * kBytes, 0);
    // Bit for bit: a column that differs only in the sign of a zero or a NaN payload changed.
    if (std::memcmp(stored.data(), column, static_cast<std::size_t>(rows * kBytes)) == 0) return;
    blob.Write(column, rows * kBytes, 0);
    ++written;
    if (afterEach) afterEach();
  });
  return written;
}

}  // namespace pfm
