// The model store's two interfaces over a model file: the values of one distribution, read and
// written through the file's columns, and the commit of an edit session into the file.
#pragma once

#include <memory>

#include "pfm_ColumnFile.h"
#include "pfm_Model.h"

namespace pfm {

// One distribution's values in a model file. Nothing is cached: every Read goes to the file
// (through SQLite's page cache), so Contiguous() is null. A Write joins the edit session's
// transaction and reaches the file at its commit; a connection opened for reading refuses it.
class FileValues : public ValueStore {
 public:
  FileValues(std::shared_ptr<ColumnFile> file, int distribution, int rows, int columns);
  void Read(int r0, int nr, int c0, int nc, double* out, std::int64_t ld) const override;
  void Write(int r0, int nr, int c0, int nc, const double* in, std::int64_t ld) override;

 private:
  void Check(int r0, int nr, int c0, int nc) const;

  std::shared_ptr<ColumnFile> m_file;
  int m_distribution;
  int m_rows;
  int m_columns;
};

// Commits an edit session of a model file: every column that the session changed is written
// in one transaction. On failure the transaction is rolled back, the file is as it was, and
// StoreError says "the edits of PATH were not saved: REASON", one line, with the kind.
class FileBacking : public ModelBacking {
 public:
  explicit FileBacking(std::shared_ptr<ColumnFile> file) : m_file(std::move(file)) {}
  void Commit(Model& model, const Overlay& changes) override;

 private:
  std::shared_ptr<ColumnFile> m_file;
};

}  // namespace pfm
