// Column-wise value access to a model file (see pfm_ColumnFile.h).
#include "pfm_ColumnFile.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>
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

}  // namespace

std::string FolderOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

FailureKind KindOf(const sql::Error& e, bool committing) {
  switch (e.primary()) {
    case SQLITE_IOERR:
      return FailureKind::IoError;
    case SQLITE_FULL:
      return FailureKind::DiskFull;
    case SQLITE_NOMEM:
      return FailureKind::OutOfMemory;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return FailureKind::Locked;
    case SQLITE_READONLY:
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
      if (e.code() == SQLITE_READONLY_ROLLBACK) return FailureKind::InterruptedEdit;
      return committing ? FailureKind::ReadOnly : FailureKind::Unreadable;
    case SQLITE_INTERRUPT:
    case SQLITE_ABORT:
      return FailureKind::Other;
    default:
      return FailureKind::Damaged;
  }
}

FailureKind RecoverInterruptedEdit(const std::string& path, std::string& detail) {
  detail.clear();
  if (::faccessat(AT_FDCWD, path.c_str(), R_OK | W_OK, AT_EACCESS) != 0 ||
      ::faccessat(AT_FDCWD, FolderOf(path).c_str(), W_OK | X_OK, AT_EACCESS) != 0)
    return FailureKind::InterruptedEdit;
  try {
    sql::Db db(sql::FileName(path), SQLITE_OPEN_READWRITE);
    if (db.ReadOnly()) return FailureKind::InterruptedEdit;
    db.Exec("PRAGMA mmap_size = 0");
    db.QueryInt("PRAGMA schema_version");  // the first read rolls the journal back
    return FailureKind::None;
  } catch (const sql::Error& e) {
    detail = e.what();
    FailureKind kind = KindOf(e, false);
    switch (kind) {
      case FailureKind::IoError:
      case FailureKind::DiskFull:
      case FailureKind::OutOfMemory:
      case FailureKind::Locked:
        return kind;
      default:
        return FailureKind::InterruptedEdit;
    }
  } catch (const std::bad_alloc&) {
    return FailureKind::OutOfMemory;
  }
}

const double* LittleEndian(const double* values, std::size_t count, std::vector<double>& scratch) {
  if (kLittleEndianHost) return values;
  scratch.assign(values, values + count);
  SwapBytes(scratch.data(), count);
  return scratch.data();
}

void FromLittleEndian(double* values, std::size_t count) {
  if (!kLittleEndianHost) SwapBytes(values, count);
}

FileVersion FileVersion::OnDisk(const std::string& path) {
  FileVersion v;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return v;
  v.device = st.st_dev;
  v.inode = st.st_ino;
  v.size = st.st_size;
  v.modified = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return v;
}

std::string FileVersion::Absolute(const std::string& path) {
  if (path.empty() || path[0] == '/') return path;
  char cwd[PATH_MAX];
  if (!::getcwd(cwd, sizeof cwd)) return path;
  return std::string(cwd) + "/" + path;
}

bool FileVersion::SameFileAs(const FileVersion& other) const {
  return inode != 0 && device == other.device && inode == other.inode && size == other.size &&
         modified == other.modified;
}

ColumnFile::ColumnFile(std::unique_ptr<sql::Db> db, std::unique_ptr<ValueLayout> layout,
                       std::string path, const FileVersion& version, bool editing)
    : m_db(std::move(db)),
      m_layout(std::move(layout)),
      m_path(std::move(path)),
      m_absolutePath(FileVersion::Absolute(m_path)),
      m_version(version),
      m_editing(editing),
      m_begin(*m_db, "BEGIN"),
      m_end(*m_db, "COMMIT"),
      m_dataVersion(*m_db, "PRAGMA data_version") {
  if (!m_editing) m_end.Run();
}

ColumnFile::~ColumnFile() {
  // An edit that was never committed leaves nothing behind.
  if (m_editing) sqlite3_exec(m_db->handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void ColumnFile::Damaged(const std::string& detail) const {
  throw StoreError(FailureKind::Damaged, ModelFileMessage(FailureKind::Damaged, m_path, detail));
}

void ColumnFile::Changed() const {
  throw StoreError(FailureKind::Changed, ModelFileMessage(FailureKind::Changed, m_path));
}

void ColumnFile::Fail(const sql::Error& e) const {
  FailureKind kind = KindOf(e, false);
  if (kind == FailureKind::Other) kind = FailureKind::Unreadable;
  throw StoreError(
      kind, ModelFileMessage(kind, m_path, kind == FailureKind::OutOfMemory ? "" : e.what()));
}

bool ColumnFile::ChangedOnDisk() const {
  return !FileVersion::OnDisk(m_absolutePath).SameFileAs(m_version);
}

void ColumnFile::ExpectOpenedVersion() {
  if (ChangedOnDisk()) Changed();
  // The data version catches another connection's commit, however soon after the open it came;
  // an editor's write transaction keeps such commits out.
  if (m_editing) return;
  ResetOnExit reset{m_dataVersion};
  if (!m_dataVersion.Step() || m_dataVersion.Int(0) != m_version.dataVersion) Changed();
}

template <class Work>
void ColumnFile::AtOpenedVersion(Work work) {
  const bool own = !m_editing;
  m_db->SetBusyTimeout(sql::Db::BusyTimeoutMs());
  // Ends a read transaction of its own however the scope is left.
  struct Ending {
    sqlite3* db;
    bool open = false;
    ~Ending() {
      if (open) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
  };
  for (bool recovered = false;; recovered = true) {
    Ending ending{m_db->handle()};
    try {
      if (own) {
        m_begin.Run();
        ending.open = true;
      }
      // Checked once, after the work and inside the same read: a file that changed before or
      // while it was read fails the read (whatever it read is dropped), one that did not shows
      // the version opened. Every check is a system call, the larger part of a small read.
      work();
      ExpectOpenedVersion();
      if (own) {
        m_end.Run();
        ending.open = false;
      }
      return;
    } catch (const sql::Error& e) {
      if (ChangedOnDisk()) Changed();
      if (e.code() != SQLITE_READONLY_ROLLBACK || recovered) Fail(e);
    } catch (const QOBBasError&) {
      // Whatever a read of a file rewritten under it found, the file changed.
      if (ChangedOnDisk()) Changed();
      throw;
    }
    // An editor ended during its commit: its journal holds the version this open shows.
    std::string detail;
    const FailureKind kind = RecoverInterruptedEdit(m_path, detail);
    if (kind != FailureKind::None) throw StoreError(kind, ModelFileMessage(kind, m_path, detail));
    if (ChangedOnDisk()) Changed();  // rolling back rewrote it: open it again
  }
}

template <class Work>
void ColumnFile::Checked(Work work) {
  try {
    work();
  } catch (const DamagedValues& e) {
    Damaged(e.what());
  }
}

bool ColumnFile::ReadAhead(int d, int r0, int nr, int c0, int nc, double* out, std::int64_t ld) {
  Ahead& a = m_ahead;
  if (a.d != d || r0 < a.r0 || r0 + nr > a.r0 + a.nr || c0 < a.c0 || c0 + nc > a.c0 + a.nc)
    return false;
  if (ChangedOnDisk()) {
    a.d = -1;
    Changed();
  }
  for (int c = 0; c < nc; ++c)
    std::memcpy(out + c * ld,
                a.values.data() + static_cast<std::size_t>(c0 - a.c0 + c) * a.nr + (r0 - a.r0),
                sizeof(double) * static_cast<std::size_t>(nr));
  return true;
}

void ColumnFile::Read(int d, int rows, int columns, int r0, int nr, int c0, int nc, double* out,
                      std::int64_t ld) {
  (void)rows;
  if (nr <= 0 || nc <= 0) return;
  Ahead& a = m_ahead;
  const bool continues =
      !m_editing && d == a.lastD && r0 == a.lastR0 && nr == a.lastNr && c0 == a.nextColumn;
  a.lastD = d;
  a.lastR0 = r0;
  a.lastNr = nr;
  a.nextColumn = c0 + nc;
  if (!m_editing && ReadAhead(d, r0, nr, c0, nc, out, ld)) return;

  const std::int64_t fit = kReadAheadBytes / static_cast<std::int64_t>(sizeof(double) * nr);
  const int ahead = static_cast<int>(std::min<std::int64_t>(columns - c0, fit));
  if (continues && ahead > nc) {
    a.d = -1;
    try {
      a.values.resize(static_cast<std::size_t>(ahead) * static_cast<std::size_t>(nr));
    } catch (const std::bad_alloc&) {
      a.values = {};  // no room to read ahead: read what was asked for alone
    }
    if (!a.values.empty()) {
      AtOpenedVersion(
          [&] { Checked([&] { m_layout->Read(d, r0, nr, c0, ahead, a.values.data(), nr); }); });
      a.d = d;
      a.r0 = r0;
      a.nr = nr;
      a.c0 = c0;
      a.nc = ahead;
      ReadAhead(d, r0, nr, c0, nc, out, ld);
      return;
    }
  }
  AtOpenedVersion([&] { Checked([&] { m_layout->Read(d, r0, nr, c0, nc, out, ld); }); });
}

void ColumnFile::Write(int d, int rows, int r0, int nr, int c0, int nc, const double* in,
                       std::int64_t ld) {
  if (!m_editing) throw QOBBasError("stored values: the model file is not open for editing");
  if (nr <= 0 || nc <= 0) return;
  if (ChangedOnDisk()) Changed();
  m_column.resize(static_cast<std::size_t>(rows));
  Checked([&] {
    for (int c = 0; c < nc; ++c) {
      m_layout->Read(d, 0, rows, c0 + c, 1, m_column.data(), rows);
      std::memcpy(m_column.data() + r0, in + c * ld, sizeof(double) * static_cast<std::size_t>(nr));
      m_wrote = m_layout->WriteColumn(d, c0 + c, m_column.data()) || m_wrote;
    }
  });
  // Pages that did not fit SQLite's cache may have reached the file: the file on disk is now
  // this session's own version.
  const std::int64_t dataVersion = m_version.dataVersion;
  m_version = FileVersion::OnDisk(m_absolutePath);
  m_version.dataVersion = dataVersion;
}

int ColumnFile::WriteChanged(int d, int rows, int c0, int nc, const double* values,
                             const std::function<void()>& afterEach) {
  if (!m_editing) throw QOBBasError("stored values: the model file is not open for editing");
  int written = 0;
  if (rows == 0) return written;
  Checked([&] {
    for (int c = 0; c < nc; ++c) {
      if (!m_layout->WriteColumn(d, c0 + c, values + static_cast<std::int64_t>(c) * rows)) continue;
      ++written;
      m_wrote = true;
      if (afterEach) afterEach();
    }
  });
  return written;
}

void ColumnFile::CommitEdits(const std::function<void()>& write) {
  if (!m_editing) throw QOBBasError("stored values: the model file is not open for editing");
  // The edit lock ends here, committed or not.
  struct Release {
    ColumnFile& file;
    bool committed = false;
    ~Release() {
      if (!committed) sqlite3_exec(file.m_db->handle(), "ROLLBACK", nullptr, nullptr, nullptr);
      file.m_editing = false;
    }
  } release{*this};
  // Only a program that ignores SQLite's locks can have changed it (replaced, truncated or
  // rewritten the file); its version stays.
  if (ChangedOnDisk())
    throw StoreError(FailureKind::Changed, ModelFileProblemPhrase(FailureKind::Changed));
  m_db->SetBusyTimeout(sql::Db::BusyTimeoutMs());
  write();
  m_end.Run();
  release.committed = true;
}

}  // namespace pfm
