// Opening a model file: what kind of file it is, then its structure. Values stay in the file;
// each distribution reads them through a FileValues over the connection opened here.
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <map>

#include "pfm_BlobColumns.h"
#include "pfm_ChunkedColumns.h"
#include "pfm_FileValues.h"
#include "pfm_ModelBuilder.h"
#include "pfm_ModelFile.h"
#include "pfm_ModelFileSchema.h"

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

std::string Quoted(const std::string& key) { return "\"" + key + "\""; }
std::string Quoted(int key) { return std::to_string(key); }

// What a model file has that a file of another format lacks, for the reason of a refusal.
std::string Expected() {
  char id[16];
  std::snprintf(id, sizeof id, "0x%08X", static_cast<unsigned>(kModelFileApplicationId));
  return std::string("a model file has ") + id;
}

OpenFailure Classify(const sql::Error& e, const std::string& path) {
  switch (e.primary()) {
    case SQLITE_NOTADB:
      if (StartsLikeSqlite(path)) return {ModelFileProblem::Damaged, e.what()};
      return {ModelFileProblem::NotAModel,
              "not an SQLite database; " + Expected() + " as its SQLite application id"};
    case SQLITE_IOERR:
      return {ModelFileProblem::IoError, e.what()};
    case SQLITE_FULL:
      return {ModelFileProblem::DiskFull, e.what()};
    case SQLITE_NOMEM:
      return {ModelFileProblem::OutOfMemory, ""};
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return {ModelFileProblem::Locked, e.what()};
    default:
      if (e.FromSurroundings()) return {ModelFileProblem::Unreadable, e.what()};
      return {ModelFileProblem::Damaged, e.what()};
  }
}

[[noreturn]] void Damaged(const std::string& detail) {
  throw OpenFailure{ModelFileProblem::Damaged, detail};
}

// An integer column: of integer type (SQLite keeps text or a real that does not convert as it
// is) and within int.
int IntAt(const sql::Statement& s, int column, const std::string& what) {
  if (s.Type(column) != SQLITE_INTEGER) Damaged(what + " is not an integer");
  std::int64_t value = s.Int(column);
  if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
    Damaged(what + " out of range");
  return static_cast<int>(value);
}

bool FlagAt(const sql::Statement& s, int column, const std::string& what) {
  return IntAt(s, column, what) != 0;
}

// Reference columns hold NULL for "none".
int IndexAt(const sql::Statement& s, int column, const std::string& what) {
  return s.IsNull(column) ? -1 : IntAt(s, column, what);
}

// The rows of `table` in the order of `key`, which must run first, first + 1, ... without gaps
// or repeats.
template <class Add>
void ReadNumbered(sql::Db& db, const std::string& table, const std::string& key,
                  const std::string& columns, int first, Add add) {
  sql::Statement s(db, "SELECT " + key + ", " + columns + " FROM " + table + " ORDER BY " + key);
  for (std::int64_t expected = first; s.Step(); ++expected) {
    std::int64_t number = IntAt(s, 0, "a " + key + " in the " + table + " table");
    if (number < expected)
      Damaged("the " + table + " table has " + key + " " + std::to_string(number) + " twice");
    if (number != expected)
      Damaged("the " + table + " table has no " + key + " " + std::to_string(expected));
    add(s);
  }
}

// A table of (key, index) pairs into `map`; a key may appear once.
template <class Key>
void ReadMap(sql::Db& db, const std::string& table, const std::string& columns,
             std::map<Key, int>& map, Key (*key)(const sql::Statement&, const std::string&)) {
  sql::Statement s(db, "SELECT " + columns + " FROM " + table);
  while (s.Step()) {
    auto [entry, added] =
        map.emplace(key(s, table), IntAt(s, 1, "an index in the " + table + " table"));
    if (!added) Damaged("the " + table + " table has the key " + Quoted(entry->first) + " twice");
  }
}
int IntKey(const sql::Statement& s, const std::string& table) {
  return IntAt(s, 0, "a type index in the " + table + " table");
}
std::string TextKey(const sql::Statement& s, const std::string& table) {
  if (s.Type(0) != SQLITE_TEXT) Damaged("a name in the " + table + " table is not text");
  return s.Text(0);
}

std::vector<int> MembersOf(const sql::Statement& s, int column,
                           const std::string& what = "a component set's members") {
  if (s.Type(column) != SQLITE_BLOB) Damaged(what + " are not a BLOB");
  std::size_t bytes = s.Bytes(column);
  if (bytes % 4 != 0) Damaged(what + " are not whole 32-bit integers");
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
  model.hasSubstructure = FlagAt(s, 0, "has_substructure");
  model.hasSystem = FlagAt(s, 1, "has_system");
  model.recordReportsNull = FlagAt(s, 2, "record_reports_null");
  model.system.type = IntAt(s, 3, "the system type");
  model.system.numLoads = IntAt(s, 4, "the number of loads");
  model.system.numStaticModes = IntAt(s, 5, "the number of static modes");
  model.system.nodeCoordinates = IndexAt(s, 6, "the node coordinates");
  if (model.system.numLoads < 0) Damaged("the number of loads is negative");
  if (model.system.numStaticModes < 0) Damaged("the number of static modes is negative");
  if (s.Step()) Damaged("the model table has more than one row");
}

void ReadTables(sql::Db& db, SystemData& sys, int version, std::vector<std::int64_t>& firstChunks) {
  ReadNumbered(db, "node", "number", "label, internal", 1, [&](const sql::Statement& s) {
    sys.nodes.push_back({IntAt(s, 1, "a node label"), FlagAt(s, 2, "a node's internal flag")});
  });
  ReadNumbered(db, "dof", "number", "node, ldof", 1, [&](const sql::Statement& s) {
    sys.dofs.push_back({IntAt(s, 1, "a node number"), IntAt(s, 2, "a local dof")});
  });
  ReadNumbered(db, "mode", "number", "node_label, ldof", 1, [&](const sql::Statement& s) {
    sys.modes.push_back({IntAt(s, 1, "a node label"), IntAt(s, 2, "a local dof")});
  });
  ReadNumbered(db, "element", "number", "label", 1, [&](const sql::Statement& s) {
    sys.elements.push_back(IntAt(s, 1, "an element label"));
  });
  ReadNumbered(db, "collection", "idx", "position_type", 0, [&](const sql::Statement& s) {
    sys.collections.push_back({IntAt(s, 1, "a position type")});
  });
  ReadNumbered(db, "component_set", "idx", "collection, members", 0, [&](const sql::Statement& s) {
    sys.sets.push_back({IntAt(s, 1, "a collection index"), MembersOf(s, 2)});
  });
  constexpr std::int64_t kMaxRows = std::numeric_limits<int>::max() / sizeof(double);
  const std::string columns = std::string("dense, num_rows, num_columns, row_set, column_set") +
                              (version >= 2 ? ", first_chunk" : "");
  ReadNumbered(db, "distribution", "idx", columns, 0, [&](const sql::Statement& s) {
    Distribution d;
    d.dense = FlagAt(s, 1, "a matrix's dense flag");
    d.rows = IntAt(s, 2, "a number of rows");
    d.columns = IntAt(s, 3, "a number of columns");
    d.rowSet = IndexAt(s, 4, "a row set");
    d.columnSet = IndexAt(s, 5, "a column set");
    if (d.rows < 0 || d.columns < 0 || d.rows > kMaxRows)
      Damaged("a matrix has dimensions that cannot be stored");
    if (version >= 2) {
      if (s.Type(6) != SQLITE_INTEGER) Damaged("a first chunk is not an integer");
      firstChunks.push_back(s.Int(6));
    }
    sys.distributions.push_back(std::move(d));
  });
  ReadMap(db, "distribution_by_type", "matrix_type, distribution", sys.distributionByType, IntKey);
  ReadMap(db, "distribution_by_name", "name, distribution", sys.distributionByName, TextKey);
  ReadMap(db, "user_matrix", "name, distribution", sys.userMatrixByName, TextKey);
  ReadMap(db, "set_by_type", "set_type, component_set", sys.setByType, IntKey);
}

// The optional attribute table, when the file has it: text names, each once, and text values.
void ReadAttributes(sql::Db& db, std::map<std::string, std::string>& attributes) {
  if (db.QueryInt("SELECT count(*) FROM pragma_table_list WHERE schema = 'main' AND name = "
                  "'model_attribute' COLLATE NOCASE") == 0)
    return;
  sql::Statement s(db, "SELECT name, value FROM model_attribute");
  while (s.Step()) {
    if (s.Type(0) != SQLITE_TEXT) Damaged("a name in the model_attribute table is not text");
    if (s.Type(1) != SQLITE_TEXT) Damaged("a value in the model_attribute table is not text");
    if (!attributes.emplace(s.Text(0), s.Text(1)).second)
      Damaged("the model_attribute table has the name " + Quoted(s.Text(0)) + " twice");
  }
}

// The optional mesh table, when the file has it: integer labels, text types, nodes as a BLOB of
// whole 32-bit integers (like a set's members), read by label ascending.
void ReadMesh(sql::Db& db, std::vector<MeshElement>& mesh) {
  if (db.QueryInt("SELECT count(*) FROM pragma_table_list WHERE schema = 'main' AND name = "
                  "'mesh_element' COLLATE NOCASE") == 0)
    return;
  sql::Statement s(db, "SELECT label, type, nodes FROM mesh_element ORDER BY label");
  while (s.Step()) {
    MeshElement e;
    e.label = IntAt(s, 0, "a label in the mesh_element table");
    if (s.Type(1) != SQLITE_TEXT) Damaged("a type in the mesh_element table is not text");
    e.type = s.Text(1);
    e.nodes = MembersOf(s, 2, "a mesh element's nodes");
    mesh.push_back(std::move(e));
  }
}

// Format version 2's ranges of shared rows, each checked when the model is (ValidateModel).
void ReadSharedRows(sql::Db& db, SystemData& sys) {
  sql::Statement s(db,
                   "SELECT distribution, first_column, columns, source, source_column FROM "
                   "shared_rows ORDER BY distribution, first_column");
  while (s.Step()) {
    const int d = IntAt(s, 0, "a matrix in the shared_rows table");
    if (d < 0 || static_cast<std::size_t>(d) >= sys.distributions.size())
      Damaged("the shared_rows table refers to a missing matrix");
    sys.distributions[static_cast<std::size_t>(d)].shared.push_back(
        {IntAt(s, 3, "a source in the shared_rows table"),
         IntAt(s, 1, "a first column in the shared_rows table"),
         IntAt(s, 2, "a number of columns in the shared_rows table"),
         IntAt(s, 4, "a source column in the shared_rows table")});
  }
}

// Format version 2's chunk ids: each matrix's run of ids starts at 0 or above, and the runs of
// two matrices never overlap (a write to one would change the other).
void CheckChunkRuns(const SystemData& sys, const std::vector<std::int64_t>& firstChunks) {
  std::vector<std::pair<std::int64_t, std::int64_t>> runs;
  for (std::size_t i = 0; i < sys.distributions.size(); ++i) {
    const Distribution& d = sys.distributions[i];
    const std::int64_t count = ChunkedColumns::ChunksPerColumn(d.rows) * d.columns;
    if (firstChunks[i] < 0 || firstChunks[i] > std::numeric_limits<std::int64_t>::max() - count)
      Damaged("matrix " + std::to_string(i) + " has a first chunk out of range");
    if (count > 0) runs.emplace_back(firstChunks[i], firstChunks[i] + count);
  }
  std::sort(runs.begin(), runs.end());
  for (std::size_t i = 1; i < runs.size(); ++i)
    if (runs[i].first < runs[i - 1].second) Damaged("two matrices share chunks");
}

// Every column of every matrix is a row of column_values holding its values (format version
// 1), or chunks holding the rows it does not share (version 2), so together they cannot be
// larger than the file. Checked before anything is sized by the dimensions.
void CheckSizesAgainst(const SystemData& sys, std::int64_t fileSize, int version) {
  std::int64_t total = 0;
  for (std::size_t i = 0; i < sys.distributions.size(); ++i) {
    const Distribution& d = sys.distributions[i];
    std::int64_t rows = d.rows;
    if (version >= 2 && !d.shared.empty()) {
      // Shared columns hold their rows below the shared ones: take the smallest such count.
      for (const SharedRows& share : d.shared)
        if (share.source >= 0 && static_cast<std::size_t>(share.source) < sys.distributions.size())
          rows = std::min<std::int64_t>(
              rows, d.rows - sys.distributions[static_cast<std::size_t>(share.source)].rows);
      rows = std::max<std::int64_t>(rows, 0);
    }
    // A column of no rows still takes a row of the table: a byte at the very least.
    std::int64_t columnBytes = std::max<std::int64_t>(rows * 8, 1);
    if (d.columns > 0 && columnBytes > (fileSize - total) / d.columns)
      Damaged("matrix " + std::to_string(i) + " (" + std::to_string(d.rows) + " x " +
              std::to_string(d.columns) + ") is larger than the file");
    total += columnBytes * d.columns;
  }
}

// Opens the file, makes sure it is a model file of a version this library reads, and leaves the
// connection inside the transaction that reads the structure: for editing, the write
// transaction that locks other editors out until the commit.
std::unique_ptr<sql::Db> OpenIdentified(const std::string& path, bool editable, std::int64_t size,
                                        int& formatVersion) {
  auto db = std::make_unique<sql::Db>(sql::FileName(path),
                                      editable ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY);
  GuardConnection(*db, size);
  if (editable && db->ReadOnly())
    throw OpenFailure{ModelFileProblem::ReadOnly, kReadOnlyFileDetail};
  // Reads go through SQLite's page cache, never a mapping of the file: a mapped file shortened
  // by another program would end this process at the next read.
  db->Exec("PRAGMA mmap_size = 0");
  // A reader keeps the pages it read (up to the settings' reader cache) between reads, for as
  // long as the file is unchanged, so that reading a block again costs about a copy of its
  // values. An editor keeps SQLite's default: a large commit spills to the file rather than to
  // memory.
  if (!editable)
    db->Exec("PRAGMA cache_size = -" + std::to_string(ModelFileSettings().readerCacheKiB));
  if (editable) {
    // Another editor holds the lock for as long as it edits: no waiting for it.
    db->SetBusyTimeout(0);
    try {
      db->Exec("BEGIN IMMEDIATE");
    } catch (const sql::Error& e) {
      if (e.primary() == SQLITE_BUSY) throw OpenFailure{ModelFileProblem::BeingEdited, ""};
      throw;
    }
    db->SetBusyTimeout(sql::Db::BusyTimeoutMs());
  } else {
    db->Exec("BEGIN");
  }
  const std::int64_t id = db->QueryInt("PRAGMA application_id");
  if (id != kModelFileApplicationId) {
    char found[24];
    std::snprintf(found, sizeof found, id == 0 ? "%lld" : "0x%08llX",
                  static_cast<long long>(id) & 0xffffffffLL);
    throw OpenFailure{ModelFileProblem::NotAModel,
                      std::string("application id ") + found + "; " + Expected()};
  }
  std::int64_t version = db->QueryInt("PRAGMA user_version");
  if (version > kModelFileVersion)
    throw OpenFailure{ModelFileProblem::NewerVersion, "format " + std::to_string(version) +
                                                          "; this library reads format " +
                                                          std::to_string(kModelFileVersion)};
  if (version < 1) Damaged("no format version");
  formatVersion = static_cast<int>(version);
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
  // An edit that could never be saved is refused now rather than at its commit.
  if (editable && ::faccessat(AT_FDCWD, FolderOf(path).c_str(), W_OK | X_OK, AT_EACCESS) != 0)
    throw OpenFailure{ModelFileProblem::ReadOnly, kReadOnlyFolderDetail};
  // The structure as of one moment, in the transaction OpenIdentified began.
  int formatVersion = 0;
  std::unique_ptr<sql::Db> db = OpenIdentified(path, editable, st.st_size, formatVersion);
  auto model = std::make_shared<Model>();
  model->name = path;
  std::string schemaProblem = ModelFileSchemaProblem(*db, formatVersion);
  if (!schemaProblem.empty()) Damaged(schemaProblem);
  ReadHeader(*db, *model);
  std::vector<std::int64_t> firstChunks;
  ReadTables(*db, model->system, formatVersion, firstChunks);
  if (formatVersion >= 2) {
    ReadSharedRows(*db, model->system);
    CheckChunkRuns(model->system, firstChunks);
  }
  ReadAttributes(*db, model->attributes);
  ReadMesh(*db, model->mesh);
  CheckSizesAgainst(model->system, st.st_size, formatVersion);
  FileVersion version = FileVersion::OnDisk(path);
  version.dataVersion = db->QueryInt("PRAGMA data_version");
  // An open for editing that yields no system has nothing to edit: it keeps no write lock, and
  // other editors get in (its session stays open as the handle's rules want).
  const bool yieldsSystem = model->hasSubstructure && model->hasSystem && !model->recordReportsNull;
  editable = editable && yieldsSystem;
  auto& distributions = model->system.distributions;
  // The layout only reads once the model is found valid, below.
  std::unique_ptr<ValueLayout> layout;
  if (formatVersion == 1) {
    std::vector<int> rows;
    for (const Distribution& d : distributions) rows.push_back(d.rows);
    layout = std::make_unique<BlobColumns>(*db, std::move(rows));
  } else {
    std::vector<ChunkedColumns::Matrix> matrices;
    for (std::size_t i = 0; i < distributions.size(); ++i)
      matrices.push_back({distributions[i].rows, distributions[i].columns, firstChunks[i],
                          distributions[i].shared});
    layout = std::make_unique<ChunkedColumns>(*db, std::move(matrices));
  }
  auto file =
      std::make_shared<ColumnFile>(std::move(db), std::move(layout), path, version, editable);
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

// Opens the file; when an editor ended during its commit and left its journal, rolls that edit
// back first (an open for reading cannot, on its read-only connection) and opens again.
std::shared_ptr<Model> OpenRecovered(const std::string& path, bool editable) {
  try {
    return Open(path, editable);
  } catch (const sql::Error& e) {
    if (e.code() != SQLITE_READONLY_ROLLBACK) throw;
  }
  std::string detail;
  ModelFileProblem problem = RecoverInterruptedEdit(path, detail);
  if (problem != ModelFileProblem::None) throw OpenFailure{problem, detail};
  return Open(path, editable);
}

}  // namespace

std::shared_ptr<Model> LoadModelFile(const std::string& path, bool editable, std::string& reason,
                                     FailureKind& kind) {
  OpenFailure failure;
  try {
    return OpenRecovered(path, editable);
  } catch (const OpenFailure& f) {
    failure = f;
  } catch (const sql::Error& e) {
    failure = Classify(e, path);
  } catch (const std::bad_alloc&) {
    failure = {ModelFileProblem::OutOfMemory, ""};
  }
  kind = failure.problem;
  reason = ModelFileMessage(failure.problem, path, failure.detail);
  return nullptr;
}

std::shared_ptr<Model> LoadModelFile(const std::string& path, bool editable, std::string& reason) {
  FailureKind kind = FailureKind::None;
  return LoadModelFile(path, editable, reason, kind);
}

}  // namespace pfm
