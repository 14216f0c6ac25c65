// What the store promises a host that shares model files between processes: saves to one path
// at once each appear whole, an edit open without a system locks nothing out, an editor killed
// during its commit takes no reader down, edits can be discarded, a read the system fails is an
// I/O error wherever it happens, every failure has a kind a program can read, reasons say what
// was found, and the store's waiting and caching can be set.
#include <dirent.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <set>

#include "pfm_Model.h"
#include "pfm_ModelFile.h"
#include "pfm_ModelTypes.h"
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
using pfm::FailureKind;

constexpr uid_t kNobody = 65534;

// In a forked child: drops root, whom no permission stops; false when it cannot.
bool BecomeNobody() {
  if (::geteuid() != 0) return true;
  return ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0;
}

std::set<std::string> Listing(const std::string& dir) {
  std::set<std::string> names;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (dirent* e = ::readdir(d))
      if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.insert(e->d_name);
    ::closedir(d);
  }
  return names;
}

// A model of one rows x columns matrix whose values are all `value`.
void SaveConstant(const std::string& path, int rows, int columns, double value) {
  pfm::ModelBuilder b("m");
  b.AddDistribution(rows, columns, -1, -1,
                    std::vector<double>(static_cast<std::size_t>(rows) * columns, value));
  pfm::SaveModel(b, path);
}

// Writes `value` into rows r0..r1 of column c of distribution 0 of an open system.
void Put(const uma_System& s, int r0, int r1, int c, double value) {
  QOBSrvDenseMatrix dense(pfm::ids::Distribution(uma_TestAccess::Session(s), 0));
  QOBSrvMatrix block(r1 - r0 + 1, 1, nullptr, false, false);
  for (int r = 0; r <= r1 - r0; ++r) block.m_values[r] = value;
  dense.SetValues(r0, r1, c, c, block);
}

// "" when a failure has the kind expected, by the structured answer and by its phrase alike;
// otherwise what was wrong, for the test's output.
std::string KindProblem(const std::string& what, FailureKind kind, const std::string& message,
                        FailureKind expected, bool phraseTells = true) {
  std::string problem;
  if (kind != expected)
    problem += what + ": kind " + std::to_string(static_cast<int>(kind)) + " instead of " +
               std::to_string(static_cast<int>(expected)) + " (" + message + ")\n";
  if (phraseTells && pfm::KindOfFailure(message) != expected)
    problem += what + ": the phrase tells another kind: " + message + "\n";
  return problem;
}

// The failure of opening `path`, when it fails; "" when it opens.
std::string OpenProblem(const std::string& what, const std::string& path, bool editable,
                        FailureKind expected) {
  uma_System s(path.c_str(), editable);
  if (!s.IsNull()) return what + ": opened\n";
  return KindProblem(what, pfm::LastOpenFailureKind(), pfm::LastOpenFailure(), expected);
}

class StorePromises : public UmaTest {
 protected:
  void TearDown() override {
    pfm::SetModelFileCommitProbe(nullptr);
    pfm::SetStoreSettings(pfm::StoreSettings());
    UmaTest::TearDown();
  }
  uma::sample::TempDir m_dir;
};

// Two processes save models to one path 15 times each while a third opens and reads it all the
// time: every save succeeds, every open finds a whole model of one save, and the files of
// others beside it (a "PATH.saving" of another program) are left alone.
TEST_F(StorePromises, SavesToOnePathAtOnceEachAppearWhole) {
  constexpr int kRows = 1000, kColumns = 100, kSaves = 15;
  const std::string path = m_dir.File("race.uma"), stop = m_dir.File("stop");
  filetest::WriteBytes(path + ".saving", "another program's file");
  SaveConstant(path, kRows, kColumns, 0.0);
  auto saver = [&](int id) {
    return [=](Forked&) {
      std::string failures;
      for (int i = 1; i <= kSaves; ++i) {
        try {
          SaveConstant(path, kRows, kColumns, id * 1000 + i);
        } catch (const QOBBasError& e) {
          failures += std::string(e.what()) + "\n";
        }
      }
      return failures;
    };
  };
  Forked reader([&](Forked&) {
    std::string problems;
    int reads = 0;
    while (!filetest::Exists(stop)) {
      uma_System s(path.c_str(), false);
      if (s.IsNull()) {
        problems += "open: " + pfm::LastOpenFailure() + "\n";
        continue;
      }
      try {
        const std::vector<double> values =
            Block(uma_TestAccess::Session(s), 0, 0, kRows - 1, 0, kColumns - 1);
        for (double v : values)
          if (v != values[0]) {
            problems += "a model of two saves\n";
            break;
          }
        ++reads;
      } catch (const pfm::StoreError& e) {
        // Replaced between the open and the read: open it again, as the reason says.
        if (e.kind() != FailureKind::Changed) problems += std::string("read: ") + e.what() + "\n";
      }
    }
    return reads > 0 ? problems : problems + "no read\n";
  });
  Forked first(saver(1)), second(saver(2));
  EXPECT_EQ(first.Result(), "");
  EXPECT_EQ(second.Result(), "");
  filetest::WriteBytes(stop, "");
  EXPECT_EQ(reader.Result(), "");
  EXPECT_EQ(Listing(m_dir.path()), (std::set<std::string>{"race.uma", "race.uma.saving", "stop"}))
      << "each save removed its own temporary file, and nothing else";
  EXPECT_EQ(Bytes(path + ".saving"), "another program's file");
  uma_System s(path.c_str(), false);
  const std::vector<double> last = Block(uma_TestAccess::Session(s), 0, 0, kRows - 1, 0, 0);
  EXPECT_TRUE(last[0] == 1000 + kSaves || last[0] == 2000 + kSaves) << last[0];
}

// A save that fails leaves the target as it was and says why: a full disk, a target that is a
// folder. No temporary file stays behind.
TEST_F(StorePromises, AFailedSaveLeavesTheTargetAndSaysWhy) {
  const std::string path = m_dir.File("model.uma");
  SaveConstant(path, 10, 10, 1.0);
  const std::string before = Bytes(path);
  {
    FaultyVfs vfs;
    vfs.FailNext(FaultyVfs::Call::Write, SQLITE_FULL);
    try {
      SaveConstant(path, 10, 10, 2.0);
      ADD_FAILURE() << "saved on a full disk";
    } catch (const QOBBasError& e) {
      EXPECT_EQ(std::string(e.what()),
                "cannot save the model to " + path + ": database or disk is full");
    }
  }
  EXPECT_EQ(Bytes(path), before);
  const std::string folder = m_dir.File("folder.uma");
  ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
  try {
    SaveConstant(folder, 10, 10, 2.0);
    ADD_FAILURE() << "saved over a folder";
  } catch (const QOBBasError& e) {
    EXPECT_EQ(std::string(e.what()), "cannot save the model to " + folder + ": Is a directory");
  }
  EXPECT_EQ(Listing(m_dir.path()), (std::set<std::string>{"model.uma", "folder.uma"}));
}

// An open for editing of a model that yields no system (no substructure, no system, a record
// that reports null) keeps its session, as the handle's rules want, but no lock: another
// process edits the file meanwhile.
TEST_F(StorePromises, AnEditOpenWithoutASystemLocksNoOneOut) {
  const std::string path = m_dir.File("hollow.uma");
  const std::function<void(pfm::ModelBuilder&)> hollows[] = {
      [](pfm::ModelBuilder& b) { b.WithoutSubstructure(); },
      [](pfm::ModelBuilder& b) { b.WithoutSystem(); },
      [](pfm::ModelBuilder& b) { b.RecordReportsNull(); },
  };
  for (const auto& hollow : hollows) {
    pfm::ModelBuilder b = uma::sample::SmallSystem("m");
    hollow(b);
    pfm::SaveModel(b, path);
    uma_System first(path.c_str(), true);
    ASSERT_TRUE(first.IsNull());
    ASSERT_EQ(pfm::OpenModels().size(), 1u) << "the session stays";
    EXPECT_TRUE(pfm::OpenModels()[0].editable);
    Forked second([&](Forked&) {
      std::string seen;
      {
        uma_System editor(path.c_str(), true);
        seen += "[" + pfm::LastOpenFailure() + "]";
      }
      // A writer of its own: SQLite's write lock is free.
      pfm::sql::Db db(path, SQLITE_OPEN_READWRITE);
      db.SetBusyTimeout(0);
      db.Exec("BEGIN IMMEDIATE");
      db.Exec("PRAGMA user_version = 1");
      db.Exec("COMMIT");
      return seen + " written";
    });
    EXPECT_EQ(second.Result(), "[] written");
    QOBSspUmaCore_finalize(m_count);  // the session left to the module goes
    QOBSspUmaCore_initialize(m_count);
  }
}

// An editor killed during its commit leaves a partly written file and its journal. A reader
// that cannot write the folder says so with a kind of its own and changes nothing; the next
// reader that can write rolls the edit back, and every reader after it sees the model as it was.
TEST_F(StorePromises, AnEditorKilledDuringItsCommitTakesNoReaderDown) {
  constexpr int kRows = 20000, kColumns = 40;  // larger than SQLite's page cache
  const std::string folder = m_dir.File("models"), path = folder + "/model.uma";
  ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
  ASSERT_EQ(::chmod(m_dir.path().c_str(), 0755), 0);
  std::vector<double> original(static_cast<std::size_t>(kRows) * kColumns);
  for (std::size_t i = 0; i < original.size(); ++i) original[i] = static_cast<double>(i);
  pfm::ModelBuilder b("big");
  b.AddDistribution(kRows, kColumns, -1, -1, original);
  pfm::SaveModel(b, path);
  ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
  const std::string before = Bytes(path);

  Forked writer([&](Forked&) {
    int written = 0;
    pfm::SetModelFileCommitProbe([&] {
      if (++written == kColumns - 1) ::kill(::getpid(), SIGKILL);
    });
    uma_System editor(path.c_str(), true);
    for (int c = 0; c < kColumns; ++c) Put(editor, 0, kRows - 1, c, -1.0);
    return std::string("not killed");
  });
  EXPECT_EQ(writer.Result(), "killed by signal 9");
  ASSERT_TRUE(filetest::Exists(path + "-journal"));
  ASSERT_NE(Bytes(path), before) << "the kill came after pages reached the file";
  const std::string afterCrash = Bytes(path);

  // Where neither the file nor its folder may be written.
  if (::geteuid() != 0) {
    ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
  }
  Forked cannotWrite([&](Forked&) {
    if (!BecomeNobody()) return std::string("cannot become nobody");
    uma_System reader(path.c_str(), false);
    return reader.IsNull() ? pfm::LastOpenFailure() + " | " +
                                 std::to_string(static_cast<int>(pfm::LastOpenFailureKind()))
                           : std::string("opened");
  });
  EXPECT_EQ(cannotWrite.Result(),
            "an edit of " + path +
                " was interrupted; open it once where the file can be written to recover it | " +
                std::to_string(static_cast<int>(FailureKind::InterruptedEdit)));
  EXPECT_EQ(pfm::KindOfFailure("an edit of " + path +
                               " was interrupted; open it once where the file can be written to "
                               "recover it"),
            FailureKind::InterruptedEdit);
  EXPECT_EQ(Bytes(path), afterCrash);
  EXPECT_TRUE(filetest::Exists(path + "-journal"));
  ::chmod(folder.c_str(), 0755);

  // Readers that can write: the first rolls the edit back, each sees the model as it was.
  for (int i = 0; i < 2; ++i) {
    Forked reader([&](Forked&) {
      uma_System s(path.c_str(), false);
      if (s.IsNull()) return pfm::LastOpenFailure();
      return Block(uma_TestAccess::Session(s), 0, 0, kRows - 1, 0, kColumns - 1) == original
                 ? std::string("as it was")
                 : std::string("other values");
    });
    EXPECT_EQ(reader.Result(), "as it was");
  }
  EXPECT_EQ(Bytes(path), before);
  EXPECT_FALSE(filetest::Exists(path + "-journal"));
}

// Discarding an edit session ends it without saving: the file stays byte for byte, another
// editor gets in at once, and the handle, null now, saves nothing when it goes.
TEST_F(StorePromises, DiscardedEditsNeverReachTheFile) {
  const std::string path = m_dir.File("model.uma");
  SaveConstant(path, 100, 4, 1.0);
  const std::string before = Bytes(path);
  auto* editor = new uma_System(path.c_str(), true);
  ASSERT_FALSE(editor->IsNull());
  Put(*editor, 0, 99, 2, -1.0);
  EXPECT_TRUE(pfm::DiscardEdits(path));
  EXPECT_TRUE(editor->IsNull());
  EXPECT_TRUE(pfm::OpenModels().empty());
  {
    uma_System second(path.c_str(), true);
    EXPECT_FALSE(second.IsNull()) << pfm::LastOpenFailure();
  }
  delete editor;
  EXPECT_EQ(pfm::LastCloseFailure(), "");
  EXPECT_EQ(pfm::LastCloseFailureKind(), FailureKind::None);
  EXPECT_EQ(Bytes(path), before);
  EXPECT_FALSE(pfm::DiscardEdits(path)) << "no edit session is open on it";
  EXPECT_EQ(Errors(), "");
}

// EIO at each read of the model file in turn (as the system's read(2) fails it: SQLite then
// reports a corrupt database), through an open for reading and every value, and through an
// open for editing and its commit: each point is an I/O error, never damage.
TEST_F(StorePromises, AReadTheSystemFailsIsAnIoErrorAtEveryPoint) {
  constexpr int kRows = 2000, kColumns = 32;
  const std::string path = m_dir.File("model.uma");
  {
    // The sample's tables, and a matrix over several pages.
    pfm::ModelBuilder b = uma::sample::EveryFeature("m");
    b.AddDistribution(kRows, kColumns, -1, -1,
                      std::vector<double>(static_cast<std::size_t>(kRows) * kColumns, 0.5));
    pfm::SaveModel(b, path);
  }
  const std::string before = Bytes(path);
  for (bool editing : {false, true}) {
    SCOPED_TRACE(editing ? "editing" : "reading");
    int points = 0;
    for (long n = 1;; ++n) {
      SCOPED_TRACE(n);
      FaultyVfs vfs;
      vfs.FailAt(FaultyVfs::Call::Read, SQLITE_IOERR_CORRUPTFS, n, true, EIO);
      std::string seen;
      FailureKind kind = FailureKind::None;
      try {
        uma_System s(path.c_str(), editing);
        if (s.IsNull()) {
          seen = pfm::LastOpenFailure();
          kind = pfm::LastOpenFailureKind();
        } else if (editing) {
          Put(s, 0, 14, 0, -1.0);
        } else {
          const int session = uma_TestAccess::Session(s);
          const auto& distributions = pfm::Sessions::Find(session)->system().distributions;
          for (std::size_t d = 0; d < distributions.size(); ++d)
            if (distributions[d].rows > 0 && distributions[d].columns > 0 && distributions[d].dense)
              Block(session, static_cast<int>(d), 0, distributions[d].rows - 1, 0,
                    distributions[d].columns - 1);
        }
      } catch (const pfm::StoreError& e) {
        seen = e.what();
        kind = e.kind();
      }
      if (editing && kind == FailureKind::None && !pfm::LastCloseFailure().empty()) {
        seen = pfm::LastCloseFailure();
        kind = pfm::LastCloseFailureKind();
        EXPECT_EQ(Errors(), seen + "\n");
      }
      if (!vfs.Failed()) {
        EXPECT_EQ(kind, FailureKind::None) << seen;
        filetest::WriteBytes(path, before);  // undoes the edit that committed
        break;
      }
      ++points;
      EXPECT_EQ(kind, FailureKind::IoError) << seen;
      EXPECT_NE(seen.find("an I/O error"), std::string::npos) << seen;
      EXPECT_EQ(Bytes(path), before);
    }
    EXPECT_GT(points, 10);
    std::printf("%s: %d read points, each an I/O error\n", editing ? "editing" : "reading", points);
  }
}

// Every kind of failure, each from its real cause, told alike by the structured answer and by
// its reason's phrase.
TEST_F(StorePromises, EachFailureHasItsKind) {
  ASSERT_EQ(::chmod(m_dir.path().c_str(), 0755), 0);
  const std::string path = m_dir.File("model.uma");
  SaveConstant(path, 100, 4, 1.0);
  std::string problems;
  auto copy = [&](const std::string& name) {
    const std::string other = m_dir.File(name);
    filetest::WriteBytes(other, Bytes(path));
    return other;
  };

  problems += OpenProblem("missing", m_dir.File("absent.uma"), false, FailureKind::NoSuchFile);
  filetest::WriteBytes(m_dir.File("notes.txt"), "not a database");
  problems += OpenProblem("text", m_dir.File("notes.txt"), false, FailureKind::NotAModel);
  {
    const std::string newer = copy("newer.uma");
    pfm::sql::Db(newer, SQLITE_OPEN_READWRITE)
        .Exec("PRAGMA user_version = " + std::to_string(pfm::kModelFileVersion + 1));
    problems += OpenProblem("newer", newer, false, FailureKind::NewerVersion);
  }
  {
    const std::string cut = copy("cut.uma");
    filetest::WriteBytes(cut, Bytes(cut).substr(0, 70000));
    problems += OpenProblem("truncated", cut, false, FailureKind::Damaged);
  }
  {
    FaultyVfs vfs;
    vfs.FailNext(FaultyVfs::Call::Read, SQLITE_IOERR_CORRUPTFS, true);
    problems += OpenProblem("EIO", path, false, FailureKind::IoError);
  }
  {
    // SQLite's memory runs out. (Its hard limit lowers the soft one too: both are put back.)
    const sqlite3_int64 soft = sqlite3_soft_heap_limit64(-1);
    const sqlite3_int64 hard = sqlite3_hard_heap_limit64(sqlite3_memory_used() + 1024);
    problems += OpenProblem("no memory", path, false, FailureKind::OutOfMemory);
    sqlite3_hard_heap_limit64(hard);
    sqlite3_soft_heap_limit64(soft);
  }
  {
    uma_System editor(path.c_str(), true);
    problems += OpenProblem("second editor", path, true, FailureKind::BeingEdited);
  }
  {
    // Another program holds the file's exclusive lock for longer than the store waits.
    pfm::StoreSettings quick;
    quick.busyTimeoutMs = 50;
    pfm::SetStoreSettings(quick);
    pfm::sql::Db other(path, SQLITE_OPEN_READWRITE);
    other.Exec("BEGIN EXCLUSIVE");
    problems += OpenProblem("locked", path, false, FailureKind::Locked);
    other.Exec("ROLLBACK");
    // A reader inside a read keeps a commit out.
    {
      uma_System editor(path.c_str(), true);
      Put(editor, 0, 9, 0, -1.0);
      other.Exec("BEGIN");
      other.QueryInt("SELECT count(*) FROM model");
    }
    other.Exec("ROLLBACK");
    problems += KindProblem("commit while read", pfm::LastCloseFailureKind(),
                            pfm::LastCloseFailure(), FailureKind::Locked, false);
    pfm::SetStoreSettings(pfm::StoreSettings());
    Errors();
  }
  {
    FaultyVfs vfs;
    {
      uma_System editor(path.c_str(), true);
      Put(editor, 0, 9, 1, -1.0);
      vfs.FailNext(FaultyVfs::Call::Write, SQLITE_FULL, true);
    }
    problems += KindProblem("commit on a full disk", pfm::LastCloseFailureKind(),
                            pfm::LastCloseFailure(), FailureKind::DiskFull, false);
    Errors();
  }
  {
    // Reads of an open model: its values damaged, its file replaced.
    const std::string damaged = copy("damaged.uma");
    pfm::sql::Db(damaged, SQLITE_OPEN_READWRITE).Exec("DELETE FROM value_chunk");
    uma_System s(damaged.c_str(), false);
    for (FailureKind expected : {FailureKind::Damaged, FailureKind::Changed}) {
      try {
        Block(uma_TestAccess::Session(s), 0, 0, 99, 0, 3);
        problems += "a read succeeded\n";
      } catch (const pfm::StoreError& e) {
        problems += KindProblem("read", e.kind(), e.what(), expected);
      }
      filetest::WriteBytes(damaged, Bytes(path));
    }
  }
  QOBSspUmaCore_finalize(m_count);
  problems += OpenProblem("down", path, false, FailureKind::NotInitialised);
  QOBSspUmaCore_initialize(m_count);

  // Permissions, for a user whom they stop.
  const std::string locked = m_dir.File("locked"), own = m_dir.File("own");
  ASSERT_EQ(::mkdir(locked.c_str(), 0755), 0);
  const std::string inLocked = locked + "/model.uma", secret = m_dir.File("secret.uma"),
                    readOnly = m_dir.File("read-only.uma");
  filetest::WriteBytes(inLocked, Bytes(path));
  filetest::WriteBytes(secret, Bytes(path));
  filetest::WriteBytes(readOnly, Bytes(path));
  ASSERT_EQ(::chmod(inLocked.c_str(), 0666), 0);
  ASSERT_EQ(::chmod(secret.c_str(), 0000), 0);
  ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
  if (::geteuid() == 0) {
    ASSERT_EQ(::chmod(m_dir.path().c_str(), 0777), 0);
  } else {
    ASSERT_EQ(::chmod(locked.c_str(), 0555), 0);
  }
  Forked child([&](Forked&) {
    if (!BecomeNobody()) return std::string("cannot become nobody");
    return OpenProblem("no permission", secret, false, FailureKind::Unreadable) +
           OpenProblem("folder not writable", inLocked, true, FailureKind::ReadOnly) +
           OpenProblem("file read-only", readOnly, true, FailureKind::ReadOnly);
  });
  problems += child.Result();
  ::chmod(m_dir.path().c_str(), 0755);
  ::chmod(locked.c_str(), 0755);
  EXPECT_EQ(problems, "");
  EXPECT_EQ(Errors(), "");
}

// What a reason says an author can act on: what a foreign file holds and what a model file
// must, which set holds which member of how many.
TEST_F(StorePromises, ReasonsSayWhatWasFoundAndWhatIsExpected) {
  const std::string path = m_dir.File("other.db");
  pfm::sql::Db(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE)
      .Exec("CREATE TABLE node (number INTEGER PRIMARY KEY)");
  EXPECT_TRUE(uma_System(path.c_str(), false).IsNull());
  EXPECT_EQ(pfm::LastOpenFailure(),
            "not a model file: " + path + " (application id 0; a model file has 0x514D4446)");
  pfm::sql::Db(path, SQLITE_OPEN_READWRITE).Exec("PRAGMA application_id = 305419896");
  EXPECT_TRUE(uma_System(path.c_str(), false).IsNull());
  EXPECT_EQ(
      pfm::LastOpenFailure(),
      "not a model file: " + path + " (application id 0x12345678; a model file has 0x514D4446)");

  pfm::ModelBuilder b("m");
  for (int n = 1; n <= 13; ++n) b.AddNode(100 + n);
  b.SetForType(pfm::types::ASetNodes(), b.AddSet(pfm::MemberKind::Node, {1, 13, 14}));
  try {
    pfm::BuildModel(b);
    ADD_FAILURE() << "built a set with a member outside its table";
  } catch (const QOBBasError& e) {
    EXPECT_EQ(std::string(e.what()), "model 'm': the A-set nodes set holds node number 14 of 13");
  }
}

// The store's settings: today's values by default; a short busy timeout fails an open behind
// another program's lock at once instead of after 10 s; a small reader cache keeps little of
// what a reader read.
TEST_F(StorePromises, TheWaitAndTheReaderCacheCanBeSet) {
  EXPECT_EQ(pfm::GetStoreSettings().busyTimeoutMs, 10000);
  EXPECT_EQ(pfm::GetStoreSettings().readerCacheKiB, 128 * 1024);
  // 6.4 MB of values, each column on the pages of the table (a longer one would be read past
  // the cache, from overflow pages).
  constexpr int kRows = 4000, kColumns = 200;
  const std::string path = m_dir.File("model.uma");
  SaveConstant(path, kRows, kColumns, 1.0);

  pfm::StoreSettings settings;
  settings.busyTimeoutMs = 200;
  pfm::SetStoreSettings(settings);
  {
    pfm::sql::Db other(path, SQLITE_OPEN_READWRITE);
    other.Exec("BEGIN EXCLUSIVE");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(uma_System(path.c_str(), false).IsNull());
    const double waited =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(pfm::LastOpenFailureKind(), FailureKind::Locked) << pfm::LastOpenFailure();
    EXPECT_GE(waited, 0.15);
    EXPECT_LT(waited, 2.0);
    other.Exec("ROLLBACK");
  }

  // What SQLite holds while a reader that read everything stays open.
  auto heldByAReader = [&](int cacheKiB) {
    settings.readerCacheKiB = cacheKiB;
    pfm::SetStoreSettings(settings);
    const sqlite3_int64 idle = sqlite3_memory_used();
    uma_System s(path.c_str(), false);
    Block(uma_TestAccess::Session(s), 0, 0, kRows - 1, 0, kColumns - 1);
    return (sqlite3_memory_used() - idle) / 1024;
  };
  EXPECT_GT(heldByAReader(128 * 1024), 6000);
  EXPECT_LT(heldByAReader(1024), 2048);
  settings.busyTimeoutMs = -5;
  pfm::SetStoreSettings(settings);
  EXPECT_EQ(pfm::GetStoreSettings().busyTimeoutMs, 0) << "negative values count as 0";
}

}  // namespace
