// Model files: a saved model reopens answering what it answered in memory; edit sessions reach
// the file in one transaction at close, and a failed or interrupted commit leaves it as it was.
#include <unistd.h>

#include <memory>
#include <sstream>

#include "pfm_ModelTypes.h"
#include "pfm_Support.h"
#include "pfm_TestAccess.h"
#include "uma_FileTestSupport.h"
#include "uma_TempDir.h"
#include "uma_TestSupport.h"

namespace {

using filetest::Block;
using filetest::Bytes;
using filetest::Hex;

constexpr int kDistributions = 6;  // in uma::sample::EveryFeature

// Everything in a model's data, as text, so that a difference shows where it is.
std::string Describe(const pfm::Model& m) {
  std::ostringstream o;
  const pfm::SystemData& s = m.system;
  o << m.hasSubstructure << m.hasSystem << m.recordReportsNull << " type " << s.type << " loads "
    << s.numLoads << " static " << s.numStaticModes << " coords " << s.nodeCoordinates << "\nnodes";
  for (const auto& n : s.nodes) o << ' ' << n.label << (n.internal ? "i" : "");
  o << "\ndofs";
  for (const auto& d : s.dofs) o << ' ' << d.node << '.' << d.ldof;
  o << "\nmodes";
  for (const auto& d : s.modes) o << ' ' << d.nodeLabel << '.' << d.ldof;
  o << "\nelements";
  for (int e : s.elements) o << ' ' << e;
  o << "\ncollections";
  for (const auto& c : s.collections) o << ' ' << c.positionType;
  for (const auto& set : s.sets) {
    o << "\nset in " << set.collection << ':';
    for (int member : set.members) o << ' ' << member;
  }
  for (const auto& d : s.distributions) {
    o << "\nmatrix " << d.dense << ' ' << d.rows << 'x' << d.columns << " sets " << d.rowSet << ','
      << d.columnSet << ": ";
    std::vector<double> values(static_cast<std::size_t>(d.rows) *
                               static_cast<std::size_t>(d.columns));
    d.values->Read(0, d.rows, 0, d.columns, values.data(), d.rows);
    o << Hex(values);
  }
  for (const auto& [k, v] : s.distributionByType) o << "\nby type " << k << ' ' << v;
  for (const auto& [k, v] : s.distributionByName) o << "\nby name '" << k << "' " << v;
  for (const auto& [k, v] : s.userMatrixByName) o << "\nuser '" << k << "' " << v;
  for (const auto& [k, v] : s.setByType) o << "\nset type " << k << ' ' << v;
  for (const auto& [k, v] : m.attributes) o << "\nattribute '" << k << "' '" << v << "'";
  return o.str();
}

class ModelFile : public UmaTest {
 protected:
  void SetUp() override {
    UmaTest::SetUp();
    m_path = m_dir.File("model.db");
  }
  void TearDown() override {
    pfm::SetModelFileCommitProbe(nullptr);
    UmaTest::TearDown();
  }
  // Saves the sample and answers what its distribution 0 holds.
  std::vector<double> SaveSample() {
    auto model = pfm::BuildModel(uma::sample::EveryFeature("memory"));
    pfm::SaveModelFile(*model, m_path);
    std::vector<double> k(15 * 15);
    model->system.distributions[0].values->Read(0, 15, 0, 15, k.data(), 15);
    return k;
  }

  std::string SaveSampleTo(const std::string& file) {
    std::string path = m_dir.File(file);
    pfm::SaveModelFile(*pfm::BuildModel(uma::sample::SmallSystem("plain")), path);
    return path;
  }

  uma::sample::TempDir m_dir;
  std::string m_path;
};

TEST_F(ModelFile, LoadsEverythingThatWasSavedAndOnlyThat) {
  auto model = pfm::BuildModel(uma::sample::EveryFeature("memory"));
  pfm::SaveModelFile(*model, m_path);
  EXPECT_FALSE(filetest::Exists(m_path + ".saving"));
  std::string reason = "stale";
  auto loaded = pfm::LoadModelFile(m_path, false, reason);
  ASSERT_TRUE(loaded) << reason;
  EXPECT_EQ(loaded->name, m_path);
  EXPECT_EQ(Describe(*loaded), Describe(*model));
  EXPECT_EQ(loaded->system.distributions[0].values->Contiguous(), nullptr)
      << "values stay in the file";

  // A loaded model saves again to the same content.
  pfm::SaveModelFile(*loaded, m_dir.File("copy.db"));
  auto copy = pfm::LoadModelFile(m_dir.File("copy.db"), false, reason);
  ASSERT_TRUE(copy) << reason;
  EXPECT_EQ(Describe(*copy), Describe(*model));
}

TEST_F(ModelFile, AttributesSurviveTheFileAndReachTheSupportApi) {
  namespace attr = pfm::attributes;
  pfm::ModelBuilder b = uma::sample::SmallSystem("m");
  b.Attribute(attr::kUnitLength, "mm").Attribute(attr::kUnitLength, "m");  // the last one holds
  b.Attribute(attr::kUnitForce, "N")
      .Attribute(attr::kSource, "beam \"A\"\n\xc3\xa9")
      .Attribute("x", "");
  EXPECT_THROW(b.Attribute("", "kg"), QOBBasError);
  pfm::SaveModelFile(*pfm::BuildModel(b), m_path);
  std::string reason;
  auto model = pfm::LoadModelFile(m_path, false, reason);
  ASSERT_TRUE(model) << reason;
  EXPECT_EQ(Describe(*model), Describe(*pfm::BuildModel(b)));
  EXPECT_EQ(model->attributes.at(attr::kUnitLength), "m");

  pfm::ModelContents contents;
  ASSERT_TRUE(pfm::ReadContents(m_path, contents)) << pfm::LastOpenFailure();
  EXPECT_EQ(contents.attributes, pfm::BuildModel(b)->attributes);
  ASSERT_TRUE(pfm::ReadContents(SaveSampleTo("plain.db"), contents));
  EXPECT_TRUE(contents.attributes.empty());
}

TEST_F(ModelFile, FlagsOfTheModelSurviveTheFile) {
  for (auto build : {&pfm::ModelBuilder::WithoutSubstructure, &pfm::ModelBuilder::WithoutSystem,
                     &pfm::ModelBuilder::RecordReportsNull}) {
    pfm::ModelBuilder b = uma::sample::SmallSystem("m");
    (b.*build)();
    pfm::SaveModelFile(*pfm::BuildModel(b), m_path);
    std::string reason;
    auto model = pfm::LoadModelFile(m_path, false, reason);
    ASSERT_TRUE(model) << reason;
    EXPECT_EQ(Describe(*model), Describe(*pfm::BuildModel(b)));
    uma_System s(m_path.c_str(), false);
    EXPECT_TRUE(s.IsNull());
    EXPECT_EQ(pfm::ModelRegistry::LastOpenFailure(), "")
        << "the file opened; the model has no system";
  }
  pfm::Sessions::CloseAll();  // the models without a substructure stay open, as in memory
}

TEST_F(ModelFile, AReopenedModelAnswersWhatItAnsweredInMemory) {
  uma::sample::EveryFeature("memory").Register();
  SaveSample();
  uma_System inMemory("memory", false);
  uma_System fromFile(m_path.c_str(), false);
  ASSERT_FALSE(fromFile.IsNull()) << pfm::ModelRegistry::LastOpenFailure();
  const auto types = filetest::SampleSetTypes();
  EXPECT_EQ(filetest::Digest(fromFile, types, kDistributions),
            filetest::Digest(inMemory, types, kDistributions));

  // Blocks anywhere in a matrix, and a block through a derived matrix, read the same.
  int mem = uma_TestAccess::Session(inMemory), file = uma_TestAccess::Session(fromFile);
  for (auto [r0, r1, c0, c1] :
       {std::array<int, 4>{0, 0, 0, 0}, {14, 14, 14, 14}, {3, 9, 5, 11}, {0, 14, 7, 7}})
    EXPECT_EQ(Hex(Block(file, 0, r0, r1, c0, c1)), Hex(Block(mem, 0, r0, r1, c0, c1)));
  QOBSrvDenseMatrix memDense(pfm::ids::Distribution(mem, 2)),
      fileDense(pfm::ids::Distribution(file, 2));
  std::unique_ptr<QOBSrvDenseMatrix> a(memDense.Submatrix(2, 12, 1, 3)),
      b(fileDense.Submatrix(2, 12, 1, 3));
  QOBSrvMatrix va(11, 3, nullptr, false, false), vb(11, 3, nullptr, false, false);
  a->GetValues(0, 10, 0, 2, va);
  b->GetValues(0, 10, 0, 2, vb);
  EXPECT_EQ(Hex({vb.m_values, vb.m_values + 33}), Hex({va.m_values, va.m_values + 33}));
  EXPECT_EQ(Errors(), "");
}

TEST_F(ModelFile, BlocksOutsideAStoredMatrixAreRefused) {
  SaveSample();
  std::string reason;
  auto model = pfm::LoadModelFile(m_path, false, reason);
  ASSERT_TRUE(model) << reason;
  const pfm::ValueStore& values = *model->system.distributions[0].values;
  double out[16 * 16];
  EXPECT_THROW(values.Read(10, 6, 0, 1, out, 16), QOBBasError);
  EXPECT_THROW(values.Read(0, 1, 15, 1, out, 16), QOBBasError);
  EXPECT_THROW(values.Read(-1, 1, 0, 1, out, 16), QOBBasError);
  EXPECT_THROW(model->system.distributions[0].values->Write(0, 1, 0, 1, out, 1), QOBBasError)
      << "a model opened for reading is never written";
}

TEST_F(ModelFile, AnEditSessionReachesTheFileWhenItClosesAndNotBefore) {
  std::vector<double> expected = SaveSample();
  const std::string before = Bytes(m_path);
  int written = 0;
  pfm::SetModelFileCommitProbe([&] { ++written; });

  auto* editing = new uma_System(m_path.c_str(), true);
  ASSERT_FALSE(editing->IsNull()) << pfm::ModelRegistry::LastOpenFailure();
  {
    QOBSrvDenseMatrix dense(pfm::ids::Distribution(uma_TestAccess::Session(*editing), 0));
    QOBSrvMatrix block(3, 2, nullptr, false, false);
    for (int i = 0; i < 6; ++i) block.m_values[i] = 100.0 + i;
    block.m_values[3] = expected[4 * 15 + 6];  // one column changes in one value only
    block.m_values[4] = expected[4 * 15 + 7];
    block.m_values[5] = expected[4 * 15 + 8];
    dense.SetValues(6, 8, 3, 4, block);
    for (int c = 0; c < 2; ++c)
      for (int r = 0; r < 3; ++r)
        expected[static_cast<std::size_t>((3 + c) * 15 + 6 + r)] = block.m_values[c * 3 + r];
    EXPECT_EQ(Hex(Block(uma_TestAccess::Session(*editing), 0, 0, 14, 0, 14)), Hex(expected))
        << "the session sees its edits";

    uma_System reader(m_path.c_str(), false);
    EXPECT_NE(Hex(Block(uma_TestAccess::Session(reader), 0, 0, 14, 0, 14)), Hex(expected))
        << "other sessions do not see edits before the close";
  }
  EXPECT_EQ(Bytes(m_path), before) << "nothing is written before the close";
  delete editing;
  EXPECT_EQ(pfm::Sessions::LastCloseFailure(), "");
  EXPECT_EQ(written, 1) << "only the column whose values changed is written";
  EXPECT_NE(Bytes(m_path), before);
  EXPECT_FALSE(filetest::Exists(m_path + "-journal"));

  uma_System reader(m_path.c_str(), false);
  EXPECT_EQ(Hex(Block(uma_TestAccess::Session(reader), 0, 0, 14, 0, 14)), Hex(expected));
}

TEST_F(ModelFile, AnEditSessionThatWritesNothingLeavesTheFileUntouched) {
  SaveSample();
  const std::string before = Bytes(m_path);
  const long long mtime = filetest::MTime(m_path);
  delete new uma_System(m_path.c_str(), true);
  EXPECT_EQ(Bytes(m_path), before);
  EXPECT_EQ(filetest::MTime(m_path), mtime);
}

TEST_F(ModelFile, AFailedCommitLeavesTheFileAsItWasAndReadable) {
  std::vector<double> original = SaveSample();
  const std::string before = Bytes(m_path);
  int written = 0;
  pfm::SetModelFileCommitProbe([&] {
    if (++written == 2) throw QOBBasError("injected failure");
  });
  auto* editing = new uma_System(m_path.c_str(), true);
  {
    QOBSrvDenseMatrix dense(pfm::ids::Distribution(uma_TestAccess::Session(*editing), 0));
    QOBSrvMatrix block(15, 5, nullptr, false, false);
    for (int i = 0; i < 75; ++i) block.m_values[i] = -1.0 - i;
    dense.SetValues(0, 14, 0, 4, block);
  }
  delete editing;  // the failure stays inside the close
  EXPECT_EQ(written, 2);
  const std::string& failure = pfm::Sessions::LastCloseFailure();
  EXPECT_NE(failure.find("the edits of " + m_path + " were not saved"), std::string::npos)
      << failure;
  EXPECT_NE(failure.find("injected failure"), std::string::npos) << failure;
  EXPECT_EQ(Bytes(m_path), before);
  EXPECT_FALSE(filetest::Exists(m_path + "-journal"));
  uma_System reader(m_path.c_str(), false);
  ASSERT_FALSE(reader.IsNull());
  EXPECT_EQ(Hex(Block(uma_TestAccess::Session(reader), 0, 0, 14, 0, 14)), Hex(original));
}

// A commit larger than SQLite's page cache spills pages into the file before it ends; a crash
// then leaves a partly written file and its journal, which the next open rolls back, for
// reading as for editing, where the file and its folder can be written.
TEST_F(ModelFile, ACrashDuringTheCommitLeavesTheFileAsItWas) {
  GTEST_FLAG_SET(death_test_style, "fast");  // the child works on this test's file
  constexpr int kRows = 20000, kColumns = 40;
  pfm::ModelBuilder b("big");
  std::vector<double> original(static_cast<std::size_t>(kRows) * kColumns);
  for (std::size_t i = 0; i < original.size(); ++i) original[i] = static_cast<double>(i) * 0.25;
  b.AddDistribution(kRows, kColumns, -1, -1, original);
  pfm::SaveModelFile(*pfm::BuildModel(b), m_path);
  const std::string before = Bytes(m_path);
  EXPECT_EXIT(
      {
        int written = 0;
        pfm::SetModelFileCommitProbe([&] {
          if (++written == kColumns - 1)
            ::_exit(7);  // the process ends in the middle of the commit
        });
        auto* editing = new uma_System(m_path.c_str(), true);
        QOBSrvDenseMatrix dense(pfm::ids::Distribution(uma_TestAccess::Session(*editing), 0));
        QOBSrvMatrix block(kRows, kColumns, nullptr, false, false);
        dense.SetValues(0, kRows - 1, 0, kColumns - 1, block);
        delete editing;
      },
      ::testing::ExitedWithCode(7), "");
  ASSERT_TRUE(filetest::Exists(m_path + "-journal"))
      << "the crash came after pages reached the file";
  EXPECT_NE(Bytes(m_path), before);

  // The next open, a reader's, rolls the interrupted edit back.
  delete new uma_System(m_path.c_str(), false);
  EXPECT_EQ(pfm::ModelRegistry::LastOpenFailure(), "");
  EXPECT_EQ(Bytes(m_path), before);
  EXPECT_FALSE(filetest::Exists(m_path + "-journal"));
  uma_System reader(m_path.c_str(), false);
  ASSERT_FALSE(reader.IsNull()) << pfm::ModelRegistry::LastOpenFailure();
  EXPECT_EQ(Block(uma_TestAccess::Session(reader), 0, 0, kRows - 1, 0, kColumns - 1), original);
}

TEST_F(ModelFile, AModelInMemoryTakesPrecedenceOverAFileOfItsName) {
  SaveSample();
  uma::sample::SmallSystem(m_path).Register();
  uma_System s(m_path.c_str(), false);
  EXPECT_EQ(s.Type(), 7) << "the registered model, not the file's type 11";
}

TEST_F(ModelFile, SavingWhereNoFileCanBeMadeThrowsAndLeavesNothing) {
  auto model = pfm::BuildModel(uma::sample::EveryFeature("m"));
  const std::string path = m_dir.File("missing/model.db");
  try {
    pfm::SaveModelFile(*model, path);
    FAIL() << "saved into a missing directory";
  } catch (const QOBBasError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("cannot save the model to " + path + ": ", 0), 0u)
        << e.what();
  }
  EXPECT_FALSE(filetest::Exists(path + ".saving"));
}

}  // namespace
