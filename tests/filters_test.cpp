// The platform's Restrict and node filters: which rows and columns they keep, the sets that
// label what they keep, and their null answers.
#include <initializer_list>
#include <memory>
#include <vector>

#include "QOBSspSubCore.h"
#include "pfm_TestAccess.h"
#include "uma_RetrievalModels.h"
#include "uma_SampleModels.h"
#include "uma_TestSupport.h"

namespace {

using Dense = std::unique_ptr<QOBSrvDenseMatrix>;

class Filters : public UmaTest {
 protected:
  void SetUp() override {
    UmaTest::SetUp();
    m_session = pfm::Sessions::Open(pfm::BuildModel(uma::sample::RetrievalSystem("f")), false).id;
  }
  void TearDown() override {
    pfm::Sessions::Close(m_session);
    UmaTest::TearDown();
  }

  Dense Stored(int type) {
    const pfm::SystemData& sys = pfm::Sessions::Find(m_session)->system();
    int index = type == uma::sample::NodeCoordinatesType() ? sys.nodeCoordinates
                                                      : sys.distributionByType.at(type);
    return std::make_unique<QOBSrvDenseMatrix>(pfm::ids::Distribution(m_session, index));
  }
  QOBFsmSystemDofDefinition Dofs() const {
    return QOBFsmSystemDofDefinition(QOBSimDSetID(m_session, pfm::ids::kDofSet, 0, 0, 0), 0, false);
  }
  static omi_BlkBitVect Internal(std::initializer_list<int> nodes) {
    omi_BlkBitVect bits;
    for (int n : nodes) bits.Set(n);
    return bits;
  }
  static std::vector<int> Members(const QOBSimCSetID& id) {
    QOBSimCSet set(id);
    std::vector<int> out(static_cast<std::size_t>(set.Size()));
    if (!out.empty()) set.OrderedMembers(out.data());
    return out;
  }
  // Checks every value of `m` against the stored matrix of `base` at the positions kept.
  static void ExpectValues(const QOBSrvDenseMatrix& m, int base, const std::vector<int>& rows,
                           const std::vector<int>& columns) {
    ASSERT_EQ(m.NumberOfRows(), static_cast<int>(rows.size()));
    ASSERT_EQ(m.NumberOfColumns(), static_cast<int>(columns.size()));
    QOBSrvMatrix out(m.NumberOfRows(), m.NumberOfColumns(), nullptr, false, false);
    m.GetValues(0, m.NumberOfRows() - 1, 0, m.NumberOfColumns() - 1, out);
    for (std::size_t c = 0; c < columns.size(); ++c)
      for (std::size_t r = 0; r < rows.size(); ++r)
        EXPECT_EQ(out.m_values[r + c * rows.size()],
                  uma::sample::SampleValue(base, rows[r], columns[c]));
  }

  int m_session = 0;
};

TEST_F(Filters, RowDofsKeepTheDofsOfExternalNodesAndLabelThem) {
  Dense recovery = Stored(uma::sample::RecoveryMatrixType());
  Dense kept(sub_Utilities::FilterRowDofs(recovery.get(), Internal({2, 5}), Dofs()));
  ASSERT_TRUE(kept);
  // Rows are dofs 11 1 3 4 9 10 6 7 2 12; nodes 2 (dofs 3, 4) and 5 (dofs 9, 10) are internal.
  EXPECT_EQ(Members(kept->RowCSet()), (std::vector<int>{11, 1, 6, 7, 2, 12}));
  EXPECT_EQ(Members(kept->ColumnCSet()), (std::vector<int>{1, 2, 3, 4, 5}));
  ExpectValues(*kept, 1000, {0, 1, 6, 7, 8, 9}, {0, 1, 2, 3, 4});
  ExpectValues(*recovery, 1000, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, {0, 1, 2, 3, 4});  // input intact
}

TEST_F(Filters, NodeRowsAndColumnsKeepExternalNodes) {
  Dense nodes = Stored(uma::sample::NodeMatrixType());  // rows nodes 6..1, columns nodes 1..6
  Dense columns(sub_Utilities::FilterColNodes(nodes.get(), Internal({2, 5})));
  ASSERT_TRUE(columns);
  EXPECT_EQ(Members(columns->ColumnCSet()), (std::vector<int>{1, 3, 4, 6}));
  ExpectValues(*columns, 2000, {0, 1, 2, 3, 4, 5}, {0, 2, 3, 5});
  Dense both(sub_Utilities::FilterRowNodes(columns.get(), Internal({2, 5})));
  ASSERT_TRUE(both);
  EXPECT_EQ(Members(both->RowCSet()), (std::vector<int>{6, 4, 3, 1}));
  ExpectValues(*both, 2000, {0, 2, 3, 5}, {0, 2, 3, 5});
}

TEST_F(Filters, NothingRemovedAnswersNullAndEverythingRemovedAnEmptyMatrix) {
  Dense nodes = Stored(uma::sample::NodeMatrixType());
  // No bits, and bits of no node of the matrix (0 and 7), remove nothing.
  EXPECT_EQ(sub_Utilities::FilterRowNodes(nodes.get(), omi_BlkBitVect()), nullptr);
  EXPECT_EQ(sub_Utilities::FilterColNodes(nodes.get(), Internal({0, 7, 4000})), nullptr);
  // A definition that knows no dof keeps them all.
  Dense recovery = Stored(uma::sample::RecoveryMatrixType());
  QOBFsmSystemDofDefinition unknown(QOBSimDSetID(), 0, false);
  EXPECT_EQ(sub_Utilities::FilterRowDofs(recovery.get(), Internal({1, 2, 3, 4, 5, 6}), unknown),
            nullptr);

  Dense none(sub_Utilities::FilterRowNodes(nodes.get(), Internal({1, 2, 3, 4, 5, 6})));
  ASSERT_TRUE(none);
  EXPECT_EQ(none->NumberOfRows(), 0);
  EXPECT_EQ(none->NumberOfColumns(), 6);
}

TEST_F(Filters, ASideOfAnotherKindIsNotFilteredAndNothingIsRead) {
  omi_BlkBitVect all = Internal({1, 2, 3, 4, 5, 6});
  Dense nodes = Stored(uma::sample::NodeMatrixType());
  Dense recovery = Stored(uma::sample::RecoveryMatrixType());
  Dense elements = Stored(uma::sample::ElementMatrixType());
  Dense coordinates = Stored(uma::sample::NodeCoordinatesType());
  EXPECT_EQ(sub_Utilities::FilterRowDofs(nodes.get(), all, Dofs()), nullptr);  // node rows
  EXPECT_EQ(sub_Utilities::FilterRowNodes(recovery.get(), all), nullptr);      // dof rows
  EXPECT_EQ(sub_Utilities::FilterColNodes(recovery.get(), all), nullptr);      // mode columns
  EXPECT_EQ(sub_Utilities::FilterRowNodes(elements.get(), all), nullptr);      // element rows
  EXPECT_EQ(sub_Utilities::FilterColNodes(coordinates.get(), all), nullptr);   // unlabelled
  EXPECT_EQ(sub_Utilities::FilterColNodes(nullptr, all), nullptr);
}

TEST_F(Filters, ForcedAnswersAreJournalled) {
  pfm::Journal::Enable(true);
  Dense nodes = Stored(uma::sample::NodeMatrixType());
  pfm::hooks().filterAnswer = pfm::Forced::Null;
  EXPECT_EQ(sub_Utilities::FilterColNodes(nodes.get(), Internal({2})), nullptr);
  pfm::hooks().filterAnswer = pfm::Forced::Self;
  EXPECT_EQ(sub_Utilities::FilterRowNodes(nodes.get(), Internal({2})), nodes.get());
  EXPECT_EQ(sub_Utilities::FilterRowDofs(nodes.get(), Internal({2}), Dofs()), nodes.get());
  EXPECT_EQ(Journal(),
            (std::vector<std::string>{"FilterColNodes", "FilterRowNodes", "FilterRowDofs"}));
}

TEST_F(Filters, AFilteredMatrixIsDetachedFromTheStoredOne) {
  Dense nodes = Stored(uma::sample::NodeMatrixType());
  Dense kept(sub_Utilities::FilterRowNodes(nodes.get(), Internal({6})));
  ASSERT_TRUE(kept);
  double written = -7.0;
  QOBSrvMatrix one(1, 1, &written, false, false);
  kept->SetValues(0, 0, 0, 0, one);
  ExpectValues(*nodes, 2000, {0, 1, 2, 3, 4, 5}, {0, 1, 2, 3, 4, 5});
  QOBSrvMatrix back(1, 1, nullptr, false, false);
  kept->GetValues(0, 0, 0, 0, back);
  EXPECT_EQ(back.m_values[0], -7.0);
}

TEST_F(Filters, RestrictAnswersEveryFittingBlockAndNullOtherwise) {
  pfm::Journal::Enable(true);
  Dense recovery = Stored(uma::sample::RecoveryMatrixType());  // 10 x 5
  Dense block(recovery->Restrict(2, 4, 1, 3));
  ASSERT_TRUE(block);
  EXPECT_EQ(Members(block->RowCSet()), (std::vector<int>{3, 4, 9}));
  EXPECT_EQ(Members(block->ColumnCSet()), (std::vector<int>{2, 3, 4}));
  ExpectValues(*block, 1000, {2, 3, 4}, {1, 2, 3});
  Dense full(recovery->Restrict(0, 9, 0, 4));
  ASSERT_TRUE(full);
  EXPECT_NE(full.get(), recovery.get());
  ExpectValues(*full, 1000, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, {0, 1, 2, 3, 4});

  Dense noRows(recovery->Restrict(0, -1, 0, 4));
  Dense noColumns(recovery->Restrict(0, 9, 5, 4));
  ASSERT_TRUE(noRows && noColumns);
  EXPECT_EQ(noRows->NumberOfRows(), 0);
  EXPECT_EQ(noColumns->NumberOfColumns(), 0);
  EXPECT_EQ(noColumns->NumberOfRows(), 10);

  EXPECT_EQ(recovery->Restrict(0, -2, 0, 4), nullptr);  // reversed further
  EXPECT_EQ(recovery->Restrict(0, 9, 6, 4), nullptr);   // starts past the end
  EXPECT_EQ(recovery->Restrict(0, 10, 0, 4), nullptr);  // ends past the end
  EXPECT_EQ(recovery->Restrict(-1, 9, 0, 4), nullptr);
  EXPECT_EQ(Journal().front(), "Restrict(2,4,1,3)");
}

}  // namespace
