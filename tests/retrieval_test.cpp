// Matrix retrieval through the system handle: lookups by type and name, the order of trims and
// filters, what the answer holds and is labelled with, and what stays alive.
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "pfm_Model.h"
#include "uma_ArrayInt.h"
#include "uma_IncoreMatrix.h"
#include "uma_RetrievalModels.h"
#include "uma_SampleModels.h"
#include "uma_System.h"
#include "uma_TestAccess.h"
#include "uma_TestSupport.h"

namespace {

using Lines = std::vector<std::string>;
using Handle = std::unique_ptr<const uma_Matrix>;
using pfm::MemberKind;

// What a retrieval should answer, worked out from the model's own tables.
struct Expected {
  int base;                        // values of the stored matrix (uma::sample::SampleValue)
  std::vector<int> rows, columns;  // positions in the stored matrix that are kept
  std::vector<int> rowMembers, columnMembers;
  std::vector<int> rowNodeLabels;  // for dof or node rows
};

class Retrieval : public UmaTest {
 protected:
  void SetUp() override {
    UmaTest::SetUp();
    m_model = pfm::RegisterModel(uma::sample::RetrievalSystem("r"));
    pfm::Journal::Enable(true);
  }

  // Positions along a side of `members` (of `kind`) kept after dropping `front` leading and
  // `back` trailing ones and, when `filter`, those of internal nodes.
  std::vector<int> Kept(const std::vector<int>& members, MemberKind kind, int front, int back,
                        bool filter) const {
    const pfm::SystemData& sys = m_model->system;
    std::vector<int> out;
    for (int i = front; i < static_cast<int>(members.size()) - back; ++i) {
      int node = NodeOf(members[static_cast<std::size_t>(i)], kind);
      if (!(filter && node > 0 && sys.nodes[static_cast<std::size_t>(node) - 1].internal))
        out.push_back(i);
    }
    return out;
  }
  int NodeOf(int member, MemberKind kind) const {
    if (kind == MemberKind::Dof)
      return m_model->system.dofs[static_cast<std::size_t>(member) - 1].node;
    return kind == MemberKind::Node ? member : 0;
  }

  // The recovery matrix (dof rows, mode columns) retrieved with `options`.
  Expected Recovery(int options) const {
    const pfm::SystemData& sys = m_model->system;
    const std::vector<int> dofs{11, 1, 3, 4, 9, 10, 6, 7, 2, 12}, modes{1, 2, 3, 4, 5};
    Expected e{1000,
               Kept(dofs, MemberKind::Dof, 0, options & 2 ? sys.numStaticModes : 0, options & 1),
               Kept(modes, MemberKind::Mode, options & 4 ? sys.numLoads : 0, 0, false),
               {},
               {},
               {}};
    Label(e, dofs, MemberKind::Dof, modes);
    return e;
  }
  // The node matrix (rows nodes 6..1, columns nodes 1..6) retrieved with `options`.
  Expected NodeMatrix(int options) const {
    const std::vector<int> down{6, 5, 4, 3, 2, 1}, up{1, 2, 3, 4, 5, 6};
    Expected e{2000,
               Kept(down, MemberKind::Node, 0, 0, options & 1),
               Kept(up, MemberKind::Node, 0, 0, options & 1),
               {},
               {},
               {}};
    Label(e, down, MemberKind::Node, up);
    return e;
  }
  void Label(Expected& e, const std::vector<int>& rows, MemberKind rowKind,
             const std::vector<int>& columns) const {
    for (int r : e.rows) {
      int member = rows[static_cast<std::size_t>(r)];
      e.rowMembers.push_back(member);
      e.rowNodeLabels.push_back(
          m_model->system.nodes[static_cast<std::size_t>(NodeOf(member, rowKind)) - 1].label);
    }
    for (int c : e.columns) e.columnMembers.push_back(columns[static_cast<std::size_t>(c)]);
  }

  static std::vector<int> Array(uma_ArrayInt* array) {
    return TakeLabels(array).value_or(std::vector<int>());
  }

  // Values through GetValues, and the labels of rows and columns, against `e`.
  static void ExpectMatrix(const uma_Matrix* m, const Expected& e) {
    ASSERT_NE(m, nullptr);
    ASSERT_EQ(m->NumRows(), static_cast<int>(e.rows.size()));
    ASSERT_EQ(m->NumColumns(), static_cast<int>(e.columns.size()));
    EXPECT_EQ(Array(m->MapRows(uma_Enum::uma_MapInternal)), e.rowMembers);
    EXPECT_EQ(Array(m->MapRows(uma_Enum::uma_MapNode)), e.rowNodeLabels);
    EXPECT_EQ(Array(m->MapColumns(uma_Enum::uma_MapInternal)), e.columnMembers);
    if (e.rows.empty() || e.columns.empty()) return;
    uma_IncoreMatrix values(m->NumRows(), m->NumColumns(), nullptr);
    m->GetValues(0, m->NumRows() - 1, 0, m->NumColumns() - 1, values);
    for (std::size_t r = 0; r < e.rows.size(); ++r)
      for (std::size_t c = 0; c < e.columns.size(); ++c)
        EXPECT_EQ(values.value(static_cast<int>(r), static_cast<int>(c)),
                  uma::sample::SampleValue(e.base, e.rows[r], e.columns[c]))
            << "row " << r << " column " << c;
  }

  std::shared_ptr<pfm::Model> m_model;
};

const int kRecovery = uma::sample::RecoveryMatrixType();

TEST_F(Retrieval, TrimsAndFiltersRunInOrderWithTheirBounds) {
  uma_System s("r", false);
  struct Case {
    int options;
    Lines calls;
  } cases[] = {
      {0, {}},
      {8, {}},  // no bit of meaning
      {1, {"InternalNodes", "FilterRowDofs"}},
      {2, {"NumStaticModes", "Restrict(0,7,0,4)"}},
      {4, {"NumSLoads", "Restrict(0,9,2,4)"}},
      {7,
       {"NumSLoads", "Restrict(0,9,2,4)", "NumStaticModes", "Restrict(0,7,0,2)", "InternalNodes",
        "FilterRowDofs"}},
      {7 | 8,
       {"NumSLoads", "Restrict(0,9,2,4)", "NumStaticModes", "Restrict(0,7,0,2)", "InternalNodes",
        "FilterRowDofs"}},
  };
  for (const Case& c : cases) {
    Journal();  // what checking the previous answer called
    Handle m(s.Matrix(kRecovery, c.options));
    EXPECT_EQ(Journal(), c.calls) << "options " << c.options;
    ExpectMatrix(m.get(), Recovery(c.options));
    EXPECT_TRUE(uma_TestAccess::Immutable(*m));
    EXPECT_EQ(uma_TestAccess::Owner(*m), &s);
  }
  // Options 7 in plain figures: modes 3..5 stay, dofs 2 and 12 go as static modes, dofs
  // 3 4 9 10 as those of internal nodes 2 and 5.
  Handle m(s.Matrix(kRecovery, 7));
  EXPECT_EQ(Array(m->MapRows(uma_Enum::uma_MapNode)), (std::vector<int>{106, 101, 103, 104}));
  EXPECT_EQ(Array(m->MapRows(uma_Enum::uma_MapDof)), (std::vector<int>{1, 1, 2, 1}));
  EXPECT_EQ(Array(m->MapColumns(uma_Enum::uma_MapNode)),
            (std::vector<int>{900000003, 900000004, 900000005}));
}

TEST_F(Retrieval, NodeColumnsAreFilteredBeforeNodeRowsAndOtherRowsNever) {
  uma_System s("r", false);
  for (int options : {1, 7}) {
    Journal();
    Handle m(s.Matrix(uma::sample::NodeMatrixType(), options));
    EXPECT_EQ(Journal(),
              (Lines{"InternalNodes", "FilterColNodes", "InternalNodes", "FilterRowNodes"}));
    ExpectMatrix(m.get(), NodeMatrix(options));
  }
  Journal();
  Handle elements(s.Matrix(uma::sample::ElementMatrixType(), 7));
  EXPECT_EQ(Journal(), (Lines{"InternalNodes", "FilterColNodes"}));
  EXPECT_EQ(elements->NumRows(), 3);
  EXPECT_EQ(Array(elements->MapColumns(uma_Enum::uma_MapNode)),
            (std::vector<int>{101, 103, 104, 106}));
  // Node rows and unlabelled columns: only the rows are filtered.
  Journal();
  Handle coordinates(s.Matrix(uma::sample::NodeCoordinatesType(), 7));
  EXPECT_EQ(Journal(), (Lines{"InternalNodes", "FilterRowNodes"}));
  EXPECT_EQ(Array(coordinates->MapRows(uma_Enum::uma_MapNode)),
            (std::vector<int>{101, 103, 104, 106}));
  EXPECT_EQ(coordinates->NumColumns(), 3);
}

TEST_F(Retrieval, LookupsByTypeAndByName) {
  uma_System s("r", true);
  EXPECT_TRUE(s.HasMatrix(kRecovery));
  EXPECT_FALSE(s.HasMatrix(ads_CoreFragmentTypeIndex(20, 99)));
  EXPECT_EQ(s.Matrix(ads_CoreFragmentTypeIndex(20, 99), 7), nullptr);
  EXPECT_EQ(s.GetMatrix(ads_CoreFragmentTypeIndex(20, 99)), nullptr);
  // The node coordinates come from their own lookup, not from the decoy of their type index.
  EXPECT_TRUE(s.HasMatrix(uma::sample::NodeCoordinatesType()));
  Handle coordinates(s.Matrix(uma::sample::NodeCoordinatesType(), 0));
  std::unique_ptr<uma_Matrix> writable(s.GetMatrix(uma::sample::NodeCoordinatesType()));
  EXPECT_EQ(coordinates->NumRows(), 6);
  EXPECT_EQ(writable->NumRows(), 6);
  // A distribution of another kind exists, is refused by Matrix, and given by GetMatrix.
  EXPECT_TRUE(s.HasMatrix(uma::sample::OtherKindType()));
  EXPECT_EQ(s.Matrix(uma::sample::OtherKindType(), 0), nullptr);
  EXPECT_EQ(s.Matrix(uma::sample::OtherKindType(), 7), nullptr);
  std::unique_ptr<uma_Matrix> other(s.GetMatrix(uma::sample::OtherKindType()));
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(other->NumRows(), 2);
  // The user matrix wins over the distribution of the same name; a distribution name alone
  // serves HasMatrix and Matrix but not GetMatrix.
  EXPECT_TRUE(s.HasMatrix("xShared"));
  Handle shared(s.Matrix("xShared", 0));
  std::unique_ptr<uma_Matrix> sharedWritable(s.GetMatrix("xShared"));
  EXPECT_EQ(shared->NumRows(), 2);
  EXPECT_EQ(sharedWritable->NumRows(), 2);
  EXPECT_TRUE(s.HasMatrix("xDistOnly"));
  Handle distOnly(s.Matrix("xDistOnly", 0));
  ASSERT_NE(distOnly, nullptr);
  EXPECT_EQ(distOnly->NumRows(), 3);
  EXPECT_EQ(s.GetMatrix("xDistOnly"), nullptr);
  for (const char* absent : {"absent", static_cast<const char*>(nullptr)}) {
    EXPECT_FALSE(s.HasMatrix(absent));
    EXPECT_EQ(s.Matrix(absent, 0), nullptr);
    EXPECT_EQ(s.GetMatrix(absent), nullptr);
  }
  EXPECT_EQ(uma_TestAccess::MakeMatrix(s, QOBSimDistributionID(), 0), nullptr);
}

TEST_F(Retrieval, GetMatrixIsWritableUnchangedAndForEditingOnly) {
  uma_System reading("r", false);
  EXPECT_TRUE(reading.HasMatrix(kRecovery));
  EXPECT_EQ(reading.GetMatrix(kRecovery), nullptr);
  EXPECT_EQ(reading.GetMatrix("xShared"), nullptr);
  uma_System editing("r", true);
  Journal();
  std::unique_ptr<uma_Matrix> m(editing.GetMatrix(kRecovery));
  EXPECT_EQ(Journal(), Lines{});
  EXPECT_FALSE(uma_TestAccess::Immutable(*m));
  EXPECT_EQ(uma_TestAccess::Owner(*m), &editing);
  ExpectMatrix(m.get(), Recovery(0));
}

TEST_F(Retrieval, NullHandlesAnswerNothing) {
  for (bool editable : {false, true}) {
    uma_System s("absent", editable);
    EXPECT_FALSE(s.HasMatrix(kRecovery));
    EXPECT_FALSE(s.HasMatrix("xShared"));
    EXPECT_EQ(s.Matrix(kRecovery, 7), nullptr);
    EXPECT_EQ(s.Matrix("xShared", 0), nullptr);
    EXPECT_EQ(s.GetMatrix(kRecovery), nullptr);
    EXPECT_EQ(s.GetMatrix("xShared"), nullptr);
  }
}

TEST_F(Retrieval, AStepAnsweringNullOrItselfLeavesTheMatrix) {
  uma_System s("r", false);
  for (pfm::Forced answer : {pfm::Forced::Null, pfm::Forced::Self}) {
    pfm::ResetHooks();
    pfm::hooks().restrictAnswer = answer;
    Handle trimmed(s.Matrix(kRecovery, 6));
    ExpectMatrix(trimmed.get(), Recovery(0));
    pfm::ResetHooks();
    pfm::hooks().filterAnswer = answer;
    pfm::ResetPeakDenseMatrices();
    Handle filtered(s.Matrix(uma::sample::NodeMatrixType(), 1));
    ExpectMatrix(filtered.get(), NodeMatrix(0));
    EXPECT_EQ(pfm::PeakDenseMatrices(), 2) << "the handle above and this one alone";
  }
}

TEST_F(Retrieval, NoMoreThanTwoDenseMatricesAreAlive) {
  uma_System s("r", false);
  for (int type : {kRecovery, uma::sample::NodeMatrixType()}) {
    pfm::ResetPeakDenseMatrices();
    const uma_Matrix* m = s.Matrix(type, 7);
    EXPECT_EQ(pfm::PeakDenseMatrices(), 2);
    EXPECT_EQ(pfm::LiveDenseMatrices(), 1);
    delete m;
    EXPECT_EQ(pfm::LiveDenseMatrices(), 0);
  }
}

TEST_F(Retrieval, NothingLeaksWhenAnAllocationFailsAnywhere) {
  uma_System s("r", false);
  long long live = pfm::Allocation().liveBlocks;
  int failures = 0;
  for (long long n = 1; n < 200; ++n) {
    pfm::FailAllocationAt(n);
    try {
      Handle m(s.Matrix(kRecovery, 7));
      pfm::FailAllocationAt(0);
      ExpectMatrix(m.get(), Recovery(7));
      break;
    } catch (const QOBBasOutOfMemory&) {
      ++failures;
    }
    pfm::FailAllocationAt(0);
    ASSERT_EQ(pfm::Allocation().liveBlocks, live) << "allocation " << n;
    ASSERT_EQ(pfm::LiveDenseMatrices(), 0) << "allocation " << n;
  }
  EXPECT_GE(failures, 5) << "the stored matrix, two trims, the filter and the handle";
}

TEST_F(Retrieval, TrimsBeyondTheMatrixAreSkippedAndTrimsToNothingGiveEmptyMatrices) {
  uma::sample::RetrievalSystem("over", 6, 11).Register();
  uma::sample::RetrievalSystem("wide", 5, 10).Register();
  uma::sample::RetrievalSystem("wild", 0, std::numeric_limits<int>::min()).Register();
  uma_System over("over", false), wide("wide", false), wild("wild", false);
  Journal();
  Handle loads(over.Matrix(kRecovery, 4));
  Handle modes(over.Matrix(kRecovery, 2));
  EXPECT_EQ(Journal(),
            (Lines{"NumSLoads", "Restrict(0,9,6,4)", "NumStaticModes", "Restrict(0,-2,0,4)"}));
  ExpectMatrix(loads.get(), Recovery(0));
  ExpectMatrix(modes.get(), Recovery(0));

  Journal();
  Handle empty(wide.Matrix(kRecovery, 7));
  EXPECT_EQ(Journal(), (Lines{"NumSLoads", "Restrict(0,9,5,4)", "NumStaticModes",
                              "Restrict(0,-1,0,-1)", "InternalNodes", "FilterRowDofs"}));
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->NumRows(), 0);
  EXPECT_EQ(empty->NumColumns(), 0);
  // A count far out of range makes a block the platform refuses, without wrapping around.
  Handle unchanged(wild.Matrix(kRecovery, 2));
  ExpectMatrix(unchanged.get(), Recovery(0));
}

TEST_F(Retrieval, WritesReachLaterHandlesOfTheSessionOnly) {
  uma_System editing("r", true);
  uma_System reading("r", false);
  Handle before(editing.Matrix(kRecovery, 7));
  std::unique_ptr<uma_Matrix> w(editing.GetMatrix(kRecovery));
  uma_IncoreMatrix one(1, 1, nullptr);
  one.value(0, 0) = 42.0;
  w->SetValues(0, 0, 2, 2, one);  // row 0 (dof 11) survives options 7, column 2 is mode 3

  auto at = [&one](const uma_Matrix* m, int r, int c) {
    m->GetValues(r, r, c, c, one);
    return one.value(0, 0);
  };
  std::unique_ptr<uma_Matrix> again(editing.GetMatrix(kRecovery));
  Handle after(editing.Matrix(kRecovery, 7));
  Handle elsewhere(reading.Matrix(kRecovery, 7));
  EXPECT_EQ(at(again.get(), 0, 2), 42.0);
  EXPECT_EQ(at(after.get(), 0, 0), 42.0);
  EXPECT_EQ(at(elsewhere.get(), 0, 0), uma::sample::SampleValue(1000, 0, 2))
      << "a model opened for reading";
  EXPECT_EQ(at(before.get(), 0, 0), uma::sample::SampleValue(1000, 0, 2))
      << "handed out before the write";
}

}  // namespace
