// Opening a model file: what kind of file it is, then its structure. Values stay in the file;
// each distribution reads them through a FileValues over the connection opened here.
#include <sqlite3.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <limits>

#include "pfm_FileValues.h"
#include "pfm_ModelBuilder.h"
#include "pfm_ModelFile.h"

namespace pfm {

namespace {

// Why an open stops; turned into the reason at the end of LoadModelFile.
struct OpenFailure {
  ModelFileProblem problem;
  std::string detail;
};

bool StartsLikeSqlite(const std::string& path) {
  static const char kMagic[16] = "SQLite format 3";  // with its terminating zero
  char head[16] = {};
  std::ifstream in(path, std::ios::binary);
  in.read(head, sizeof head);
  return in.gcount() == sizeof head && std::memcmp(head, kMagic, sizeof head) == 0;
}

OpenFailure Classify(const sql::Error& e, const std::string& path) {
  switch (e.primary()) {
    case SQLITE_NOTADB:
      if (StartsLikeSqlite(path)) return {ModelFileProblem::Damaged, e.what()};
      return {ModelFileProblem::NotAModel, ""};
    case SQLITE_READONLY:
      if (e.code() == SQLITE_READONLY_ROLLBACK)
        return {ModelFileProblem::Damaged,
                "an edit was interrupted; open the model for editing once to restore it"};
      return {ModelFileProblem::Unreadable, e.what()};
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
    case SQLITE_IOERR:
    case SQLITE_NOMEM:
      return {ModelFileProblem::Unreadable, e.what()};
    default:
      return {ModelFileProblem::Damaged, e.what()};
  }
}

int AsInt(std::int64_t value, const char* what) {
  if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
    throw OpenFailure{ModelFileProblem::Damaged, std::string(what) + " out of range"};
  return static_cast<int>(value);
}

// Reference columns hold NULL for "none".
int AsIndex(const sql::Statement& s, int column, const char* what) {
  return s.IsNull(column) ? -1 : AsInt(s.Int(column), what);
}

[[noreturn]] void Damaged(const std::string& detail) {
  throw OpenFailure{ModelFileProblem::Damaged, detail};
}

// The rows of `table` in the order of `key`, which must run first, first + 1, ... without gaps.
template <class Add>
void ReadNumbered(sql::Db& db, const std::string& table, const std::string& key,
                  const std::string& columns, int first, Add add) {
  sql::Statement s(db, "SELECT " + key + ", " + columns + " FROM " + table + " ORDER BY " + key);
  for (std::int64_t expected = first; s.Step(); ++expected) {
    if (s.Int(0) != expected)
      Damaged("the " + table + " table has no " + key + " " + std::to_string(expected));
    add(s);
  }
}

// A table of (key, index) pairs into `map`.
template <class Map, class Key>
void ReadMap(sql::Db& db, const std::string& table, const std::string& columns, Map& map,
             Key (*key)(const sql::Statement&)) {
  sql::Statement s(db, "SELECT " + columns + " FROM " + table);
  while (s.Step()) map[key(s)] = AsInt(s.Int(1), table.c_str());
}
int IntKey(const sql::Statement& s) { return AsInt(s.Int(0), "a type index"); }
std::string TextKey(const sql::Statement& s) { return s.Text(0); }

std::vector<int> MembersOf(const sql::Statement& s, int column) {
  std::size_t bytes = s.Bytes(column);
  if (bytes % 4 != 0) Damaged("a component set's members are not whole 32-bit integers");
  const auto* p = static_cast<const unsigned char*>(s.Blob(column));
  std::vector<int> members(bytes / 4);
  for (std::size_t i = 0; i < members.size(); ++i) {
    std::uint32_t v = 0;
    for (int k = 3; k >= 0; --k) v = v << 8 | p[i * 4 + static_cast<std::size_t>(k)];
    members[i] = static_cast<int>(v);
  }
  return members;
}

void ReadHeader(sql::Db& db, Model& model) {
  sql::Statement s(db,
                   "SELECT has_substructure, has_system, record_reports_null, system_type, "
                   "num_loads, num_static_modes, node_coordinates FROM model");
  if (!s.Step()) Damaged("the model table is empty");
  model.hasSubstructure = s.Int(0) != 0;
  model.hasSystem = s.Int(1) != 0;
  model.recordReportsNull = s.Int(2) != 0;
  model.system.type = AsInt(s.Int(3), "the system type");
  model.system.numLoads = AsInt(s.Int(4), "the number of loads");
  model.system.numStaticModes = AsInt(s.Int(5), "the number of static modes");
  model.system.nodeCoordinates = AsIndex(s, 6, "the node coordinates");
}

void ReadTables(sql::Db& db, SystemData& sys) {
  ReadNumbered(db, "node", "number", "label, internal", 1, [&](const sql::Statement& s) {
    sys.nodes.push_back({AsInt(s.Int(1), "a node label"), s.Int(2) != 0});
  });
  ReadNumbered(db, "dof", "number", "node, ldof", 1, [&](const sql::Statement& s) {
    sys.dofs.push_back({AsInt(s.Int(1), "a node number"), AsInt(s.Int(2), "a local dof")});
  });
  ReadNumbered(db, "mode", "number", "node_label, ldof", 1, [&](const sql::Statement& s) {
    sys.modes.push_back({AsInt(s.Int(1), "a node label"), AsInt(s.Int(2), "a local dof")});
  });
  ReadNumbered(db, "element", "number", "label", 1, [&](const sql::Statement& s) {
    sys.elements.push_back(AsInt(s.Int(1), "an element label"));
  });
  ReadNumbered(db, "collection", "idx", "position_type", 0, [&](const sql::Statement& s) {
    sys.collections.push_back({AsInt(s.Int(1), "a position type")});
  });
  ReadNumbered(db, "component_set", "idx", "collection, members", 0, [&](const sql::Statement& s) {
    sys.sets.push_back({AsInt(s.Int(1), "a collection index"), MembersOf(s, 2)});
  });
  constexpr std::int64_t kMaxRows = std::numeric_limits<int>::max() / sizeof(double);
  ReadNumbered(db, "distribution", "idx", "dense, num_rows, num_columns, row_set, column_set", 0,
               [&](const sql::Statement& s) {
                 Distribution d;
                 d.dense = s.Int(1) != 0;
                 d.rows = AsInt(s.Int(2), "a number of rows");
                 d.columns = AsInt(s.Int(3), "a number of columns");
                 d.rowSet = AsIndex(s, 4, "a row set");
                 d.columnSet = AsIndex(s, 5, "a column set");
                 if (d.rows < 0 || d.columns < 0 || d.rows > kMaxRows)
                   Damaged("a matrix has dimensions that cannot be stored");
                 sys.distributions.push_back(std::move(d));
               });
  ReadMap(db, "distribution_by_type", "matrix_type, distribution", sys.distributionByType, IntKey);
  ReadMap(db, "distribution_by_name", "name, distribution", sys.distributionByName, TextKey);
  ReadMap(db, "user_matrix", "name, distribution", sys.userMatrixByName, TextKey);
  ReadMap(db, "set_by_type", "set_type, component_set", sys.setByType, IntKey);
}

std::unique_ptr<sql::Db> OpenIdentified(const std::string& path, bool editable, std::int64_t size) {
  auto db =
      std::make_unique<sql::Db>(path, editable ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY);
  if (editable && db->ReadOnly())
    throw OpenFailure{ModelFileProblem::Unreadable,
                      "the file is read-only; it cannot be opened for editing"};
  if (db->QueryInt("PRAGMA application_id") != kModelFileApplicationId)
    throw OpenFailure{ModelFileProblem::NotAModel, ""};
  std::int64_t version = db->QueryInt("PRAGMA user_version");
  if (version > kModelFileVersion)
    throw OpenFailure{ModelFileProblem::NewerVersion, "format " + std::to_string(version) +
                                                          "; this library reads format " +
                                                          std::to_string(kModelFileVersion)};
  if (version < 1) Damaged("no format version");
  // Block reads then copy straight from the mapped file, not through SQLite's page cache.
  db->Exec("PRAGMA mmap_size = " + std::to_string(size));
  if (editable) db->Exec("PRAGMA busy_timeout = 2000");
  return db;
}

std::shared_ptr<Model> Open(const std::string& path, bool editable) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR || path.empty())
      throw OpenFailure{ModelFileProblem::NoSuchFile, ""};
    throw OpenFailure{ModelFileProblem::Unreadable, std::strerror(errno)};
  }
  if (!S_ISREG(st.st_mode)) throw OpenFailure{ModelFileProblem::NotAModel, "not a regular file"};
  if (st.st_size == 0) throw OpenFailure{ModelFileProblem::NotAModel, "an empty file"};
  std::unique_ptr<sql::Db> db = OpenIdentified(path, editable, st.st_size);
  auto model = std::make_shared<Model>();
  model->name = path;
  {
    sql::Transaction snapshot(*db);  // the whole structure as of one moment
    ReadHeader(*db, *model);
    ReadTables(*db, model->system);
    snapshot.Commit();
  }
  auto file = std::make_shared<ColumnFile>(std::move(db), path);
  auto& distributions = model->system.distributions;
  for (std::size_t i = 0; i < distributions.size(); ++i)
    distributions[i].values = std::make_shared<FileValues>(
        file, static_cast<int>(i), distributions[i].rows, distributions[i].columns);
  try {
    ValidateModel(*model);
  } catch (const QOBBasError& e) {
    Damaged(e.what());
  }
  if (editable) model->backing = std::make_shared<FileBacking>(file);
  return model;
}

}  // namespace

std::shared_ptr<Model> LoadModelFile(const std::string& path, bool editable, std::string& reason) {
  OpenFailure failure;
  try {
    return Open(path, editable);
  } catch (const OpenFailure& f) {
    failure = f;
  } catch (const sql::Error& e) {
    failure = Classify(e, path);
  } catch (const std::bad_alloc&) {
    failure = {ModelFileProblem::Unreadable, "out of memory"};
  }
  reason = ModelFileMessage(failure.problem, path, failure.detail);
  return nullptr;
}

}  // namespace pfm
