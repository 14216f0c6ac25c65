// The values of one open model file. Where they lie is the layout's business (one BLOB per
// column in format version 1, chunks in version 2: pfm_ValueLayout.h); a read copies only the
// rows asked for of the columns asked for, so that reading a block costs what the block holds
// wherever it lies.
//
// One open sees one version of the file. A connection opened for reading holds no lock between
// calls: each read is a read transaction of its own that first makes sure the file is still the
// version that was opened (SQLite's data version, which another connection's commit changes,
// and the file's identity and size and time on disk, which a program rewriting, truncating or
// replacing it behind SQLite's back changes). A read of a file that changed fails with
// "the model file changed since it was opened: PATH". A read that finds an edit interrupted by
// a crash (the editor's journal left behind) rolls it back when the file and its folder can be
// written, and otherwise fails with the interrupted-edit reason. Every failure of a read is a
// StoreError (pfm_Support.h) with its kind. A connection opened for editing holds its
// write transaction (SQLite's RESERVED lock: others may read, none may write) from the open to
// the commit, so that no other session can edit the file meanwhile.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "pfm_Sqlite.h"
#include "pfm_Support.h"
#include "pfm_ValueLayout.h"

namespace pfm {

// The folder that holds `path`, where an edit makes its journal.
std::string FolderOf(const std::string& path);

// Rolls back the edit an editor left in the journal of the file at `path` when it ended during
// its commit, on a connection that can write (SQLite rolls a hot journal back as it first
// reads). Answers None when done (or when there was nothing to roll back), InterruptedEdit when
// the file or its folder cannot be written here, and the kind of another failure (an I/O
// error, a lock held too long, ...) with SQLite's message in `detail`.
FailureKind RecoverInterruptedEdit(const std::string& path, std::string& detail);

// The kind of a failure SQLite reported, as a read (or, `committing`, a commit) meets it.
FailureKind KindOf(const sql::Error& e, bool committing);

// What tells one version of a model file from another.
struct FileVersion {
  std::int64_t dataVersion = 0;  // PRAGMA data_version on the connection
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  std::int64_t modified = 0;  // in nanoseconds

  // The file at `path` as it is on disk (`dataVersion` left 0); inode 0 when it is not there.
  static FileVersion OnDisk(const std::string& path);
  // `path` from the root, so that the file is found again after the process changes directory.
  static std::string Absolute(const std::string& path);
  bool SameFileAs(const FileVersion& other) const;
};

class ColumnFile {
 public:
  // Takes over `db`, which is inside a transaction that read the model's structure (a write
  // transaction when `editing`) at `version`, and `layout`, which reads and writes values over
  // it. A reading connection's transaction is ended here; an editing one's is held until the
  // commit or the end of the file.
  ColumnFile(std::unique_ptr<sql::Db> db, std::unique_ptr<ValueLayout> layout, std::string path,
             const FileVersion& version, bool editing);
  ~ColumnFile();
  ColumnFile(const ColumnFile&) = delete;
  ColumnFile& operator=(const ColumnFile&) = delete;

  const std::string& path() const { return m_path; }
  bool editing() const { return m_editing; }

  // Copies rows r0..r0+nr-1 of columns c0..c0+nc-1 of distribution `d`, whose columns hold
  // `rows` values each, into `out` (leading dimension `ld`). Throws StoreError naming the file
  // as damaged when a column is missing or of the wrong length, as changed when it is no longer
  // the version opened, and the I/O error (or another failure of the surroundings) when the
  // system reports one. A reading open reads ahead for a host that reads a block column by
  // column: a read that continues the last one (same distribution and rows, the next column)
  // also reads the columns after it, up to kReadAheadBytes, in the same checked read; later
  // reads inside that block are copied from memory once the file on disk is found unchanged
  // (its identity, size and time). What they answer is the version opened, as every read's.
  void Read(int d, int rows, int columns, int r0, int nr, int c0, int nc, double* out,
            std::int64_t ld);
  static constexpr std::int64_t kReadAheadBytes = 1 << 20;
  // Writes that block from `in` in the edit transaction (whole columns, read, changed and
  // written back); it reaches the file at the commit. Throws QOBBasError on a file opened for
  // reading.
  void Write(int d, int rows, int r0, int nr, int c0, int nc, const double* in, std::int64_t ld);
  // Writes those of columns c0..c0+nc-1 of distribution `d` that differ from `values` (nc
  // whole columns, one after the other) in the edit transaction, calling `afterEach` after
  // each one written. Answers how many were written.
  int WriteChanged(int d, int rows, int c0, int nc, const double* values,
                   const std::function<void()>& afterEach);
  // Whether anything was written in the edit transaction.
  bool HasWrites() const { return m_wrote; }
  // Runs `write` in the edit transaction and commits it; the edit lock is released then. When
  // the file on disk is no longer the one opened, or anything fails, rolls back and throws
  // (sql::Error as SQLite reports the failure, QOBBasError otherwise): the file stays as it was.
  void CommitEdits(const std::function<void()>& write);

  // Whether the file on disk is no longer the one opened (replaced, truncated, rewritten).
  bool ChangedOnDisk() const;
  // Throws the error for a damaged file: "a damaged file: PATH (detail)".
  [[noreturn]] void Damaged(const std::string& detail) const;
  // Throws the StoreError of a failure SQLite reported during a read.
  [[noreturn]] void Fail(const sql::Error& e) const;

 private:
  // Runs `work`, turning what the layout finds damaged into this file's StoreError.
  template <class Work>
  void Checked(Work work);
  // Runs `work` on the version opened: in a read transaction of its own unless the edit
  // transaction is held, followed by a check of the version.
  template <class Work>
  void AtOpenedVersion(Work work);
  void ExpectOpenedVersion();
  [[noreturn]] void Changed() const;
  // Copies the block from the read-ahead when it holds it (and the file is unchanged).
  bool ReadAhead(int d, int r0, int nr, int c0, int nc, double* out, std::int64_t ld);

  // The block read ahead (d < 0: none), and where the last read ended.
  struct Ahead {
    int d = -1, r0 = 0, nr = 0, c0 = 0, nc = 0;
    std::vector<double> values;  // nr x nc, column after column
    int lastD = -1, lastR0 = 0, lastNr = 0, nextColumn = -1;
  };

  std::unique_ptr<sql::Db> m_db;
  std::unique_ptr<ValueLayout> m_layout;  // over m_db, and released before it
  std::string m_path;
  std::string m_absolutePath;
  FileVersion m_version;
  bool m_editing;
  bool m_wrote = false;
  sql::Statement m_begin;
  sql::Statement m_end;
  sql::Statement m_dataVersion;
  std::vector<double> m_column;
  Ahead m_ahead;
};

// Values between the host's order and the stored little-endian order: on little-endian hosts
// `values` itself, otherwise a byte-swapped copy in `scratch`.
const double* LittleEndian(const double* values, std::size_t count, std::vector<double>& scratch);
// Turns stored little-endian values into the host's order in place.
void FromLittleEndian(double* values, std::size_t count);

}  // namespace pfm
