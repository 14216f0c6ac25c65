// Owners of SQLite connections, statements, blob handles and transactions.
#include "pfm_Sqlite.h"

#include <sqlite3.h>

#include <limits>

namespace pfm::sql {

bool Error::FromSurroundings() const {
  switch (primary()) {
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_READONLY:
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
    case SQLITE_IOERR:
    case SQLITE_NOMEM:
    case SQLITE_FULL:
    case SQLITE_INTERRUPT:
    case SQLITE_ABORT:
      return true;
    default:
      return false;
  }
}

std::string FileName(const std::string& path) {
  if (path.rfind("file:", 0) == 0 || path == ":memory:") return "./" + path;
  return path;
}

Db::Db(const std::string& name, int flags) {
  int rc = sqlite3_open_v2(name.c_str(), &m_db, flags, nullptr);
  if (rc == SQLITE_OK) {
    sqlite3_extended_result_codes(m_db, 1);
    SetBusyTimeout(kBusyTimeoutMs);
    return;
  }
  std::string message = m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc);
  int code = m_db ? sqlite3_extended_errcode(m_db) : rc;
  sqlite3_close(m_db);
  m_db = nullptr;
  throw Error(code, message);
}

Db::~Db() { sqlite3_close(m_db); }

void Db::SetBusyTimeout(int milliseconds) { sqlite3_busy_timeout(m_db, milliseconds); }

void Db::Fail(int rc, const std::string& what) const {
  // The connection's own code and message, when they describe this failure.
  int code = sqlite3_extended_errcode(m_db);
  bool current = (code & 0xff) == (rc & 0xff);
  std::string message = current ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc);
  throw Error(current ? code : rc, what.empty() ? message : what + ": " + message);
}

void Db::Exec(const std::string& sql) {
  int rc = sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) Fail(rc);
}

std::int64_t Db::QueryInt(const std::string& sql) {
  Statement s(*this, sql);
  if (!s.Step()) throw Error(SQLITE_ERROR, "no answer to: " + sql);
  return s.Int(0);
}

bool Db::ReadOnly() const { return sqlite3_db_readonly(m_db, "main") == 1; }

Statement::Statement(Db& db, const std::string& sql) : m_db(db) {
  int rc =
      sqlite3_prepare_v2(db.handle(), sql.c_str(), static_cast<int>(sql.size()), &m_stmt, nullptr);
  if (rc != SQLITE_OK) db.Fail(rc);
}

Statement::~Statement() { sqlite3_finalize(m_stmt); }

Statement& Statement::Bind(int index, std::int64_t value) {
  int rc = sqlite3_bind_int64(m_stmt, index, value);
  if (rc != SQLITE_OK) m_db.Fail(rc);
  return *this;
}

Statement& Statement::Bind(int index, const std::string& value) {
  int rc =
      sqlite3_bind_text64(m_stmt, index, value.data(), value.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
  if (rc != SQLITE_OK) m_db.Fail(rc);
  return *this;
}

Statement& Statement::BindBlob(int index, const void* data, std::size_t bytes) {
  // A zero-length blob still has to be a blob, not NULL.
  int rc = bytes == 0 ? sqlite3_bind_zeroblob(m_stmt, index, 0)
                      : sqlite3_bind_blob64(m_stmt, index, data, bytes, SQLITE_STATIC);
  if (rc != SQLITE_OK) m_db.Fail(rc);
  return *this;
}

Statement& Statement::BindNull(int index) {
  int rc = sqlite3_bind_null(m_stmt, index);
  if (rc != SQLITE_OK) m_db.Fail(rc);
  return *this;
}

bool Statement::Step() {
  int rc = sqlite3_step(m_stmt);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  sqlite3_reset(m_stmt);
  m_db.Fail(rc);
}

void Statement::Run() {
  Step();
  Reset();
}

void Statement::Reset() {
  sqlite3_reset(m_stmt);
  sqlite3_clear_bindings(m_stmt);
}

bool Statement::IsNull(int column) const {
  return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}
int Statement::Type(int column) const { return sqlite3_column_type(m_stmt, column); }
std::int64_t Statement::Int(int column) const { return sqlite3_column_int64(m_stmt, column); }

std::string Statement::Text(int column) const {
  const unsigned char* text = sqlite3_column_text(m_stmt, column);
  return text ? std::string(reinterpret_cast<const char*>(text),
                            static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, column)))
              : std::string();
}

const void* Statement::Blob(int column) const { return sqlite3_column_blob(m_stmt, column); }
std::size_t Statement::Bytes(int column) const {
  return static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, column));
}

Blob::Blob(Db& db, const char* table, const char* column, std::int64_t rowid, bool writable)
    : m_db(db) {
  int rc = sqlite3_blob_open(db.handle(), "main", table, column, rowid, writable ? 1 : 0, &m_blob);
  if (rc != SQLITE_OK) {
    sqlite3_blob_close(m_blob);
    m_blob = nullptr;
    db.Fail(rc);
  }
}

Blob::~Blob() { sqlite3_blob_close(m_blob); }

void Blob::MoveTo(std::int64_t rowid) {
  int rc = sqlite3_blob_reopen(m_blob, rowid);
  if (rc != SQLITE_OK) m_db.Fail(rc);
}

std::int64_t Blob::Bytes() const { return sqlite3_blob_bytes(m_blob); }

namespace {
int CheckedInt(std::int64_t n) {
  if (n < 0 || n > std::numeric_limits<int>::max())
    throw Error(SQLITE_RANGE, "blob range too large");
  return static_cast<int>(n);
}
}  // namespace

void Blob::Read(void* out, std::int64_t bytes, std::int64_t offset) {
  int rc = sqlite3_blob_read(m_blob, out, CheckedInt(bytes), CheckedInt(offset));
  if (rc != SQLITE_OK) m_db.Fail(rc);
}

void Blob::Write(const void* in, std::int64_t bytes, std::int64_t offset) {
  int rc = sqlite3_blob_write(m_blob, in, CheckedInt(bytes), CheckedInt(offset));
  if (rc != SQLITE_OK) m_db.Fail(rc);
}

Transaction::Transaction(Db& db, const char* begin) : m_db(db) { db.Exec(begin); }

Transaction::~Transaction() {
  if (m_open) sqlite3_exec(m_db.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void Transaction::Commit() {
  m_db.Exec("COMMIT");
  m_open = false;
}

}  // namespace pfm::sql
