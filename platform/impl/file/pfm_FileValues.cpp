// Distribution values and edit commits backed by a model file.
#include "pfm_FileValues.h"

#include <sqlite3.h>

#include <new>

#include "QOBBasCoreUtils.h"
#include "pfm_ModelFile.h"

namespace pfm {

namespace {
std::function<void()>& CommitProbe() {
  static std::function<void()> probe;
  return probe;
}
}  // namespace

void SetModelFileCommitProbe(std::function<void()> probe) { CommitProbe() = std::move(probe); }

FileValues::FileValues(std::shared_ptr<ColumnFile> file, int distribution, int rows, int columns)
    : m_file(std::move(file)), m_distribution(distribution), m_rows(rows), m_columns(columns) {}

void FileValues::Check(int r0, int nr, int c0, int nc) const {
  if (r0 < 0 || nr < 0 || c0 < 0 || nc < 0 || static_cast<long long>(r0) + nr > m_rows ||
      static_cast<long long>(c0) + nc > m_columns)
    throw QOBBasError("stored values: block outside the matrix");
}

void FileValues::Read(int r0, int nr, int c0, int nc, double* out, std::int64_t ld) const {
  Check(r0, nr, c0, nc);
  m_file->Read(m_distribution, m_rows, m_columns, r0, nr, c0, nc, out, ld);
}

void FileValues::Write(int r0, int nr, int c0, int nc, const double* in, std::int64_t ld) {
  Check(r0, nr, c0, nc);
  m_file->Write(m_distribution, m_rows, r0, nr, c0, nc, in, ld);
}

namespace {
// Why a commit failed, in a few words and without the path, which the message gives already,
// and its kind.
std::string CommitReason(const std::exception& e, FailureKind& kind) {
  kind = FailureKind::Other;
  const auto* failure = dynamic_cast<const sql::Error*>(&e);
  if (!failure) {
    if (dynamic_cast<const std::bad_alloc*>(&e) || dynamic_cast<const QOBBasOutOfMemory*>(&e)) {
      kind = FailureKind::OutOfMemory;
      return "out of memory";
    }
    if (const auto* store = dynamic_cast<const StoreError*>(&e)) kind = store->kind();
    return e.what();
  }
  kind = KindOf(*failure, true);
  std::string detail = std::string(" (") + e.what() + ")";
  switch (kind) {
    case FailureKind::IoError:
      return ModelFileProblemPhrase(FailureKind::IoError) + detail;
    case FailureKind::DiskFull:
      return ModelFileProblemPhrase(FailureKind::DiskFull) + detail;
    case FailureKind::OutOfMemory:
      return "out of memory";
    case FailureKind::Locked:
      return "another program kept the file locked" + detail;
    case FailureKind::ReadOnly:
      return "the file or its folder cannot be written" + detail;
    case FailureKind::Damaged:
      return e.what();
    default:
      kind = FailureKind::Other;
      return e.what();
  }
}
}  // namespace

void FileBacking::Commit(Model& model, const Overlay& changes) {
  if (changes.empty() && !m_file->HasWrites()) return;  // nothing to save; the lock goes
  try {
    m_file->CommitEdits([&] {
      for (const auto& [index, columns] : changes) {
        const Distribution& d = model.system.distributions.at(static_cast<std::size_t>(index));
        for (const auto& [column, values] : columns) {
          if (values.size() != static_cast<std::size_t>(d.rows) || column < 0 ||
              column >= d.columns)
            throw QOBBasError("matrix " + std::to_string(index) +
                              " has an edited column out of shape");
          m_file->WriteChanged(index, d.rows, column, 1, values.data(), CommitProbe());
        }
      }
    });
  } catch (const std::exception& e) {
    FailureKind kind = FailureKind::Other;
    std::string message =
        "the edits of " + m_file->path() + " were not saved: " + CommitReason(e, kind);
    // One line, whatever SQLite's message or the path held.
    for (char& c : message)
      if (c == '\n' || c == '\r') c = ' ';
    throw StoreError(kind, message);
  }
}

}  // namespace pfm
