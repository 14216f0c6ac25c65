// Opening model files that are missing, foreign, newer or damaged gives a null handle, writes
// nothing, and keeps a one-line reason; a read-only open never changes the file.
#include <dirent.h>
#include <sqlite3.h>
#include <unistd.h>

#include <set>
#include <tuple>

#include "pfm_TestAccess.h"
#include "uma_FileTestSupport.h"
#include "uma_TempDir.h"
#include "uma_TestSupport.h"

namespace {

using pfm::ModelFileProblem;

class ModelFileOpen : public UmaTest {
 protected:
  void SetUp() override {
    UmaTest::SetUp();
    m_path = m_dir.File("model.db");
    pfm::SaveModelFile(*pfm::BuildModel(uma::sample::EveryFeature("m")), m_path, 1);  // format version 1
  }

  // Opens `path` both ways; each must give a null handle for `problem` and write nothing.
  void ExpectRefused(const std::string& path, ModelFileProblem problem,
                     const std::string& detail = "") {
    for (bool editable : {false, true}) {
      SCOPED_TRACE(editable ? "for editing" : "for reading");
      uma_System s(path.c_str(), editable);
      EXPECT_TRUE(s.IsNull());
      const std::string& reason = pfm::ModelRegistry::LastOpenFailure();
      EXPECT_EQ(pfm::ModelFileProblemOf(reason), problem) << reason;
      EXPECT_EQ(reason.find('\n'), std::string::npos);
      EXPECT_NE(reason.find(detail), std::string::npos) << reason;
      EXPECT_EQ(Errors(), "") << "the library reports nothing itself";
      EXPECT_EQ(pfm::Sessions::OpenCount(), 0);
    }
  }

  // Runs SQL on the model file, as a program other than this library might.
  void Alter(const std::string& sql) {
    pfm::sql::Db db(m_path, SQLITE_OPEN_READWRITE);
    db.Exec(sql);
  }

  uma::sample::TempDir m_dir;
  std::string m_path;
};

TEST_F(ModelFileOpen, AMissingFileIsNoSuchFile) {
  const std::string path = m_dir.File("absent.db");
  ExpectRefused(path, ModelFileProblem::NoSuchFile);
  EXPECT_EQ(pfm::ModelRegistry::LastOpenFailure(), "no such file: " + path);
  EXPECT_FALSE(filetest::Exists(path)) << "opening never creates a file";
  ExpectRefused(m_dir.File("absent/model.db"), ModelFileProblem::NoSuchFile);
}

TEST_F(ModelFileOpen, EmptyForeignAndDirectoryPathsAreNotModelFiles) {
  filetest::WriteBytes(m_dir.File("empty.db"), "");
  ExpectRefused(m_dir.File("empty.db"), ModelFileProblem::NotAModel);
  EXPECT_EQ(filetest::Bytes(m_dir.File("empty.db")), "") << "an empty file stays empty";
  filetest::WriteBytes(m_dir.File("notes.txt"), std::string(5000, 'x') + "\nnot a database\n");
  ExpectRefused(m_dir.File("notes.txt"), ModelFileProblem::NotAModel);
  {
    pfm::sql::Db other(m_dir.File("other.db"), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    other.Exec("CREATE TABLE node (number INTEGER PRIMARY KEY, label INTEGER)");
  }
  ExpectRefused(m_dir.File("other.db"), ModelFileProblem::NotAModel);
  ExpectRefused(m_dir.path(), ModelFileProblem::NotAModel);
}

TEST_F(ModelFileOpen, ANewerFormatVersionIsRefusedAsSuch) {
  Alter("PRAGMA user_version = " + std::to_string(pfm::kModelFileVersion + 1));
  ExpectRefused(m_path, ModelFileProblem::NewerVersion,
                "format " + std::to_string(pfm::kModelFileVersion + 1) +
                    "; this library reads format " + std::to_string(pfm::kModelFileVersion));
}

TEST_F(ModelFileOpen, TruncatedFilesAreDamaged) {
  const std::string whole = filetest::Bytes(m_path);
  for (std::size_t size :
       {whole.size() / 2, std::size_t{65536}, std::size_t{100}, std::size_t{20}}) {
    SCOPED_TRACE(size);
    filetest::WriteBytes(m_path, whole.substr(0, size));
    ExpectRefused(m_path, ModelFileProblem::Damaged);
  }
}

TEST_F(ModelFileOpen, BrokenStructureIsDamaged) {
  const std::string whole = filetest::Bytes(m_path);
  const std::pair<const char*, const char*> breakages[] = {
      {"DELETE FROM node WHERE number = 2", "the node table has no number 2"},
      {"DELETE FROM model", "the model table is empty"},
      {"UPDATE distribution SET row_set = 99 WHERE idx = 0", "missing row set"},
      {"UPDATE dof SET node = 17 WHERE number = 1", "refers to a node that does not exist"},
      {"UPDATE component_set SET members = x'010203' WHERE idx = 0", "whole 32-bit integers"},
      {"UPDATE distribution SET num_rows = 4294967296 WHERE idx = 0", "out of range"},
      {"DROP TABLE user_matrix", "the file has no user_matrix table"},
      {"DROP TABLE column_values", "the file has no column_values table"},
      {"PRAGMA user_version = 0", "no format version"},
  };
  for (const auto& [sql, detail] : breakages) {
    SCOPED_TRACE(sql);
    filetest::WriteBytes(m_path, whole);
    Alter(sql);
    ExpectRefused(m_path, ModelFileProblem::Damaged, detail);
  }
}

// Values are read when asked for, so missing or short columns show then, as an exception of
// the platform naming the file as damaged.
TEST_F(ModelFileOpen, DamagedValuesShowWhenTheyAreRead) {
  Alter(
      "DELETE FROM column_values WHERE distribution = 0 AND column_index = 4;"
      "UPDATE column_values SET data = x'0000' WHERE distribution = 2 AND column_index = 1");
  uma_System s(m_path.c_str(), false);
  ASSERT_FALSE(s.IsNull()) << "opening reads no values";
  const int session = uma_TestAccess::Session(s);
  EXPECT_NO_THROW(filetest::Block(session, 0, 0, 14, 0, 3));
  const std::tuple<int, int, const char*> reads[] = {
      {0, 14, "the values of matrix 0 column 4 are missing"},
      {2, 3, "the values of matrix 2 column 1 hold 2 bytes instead of 120"}};
  for (const auto& [distribution, lastColumn, detail] : reads) {
    try {
      filetest::Block(session, distribution, 0, 14, 0, lastColumn);
      ADD_FAILURE() << "read damaged values";
    } catch (const QOBBasError& e) {
      EXPECT_EQ(std::string(e.what()), "a damaged file: " + m_path + " (" + detail + ")");
    }
  }
}

std::set<std::string> Listing(const std::string& dir) {
  std::set<std::string> names;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (dirent* e = ::readdir(d)) names.insert(e->d_name);
    ::closedir(d);
  }
  return names;
}

// Also as root, for whom the permissions stop nothing: then the bytes, the time and the
// directory show that nothing was written.
TEST_F(ModelFileOpen, AReadOnlyOpenOfAReadOnlyPathWorksAndWritesNothing) {
  uma::sample::EveryFeature("memory").Register();
  const std::string bytes = filetest::Bytes(m_path);
  ASSERT_EQ(::chmod(m_path.c_str(), 0444), 0);
  ASSERT_EQ(::chmod(m_dir.path().c_str(), 0555), 0);
  const long long mtime = filetest::MTime(m_path);
  const auto listing = Listing(m_dir.path());
  {
    uma_System inMemory("memory", false);
    uma_System s(m_path.c_str(), false);
    ASSERT_FALSE(s.IsNull()) << pfm::ModelRegistry::LastOpenFailure();
    const auto types = filetest::SampleSetTypes();
    EXPECT_EQ(filetest::Digest(s, types, 6), filetest::Digest(inMemory, types, 6));
  }
  if (::geteuid() != 0) {
    uma_System s(m_path.c_str(), true);
    EXPECT_TRUE(s.IsNull());
    EXPECT_EQ(pfm::ModelFileProblemOf(pfm::ModelRegistry::LastOpenFailure()),
              ModelFileProblem::ReadOnly);
    EXPECT_EQ(pfm::LastOpenFailureKind(), ModelFileProblem::ReadOnly);
  }
  EXPECT_EQ(filetest::Bytes(m_path), bytes);
  EXPECT_EQ(filetest::MTime(m_path), mtime);
  EXPECT_EQ(Listing(m_dir.path()), listing) << "no journal or other file was made";
}

}  // namespace
