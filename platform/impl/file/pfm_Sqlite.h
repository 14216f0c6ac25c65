// A thin owner layer over SQLite for the model files: a connection, prepared statements,
// incremental blob handles and transactions, each released by its destructor. Every failure
// throws sql::Error, which carries SQLite's extended result code and message.
//
// Every connection goes through a VFS of the platform's own ("pfm"), which forwards each call to
// the default VFS and notes a read that the system failed. SQLite reports such a read as a
// corrupt database (a read failing with EIO is SQLITE_IOERR_CORRUPTFS inside, SQLITE_CORRUPT
// outside) and keeps no error number for it; a failure during which a read failed is reported
// here as the I/O error it is (SQLITE_IOERR_READ, "disk I/O error").
#pragma once

#include <cstdint>
#include <string>

#include "QOBBasCoreUtils.h"

struct sqlite3;
struct sqlite3_stmt;
struct sqlite3_blob;

namespace pfm::sql {

class Error : public QOBBasError {
 public:
  Error(int code, const std::string& what) : QOBBasError(what), m_code(code) {}
  ~Error() override;
  int code() const { return m_code; }            // extended result code
  int primary() const { return m_code & 0xff; }  // primary result code
  // The failure lies with the surroundings (permissions, locks, I/O, memory), not the file's
  // content.
  bool FromSurroundings() const;

 private:
  int m_code;
};

// The name under which SQLite opens the file at `path`: the path itself, made to start with
// "./" when SQLite could read it otherwise (a relative "file:" name as a URI, ":memory:" as a
// database in memory). Names are always file paths.
std::string FileName(const std::string& path);

class Db {
 public:
  // Opens `name` with sqlite3_open_v2 flags (never as a URI unless `flags` say so); throws
  // Error when it cannot. Every connection waits up to the store's busy timeout
  // (StoreSettings::busyTimeoutMs, as when it was opened) for another connection's lock (a
  // commit under way) before it gives up with SQLITE_BUSY.
  Db(const std::string& name, int flags);
  ~Db();
  Db(const Db&) = delete;
  Db& operator=(const Db&) = delete;

  // The store's busy timeout now.
  static int BusyTimeoutMs();

  sqlite3* handle() const { return m_db; }
  // How long a lock is waited for from now on.
  void SetBusyTimeout(int milliseconds);
  void Exec(const std::string& sql);
  // The integer answered by a statement of one row and one column (e.g. a pragma).
  std::int64_t QueryInt(const std::string& sql);
  bool ReadOnly() const;
  // Throws Error for result code `rc` with the connection's message, prefixed by `what`.
  [[noreturn]] void Fail(int rc, const std::string& what = "") const;

 private:
  sqlite3* m_db = nullptr;
};

class Statement {
 public:
  Statement(Db& db, const std::string& sql);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& Bind(int index, std::int64_t value);
  Statement& Bind(int index, const std::string& value);
  Statement& BindBlob(int index, const void* data, std::size_t bytes);
  Statement& BindNull(int index);
  // Advances to the next row: true when there is one, false when done.
  bool Step();
  // Steps a statement that answers no rows.
  void Run();
  // Makes the statement ready to run again and clears its bindings.
  void Reset();

  bool IsNull(int column) const;
  // SQLITE_INTEGER, SQLITE_FLOAT, SQLITE_TEXT, SQLITE_BLOB or SQLITE_NULL.
  int Type(int column) const;
  std::int64_t Int(int column) const;
  std::string Text(int column) const;
  const void* Blob(int column) const;
  std::size_t Bytes(int column) const;

 private:
  Db& m_db;
  sqlite3_stmt* m_stmt = nullptr;
};

// An incremental blob handle on one column of a rowid table; moved to other rows cheaply.
class Blob {
 public:
  Blob(Db& db, const char* table, const char* column, std::int64_t rowid, bool writable);
  ~Blob();
  Blob(const Blob&) = delete;
  Blob& operator=(const Blob&) = delete;

  void MoveTo(std::int64_t rowid);
  std::int64_t Bytes() const;
  void Read(void* out, std::int64_t bytes, std::int64_t offset);
  void Write(const void* in, std::int64_t bytes, std::int64_t offset);

 private:
  Db& m_db;
  sqlite3_blob* m_blob = nullptr;
};

// BEGIN on construction; rolled back on destruction unless committed.
class Transaction {
 public:
  Transaction(Db& db, const char* begin = "BEGIN");
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  void Commit();

 private:
  Db& m_db;
  bool m_open = true;
};

}  // namespace pfm::sql
