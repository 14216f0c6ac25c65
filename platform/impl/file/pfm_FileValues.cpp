// Distribution values and edit commits backed by a model file.
#include "pfm_FileValues.h"

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
  m_file->Read(m_distribution, m_rows, r0, nr, c0, nc, out, ld);
}

void FileValues::Write(int r0, int nr, int c0, int nc, const double* in, std::int64_t ld) {
  Check(r0, nr, c0, nc);
  sql::Transaction transaction(m_file->db(), "BEGIN IMMEDIATE");
  m_file->Write(m_distribution, m_rows, r0, nr, c0, nc, in, ld);
  transaction.Commit();
}

void FileBacking::Commit(Model& model, const Overlay& changes) {
  try {
    sql::Transaction transaction(m_file->db(), "BEGIN IMMEDIATE");
    for (const auto& [index, columns] : changes) {
      const Distribution& d = model.system.distributions.at(static_cast<std::size_t>(index));
      for (const auto& [column, values] : columns) {
        if (values.size() != static_cast<std::size_t>(d.rows) || column < 0 || column >= d.columns)
          throw QOBBasError("matrix " + std::to_string(index) +
                            " has an edited column out of shape");
        m_file->WriteChanged(index, d.rows, column, 1, values.data(), CommitProbe());
      }
    }
    transaction.Commit();
  } catch (const std::exception& e) {
    throw QOBBasError("the edits of " + m_file->path() + " were not saved: " + e.what());
  }
}

}  // namespace pfm
