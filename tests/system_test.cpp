// The system handle: how it opens, when it is null, what it closes, and its counts.
#include <memory>
#include <string>

#include "QOBSimAPI.h"
#include "uma_SampleModels.h"
#include "uma_System.h"
#include "uma_TestAccess.h"
#include "uma_TestSupport.h"

namespace {

class SystemHandle : public UmaTest {
 protected:
  void SetUp() override {
    UmaTest::SetUp();
    pfm::Journal::Enable(true);
  }
  static bool Has(const std::vector<std::string>& lines, const std::string& prefix) {
    return CountLines(lines, prefix) > 0;
  }
};

TEST_F(SystemHandle, OpensForReadingWithEmptyOptions) {
  uma::sample::SmallSystem("m").Register();
  uma_System s("m", false);
  auto lines = Journal();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "OpenRead(\"m\",\"\",false)");
  EXPECT_EQ(lines[1], "Follow(" + std::to_string(ads_CoreFragmentTypeIndex(24, 9)) + ",1)");
  EXPECT_EQ(lines[2], "Follow(" + std::to_string(ads_CoreFragmentTypeIndex(20, 8)) + ",1)");
  EXPECT_FALSE(s.IsNull());
}

TEST_F(SystemHandle, OpensForEditingWithTwoEmptyStrings) {
  uma::sample::SmallSystem("m").Register();
  uma_System s("m", true);
  EXPECT_EQ(Journal().at(0), "OpenEdit(\"m\",\"\",\"\")");
  EXPECT_FALSE(s.IsNull());
}

TEST_F(SystemHandle, AnOpenAnsweringNullGivesANullHandleThatClosesNothing) {
  auto* s = new uma_System("absent", false);
  EXPECT_TRUE(s->IsNull());
  EXPECT_EQ(s->Type(), 0);
  EXPECT_EQ(s->NumLoads(), 0);
  EXPECT_EQ(s->NumStaticModes(), 0);
  EXPECT_EQ(uma_TestAccess::InternalNodeSet(*s).Size(), 0);
  auto lines = Journal();
  EXPECT_EQ(lines.size(), 1u) << "only the open";
  delete s;
  EXPECT_TRUE(Journal().empty()) << "destroying a null handle calls no platform function";
}

TEST_F(SystemHandle, ANullFirstStepCreatesNoRecordAndLeavesTheModelToTheModule) {
  uma::sample::SmallSystem("m").WithoutSubstructure().Register();
  {
    uma_System s("m", false);
    EXPECT_TRUE(s.IsNull());
    auto lines = Journal();
    EXPECT_FALSE(Has(lines, "QOBFsmSystem("));
    EXPECT_EQ(CountLines(lines, "Follow("), 1);
  }
  EXPECT_FALSE(Has(Journal(), "Close("));
  EXPECT_EQ(pfm::Sessions::OpenCount(), 1) << "the handle does not close it";
  QOBSspUmaCore_finalize(m_count);
  EXPECT_EQ(pfm::Sessions::OpenCount(), 0) << "taking the module down closes it";
  QOBSspUmaCore_initialize(m_count);
}

TEST_F(SystemHandle, ANullSecondStepStillMakesARecordWhichReportsNull) {
  uma::sample::SmallSystem("m").WithoutSystem().Register();
  {
    uma_System s("m", false);
    EXPECT_TRUE(s.IsNull());
    auto lines = Journal();
    EXPECT_TRUE(Has(lines, "QOBFsmSystem(0,0)"));
  }
  EXPECT_FALSE(Has(Journal(), "Close("));
}

TEST_F(SystemHandle, ARecordReportingNullIsReleasedAndClosesNothing) {
  uma::sample::SmallSystem("m").RecordReportsNull().Register();
  long long before = pfm::Allocation().liveBlocks;
  {
    uma_System s("m", false);
    EXPECT_TRUE(s.IsNull());
    EXPECT_EQ(pfm::Allocation().liveBlocks, before + 1) << "the record";
    EXPECT_EQ(s.Type(), 0);
    EXPECT_EQ(s.NumLoads(), 0);
  }
  EXPECT_EQ(pfm::Allocation().liveBlocks, before);
  EXPECT_FALSE(Has(Journal(), "Close("));
}

TEST_F(SystemHandle, DestroyingAnOpenHandleClosesOnceWithTheRecordsFocusedPosition) {
  uma::sample::SmallSystem("m").Register();
  auto* s = new uma_System("m", false);
  Journal();
  EXPECT_EQ(pfm::Sessions::OpenCount(), 1);
  delete s;
  auto lines = Journal();
  ASSERT_EQ(CountLines(lines, "Close("), 1);
  // Words: session, kind (4 is the focus of a session, distinct from the model's own
  // position that the open answered, kind 1).
  for (const auto& l : lines) {
    if (l.rfind("Close(", 0) == 0) {
      EXPECT_NE(l.find(",4,0,0,0,0)"), std::string::npos) << l;
    }
  }
  EXPECT_EQ(pfm::Sessions::OpenCount(), 0);
}

TEST_F(SystemHandle, CountsAreReadAfreshOnEveryCall) {
  uma::sample::SmallSystem("m").Register();
  uma_System s("m", false);
  Journal();
  EXPECT_EQ(s.Type(), 7);
  EXPECT_EQ(s.NumLoads(), 2);
  EXPECT_EQ(s.NumLoads(), 2);
  EXPECT_EQ(s.NumStaticModes(), 1);
  auto lines = Journal();
  EXPECT_EQ(CountLines(lines, "NumSLoads"), 2);
  EXPECT_EQ(CountLines(lines, "NumStaticModes"), 1);
  omi_BlkBitVect internal = uma_TestAccess::InternalNodeSet(s);
  EXPECT_EQ(internal.Count(), 1);
  EXPECT_TRUE(internal.Test(3)) << "node number 3 (label 103) is internal";
}

// Whichever allocation of the construction fails, the model it opened is closed again and
// nothing stays allocated.
TEST_F(SystemHandle, AFailedRecordAllocationLeaksNothing) {
  uma::sample::SmallSystem("m").Register();
  for (bool editable : {false, true}) {
    int failures = 0;
    for (long long n = 1;; ++n) {
      const long long blocks = pfm::Allocation().liveBlocks;
      pfm::FailAllocationAt(n);
      try {
        uma_System s("m", editable);
        EXPECT_FALSE(s.IsNull());
        break;
      } catch (const QOBBasOutOfMemory&) {
        ++failures;
      }
      EXPECT_EQ(pfm::Sessions::OpenCount(), 0) << "allocation " << n;
      EXPECT_EQ(pfm::Allocation().liveBlocks, blocks) << "allocation " << n;
    }
    EXPECT_GE(failures, 1);
  }
  pfm::FailAllocationAt(0);
}

TEST_F(SystemHandle, ANullNameIsPassedOnAsTheEmptyName) {
  uma_System s(nullptr, false);
  EXPECT_TRUE(s.IsNull());
  EXPECT_EQ(Journal().at(0), "OpenRead(\"\",\"\",false)");
}

}  // namespace
