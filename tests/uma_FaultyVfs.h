// A SQLite VFS for tests that fails file calls on demand: it wraps the default VFS, forwards
// every call to it, and makes the next read or write of a file (or the n-th from now) answer a
// result code of the test's choosing (SQLITE_IOERR_WRITE, SQLITE_FULL, ...), once, leaving an
// error number as the system would. It is the default VFS while an object lives, so that every
// connection opened meanwhile goes through it (the platform's own VFS forwards to it).
#pragma once

#include <sqlite3.h>

#include <cerrno>

namespace filetest {

class FaultyVfs {
 public:
  enum class Call { Read, Write };

  FaultyVfs() {
    Real() = sqlite3_vfs_find(nullptr);
    m_vfs = *Real();
    m_vfs.iVersion = 2;
    m_vfs.zName = "faulty";
    m_vfs.pNext = nullptr;
    m_vfs.szOsFile = static_cast<int>(sizeof(File)) + Real()->szOsFile;
    m_vfs.xOpen = Open;
    m_vfs.xDelete = [](sqlite3_vfs*, const char* n, int s) {
      return Real()->xDelete(Real(), n, s);
    };
    m_vfs.xAccess = [](sqlite3_vfs*, const char* n, int f, int* out) {
      return Real()->xAccess(Real(), n, f, out);
    };
    m_vfs.xFullPathname = [](sqlite3_vfs*, const char* n, int size, char* out) {
      return Real()->xFullPathname(Real(), n, size, out);
    };
    m_vfs.xDlOpen = nullptr;
    m_vfs.xDlError = nullptr;
    m_vfs.xDlSym = nullptr;
    m_vfs.xDlClose = nullptr;
    m_vfs.xRandomness = [](sqlite3_vfs*, int n, char* out) {
      return Real()->xRandomness(Real(), n, out);
    };
    m_vfs.xSleep = [](sqlite3_vfs*, int us) { return Real()->xSleep(Real(), us); };
    m_vfs.xCurrentTime = [](sqlite3_vfs*, double* t) { return Real()->xCurrentTime(Real(), t); };
    m_vfs.xGetLastError = [](sqlite3_vfs*, int n, char* out) {
      return Real()->xGetLastError(Real(), n, out);
    };
    m_vfs.xCurrentTimeInt64 = [](sqlite3_vfs*, sqlite3_int64* t) {
      return Real()->xCurrentTimeInt64(Real(), t);
    };
    Armed() = Fault{};
    sqlite3_vfs_register(&m_vfs, 1);
  }
  ~FaultyVfs() {
    sqlite3_vfs_unregister(&m_vfs);
    sqlite3_vfs_register(Real(), 1);
  }
  FaultyVfs(const FaultyVfs&) = delete;
  FaultyVfs& operator=(const FaultyVfs&) = delete;

  // The next `call` to a database file (`mainOnly`: the model file itself, not its journal)
  // answers `code` without doing anything.
  void FailNext(Call call, int code, bool mainOnly = false) { FailAt(call, code, 1, mainOnly); }
  // The same for the `n`-th such call from now (1: the next), leaving `error` in errno, as the
  // default VFS does when the system fails it (a read that fails with EIO answers
  // SQLITE_IOERR_CORRUPTFS, which SQLite reports as SQLITE_CORRUPT).
  void FailAt(Call call, int code, long n, bool mainOnly = false, int error = 0) {
    Armed() = Fault{n > 0, call, code, mainOnly, n, error};
  }
  // Whether the armed failure happened.
  bool Failed() const { return !Armed().armed; }

 private:
  struct Fault {
    bool armed = false;
    Call call = Call::Write;
    int code = SQLITE_OK;
    bool mainOnly = false;
    long countdown = 1;  // calls until the failure, this one included
    int error = 0;       // errno left by the failure
  };
  // The wrapper's file; the default VFS's file follows it in the same block.
  struct File {
    sqlite3_file base;
    sqlite3_file* real;
    bool main;
  };

  static sqlite3_vfs*& Real() {
    static sqlite3_vfs* real = nullptr;
    return real;
  }
  static Fault& Armed() {
    static Fault fault;
    return fault;
  }
  static sqlite3_file* RealOf(sqlite3_file* f) { return reinterpret_cast<File*>(f)->real; }
  static bool Strikes(sqlite3_file* f, Call call) {
    Fault& fault = Armed();
    if (!fault.armed || fault.call != call) return false;
    if (fault.mainOnly && !reinterpret_cast<File*>(f)->main) return false;
    if (--fault.countdown > 0) return false;
    fault.armed = false;
    if (fault.error != 0) errno = fault.error;
    return true;
  }

  static int Open(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags, int* out) {
    File* f = reinterpret_cast<File*>(file);
    f->real = reinterpret_cast<sqlite3_file*>(f + 1);
    f->main = (flags & SQLITE_OPEN_MAIN_DB) != 0;
    int rc = Real()->xOpen(Real(), name, f->real, flags, out);
    f->base.pMethods = f->real->pMethods ? &Methods() : nullptr;
    return rc;
  }

  static const sqlite3_io_methods& Methods() {
    static const sqlite3_io_methods methods = {
        3,
        [](sqlite3_file* f) { return RealOf(f)->pMethods->xClose(RealOf(f)); },
        [](sqlite3_file* f, void* p, int n, sqlite3_int64 at) {
          if (Strikes(f, Call::Read)) return Armed().code;
          return RealOf(f)->pMethods->xRead(RealOf(f), p, n, at);
        },
        [](sqlite3_file* f, const void* p, int n, sqlite3_int64 at) {
          if (Strikes(f, Call::Write)) return Armed().code;
          return RealOf(f)->pMethods->xWrite(RealOf(f), p, n, at);
        },
        [](sqlite3_file* f, sqlite3_int64 n) {
          return RealOf(f)->pMethods->xTruncate(RealOf(f), n);
        },
        [](sqlite3_file* f, int flags) { return RealOf(f)->pMethods->xSync(RealOf(f), flags); },
        [](sqlite3_file* f, sqlite3_int64* n) {
          return RealOf(f)->pMethods->xFileSize(RealOf(f), n);
        },
        [](sqlite3_file* f, int lock) { return RealOf(f)->pMethods->xLock(RealOf(f), lock); },
        [](sqlite3_file* f, int lock) { return RealOf(f)->pMethods->xUnlock(RealOf(f), lock); },
        [](sqlite3_file* f, int* out) {
          return RealOf(f)->pMethods->xCheckReservedLock(RealOf(f), out);
        },
        [](sqlite3_file* f, int op, void* arg) {
          return RealOf(f)->pMethods->xFileControl(RealOf(f), op, arg);
        },
        [](sqlite3_file* f) { return RealOf(f)->pMethods->xSectorSize(RealOf(f)); },
        [](sqlite3_file* f) { return RealOf(f)->pMethods->xDeviceCharacteristics(RealOf(f)); },
        [](sqlite3_file* f, int page, int size, int extend, void volatile** out) {
          return RealOf(f)->pMethods->xShmMap(RealOf(f), page, size, extend, out);
        },
        [](sqlite3_file* f, int offset, int n, int flags) {
          return RealOf(f)->pMethods->xShmLock(RealOf(f), offset, n, flags);
        },
        [](sqlite3_file* f) { RealOf(f)->pMethods->xShmBarrier(RealOf(f)); },
        [](sqlite3_file* f, int remove) {
          return RealOf(f)->pMethods->xShmUnmap(RealOf(f), remove);
        },
        // No mapping of the file: every read goes through xRead.
        [](sqlite3_file*, sqlite3_int64, int, void** out) {
          *out = nullptr;
          return SQLITE_OK;
        },
        [](sqlite3_file*, sqlite3_int64, void*) { return SQLITE_OK; },
    };
    return methods;
  }

  sqlite3_vfs m_vfs{};
};

}  // namespace filetest
