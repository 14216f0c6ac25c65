// Writing a whole model to a model file: structure first, then each distribution's values
// column by column, in one transaction on a temporary file of the save's own beside the target,
// which is synced and renamed over the target.
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include "pfm_ChunkedColumns.h"
#include "pfm_ColumnFile.h"
#include "pfm_ModelBuilder.h"
#include "pfm_ModelFile.h"
#include "pfm_Sqlite.h"

namespace pfm {

namespace {

// A reference (set, distribution) of -1 is stored as NULL.
void BindIndex(sql::Statement& s, int column, int index) {
  if (index < 0)
    s.BindNull(column);
  else
    s.Bind(column, index);
}

std::vector<unsigned char> LittleEndianInts(const std::vector<int>& values) {
  std::vector<unsigned char> bytes(values.size() * 4);
  for (std::size_t i = 0; i < values.size(); ++i) {
    auto v = static_cast<std::uint32_t>(values[i]);
    for (int k = 0; k < 4; ++k)
      bytes[i * 4 + static_cast<std::size_t>(k)] = static_cast<unsigned char>(v >> (8 * k));
  }
  return bytes;
}

void WriteHeader(sql::Db& db, const Model& model) {
  const SystemData& s = model.system;
  sql::Statement insert(db,
                        "INSERT INTO model (id, has_substructure, has_system, record_reports_null, "
                        "system_type, num_loads, num_static_modes, node_coordinates) "
                        "VALUES (1, ?1, ?2, ?3, ?4, ?5, ?6, ?7)");
  insert.Bind(1, model.hasSubstructure).Bind(2, model.hasSystem).Bind(3, model.recordReportsNull);
  insert.Bind(4, s.type).Bind(5, s.numLoads).Bind(6, s.numStaticModes);
  BindIndex(insert, 7, s.nodeCoordinates);
  insert.Run();
}

void WriteTables(sql::Db& db, const SystemData& s) {
  sql::Statement node(db, "INSERT INTO node VALUES (?1, ?2, ?3)");
  for (std::size_t i = 0; i < s.nodes.size(); ++i)
    node.Bind(1, static_cast<std::int64_t>(i + 1))
        .Bind(2, s.nodes[i].label)
        .Bind(3, s.nodes[i].internal)
        .Run();
  sql::Statement dof(db, "INSERT INTO dof VALUES (?1, ?2, ?3)");
  for (std::size_t i = 0; i < s.dofs.size(); ++i)
    dof.Bind(1, static_cast<std::int64_t>(i + 1))
        .Bind(2, s.dofs[i].node)
        .Bind(3, s.dofs[i].ldof)
        .Run();
  sql::Statement mode(db, "INSERT INTO mode VALUES (?1, ?2, ?3)");
  for (std::size_t i = 0; i < s.modes.size(); ++i)
    mode.Bind(1, static_cast<std::int64_t>(i + 1))
        .Bind(2, s.modes[i].nodeLabel)
        .Bind(3, s.modes[i].ldof)
        .Run();
  sql::Statement element(db, "INSERT INTO element VALUES (?1, ?2)");
  for (std::size_t i = 0; i < s.elements.size(); ++i)
    element.Bind(1, static_cast<std::int64_t>(i + 1)).Bind(2, s.elements[i]).Run();
  sql::Statement collection(db, "INSERT INTO collection VALUES (?1, ?2)");
  for (std::size_t i = 0; i < s.collections.size(); ++i)
    collection.Bind(1, static_cast<std::int64_t>(i)).Bind(2, s.collections[i].positionType).Run();
  sql::Statement set(db, "INSERT INTO component_set VALUES (?1, ?2, ?3)");
  for (std::size_t i = 0; i < s.sets.size(); ++i) {
    std::vector<unsigned char> members = LittleEndianInts(s.sets[i].members);
    set.Bind(1, static_cast<std::int64_t>(i)).Bind(2, s.sets[i].collection);
    set.BindBlob(3, members.data(), members.size()).Run();
  }
}

template <class Map>
void WriteMap(sql::Db& db, const char* table, const Map& map) {
  sql::Statement insert(db, std::string("INSERT INTO ") + table + " VALUES (?1, ?2)");
  for (const auto& [key, value] : map) insert.Bind(1, key).Bind(2, value).Run();
}

void WriteMesh(sql::Db& db, const std::vector<MeshElement>& mesh) {
  sql::Statement insert(db, "INSERT INTO mesh_element VALUES (?1, ?2, ?3)");
  for (const MeshElement& e : mesh) {
    std::vector<unsigned char> nodes = LittleEndianInts(e.nodes);
    insert.Bind(1, e.label).Bind(2, e.type).BindBlob(3, nodes.data(), nodes.size()).Run();
  }
}

void WriteDistributionHead(sql::Statement& head, const Distribution& d, std::int64_t index) {
  head.Bind(1, index).Bind(2, d.dense).Bind(3, d.rows).Bind(4, d.columns);
  BindIndex(head, 5, d.rowSet);
  BindIndex(head, 6, d.columnSet);
}

// Format version 1: every column whole, one BLOB each.
void WriteBlobColumns(sql::Db& db, const SystemData& s) {
  sql::Statement head(db, "INSERT INTO distribution VALUES (?1, ?2, ?3, ?4, ?5, ?6)");
  sql::Statement column(db, "INSERT INTO column_values VALUES (?1, ?2, ?3)");
  std::vector<double> values, scratch;
  for (std::size_t i = 0; i < s.distributions.size(); ++i) {
    const Distribution& d = s.distributions[i];
    auto index = static_cast<std::int64_t>(i);
    WriteDistributionHead(head, d, index);
    head.Run();
    values.resize(static_cast<std::size_t>(d.rows));
    for (int c = 0; c < d.columns; ++c) {
      d.values->Read(0, d.rows, c, 1, values.data(), d.rows);
      const double* stored = LittleEndian(values.data(), values.size(), scratch);
      column.Bind(1, index).Bind(2, c).BindBlob(3, stored, values.size() * sizeof(double)).Run();
    }
  }
}

// Format version 2: chunks of each column's own rows, the shared rows once. One column is held
// at a time (and, for a shared one, its source's column to make sure they agree).
void WriteChunkedColumns(sql::Db& db, const SystemData& s) {
  sql::Statement head(db, "INSERT INTO distribution VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)");
  sql::Statement chunk(db, "INSERT INTO value_chunk (id, data) VALUES (?1, ?2)");
  sql::Statement share(db, "INSERT INTO shared_rows VALUES (?1, ?2, ?3, ?4, ?5)");
  std::vector<ChunkedColumns::Matrix> matrices;
  for (const Distribution& d : s.distributions)
    matrices.push_back({d.rows, d.columns, 0, d.shared});
  std::vector<double> values, source, scratch;
  std::int64_t nextChunk = 1;
  for (std::size_t i = 0; i < s.distributions.size(); ++i) {
    const Distribution& d = s.distributions[i];
    auto index = static_cast<std::int64_t>(i);
    WriteDistributionHead(head, d, index);
    head.Bind(7, nextChunk).Run();
    const std::int64_t perColumn = ChunkedColumns::ChunksPerColumn(d.rows);
    values.resize(static_cast<std::size_t>(d.rows));
    for (int c = 0; c < d.columns; ++c, nextChunk += perColumn) {
      d.values->Read(0, d.rows, c, 1, values.data(), d.rows);
      const SharedRows* shared = nullptr;
      const int rows = ChunkedColumns::SharedRowsOf(matrices, static_cast<int>(i), c, &shared);
      if (shared) {
        const Distribution& from = s.distributions[static_cast<std::size_t>(shared->source)];
        source.resize(static_cast<std::size_t>(rows));
        from.values->Read(0, rows, shared->sourceColumn + (c - shared->firstColumn), 1,
                          source.data(), rows);
        if (std::memcmp(source.data(), values.data(), source.size() * sizeof(double)) != 0)
          throw QOBBasError("matrix " + std::to_string(i) + " column " + std::to_string(c) +
                            " does not hold the rows it shares with matrix " +
                            std::to_string(shared->source));
      }
      ChunkedColumns::InsertChunks(chunk, nextChunk, values.data() + rows, d.rows - rows, scratch);
    }
    for (const SharedRows& r : d.shared)
      share.Bind(1, index)
          .Bind(2, r.firstColumn)
          .Bind(3, r.columns)
          .Bind(4, r.source)
          .Bind(5, r.sourceColumn)
          .Run();
  }
}

// Makes a rename in `path`'s directory durable.
void SyncDirectoryOf(const std::string& path) {
  int fd = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// Why a system call failed, for the reason of a failed save.
struct SystemFailure {
  std::string why;
};

// Makes an empty file "PATH.saving-XXXXXX" of this save's own beside `path`: created
// exclusively (never one that exists, which another save may be writing), with the permissions
// a new file gets (0666 less the umask), as mkstemp would but without its 0600. Answers its name.
std::string CreateTemporaryBeside(const std::string& path) {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::random_device device;
  std::mt19937_64 random((static_cast<std::uint64_t>(device()) << 32) ^ device() ^
                         static_cast<std::uint64_t>(::getpid()));
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = path + ".saving-";
    for (int i = 0; i < 6; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
    int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      ::close(fd);
      return name;
    }
    if (errno != EEXIST) throw SystemFailure{std::strerror(errno)};
  }
  throw SystemFailure{"no temporary file could be made beside it"};
}

// Makes what was written to `path` durable.
void SyncFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0 || ::fsync(fd) != 0) {
    std::string why = std::strerror(errno);
    if (fd >= 0) ::close(fd);
    throw SystemFailure{why};
  }
  ::close(fd);
}

// Writes the whole model into the empty file `part`, in format `version`.
void WriteModel(const Model& model, const std::string& part, int version) {
  sql::Db db(sql::FileName(part), SQLITE_OPEN_READWRITE);
  // The page size takes effect only before the first table is made. Version 2's chunks fit two
  // to a page of 16 KiB: a read of a few rows costs a small page, not a large one.
  db.Exec(version == 1 ? "PRAGMA page_size = 65536" : "PRAGMA page_size = 16384");
  db.Exec("PRAGMA journal_mode = OFF");  // a file of its own: a failed save is simply removed
  db.Exec("PRAGMA application_id = " + std::to_string(kModelFileApplicationId));
  db.Exec("PRAGMA user_version = " + std::to_string(version));
  sql::Transaction transaction(db);
  db.Exec(ModelFileSchema(version));
  db.Exec(ModelFileOptionalSchema());
  WriteHeader(db, model);
  WriteTables(db, model.system);
  WriteMap(db, "distribution_by_type", model.system.distributionByType);
  WriteMap(db, "distribution_by_name", model.system.distributionByName);
  WriteMap(db, "user_matrix", model.system.userMatrixByName);
  WriteMap(db, "set_by_type", model.system.setByType);
  WriteMap(db, "model_attribute", model.attributes);
  WriteMesh(db, model.mesh);
  if (version == 1)
    WriteBlobColumns(db, model.system);
  else
    WriteChunkedColumns(db, model.system);
  transaction.Commit();
}

}  // namespace

void SaveModelFile(const Model& model, const std::string& path, int version) {
  try {
    ValidateModel(model);
  } catch (const QOBBasError& e) {
    throw QOBBasError("model '" + model.name + "' cannot be saved: " + e.what());
  }
  const auto fail = [&](const std::string& why) {
    return QOBBasError("cannot save the model to " + path + ": " + why);
  };
  std::string part;
  try {
    part = CreateTemporaryBeside(path);
  } catch (const SystemFailure& f) {
    throw fail(f.why);
  }
  // From here on the temporary file is this save's own, and the only file it removes.
  try {
    WriteModel(model, part, version);
    SyncFile(part);
    if (std::rename(part.c_str(), path.c_str()) != 0) throw SystemFailure{std::strerror(errno)};
  } catch (const SystemFailure& f) {
    std::remove(part.c_str());
    throw fail(f.why);
  } catch (const std::exception& e) {
    std::remove(part.c_str());
    throw fail(e.what());
  }
  SyncDirectoryOf(path);
}

}  // namespace pfm
