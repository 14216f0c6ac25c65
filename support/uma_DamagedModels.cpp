// Damaged model files made on purpose, each breaking one rule of the model format.
#include "uma_DamagedModels.h"

#include <sqlite3.h>

#include <stdexcept>

#include "pfm_Support.h"
#include "uma_StoredSamples.h"

namespace uma::sample {

// uma::sample::EveryFeature as stored: nodes 1..5 (3 internal), dofs 1..15, modes 1..4, elements
// 1..3; collections 0 dofs, 1 nodes, 2 modes, 3 elements, 4 opaque; sets 0 dofs (15), 1 nodes
// (5), 2 modes (4), 3 elements (2), 4 opaque (3), 5 empty; matrices 0 stiffness 15 x 15 (dof
// sets), 1 node coordinates 5 x 3 (node rows), 2 mode matrix 15 x 4 (dof rows, mode columns),
// 3 not dense 2 x 2 (the recovery matrix), 4 empty 0 x 3, 5 empty 4 x 0.
const std::vector<DamagedModel>& DamagedModels() {
  using D = DamagedModel;
  static const std::vector<DamagedModel> models = {
      // The model table and the numbered tables.
      {"model-row-missing", nullptr, "DELETE FROM model", D::Refused, "the model table is empty"},
      {"model-row-twice", "model", "INSERT INTO model SELECT * FROM model", D::Refused,
       "the model table has more than one row"},
      {"node-number-gap", nullptr, "DELETE FROM node WHERE number = 2", D::Refused,
       "the node table has no number 2"},
      {"dof-number-twice", "dof", "INSERT INTO dof SELECT * FROM dof WHERE number = 3", D::Refused,
       "the dof table has number 3 twice"},
      {"dof-node-missing", nullptr, "UPDATE dof SET node = 6 WHERE number = 1", D::Refused,
       "a degree of freedom refers to a node that does not exist"},
      {"every-table-empty", nullptr,
       "DELETE FROM node; DELETE FROM dof; DELETE FROM mode; DELETE FROM element;"
       "DELETE FROM collection; DELETE FROM component_set; DELETE FROM distribution;"
       "DELETE FROM distribution_by_type; DELETE FROM distribution_by_name;"
       "DELETE FROM user_matrix; DELETE FROM set_by_type; DELETE FROM column_values;"
       "UPDATE model SET node_coordinates = NULL",
       D::Opens, ""},
      // Sets and their members.
      {"set-member-outside-table", nullptr,
       "UPDATE component_set SET members = x'0100000002000000030000000400000006000000' "
       "WHERE idx = 1",
       D::Refused, "the A-set nodes set holds node number 6 of 5"},
      {"set-member-negative", nullptr,
       "UPDATE component_set SET members = x'01000000020000000300000004000000ffffffff' "
       "WHERE idx = 1",
       D::Refused, "the A-set nodes set holds node number -1 of 5"},
      {"set-collection-missing", nullptr, "UPDATE component_set SET collection = 9 WHERE idx = 0",
       D::Refused, "a set refers to a missing collection"},
      {"set-members-ragged", nullptr,
       "UPDATE component_set SET members = x'0100000002' WHERE idx = 4", D::Refused,
       "a component set's members are not whole 32-bit integers"},
      {"set-members-text", nullptr, "UPDATE component_set SET members = 'abcd' WHERE idx = 4",
       D::Refused, "a component set's members are not a BLOB"},
      {"set-kind-swapped", nullptr, "UPDATE collection SET position_type = 10014 WHERE idx = 0",
       D::Refused, "the A-set holds mode number 5 of 4"},
      {"set-kind-opaque", nullptr, "UPDATE collection SET position_type = 1 WHERE idx = 1",
       D::Opens, ""},
      {"set-members-extreme", nullptr,
       "UPDATE component_set SET members = x'00000080ffffff7f00000000' WHERE idx = 4", D::Opens,
       ""},
      // Matrices: dimensions against their sets, their values and the file.
      {"matrix-rows-disagree-with-set", nullptr,
       "UPDATE distribution SET num_rows = 14 WHERE idx = 0", D::Refused,
       "a matrix's row set does not have one member per row"},
      {"matrix-columns-disagree-with-set", nullptr,
       "UPDATE distribution SET num_columns = 5 WHERE idx = 2", D::Refused,
       "a matrix's column set does not have one member per column"},
      {"matrix-row-set-missing", nullptr, "UPDATE distribution SET row_set = 99 WHERE idx = 0",
       D::Refused, "a matrix refers to a missing row set"},
      {"matrix-rows-negative", nullptr, "UPDATE distribution SET num_rows = -4 WHERE idx = 5",
       D::Refused, "a matrix has dimensions that cannot be stored"},
      {"matrix-columns-negative", nullptr, "UPDATE distribution SET num_columns = -1 WHERE idx = 4",
       D::Refused, "a matrix has dimensions that cannot be stored"},
      {"matrix-rows-beyond-int", nullptr,
       "UPDATE distribution SET num_rows = 4294967296 WHERE idx = 5", D::Refused,
       "a number of rows out of range"},
      {"matrix-rows-huge", nullptr,
       "UPDATE distribution SET num_rows = 268435455 WHERE idx = 3;"
       "INSERT INTO user_matrix VALUES ('huge', 3)",
       D::Refused, "matrix 3 (268435455 x 2) is larger than the file"},
      {"matrix-columns-huge", nullptr,
       "UPDATE distribution SET num_columns = 2147483647 WHERE idx = 4;"
       "INSERT INTO user_matrix VALUES ('huge', 4)",
       D::Refused, "matrix 4 (0 x 2147483647) is larger than the file"},
      {"mode-columns-huge", nullptr,
       "UPDATE distribution SET num_rows = 0, num_columns = 2147483000, row_set = NULL, "
       "column_set = NULL WHERE idx = 2",
       D::Refused, "matrix 2 (0 x 2147483000) is larger than the file"},
      // A recovery matrix of many rows and no load or mode columns, trimmed of its loads.
      {"recovery-rows-huge-no-columns", nullptr,
       "INSERT INTO component_set VALUES (6, 2, x'');"
       "INSERT INTO distribution VALUES (6, 1, 268435455, 0, NULL, 6);"
       "UPDATE distribution_by_type SET distribution = 6 WHERE matrix_type = 20068;"
       "UPDATE model SET num_loads = 0",
       D::Opens, ""},
      {"matrix-rows-disagree-with-values", nullptr,
       "UPDATE distribution SET num_rows = 6, row_set = NULL WHERE idx = 1", D::ReadsFail,
       "the values of matrix 1 column 0 hold 40 bytes instead of 48"},
      {"column-missing", nullptr,
       "DELETE FROM column_values WHERE distribution = 0 AND column_index = 14", D::ReadsFail,
       "the values of matrix 0 column 14 are missing"},
      {"column-short", nullptr,
       "UPDATE column_values SET data = x'0000' WHERE distribution = 2 AND column_index = 0",
       D::ReadsFail, "the values of matrix 2 column 0 hold 2 bytes instead of 120"},
      {"column-long", nullptr,
       "UPDATE column_values SET data = CAST(data || zeroblob(8) AS BLOB) "
       "WHERE distribution = 1 AND column_index = 0",
       D::ReadsFail, "the values of matrix 1 column 0 hold 48 bytes instead of 40"},
      {"column-text", nullptr,
       "UPDATE column_values SET data = 'not numbers' WHERE distribution = 1 AND column_index = 0",
       D::ReadsFail, "the values of matrix 1 column 0 hold 11 bytes instead of 40"},
      {"column-null", "column_values",
       "UPDATE column_values SET data = NULL WHERE distribution = 0 AND column_index = 0",
       D::ReadsFail,
       "the values of matrix 0 column 0 cannot be read: cannot open value of type null"},
      // Values in chunks, shared rows (the current format).
      {"chunk-missing", nullptr,
       "DELETE FROM value_chunk WHERE id = (SELECT first_chunk FROM distribution WHERE idx = 0)",
       D::ReadsFail, "the values of matrix 0 column 0 are missing", true},
      {"chunk-short", nullptr,
       "UPDATE value_chunk SET data = x'0000' WHERE id = (SELECT first_chunk FROM distribution "
       "WHERE idx = 2)",
       D::ReadsFail, "the values of matrix 2 column 0 hold a chunk of 2 bytes instead of 120",
       true},
      {"chunk-text", nullptr,
       "UPDATE value_chunk SET data = 'not numbers' WHERE id = (SELECT first_chunk + 1 FROM "
       "distribution WHERE idx = 1)",
       D::ReadsFail, "the values of matrix 1 column 1 hold a chunk of 11 bytes instead of 40",
       true},
      {"chunk-null", "value_chunk",
       "UPDATE value_chunk SET data = NULL WHERE id = (SELECT first_chunk FROM distribution WHERE "
       "idx = 0)",
       D::ReadsFail,
       "the values of matrix 0 column 0 cannot be read: cannot open value of type null", true},
      {"chunks-overlap", nullptr,
       "UPDATE distribution SET first_chunk = (SELECT first_chunk + 1 FROM distribution WHERE idx "
       "= 0) WHERE idx = 2",
       D::Refused, "two matrices share chunks", true},
      {"first-chunk-negative", nullptr, "UPDATE distribution SET first_chunk = -5 WHERE idx = 1",
       D::Refused, "matrix 1 has a first chunk out of range", true},
      {"first-chunk-text", nullptr, "UPDATE distribution SET first_chunk = 'x' WHERE idx = 1",
       D::Refused, "a first chunk is not an integer", true},
      {"shared-source-missing", nullptr, "INSERT INTO shared_rows VALUES (2, 0, 1, 9, 0)",
       D::Refused, "matrix 2 shares rows with a missing matrix", true},
      {"shared-columns-outside", nullptr, "INSERT INTO shared_rows VALUES (2, 3, 5, 0, 0)",
       D::Refused, "matrix 2 shares rows of columns outside the matrices", true},
      {"shared-chain", nullptr,
       "INSERT INTO shared_rows VALUES (2, 0, 1, 0, 0); INSERT INTO shared_rows VALUES (0, 0, 1, "
       "2, 0)",
       D::Refused, "matrix 0 shares rows with a matrix that shares rows itself", true},
      {"shared-matrix-missing", nullptr, "INSERT INTO shared_rows VALUES (7, 0, 1, 0, 0)",
       D::Refused, "the shared_rows table refers to a missing matrix", true},
      {"shared-rows-of-another", nullptr, "INSERT INTO shared_rows VALUES (2, 0, 1, 0, 0)",
       D::Opens, "", true},
      {"chunks-without-rowid", nullptr,
       "DROP TABLE value_chunk; CREATE TABLE value_chunk (id INTEGER PRIMARY KEY, data BLOB NOT "
       "NULL) WITHOUT ROWID",
       D::Refused, "the value_chunk table is a table without rowids", true},
      // References and lookup tables.
      {"type-refers-to-missing-matrix", nullptr,
       "UPDATE distribution_by_type SET distribution = 6 WHERE matrix_type = 20061", D::Refused,
       "a matrix type refers to a missing matrix"},
      {"user-matrix-refers-to-negative", nullptr, "UPDATE user_matrix SET distribution = -1",
       D::Refused, "a user matrix refers to a missing matrix"},
      {"set-type-refers-to-missing-set", nullptr,
       "UPDATE set_by_type SET component_set = 6 WHERE set_type = 20072", D::Refused,
       "a set type refers to a missing set"},
      {"node-coordinates-missing", nullptr, "UPDATE model SET node_coordinates = 6", D::Refused,
       "node coordinates refer to a missing matrix"},
      {"name-twice", "distribution_by_name", "INSERT INTO distribution_by_name VALUES ('K', 2)",
       D::Refused, "the distribution_by_name table has the key \"K\" twice"},
      {"type-twice", "distribution_by_type", "INSERT INTO distribution_by_type VALUES (20061, 2)",
       D::Refused, "the distribution_by_type table has the key 20061 twice"},
      // Values of the wrong type.
      {"label-text", nullptr, "UPDATE node SET label = 'two hundred' WHERE number = 2", D::Refused,
       "a node label is not an integer"},
      {"label-real", nullptr, "UPDATE node SET label = 201.5 WHERE number = 1", D::Refused,
       "a node label is not an integer"},
      {"rows-null", "distribution", "UPDATE distribution SET num_rows = NULL WHERE idx = 0",
       D::Refused, "a number of rows is not an integer"},
      {"name-blob", nullptr, "UPDATE distribution_by_name SET name = x'4b00' WHERE name = 'K'",
       D::Refused, "a name in the distribution_by_name table is not text"},
      // The optional attribute table: a file without it opens; when present it is checked.
      {"attributes-absent", nullptr, "DROP TABLE model_attribute", D::Opens, ""},
      {"attribute-name-twice", "model_attribute",
       "INSERT INTO model_attribute VALUES ('unit.length', 'm'), ('unit.length', 'mm')", D::Refused,
       "the model_attribute table has the name \"unit.length\" twice"},
      {"attribute-value-blob", nullptr, "INSERT INTO model_attribute VALUES ('unit.mass', x'6b67')",
       D::Refused, "a value in the model_attribute table is not text"},
      {"attribute-table-is-view", nullptr,
       "DROP TABLE model_attribute; CREATE VIEW model_attribute AS SELECT 'a' AS name, 'b' AS "
       "value",
       D::Refused, "the model_attribute table is a view"},
      // The optional mesh table, likewise.
      {"mesh-absent", nullptr, "DROP TABLE mesh_element", D::Opens, ""},
      {"mesh-nodes-not-whole", nullptr,
       "INSERT INTO mesh_element VALUES (1, 'C3D4', x'01020304050607')", D::Refused,
       "a mesh element's nodes are not whole 32-bit integers"},
      {"mesh-type-blob", nullptr, "INSERT INTO mesh_element VALUES (1, x'5338', x'01000000')",
       D::Refused, "a type in the mesh_element table is not text"},
      // Counts the flexible body computes with.
      {"statics-huge", nullptr, "UPDATE model SET num_static_modes = 2147483647", D::Opens, ""},
      {"statics-negative", nullptr, "UPDATE model SET num_static_modes = -2147483648", D::Refused,
       "the number of static modes is negative"},
      {"loads-huge", nullptr, "UPDATE model SET num_loads = 2147483647", D::Opens, ""},
      {"loads-negative", nullptr, "UPDATE model SET num_loads = -5", D::Refused,
       "the number of loads is negative"},
      // Tables that are not tables.
      {"table-missing", nullptr, "DROP TABLE set_by_type", D::Refused,
       "the file has no set_by_type table"},
      {"column-dropped", nullptr, "ALTER TABLE dof DROP COLUMN ldof", D::Refused,
       "the dof table has no column ldof"},
      {"table-is-view", nullptr,
       "DROP TABLE element; CREATE VIEW element AS SELECT 1 AS number, 9001 AS label", D::Refused,
       "the element table is a view"},
      {"table-is-endless-view", nullptr,
       "DROP TABLE mode; CREATE VIEW mode (number, node_label, ldof) AS WITH RECURSIVE n(i) AS "
       "(SELECT 1 UNION ALL SELECT i + 1 FROM n) SELECT i, 0, 0 FROM n",
       D::Refused, "the mode table is a view"},
      {"table-is-virtual", nullptr,
       "DROP TABLE element; CREATE VIRTUAL TABLE element USING fts5(number, label)", D::Refused,
       "the element table is a virtual table"},
      {"table-without-rowid", nullptr,
       "DROP TABLE column_values; CREATE TABLE column_values (distribution INTEGER NOT NULL, "
       "column_index INTEGER NOT NULL, data BLOB NOT NULL, PRIMARY KEY (distribution, "
       "column_index)) WITHOUT ROWID",
       D::Refused, "the column_values table is a table without rowids"},
      {"column-generated", nullptr,
       "DROP TABLE element; CREATE TABLE element (number INTEGER PRIMARY KEY, label INTEGER "
       "GENERATED ALWAYS AS (number + 9000));"
       "INSERT INTO element (number) VALUES (1), (2), (3)",
       D::Refused, "the element table's column label is generated"},
  };
  return models;
}

namespace {

// A model file opened with SQLite itself, as a hand with a database shell would damage it.
// Failures throw std::runtime_error with SQLite's message: a damage that does not apply is a
// fault of the sample, not an answer of the library.
class Database {
 public:
  explicit Database(const std::string& path) {
    if (sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
      // The destructor will not run: release the handle SQLite made even for a failed open.
      std::string message = "cannot open " + path + ": " + sqlite3_errmsg(m_db);
      sqlite3_close(m_db);
      throw std::runtime_error(message);
    }
  }
  ~Database() { sqlite3_close(m_db); }
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  void Exec(const std::string& sql) {
    if (sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) Fail(sql);
  }

  // The declared columns of `table`, "name TYPE, ...", without their constraints.
  std::string PlainColumns(const std::string& table) {
    sqlite3_stmt* info = nullptr;
    if (sqlite3_prepare_v2(m_db, ("PRAGMA table_info(" + table + ")").c_str(), -1, &info,
                           nullptr) != SQLITE_OK)
      Fail("table_info " + table);
    std::string columns;
    while (sqlite3_step(info) == SQLITE_ROW) {
      auto text = [&](int column) {
        const unsigned char* t = sqlite3_column_text(info, column);
        return std::string(t ? reinterpret_cast<const char*>(t) : "");
      };
      columns += (columns.empty() ? "" : ", ") + text(1) + " " + text(2);
    }
    sqlite3_finalize(info);
    return columns;
  }

 private:
  [[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error(what + ": " + sqlite3_errmsg(m_db));
  }

  sqlite3* m_db = nullptr;
};

// Makes `table` again with the same columns and declared types but no constraints, so that a
// model can hold what the format's constraints keep out.
void Loosen(Database& db, const std::string& table) {
  const std::string columns = db.PlainColumns(table);
  db.Exec("ALTER TABLE " + table + " RENAME TO loosened; CREATE TABLE " + table + " (" + columns +
          "); INSERT INTO " + table + " SELECT * FROM loosened; DROP TABLE loosened");
}

}  // namespace

void WriteDamagedModel(const DamagedModel& model, const std::string& path) {
  pfm::SaveModel(EveryFeature(model.name), path, model.chunked ? pfm::kModelFormatVersion : 1);
  Database db(path);
  if (model.loosen) Loosen(db, model.loosen);
  db.Exec(model.sql);
}

void RepackModelFile(const std::string& path, int pageSize) {
  Database db(path);
  db.Exec("PRAGMA page_size = " + std::to_string(pageSize) + "; VACUUM");
}

}  // namespace uma::sample
