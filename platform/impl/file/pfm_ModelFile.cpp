// The model file format's schema and reasons, and the loader's registration.
#include "pfm_ModelFile.h"

#include "pfm_Session.h"

namespace pfm {

namespace {

// The tables every format version has.
constexpr const char* kCommonSchema = R"sql(
CREATE TABLE model (
  id                  INTEGER PRIMARY KEY CHECK (id = 1),
  has_substructure    INTEGER NOT NULL,
  has_system          INTEGER NOT NULL,
  record_reports_null INTEGER NOT NULL,
  system_type         INTEGER NOT NULL,
  num_loads           INTEGER NOT NULL,
  num_static_modes    INTEGER NOT NULL,
  node_coordinates    INTEGER
);
CREATE TABLE node (number INTEGER PRIMARY KEY, label INTEGER NOT NULL, internal INTEGER NOT NULL);
CREATE TABLE dof (number INTEGER PRIMARY KEY, node INTEGER NOT NULL, ldof INTEGER NOT NULL);
CREATE TABLE mode (number INTEGER PRIMARY KEY, node_label INTEGER NOT NULL, ldof INTEGER NOT NULL);
CREATE TABLE element (number INTEGER PRIMARY KEY, label INTEGER NOT NULL);
CREATE TABLE collection (idx INTEGER PRIMARY KEY, position_type INTEGER NOT NULL);
CREATE TABLE component_set (
  idx        INTEGER PRIMARY KEY,
  collection INTEGER NOT NULL,
  members    BLOB NOT NULL
);
CREATE TABLE distribution_by_type (matrix_type INTEGER PRIMARY KEY, distribution INTEGER NOT NULL);
CREATE TABLE distribution_by_name (name TEXT PRIMARY KEY, distribution INTEGER NOT NULL);
CREATE TABLE user_matrix (name TEXT PRIMARY KEY, distribution INTEGER NOT NULL);
CREATE TABLE set_by_type (set_type INTEGER PRIMARY KEY, component_set INTEGER NOT NULL);
)sql";

// The matrices: version 2 adds where each one's chunks start.
constexpr const char* kDistribution = R"sql(
CREATE TABLE distribution (
  idx         INTEGER PRIMARY KEY,
  dense       INTEGER NOT NULL,
  num_rows    INTEGER NOT NULL,
  num_columns INTEGER NOT NULL,
  row_set     INTEGER,
  column_set  INTEGER)sql";

// Version 1: a BLOB per column.
constexpr const char* kVersion1Values = R"sql(
);
CREATE TABLE column_values (
  distribution INTEGER NOT NULL,
  column_index INTEGER NOT NULL,
  data         BLOB NOT NULL,
  PRIMARY KEY (distribution, column_index)
);
)sql";

// Version 2: columns in chunks, shared rows stored once.
constexpr const char* kVersion2Values = R"sql(,
  first_chunk INTEGER NOT NULL
);
CREATE TABLE shared_rows (
  distribution  INTEGER NOT NULL,
  first_column  INTEGER NOT NULL,
  columns       INTEGER NOT NULL,
  source        INTEGER NOT NULL,
  source_column INTEGER NOT NULL,
  PRIMARY KEY (distribution, first_column)
);
CREATE TABLE value_chunk (id INTEGER PRIMARY KEY, data BLOB NOT NULL);
)sql";

}  // namespace

std::string ModelFileSchema(int version) {
  return std::string(kCommonSchema) + kDistribution +
         (version == 1 ? kVersion1Values : kVersion2Values);
}

const char* ModelFileOptionalSchema() {
  return R"sql(
CREATE TABLE model_attribute (name TEXT PRIMARY KEY, value TEXT NOT NULL);
CREATE TABLE mesh_element (label INTEGER PRIMARY KEY, type TEXT NOT NULL, nodes BLOB NOT NULL);
)sql";
}

namespace {
struct ProblemName {
  ModelFileProblem problem;
  const char* phrase;
};
// Read-only comes first: it shares its phrase with Unreadable and is told apart by its detail.
constexpr ProblemName kPhrases[] = {
    {ModelFileProblem::NoSuchFile, "no such file"},
    {ModelFileProblem::NotAModel, "not a model file"},
    {ModelFileProblem::NewerVersion, "a newer format version"},
    {ModelFileProblem::Damaged, "a damaged file"},
    {ModelFileProblem::ReadOnly, "cannot open the file"},
    {ModelFileProblem::Unreadable, "cannot open the file"},
    {ModelFileProblem::IoError, "an I/O error"},
    {ModelFileProblem::DiskFull, "the disk is full"},
    {ModelFileProblem::OutOfMemory, "out of memory"},
    {ModelFileProblem::BeingEdited, "the model is being edited by another session"},
    {ModelFileProblem::Locked, "the model file is locked by another program"},
    {ModelFileProblem::Changed, "the model file changed since it was opened"},
};

// The details that make "cannot open the file" an open for editing of what cannot be written.
constexpr const char* kReadOnlyDetails[] = {kReadOnlyFileDetail, kReadOnlyFolderDetail};

constexpr const char* kInterruptedStart = "an edit of ";
constexpr const char* kInterruptedEnd =
    " was interrupted; open it once where the file can be written to recover it";

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}
}  // namespace

const char* ModelFileProblemPhrase(ModelFileProblem problem) {
  for (const ProblemName& p : kPhrases)
    if (p.problem == problem) return p.phrase;
  return "";
}

std::string ModelFileMessage(ModelFileProblem problem, const std::string& path,
                             const std::string& detail) {
  std::string message = problem == ModelFileProblem::InterruptedEdit
                            ? kInterruptedStart + path + kInterruptedEnd
                            : std::string(ModelFileProblemPhrase(problem)) + ": " + path;
  if (!detail.empty()) message += " (" + detail + ")";
  // One line, whatever the path or SQLite's message held.
  for (char& c : message)
    if (c == '\n' || c == '\r') c = ' ';
  return message;
}

ModelFileProblem ModelFileProblemOf(const std::string& reason) {
  if (reason.rfind(kInterruptedStart, 0) == 0 &&
      reason.find(kInterruptedEnd, std::string(kInterruptedStart).size()) != std::string::npos)
    return ModelFileProblem::InterruptedEdit;
  for (const ProblemName& p : kPhrases) {
    if (reason.rfind(std::string(p.phrase) + ": ", 0) != 0) continue;
    if (p.problem != ModelFileProblem::ReadOnly) return p.problem;
    for (const char* detail : kReadOnlyDetails)
      if (EndsWith(reason, std::string(" (") + detail + ")")) return p.problem;
  }
  return ModelFileProblem::None;
}

StoreSettings& ModelFileSettings() {
  static StoreSettings settings;
  return settings;
}

void RegisterModelFiles() {
  ModelRegistry::SetLoader(
      [](const std::string& path, bool editable, std::string& reason, FailureKind& kind) {
        return LoadModelFile(path, editable, reason, kind);
      });
}

}  // namespace pfm
