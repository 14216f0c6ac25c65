// Model files shared by several sessions and processes: one editor at a time and no lost
// update, readers that wait for a commit and never see two versions in one open, a file
// changed under a reader, failures at the commit told on the error stream and to the host,
// edits that could never be saved refused at the open, and names that are always paths.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <functional>

#include "pfm_ModelFile.h"
#include "pfm_Support.h"
#include "uma_FaultyVfs.h"
#include "uma_FileTestSupport.h"
#include "uma_Forked.h"
#include "uma_TempDir.h"
#include "uma_TestSupport.h"

namespace {

using filetest::Block;
using filetest::Bytes;
using filetest::FaultyVfs;
using filetest::Forked;

std::vector<double> Filled(std::size_t count, double first) {
  std::vector<double> values(count);
  for (std::size_t i = 0; i < count; ++i) values[i] = first + static_cast<double>(i);
  return values;
}

// Writes `value` into rows r0..r1 of column c of distribution 0 of an open system.
void Put(const uma_System& s, int r0, int r1, int c, double value) {
  QOBSrvDenseMatrix dense(pfm::ids::Distribution(uma_TestAccess::Session(s), 0));
  QOBSrvMatrix block(r1 - r0 + 1, 1, nullptr, false, false);
  for (int r = 0; r <= r1 - r0; ++r) block.m_values[r] = value;
  dense.SetValues(r0, r1, c, c, block);
}

// The message a read of an open model gives once its file changed.
std::string ChangedMessage(const std::string& path) {
  return "the model file changed since it was opened: " + path;
}

class SharedFiles : public UmaTest {
 protected:
  static constexpr int kRows = 100, kColumns = 4;

  void SetUp() override {
    UmaTest::SetUp();
    m_path = m_dir.File("model.uma");
    Save(m_path, kRows, kColumns, 0.0);
  }

  static void Save(const std::string& path, int rows, int columns, double first) {
    pfm::ModelBuilder b("m");
    b.AddDistribution(rows, columns, -1, -1,
                      Filled(static_cast<std::size_t>(rows) * columns, first));
    pfm::SaveModel(b, path);
  }

  // All values of distribution 0 as a new reader sees them.
  std::vector<double> Stored(int rows = kRows, int columns = kColumns) {
    uma_System reader(m_path.c_str(), false);
    if (reader.IsNull()) return {};
    return Block(uma_TestAccess::Session(reader), 0, 0, rows - 1, 0, columns - 1);
  }

  uma::sample::TempDir m_dir;
  std::string m_path;
};

// Two processes edit rows 0-49 and 50-99 of one column, then of two columns: the second is
// refused while the first edits and says why; once the first has committed it edits in turn;
// the file ends with both edits. A second edit session in one process is refused the same way.
TEST_F(SharedFiles, EditorsTakeTurnsAndNoEditIsLost) {
  for (int otherColumn : {1, 2}) {
    SCOPED_TRACE(otherColumn);
    Save(m_path, kRows, kColumns, 0.0);
    const std::string refusal = "the model is being edited by another session: " + m_path;
    Forked child([&](Forked& self) {
      self.AwaitParent();
      std::string seen;
      {
        uma_System early(m_path.c_str(), true);
        seen += early.IsNull() ? pfm::LastOpenFailure() : "opened";
      }
      self.Signal();
      self.AwaitParent();
      uma_System later(m_path.c_str(), true);
      if (later.IsNull()) return seen + " | " + pfm::LastOpenFailure();
      Put(later, 50, 99, otherColumn, -2.0);
      return seen;
    });
    {
      uma_System editor(m_path.c_str(), true);
      ASSERT_FALSE(editor.IsNull()) << pfm::LastOpenFailure();
      Put(editor, 0, 49, 1, -1.0);
      uma_System second(m_path.c_str(), true);
      EXPECT_TRUE(second.IsNull());
      EXPECT_EQ(pfm::LastOpenFailure(), refusal);
      child.Go();
      ASSERT_TRUE(child.AwaitChild());
    }
    EXPECT_EQ(pfm::LastCloseFailure(), "");
    child.Go();
    EXPECT_EQ(child.Result(), refusal);
    std::vector<double> expected = Filled(kRows * kColumns, 0.0);
    for (int r = 0; r < 50; ++r) expected[kRows + r] = -1.0;
    for (int r = 50; r < 100; ++r) expected[otherColumn * kRows + r] = -2.0;
    EXPECT_EQ(Stored(), expected);
  }
  EXPECT_EQ(Errors(), "");
}

// A commit over a file that a program ignoring the locks replaced meanwhile is refused; the
// file stays as that program left it.
TEST_F(SharedFiles, ACommitOverAFileReplacedMeanwhileIsRefused) {
  const std::string other = m_dir.File("other.uma");
  Save(other, kRows, kColumns, 1000.0);
  {
    uma_System editor(m_path.c_str(), true);
    Put(editor, 0, 9, 0, -1.0);
    ASSERT_EQ(::rename(other.c_str(), m_path.c_str()), 0);
  }
  const std::string failure =
      "the edits of " + m_path + " were not saved: the model file changed since it was opened";
  EXPECT_EQ(pfm::LastCloseFailure(), failure);
  EXPECT_EQ(Errors(), failure + "\n");
  EXPECT_EQ(Stored(), Filled(kRows * kColumns, 1000.0));
}

// A large commit holds the file's exclusive lock while it writes: a reader that opens then
// waits for it, and sees the committed values.
TEST_F(SharedFiles, AReaderWaitsForACommitInAnotherProcess) {
  constexpr int kBigRows = 20000, kBigColumns = 40;  // larger than SQLite's page cache
  Save(m_path, kBigRows, kBigColumns, 0.0);
  Forked child([&](Forked& self) {
    int written = 0;
    pfm::SetModelFileCommitProbe([&] {
      if (++written == kBigColumns - 1) {  // pages have reached the file: the lock is held
        self.Signal();
        ::usleep(500000);
      }
    });
    {
      uma_System editor(m_path.c_str(), true);
      for (int c = 0; c < kBigColumns; ++c) Put(editor, 0, kBigRows - 1, c, -1.0);
    }
    return pfm::LastCloseFailure();
  });
  ASSERT_TRUE(child.AwaitChild());
  {
    uma_System reader(m_path.c_str(), false);
    ASSERT_FALSE(reader.IsNull()) << pfm::LastOpenFailure();
    EXPECT_EQ(Block(uma_TestAccess::Session(reader), 0, 0, kBigRows - 1, 0, kBigColumns - 1),
              std::vector<double>(kBigRows * kBigColumns, -1.0));
  }
  EXPECT_EQ(child.Result(), "");
}

// A reader open across another process's commit keeps answering its own version or fails the
// read plainly; a new open sees the commit.
TEST_F(SharedFiles, AnOpenNeverShowsTwoVersions) {
  uma_System reader(m_path.c_str(), false);
  const int session = uma_TestAccess::Session(reader);
  EXPECT_EQ(Block(session, 0, 0, kRows - 1, 0, 0), Filled(kRows, 0.0));
  Forked child([&](Forked&) {
    {
      uma_System editor(m_path.c_str(), true);
      Put(editor, 0, kRows - 1, 0, -1.0);
    }
    return pfm::LastCloseFailure();
  });
  EXPECT_EQ(child.Result(), "");
  try {
    Block(session, 0, 0, kRows - 1, 0, 0);
    ADD_FAILURE() << "read across another process's commit";
  } catch (const QOBBasError& e) {
    EXPECT_EQ(std::string(e.what()), ChangedMessage(m_path));
  }
  EXPECT_EQ(Stored(kRows, 1), std::vector<double>(kRows, -1.0));
}

// A host reading a block column by column is served from the columns read ahead with the
// version it opened, never another's: a commit in another process is either not seen or fails
// the read, and a file replaced under the reader fails the next read even inside the block
// read ahead.
TEST_F(SharedFiles, ColumnsReadOneByOneAreTheVersionOpened) {
  constexpr int kBigRows = 4000, kBigColumns = 100;
  Save(m_path, kBigRows, kBigColumns, 0.0);
  const std::vector<double> all = Filled(std::size_t{kBigRows} * kBigColumns, 0.0);
  auto rows = [&](int c, int r0, int r1) {
    return std::vector<double>(all.begin() + std::ptrdiff_t{c} * kBigRows + r0,
                               all.begin() + std::ptrdiff_t{c} * kBigRows + r1 + 1);
  };
  auto column = [&](int c) { return rows(c, 0, kBigRows - 1); };
  uma_System reader(m_path.c_str(), false);
  const int session = uma_TestAccess::Session(reader);
  for (int c = 0; c < kBigColumns; ++c)
    ASSERT_EQ(Block(session, 0, 0, kBigRows - 1, c, c), column(c)) << "column " << c;
  for (int c = 0; c < 6; ++c)  // rows inside the block read ahead, and its last columns
    EXPECT_EQ(Block(session, 0, 10, 19, c, c), rows(c, 10, 19)) << "column " << c;

  for (int c = 0; c < 2; ++c) Block(session, 0, 0, kBigRows - 1, c, c);
  Forked child([&](Forked&) {
    {
      uma_System editor(m_path.c_str(), true);
      for (int c = 0; c < kBigColumns; ++c) Put(editor, 0, kBigRows - 1, c, -1.0);
    }
    return pfm::LastCloseFailure();
  });
  ASSERT_EQ(child.Result(), "");
  for (int c = 2; c < kBigColumns; ++c) {
    try {
      EXPECT_EQ(Block(session, 0, 0, kBigRows - 1, c, c), column(c)) << "column " << c;
    } catch (const QOBBasError& e) {
      EXPECT_EQ(std::string(e.what()), ChangedMessage(m_path));
      break;
    }
    ASSERT_LT(c, kBigColumns - 1) << "every column read after another process's commit";
  }

  uma_System second(m_path.c_str(), false);
  const int other = uma_TestAccess::Session(second);
  for (int c = 0; c < 2; ++c) Block(other, 0, 0, kBigRows - 1, c, c);
  const std::string replacement = m_dir.File("replacement.uma");
  Save(replacement, kBigRows, kBigColumns, 5.0);
  ASSERT_EQ(::rename(replacement.c_str(), m_path.c_str()), 0);
  try {
    Block(other, 0, 0, kBigRows - 1, 2, 2);
    ADD_FAILURE() << "a column read ahead was answered after the file was replaced";
  } catch (const QOBBasError& e) {
    EXPECT_EQ(std::string(e.what()), ChangedMessage(m_path));
  }
}

// Truncated, rewritten in place or replaced by another program: the next read of an open
// model fails plainly, never with a signal.
TEST_F(SharedFiles, AFileChangedUnderAReaderGivesAPlainException) {
  constexpr int kBigRows = 4000, kBigColumns = 100;
  const std::string other = m_dir.File("other.uma");
  Save(other, kBigRows, kBigColumns + 20, 1e6);  // not of the size of the file it replaces
  const std::string replacement = Bytes(other);
  const std::function<void()> changes[] = {
      [&] { (void)!::truncate(m_path.c_str(), static_cast<off_t>(replacement.size() / 2)); },
      [&] { (void)!::truncate(m_path.c_str(), 0); },
      [&] { filetest::WriteBytes(m_path, replacement); },  // as cp over the file does
      [&] { (void)!::rename(other.c_str(), m_path.c_str()); },
  };
  for (const auto& change : changes) {
    Save(m_path, kBigRows, kBigColumns, 0.0);
    filetest::WriteBytes(other, replacement);
    Forked reader([&](Forked& self) {
      uma_System s(m_path.c_str(), false);
      const int session = uma_TestAccess::Session(s);
      std::string seen = Block(session, 0, 0, kBigRows - 1, 0, kBigColumns - 1) ==
                                 Filled(std::size_t{kBigRows} * kBigColumns, 0.0)
                             ? "read"
                             : "wrong values";
      self.Signal();
      self.AwaitParent();
      for (int c : {kBigColumns - 1, 0}) {
        try {
          Block(session, 0, 0, kBigRows - 1, c, c);
          seen += " | a read succeeded";
        } catch (const QOBBasError& e) {
          seen += std::string(" | ") + e.what();
        }
      }
      return seen;
    });
    ASSERT_TRUE(reader.AwaitChild());
    change();
    reader.Go();
    const std::string changed = ChangedMessage(m_path);
    EXPECT_EQ(reader.Result(), "read | " + changed + " | " + changed);
  }
}

// An I/O failure or a full disk during the commit: one line on the error stream, the same
// reason for the host, the file as it was. The first write failing is the journal's, a later
// one the model file's own after its journal was written.
TEST_F(SharedFiles, AFailedCommitIsToldAndLeavesTheFileAsItWas) {
  const std::string before = Bytes(m_path);
  const std::tuple<int, bool, const char*> faults[] = {
      {SQLITE_IOERR_WRITE, false, "an I/O error (disk I/O error)"},
      {SQLITE_IOERR_WRITE, true, "an I/O error (disk I/O error)"},
      {SQLITE_FULL, true, "the disk is full (database or disk is full)"},
  };
  for (const auto& [code, mainOnly, reason] : faults) {
    SCOPED_TRACE(reason);
    FaultyVfs vfs;
    {
      uma_System editor(m_path.c_str(), true);
      ASSERT_FALSE(editor.IsNull()) << pfm::LastOpenFailure();
      Put(editor, 0, kRows - 1, 2, -1.0);
      vfs.FailNext(FaultyVfs::Call::Write, code, mainOnly);
    }
    EXPECT_TRUE(vfs.Failed());
    const std::string failure = "the edits of " + m_path + " were not saved: " + reason;
    EXPECT_EQ(pfm::LastCloseFailure(), failure);
    EXPECT_EQ(Errors(), failure + "\n");
    EXPECT_EQ(Bytes(m_path), before);
    EXPECT_FALSE(filetest::Exists(m_path + "-journal"));
  }
}

// Failures to read are I/O errors too, at the open and at a read, not a damaged file.
TEST_F(SharedFiles, ReadFailuresAreNamedIoErrors) {
  FaultyVfs vfs;
  vfs.FailNext(FaultyVfs::Call::Read, SQLITE_IOERR_READ, true);
  {
    uma_System s(m_path.c_str(), false);
    EXPECT_TRUE(s.IsNull());
    EXPECT_EQ(pfm::LastOpenFailure(), "an I/O error: " + m_path + " (disk I/O error)");
  }
  uma_System s(m_path.c_str(), false);
  ASSERT_FALSE(s.IsNull()) << pfm::LastOpenFailure();
  vfs.FailNext(FaultyVfs::Call::Read, SQLITE_IOERR_READ, true);
  try {
    Block(uma_TestAccess::Session(s), 0, 0, kRows - 1, 0, 0);
    ADD_FAILURE() << "a failed read answered";
  } catch (const QOBBasError& e) {
    EXPECT_EQ(std::string(e.what()), "an I/O error: " + m_path + " (disk I/O error)");
  }
  EXPECT_TRUE(vfs.Failed());
  EXPECT_EQ(Block(uma_TestAccess::Session(s), 0, 0, kRows - 1, 0, 0), Filled(kRows, 0.0));
}

// In a child that is not root (root writes whatever the permissions say): an edit of a file in
// a folder it cannot write is refused at the open; a folder that becomes unwritable during an
// edit makes the commit fail, told and leaving the file as it was.
TEST_F(SharedFiles, EditsThatCannotBeSavedAreRefusedOrTold) {
  const uid_t nobody = 65534;
  const std::string locked = m_dir.File("locked"), own = m_dir.File("own");
  ASSERT_EQ(::mkdir(locked.c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(own.c_str(), 0755), 0);
  const std::string lockedModel = locked + "/model.uma", ownModel = own + "/model.uma";
  Save(lockedModel, kRows, kColumns, 0.0);
  Save(ownModel, kRows, kColumns, 0.0);
  ASSERT_EQ(::chmod(m_dir.path().c_str(), 0755), 0);
  ASSERT_EQ(::chmod(lockedModel.c_str(), 0666), 0);
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown(locked.c_str(), 0, 0), 0);
    ASSERT_EQ(::chown(own.c_str(), nobody, nobody), 0);
    ASSERT_EQ(::chown(ownModel.c_str(), nobody, nobody), 0);
  } else {
    ASSERT_EQ(::chmod(locked.c_str(), 0555), 0);
  }
  const std::string ownBefore = Bytes(ownModel), lockedBefore = Bytes(lockedModel);
  Forked child([&](Forked&) {
    if (::geteuid() == 0 && (::setgid(nobody) != 0 || ::setuid(nobody) != 0))
      return std::string("cannot become nobody");
    std::string seen;
    {
      uma_System refused(lockedModel.c_str(), true);
      seen += refused.IsNull() ? pfm::LastOpenFailure() : "opened";
    }
    {
      uma_System editor(ownModel.c_str(), true);
      if (editor.IsNull()) return seen + " | " + pfm::LastOpenFailure();
      Put(editor, 0, kRows - 1, 0, -1.0);
      ::chmod(own.c_str(), 0555);
    }
    return seen + " | " + pfm::LastCloseFailure() + " | " + Errors();
  });
  const std::string seen = child.Result();
  const std::string refusal =
      "cannot open the file: " + lockedModel +
      " (its folder cannot be written; an edit needs to make its journal there)";
  const std::string failure = "the edits of " + ownModel +
                              " were not saved: the file or its folder cannot be written "
                              "(attempt to write a readonly database)";
  EXPECT_EQ(seen, refusal + " | " + failure + " | " + failure + "\n");
  EXPECT_EQ(Bytes(ownModel), ownBefore);
  EXPECT_EQ(Bytes(lockedModel), lockedBefore);
  ::chmod(locked.c_str(), 0755);
  ::chmod(own.c_str(), 0755);
}

// Changes the working directory for the life of the object.
class InDirectory {
 public:
  explicit InDirectory(const std::string& dir) {
    if (!::getcwd(m_previous, sizeof m_previous) || ::chdir(dir.c_str()) != 0) std::abort();
  }
  ~InDirectory() { (void)!::chdir(m_previous); }

 private:
  char m_previous[PATH_MAX];
};

// A relative name that begins with "file:" is the file of that name, never a URI naming
// another file, when a model is saved and when it is opened.
TEST_F(SharedFiles, NamesAreFilePathsNeverUris) {
  InDirectory here(m_dir.path());
  Save("model.uma", 1, 1, 7.0);
  Save("file:model.uma", 1, 1, 8.0);
  Save("file:model.uma?mode=memory", 1, 1, 9.0);
  EXPECT_TRUE(filetest::Exists(m_dir.File("file:model.uma")));
  for (auto [name, value] : {std::pair<const char*, double>{"file:model.uma", 8.0},
                             {"file:model.uma?mode=memory", 9.0},
                             {"model.uma", 7.0}}) {
    SCOPED_TRACE(name);
    for (bool editable : {false, true}) {
      uma_System s(name, editable);
      ASSERT_FALSE(s.IsNull()) << pfm::LastOpenFailure();
      EXPECT_EQ(Block(uma_TestAccess::Session(s), 0, 0, 0, 0, 0), std::vector<double>{value});
    }
  }
  // A relative name names the file it named at the open, wherever the process goes later.
  uma_System kept("model.uma", false);
  InDirectory elsewhere("/");
  EXPECT_EQ(Block(uma_TestAccess::Session(kept), 0, 0, 0, 0, 0), std::vector<double>{7.0});
}

}  // namespace
