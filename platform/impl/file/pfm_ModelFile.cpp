// The model file format's schema and reasons, and the loader's registration.
#include "pfm_ModelFile.h"

#include "pfm_Session.h"

namespace pfm {

const char* ModelFileSchema() {
  return R"sql(
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
CREATE TABLE distribution (
  idx         INTEGER PRIMARY KEY,
  dense       INTEGER NOT NULL,
  num_rows    INTEGER NOT NULL,
  num_columns INTEGER NOT NULL,
  row_set     INTEGER,
  column_set  INTEGER
);
CREATE TABLE distribution_by_type (matrix_type INTEGER PRIMARY KEY, distribution INTEGER NOT NULL);
CREATE TABLE distribution_by_name (name TEXT PRIMARY KEY, distribution INTEGER NOT NULL);
CREATE TABLE user_matrix (name TEXT PRIMARY KEY, distribution INTEGER NOT NULL);
CREATE TABLE set_by_type (set_type INTEGER PRIMARY KEY, component_set INTEGER NOT NULL);
CREATE TABLE column_values (
  distribution INTEGER NOT NULL,
  column_index INTEGER NOT NULL,
  data         BLOB NOT NULL,
  PRIMARY KEY (distribution, column_index)
);
)sql";
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
constexpr ProblemName kPhrases[] = {
    {ModelFileProblem::NoSuchFile, "no such file"},
    {ModelFileProblem::NotAModel, "not a model file"},
    {ModelFileProblem::NewerVersion, "a newer format version"},
    {ModelFileProblem::Damaged, "a damaged file"},
    {ModelFileProblem::Unreadable, "cannot open the file"},
    {ModelFileProblem::IoError, "an I/O error"},
    {ModelFileProblem::DiskFull, "the disk is full"},
    {ModelFileProblem::BeingEdited, "the model is being edited by another session"},
    {ModelFileProblem::Changed, "the model file changed since it was opened"},
};
}  // namespace

const char* ModelFileProblemPhrase(ModelFileProblem problem) {
  for (const ProblemName& p : kPhrases)
    if (p.problem == problem) return p.phrase;
  return "";
}

std::string ModelFileMessage(ModelFileProblem problem, const std::string& path,
                             const std::string& detail) {
  std::string message = std::string(ModelFileProblemPhrase(problem)) + ": " + path;
  if (!detail.empty()) message += " (" + detail + ")";
  // One line, whatever the path or SQLite's message held.
  for (char& c : message)
    if (c == '\n' || c == '\r') c = ' ';
  return message;
}

ModelFileProblem ModelFileProblemOf(const std::string& reason) {
  for (const ProblemName& p : kPhrases)
    if (reason.rfind(std::string(p.phrase) + ": ", 0) == 0) return p.problem;
  return ModelFileProblem::None;
}

void RegisterModelFiles() { ModelRegistry::SetLoader(LoadModelFile); }

}  // namespace pfm
