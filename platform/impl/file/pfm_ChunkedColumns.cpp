// Format version 2's values: columns in chunks, shared rows stored once (see
// pfm_ChunkedColumns.h).
#include "pfm_ChunkedColumns.h"

#include <algorithm>
#include <cstring>

#include "pfm_ColumnFile.h"

namespace pfm {

namespace {

constexpr std::int64_t kBytes = sizeof(double);

}  // namespace

int ChunkedColumns::SharedRowsOf(const std::vector<Matrix>& matrices, int m, int c,
                                 const SharedRows** share) {
  for (const SharedRows& s : matrices[static_cast<std::size_t>(m)].shared)
    if (c >= s.firstColumn && c - s.firstColumn < s.columns) {
      if (share) *share = &s;
      return matrices[static_cast<std::size_t>(s.source)].rows;
    }
  return 0;
}

void ChunkedColumns::InsertChunks(sql::Statement& insert, std::int64_t firstId,
                                  const double* values, std::int64_t count,
                                  std::vector<double>& scratch) {
  const double* stored = LittleEndian(values, static_cast<std::size_t>(count), scratch);
  for (std::int64_t k = 0; k * kChunkValues < count; ++k) {
    const std::int64_t length = std::min<std::int64_t>(kChunkValues, count - k * kChunkValues);
    insert.Bind(1, firstId + k)
        .BindBlob(2, stored + k * kChunkValues, static_cast<std::size_t>(length * kBytes))
        .Run();
  }
}

ChunkedColumns::ChunkedColumns(sql::Db& db, std::vector<Matrix> matrices)
    : m_db(db), m_matrices(std::move(matrices)) {}

std::int64_t ChunkedColumns::ChunkId(int d, int c, std::int64_t k) const {
  const Matrix& m = m_matrices[static_cast<std::size_t>(d)];
  return m.firstChunk + c * ChunksPerColumn(m.rows) + k;
}

void ChunkedColumns::ReadOwn(int d, int c, int a, int b, double* out) {
  const int own = m_matrices[static_cast<std::size_t>(d)].rows - SharedRowsOf(m_matrices, d, c);
  const std::int64_t k0 = a / kChunkValues, k1 = (b - 1) / kChunkValues;
  for (std::int64_t k = k0; k <= k1; ++k) {
    const std::int64_t first = k * kChunkValues;
    const std::int64_t length = std::min<std::int64_t>(kChunkValues, own - first);
    try {
      if (m_blob)
        m_blob->MoveTo(ChunkId(d, c, k));
      else
        m_blob.emplace(m_db, "value_chunk", "data", ChunkId(d, c, k), false);
    } catch (const sql::Error& e) {
      m_blob.reset();
      if (e.FromSurroundings()) throw;
      // SQLite's words for a row that is not there; any other failure is told as it is.
      if (std::strstr(e.what(), "no such rowid"))
        throw DamagedValues(ValuesOf(d, c) + " are missing");
      throw DamagedValues(ValuesOf(d, c) + " cannot be read: " + e.what());
    }
    try {
      if (m_blob->Bytes() != length * kBytes)
        throw DamagedValues(ValuesOf(d, c) + " hold a chunk of " + std::to_string(m_blob->Bytes()) +
                            " bytes instead of " + std::to_string(length * kBytes));
      const std::int64_t from = std::max<std::int64_t>(a, first);
      const std::int64_t to = std::min<std::int64_t>(b, first + length);
      m_blob->Read(out + (from - a), (to - from) * kBytes, (from - first) * kBytes);
    } catch (const sql::Error& e) {
      m_blob.reset();
      if (e.FromSurroundings()) throw;
      throw DamagedValues(ValuesOf(d, c) + " cannot be read: " + e.what());
    }
  }
}

void ChunkedColumns::ReadColumn(int d, int c, int r0, int nr, double* out) {
  const SharedRows* share = nullptr;
  const int shared = SharedRowsOf(m_matrices, d, c, &share);
  if (r0 < shared)
    ReadOwn(share->source, share->sourceColumn + (c - share->firstColumn), r0,
            std::min(r0 + nr, shared), out);
  if (r0 + nr > shared) {
    const int from = std::max(r0, shared);
    ReadOwn(d, c, from - shared, r0 + nr - shared, out + (from - r0));
  }
  FromLittleEndian(out, static_cast<std::size_t>(nr));
}

void ChunkedColumns::Read(int d, int r0, int nr, int c0, int nc, double* out, std::int64_t ld) {
  if (nr <= 0) return;
  struct Close {
    std::optional<sql::Blob>& blob;
    ~Close() { blob.reset(); }
  } close{m_blob};
  for (int c = 0; c < nc; ++c) ReadColumn(d, c0 + c, r0, nr, out + c * ld);
}

bool ChunkedColumns::WriteColumn(int d, int c, const double* values) {
  const int rows = m_matrices[static_cast<std::size_t>(d)].rows;
  if (rows == 0) return false;
  m_column.resize(static_cast<std::size_t>(rows));
  Read(d, 0, rows, c, 1, m_column.data(), rows);
  // Bit for bit: a column that differs only in the sign of a zero or a NaN payload changed.
  if (std::memcmp(m_column.data(), values, static_cast<std::size_t>(rows * kBytes)) == 0)
    return false;
  // Columns that share this one's rows keep the values they had: rows of their own first.
  std::vector<std::pair<int, int>> dependents;
  for (std::size_t e = 0; e < m_matrices.size(); ++e)
    for (const SharedRows& s : m_matrices[e].shared)
      if (s.source == d && c >= s.sourceColumn && c - s.sourceColumn < s.columns)
        dependents.emplace_back(static_cast<int>(e), s.firstColumn + (c - s.sourceColumn));
  for (const auto& [e, column] : dependents) {
    std::vector<double> theirs(
        static_cast<std::size_t>(m_matrices[static_cast<std::size_t>(e)].rows));
    Read(e, 0, static_cast<int>(theirs.size()), column, 1, theirs.data(),
         static_cast<std::int64_t>(theirs.size()));
    Unshare(e, column);
    WriteOwn(e, column, theirs.data());
  }
  if (SharedRowsOf(m_matrices, d, c) > 0) Unshare(d, c);
  WriteOwn(d, c, values);
  return true;
}

void ChunkedColumns::WriteOwn(int d, int c, const double* values) {
  const int rows = m_matrices[static_cast<std::size_t>(d)].rows;
  sql::Statement erase(m_db, "DELETE FROM value_chunk WHERE id BETWEEN ?1 AND ?2");
  erase.Bind(1, ChunkId(d, c, 0)).Bind(2, ChunkId(d, c, ChunksPerColumn(rows) - 1)).Run();
  sql::Statement insert(m_db, "INSERT INTO value_chunk (id, data) VALUES (?1, ?2)");
  InsertChunks(insert, ChunkId(d, c, 0), values, rows, m_scratch);
}

void ChunkedColumns::Unshare(int d, int c) {
  std::vector<SharedRows>& ranges = m_matrices[static_cast<std::size_t>(d)].shared;
  auto range = std::find_if(ranges.begin(), ranges.end(), [&](const SharedRows& s) {
    return c >= s.firstColumn && c - s.firstColumn < s.columns;
  });
  if (range == ranges.end()) return;
  const SharedRows whole = *range;
  SharedRows before = whole, after = whole;
  before.columns = c - whole.firstColumn;
  after.firstColumn = c + 1;
  after.sourceColumn = whole.sourceColumn + (c + 1 - whole.firstColumn);
  after.columns = whole.columns - before.columns - 1;
  sql::Statement erase(m_db,
                       "DELETE FROM shared_rows WHERE distribution = ?1 AND first_column = ?2");
  erase.Bind(1, d).Bind(2, whole.firstColumn).Run();
  sql::Statement insert(m_db, "INSERT INTO shared_rows VALUES (?1, ?2, ?3, ?4, ?5)");
  range = ranges.erase(range);
  for (const SharedRows& part : {before, after}) {
    if (part.columns <= 0) continue;
    insert.Bind(1, d).Bind(2, part.firstColumn).Bind(3, part.columns).Bind(4, part.source);
    insert.Bind(5, part.sourceColumn).Run();
    range = ranges.insert(range, part) + 1;
  }
}

}  // namespace pfm
