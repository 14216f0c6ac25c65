// Owners of SQLite connections, statements, blob handles and transactions.
#include "pfm_Sqlite.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <limits>

#include "pfm_ModelFile.h"

namespace pfm::sql {

namespace {

// --- The platform's VFS ----------------------------------------------------------------------

// The error number of a read that failed since the last ClearReadFailure on this thread; 0 when
// none did.
thread_local int t_readFailure = 0;

void ClearReadFailure() { t_readFailure = 0; }
int TakeReadFailure() {
  int failure = t_readFailure;
  t_readFailure = 0;
  return failure;
}

constexpr const char* kVfsName = "pfm";

// The VFS that does the work: the default one as it is when a file is opened (a test's VFS
// standing in for the system's included), never this one.
sqlite3_vfs* Underlying() {
  sqlite3_vfs* vfs = sqlite3_vfs_find(nullptr);
  if (!vfs || std::strcmp(vfs->zName, kVfsName) == 0) vfs = sqlite3_vfs_find("unix");
  return vfs;
}

// A file of this VFS: the underlying VFS's file, allocated at the open.
struct File {
  sqlite3_file base;
  sqlite3_file* real;
};

sqlite3_file* RealOf(sqlite3_file* f) { return reinterpret_cast<File*>(f)->real; }
const sqlite3_io_methods& Real(sqlite3_file* f) { return *RealOf(f)->pMethods; }

int Read(sqlite3_file* f, void* out, int n, sqlite3_int64 at) {
  int rc = Real(f).xRead(RealOf(f), out, n, at);
  // A short read is no failure: SQLite reads past the end of a journal on purpose.
  if ((rc & 0xff) == SQLITE_IOERR && rc != SQLITE_IOERR_SHORT_READ && rc != SQLITE_IOERR_NOMEM) {
    int error = errno;
    t_readFailure = error != 0 ? error : EIO;
  }
  return rc;
}

int Close(sqlite3_file* f) {
  int rc = Real(f).xClose(RealOf(f));
  sqlite3_free(RealOf(f));
  reinterpret_cast<File*>(f)->real = nullptr;
  return rc;
}

// The file methods of each version (1 to 3), so that none is claimed that the underlying
// file lacks.
const sqlite3_io_methods* Methods(int version) {
  static const std::array<sqlite3_io_methods, 3> methods = [] {
    sqlite3_io_methods m{};
    m.xClose = Close;
    m.xRead = Read;
    m.xWrite = [](sqlite3_file* f, const void* p, int n, sqlite3_int64 at) {
      return Real(f).xWrite(RealOf(f), p, n, at);
    };
    m.xTruncate = [](sqlite3_file* f, sqlite3_int64 n) { return Real(f).xTruncate(RealOf(f), n); };
    m.xSync = [](sqlite3_file* f, int flags) { return Real(f).xSync(RealOf(f), flags); };
    m.xFileSize = [](sqlite3_file* f, sqlite3_int64* n) { return Real(f).xFileSize(RealOf(f), n); };
    m.xLock = [](sqlite3_file* f, int lock) { return Real(f).xLock(RealOf(f), lock); };
    m.xUnlock = [](sqlite3_file* f, int lock) { return Real(f).xUnlock(RealOf(f), lock); };
    m.xCheckReservedLock = [](sqlite3_file* f, int* out) {
      return Real(f).xCheckReservedLock(RealOf(f), out);
    };
    m.xFileControl = [](sqlite3_file* f, int op, void* arg) {
      return Real(f).xFileControl(RealOf(f), op, arg);
    };
    m.xSectorSize = [](sqlite3_file* f) { return Real(f).xSectorSize(RealOf(f)); };
    m.xDeviceCharacteristics = [](sqlite3_file* f) {
      return Real(f).xDeviceCharacteristics(RealOf(f));
    };
    m.xShmMap = [](sqlite3_file* f, int page, int size, int extend, void volatile** out) {
      return Real(f).xShmMap(RealOf(f), page, size, extend, out);
    };
    m.xShmLock = [](sqlite3_file* f, int offset, int n, int flags) {
      return Real(f).xShmLock(RealOf(f), offset, n, flags);
    };
    m.xShmBarrier = [](sqlite3_file* f) { Real(f).xShmBarrier(RealOf(f)); };
    m.xShmUnmap = [](sqlite3_file* f, int remove) { return Real(f).xShmUnmap(RealOf(f), remove); };
    m.xFetch = [](sqlite3_file* f, sqlite3_int64 at, int n, void** out) {
      return Real(f).xFetch(RealOf(f), at, n, out);
    };
    m.xUnfetch = [](sqlite3_file* f, sqlite3_int64 at, void* p) {
      return Real(f).xUnfetch(RealOf(f), at, p);
    };
    sqlite3_io_methods v1 = m, v2 = m, v3 = m;
    v1.iVersion = 1;
    v2.iVersion = 2;
    v3.iVersion = 3;
    return std::array<sqlite3_io_methods, 3>{v1, v2, v3};
  }();
  return &methods[std::min(std::max(version, 1), 3) - 1];
}

int Open(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags) {
  sqlite3_vfs* real = Underlying();
  File* f = reinterpret_cast<File*>(file);
  f->base.pMethods = nullptr;
  f->real = static_cast<sqlite3_file*>(sqlite3_malloc(real->szOsFile));
  if (!f->real) return SQLITE_NOMEM;
  std::memset(f->real, 0, static_cast<std::size_t>(real->szOsFile));
  int rc = real->xOpen(real, name, f->real, flags, outFlags);
  if (f->real->pMethods) {
    f->base.pMethods = Methods(f->real->pMethods->iVersion);
  } else {
    sqlite3_free(f->real);
    f->real = nullptr;
  }
  return rc;
}

// Registers the VFS once; answers its name.
const char* PlatformVfs() {
  static const char* name = [] {
    static sqlite3_vfs vfs{};
    sqlite3_vfs* real = Underlying();
    vfs.iVersion = 2;
    vfs.szOsFile = static_cast<int>(sizeof(File));
    vfs.mxPathname = real->mxPathname;
    vfs.zName = kVfsName;
    vfs.xOpen = Open;
    vfs.xDelete = [](sqlite3_vfs*, const char* n, int sync) {
      return Underlying()->xDelete(Underlying(), n, sync);
    };
    vfs.xAccess = [](sqlite3_vfs*, const char* n, int flags, int* out) {
      return Underlying()->xAccess(Underlying(), n, flags, out);
    };
    vfs.xFullPathname = [](sqlite3_vfs*, const char* n, int size, char* out) {
      return Underlying()->xFullPathname(Underlying(), n, size, out);
    };
    vfs.xRandomness = [](sqlite3_vfs*, int n, char* out) {
      return Underlying()->xRandomness(Underlying(), n, out);
    };
    vfs.xSleep = [](sqlite3_vfs*, int us) { return Underlying()->xSleep(Underlying(), us); };
    vfs.xCurrentTime = [](sqlite3_vfs*, double* t) {
      return Underlying()->xCurrentTime(Underlying(), t);
    };
    vfs.xGetLastError = [](sqlite3_vfs*, int n, char* out) {
      return Underlying()->xGetLastError(Underlying(), n, out);
    };
    vfs.xCurrentTimeInt64 = [](sqlite3_vfs*, sqlite3_int64* t) {
      sqlite3_vfs* u = Underlying();
      if (u->iVersion >= 2 && u->xCurrentTimeInt64) return u->xCurrentTimeInt64(u, t);
      double days = 0;
      int rc = u->xCurrentTime(u, &days);
      *t = static_cast<sqlite3_int64>(days * 86400000.0);
      return rc;
    };
    sqlite3_vfs_register(&vfs, 0);
    return kVfsName;
  }();
  return name;
}

}  // namespace

Error::~Error() = default;

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

int Db::BusyTimeoutMs() { return ModelFileSettings().busyTimeoutMs; }

Db::Db(const std::string& name, int flags) {
  int rc = sqlite3_open_v2(name.c_str(), &m_db, flags, PlatformVfs());
  if (rc == SQLITE_OK) {
    sqlite3_extended_result_codes(m_db, 1);
    SetBusyTimeout(BusyTimeoutMs());
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
  code = current ? code : rc;
  // A read the system failed, whatever SQLite made of it (a corrupt page, say).
  if (TakeReadFailure() != 0 && (code & 0xff) != SQLITE_IOERR) {
    code = SQLITE_IOERR_READ;
    message = sqlite3_errstr(SQLITE_IOERR_READ);
  }
  throw Error(code, what.empty() ? message : what + ": " + message);
}

void Db::Exec(const std::string& sql) {
  ClearReadFailure();
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
  ClearReadFailure();
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
  ClearReadFailure();
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
  ClearReadFailure();
  int rc = sqlite3_blob_open(db.handle(), "main", table, column, rowid, writable ? 1 : 0, &m_blob);
  if (rc != SQLITE_OK) {
    sqlite3_blob_close(m_blob);
    m_blob = nullptr;
    db.Fail(rc);
  }
}

Blob::~Blob() { sqlite3_blob_close(m_blob); }

void Blob::MoveTo(std::int64_t rowid) {
  ClearReadFailure();
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
  ClearReadFailure();
  int rc = sqlite3_blob_read(m_blob, out, CheckedInt(bytes), CheckedInt(offset));
  if (rc != SQLITE_OK) m_db.Fail(rc);
}

void Blob::Write(const void* in, std::int64_t bytes, std::int64_t offset) {
  ClearReadFailure();
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
