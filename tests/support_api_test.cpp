// The platform's public support API as a tool or a host uses it: why an open failed (the library
// not initialised among the reasons), which models are open, the modules' counters, and
// registered models forgotten again.
#include <string>
#include <vector>

#include "QOBSspUmaCore.h"
#include "pfm_Model.h"
#include "pfm_Support.h"
#include "uma_SampleModels.h"
#include "uma_System.h"
#include "uma_TempDir.h"
#include "uma_TestSupport.h"

namespace {

class SupportApi : public UmaTest {};

std::vector<std::string> Names(const std::vector<pfm::OpenModel>& open) {
  std::vector<std::string> names;
  for (const pfm::OpenModel& m : open) names.push_back(m.name);
  return names;
}

TEST_F(SupportApi, AnOpenOutsideInitialiseAndFinaliseIsRefusedWithItsReason) {
  uma::sample::SmallSystem("m").Register();
  QOBSspUmaCore_finalize(m_count);
  {
    uma_System before("m", false);
    EXPECT_TRUE(before.IsNull()) << "a registered model does not open either";
    EXPECT_EQ(pfm::LastOpenFailure(), "the library is not initialised");
    EXPECT_EQ(pfm::KindOfFailure(pfm::LastOpenFailure()), pfm::FailureKind::NotInitialised);
    pfm::ModelContents contents;
    EXPECT_FALSE(pfm::ReadContents("m", contents));
    EXPECT_EQ(pfm::LastOpenFailure(), pfm::kNotInitialised);
    EXPECT_TRUE(pfm::OpenModels().empty()) << "a refused open leaves nothing open";
  }
  QOBSspUmaCore_initialize(m_count);
  {
    uma_System s("m", false);
    EXPECT_FALSE(s.IsNull());
    EXPECT_EQ(pfm::LastOpenFailure(), "");
  }
  // A nested initialise keeps database access up until the balancing finalise.
  int other = 0;
  QOBSspUmaCore_initialize(other);
  QOBSspUmaCore_finalize(other);
  EXPECT_FALSE(uma_System("m", false).IsNull());
}

TEST_F(SupportApi, ModulesCountTheirUsers) {
  for (const char* module :
       {"QOBBasCoreUtils", "QOBSimAPI", "DDB_AnalysisSupport", "QOBSspSubCore"})
    EXPECT_EQ(pfm::ModuleUsers(module), 1) << module;
  EXPECT_EQ(pfm::ModuleUsers("NoSuchModule"), 0);
  EXPECT_EQ(pfm::ModuleUsers(nullptr), 0);
  QOBSspUmaCore_finalize(m_count);
  EXPECT_EQ(pfm::ModuleUsers("DDB_AnalysisSupport"), 0);
  QOBSspUmaCore_initialize(m_count);
}

TEST_F(SupportApi, OpenModelsListsHandlesAndTheModelsLeftToTheModule) {
  uma::sample::SmallSystem("reader").Register();
  uma::sample::SmallSystem("editor").Register();
  uma::sample::SmallSystem("hollow").WithoutSubstructure().Register();
  {
    uma_System reader("reader", false);
    uma_System editor("editor", true);
    uma_System hollow("hollow", false);
    const std::vector<pfm::OpenModel> open = pfm::OpenModels();
    ASSERT_EQ(Names(open), (std::vector<std::string>{"reader", "editor", "hollow"}));
    EXPECT_FALSE(open[0].editable);
    EXPECT_TRUE(open[1].editable);
    EXPECT_TRUE(open[0].holdsSystem && open[1].holdsSystem);
    EXPECT_FALSE(open[2].holdsSystem);
  }
  EXPECT_EQ(Names(pfm::OpenModels()), std::vector<std::string>{"hollow"})
      << "a model whose open yields no system stays open until the library goes down";
  QOBSspUmaCore_finalize(m_count);
  EXPECT_TRUE(pfm::OpenModels().empty());
  QOBSspUmaCore_initialize(m_count);
}

TEST_F(SupportApi, FailureKindsAreReadFromTheReasonsPhrase) {
  const std::pair<std::string, pfm::FailureKind> cases[] = {
      {"the library is not initialised", pfm::FailureKind::NotInitialised},
      {"no such file: /x/m.uma", pfm::FailureKind::NoSuchFile},
      {"not a model file: m.uma", pfm::FailureKind::NotAModel},
      {"a newer format version: m.uma (version 9)", pfm::FailureKind::NewerVersion},
      {"a damaged file: m.uma (the model table is empty)", pfm::FailureKind::Damaged},
      {"cannot open the file: m.uma", pfm::FailureKind::Unreadable},
      {"an I/O error: m.uma (disk I/O error)", pfm::FailureKind::IoError},
      {"the disk is full: m.uma", pfm::FailureKind::DiskFull},
      {"the model is being edited by another session: m.uma", pfm::FailureKind::BeingEdited},
      {"the model file changed since it was opened: m.uma", pfm::FailureKind::Changed},
      {"", pfm::FailureKind::Other},
      {"no such file", pfm::FailureKind::Other},  // the phrase without a path is no reason
      {"the file is fine: no such file: m", pfm::FailureKind::Other},
      {"the library is not initialised yet", pfm::FailureKind::Other},
  };
  for (const auto& [reason, kind] : cases) EXPECT_EQ(pfm::KindOfFailure(reason), kind) << reason;
}

TEST_F(SupportApi, AReasonFromAFailedOpenOfAFileHasItsKind) {
  uma::sample::TempDir dir("uma-support-");
  const std::string path = dir.File("absent.uma");
  EXPECT_TRUE(uma_System(path.c_str(), false).IsNull());
  EXPECT_EQ(pfm::KindOfFailure(pfm::LastOpenFailure()), pfm::FailureKind::NoSuchFile);
}

TEST_F(SupportApi, AnUnregisteredModelNoLongerOpensButItsOpenHandleKeepsIt) {
  uma::sample::SmallSystem("m").Register();
  uma::sample::SmallSystem("n").Register();
  uma_System kept("m", false);
  pfm::UnregisterModel("m");
  pfm::UnregisterModel("never-registered");
  EXPECT_TRUE(uma_System("m", false).IsNull());
  EXPECT_FALSE(kept.IsNull());
  EXPECT_EQ(kept.Type(), pfm::ModelOf(uma::sample::SmallSystem("m")).system.type);
  EXPECT_FALSE(uma_System("n", false).IsNull());
  pfm::UnregisterModels();
  EXPECT_TRUE(uma_System("n", false).IsNull());
}

}  // namespace
