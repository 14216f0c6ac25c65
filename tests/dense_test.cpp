// The platform's matrices: block copies that never leave their operands, overlapping copies in
// one array, and derived stored matrices that are detached and labelled by their own sets.
#include <memory>
#include <numeric>
#include <vector>

#include "QOBSimAPI.h"
#include "uma_DenseFixture.h"

namespace {

using Values = std::vector<double>;
using Dense = std::unique_ptr<QOBSrvDenseMatrix>;

// Blocks of a 3 x 2 matrix that lie outside it or are reversed.
const int kBadBlocks[][4] = {{-1, 0, 0, 0}, {0, 3, 0, 0}, {0, 0, -1, 0},
                             {0, 0, 0, 2},  {2, 1, 0, 0}, {0, 0, 1, 0}};

class MatrixServices : public DenseTest {
 protected:
  void SetUp() override {
    DenseTest::SetUp();
    Register();
  }
  static Values Read(const QOBSrvDenseMatrix& d) {
    QOBSrvMatrix out(d.NumberOfRows(), d.NumberOfColumns(), nullptr, false, false);
    if (d.NumberOfRows() > 0 && d.NumberOfColumns() > 0)
      d.GetValues(0, d.NumberOfRows() - 1, 0, d.NumberOfColumns() - 1, out);
    return Values(out.m_values, out.m_values + d.NumberOfRows() * d.NumberOfColumns());
  }
  static void Put(QOBSrvDenseMatrix& d, int r, int c, double value) {
    QOBSrvMatrix one(1, 1, &value, false, false);
    d.SetValues(r, r, c, c, one);
  }
  static std::vector<int> Members(const QOBSimCSetID& id) {
    QOBSimCSet set(id);
    std::vector<int> out(static_cast<std::size_t>(set.Size()));
    set.OrderedMembers(out.data());
    return out;
  }
  static int KindOf(const QOBSimCSetID& id) {
    return QOBSimPosition(QOBSimDynamicID(QOBSimCollectionID(id))).TypePosition();
  }
};

TEST_F(MatrixServices, IncoreBlocksOutsideReversedOrWithTooSmallOperandsThrow) {
  double a[] = {1, 2, 3, 4, 5, 6};
  QOBSrvMatrix m(3, 2, a, false, false);
  QOBSrvMatrix other(3, 2, nullptr, false, false);
  for (const auto& b : kBadBlocks) {
    EXPECT_THROW(m.GetValues(b[0], b[1], b[2], b[3], other), QOBBasError);
    EXPECT_THROW(m.SetValues(b[0], b[1], b[2], b[3], other), QOBBasError);
    EXPECT_THROW(m.SetValues(b[0], b[1], b[2], b[3], a), QOBBasError);
  }
  QOBSrvMatrix small(2, 2, nullptr, false, false);
  EXPECT_THROW(m.GetValues(0, 2, 0, 1, small), QOBBasError);
  EXPECT_THROW(m.SetValues(0, 2, 0, 0, small), QOBBasError);
  EXPECT_THROW(m.SetValues(0, 0, 0, 0, static_cast<const double*>(nullptr)), QOBBasError);
  EXPECT_EQ(Values(a, a + 6), (Values{1, 2, 3, 4, 5, 6}));
  try {
    m.GetValues(0, 3, 0, 0, other);
  } catch (const QOBBasError& e) {
    EXPECT_STREQ(e.what(), "GetValues: the block lies outside the 3 x 2 matrix");
  }
}

TEST_F(MatrixServices, StoredBlocksOutsideReversedOrWithTooSmallOperandsThrow) {
  uma_System s("m", true);
  Dense d(NewDense(s, kKinds));  // 2 x 3
  QOBSrvMatrix in(3, 3, nullptr, false, false);
  for (const auto& b :
       {std::vector<int>{-1, 0, 0, 0}, {0, 2, 0, 0}, {0, 0, 0, 3}, {1, 0, 0, 0}, {0, 0, 2, 1}}) {
    EXPECT_THROW(d->GetValues(b[0], b[1], b[2], b[3], in), QOBBasError);
    EXPECT_THROW(d->SetValues(b[0], b[1], b[2], b[3], in), QOBBasError);
  }
  QOBSrvMatrix small(1, 3, nullptr, false, false);
  EXPECT_THROW(d->GetValues(0, 1, 0, 0, small), QOBBasError);
  EXPECT_THROW(d->SetValues(0, 1, 0, 0, small), QOBBasError);
  EXPECT_EQ(Read(*d), Values(6, 0.0));
}

TEST_F(MatrixServices, OverlappingCopiesWithinOneArrayUseTheValuesHeldBefore) {
  double a[16];
  std::iota(a, a + 16, 0.0);
  const Values before(a, a + 16);
  QOBSrvMatrix m(4, 4, a, false, false);
  auto old = [&](int r, int c) { return before[static_cast<std::size_t>(r + 4 * c)]; };
  m.SetValues(1, 3, 1, 3, m);  // down and right by one
  for (int c = 1; c < 4; ++c)
    for (int r = 1; r < 4; ++r) EXPECT_EQ(a[r + 4 * c], old(r - 1, c - 1)) << r << "," << c;
  std::copy(before.begin(), before.end(), a);
  m.GetValues(1, 3, 1, 3, m);  // up and left by one
  for (int c = 0; c < 3; ++c)
    for (int r = 0; r < 3; ++r) EXPECT_EQ(a[r + 4 * c], old(r + 1, c + 1)) << r << "," << c;
  std::copy(before.begin(), before.end(), a);
  m.SetValues(1, 2, 0, 1, a);  // from the array's first four values, which the block overlaps
  EXPECT_EQ((Values{a[1], a[2], a[5], a[6]}), (Values{0, 1, 2, 3}));
}

TEST_F(MatrixServices, DerivedMatricesAreDetachedFromTheStoredOne) {
  uma_System s("m", true);
  Dense stored(NewDense(s, kLabelled));
  Dense sub(stored->Submatrix(1, 3, 0, 1));
  Dense restricted(stored->Restrict(0, 4, 1, 2));
  ASSERT_TRUE(sub && restricted);
  const Values subBefore = Read(*sub), restrictedBefore = Read(*restricted);
  Put(*stored, 1, 1, -1);  // in both derived blocks
  EXPECT_EQ(Read(*sub), subBefore);
  EXPECT_EQ(Read(*restricted), restrictedBefore);
  Put(*sub, 0, 0, -2);         // stored (1, 0)
  Put(*restricted, 2, 0, -3);  // stored (2, 1)
  EXPECT_EQ(Read(*stored)[1], At(1, 0));
  EXPECT_EQ(Read(*stored)[2 + 5], At(2, 1));
  EXPECT_EQ(Read(*stored)[1 + 5], -1);
}

TEST_F(MatrixServices, DerivedMatricesOfAModelOpenForReadingTakeWritesOfTheirOwn) {
  uma_System s("m", false);
  Dense stored(NewDense(s, kLabelled));
  Dense sub(stored->Submatrix(0, 1, 0, 0));
  Put(*sub, 1, 0, -1);
  EXPECT_EQ(Read(*sub), (Values{At(0, 0), -1}));
  EXPECT_EQ(Read(*stored)[1], At(1, 0));
  EXPECT_THROW(Put(*stored, 1, 0, -1), QOBBasError) << "the stored matrix is read-only";
}

TEST_F(MatrixServices, ALeadingBlockOfADetachedMatrixKeepsItsLayoutWhenWritten) {
  uma_System s("m", false);
  Dense stored(NewDense(s, kLabelled));
  Dense parent(stored->Submatrix(0, 4, 0, 2));
  Put(*parent, 4, 2, -1);  // now values of its own
  Dense child(parent->Submatrix(0, 1, 0, 1));
  parent.reset();  // the child alone holds those values
  Put(*child, 0, 1, -2);
  EXPECT_EQ(Read(*child), (Values{At(0, 0), At(1, 0), -2, At(1, 1)}));
}

TEST_F(MatrixServices, DerivedMatricesStayDetachedWhenAnotherSessionCommits) {
  uma_System reader("m", false);
  Dense stored(NewDense(reader, kLabelled));
  Dense sub(stored->Submatrix(0, 1, 0, 0));
  {
    uma_System editor("m", true);
    Dense written(NewDense(editor, kLabelled));
    Put(*written, 0, 0, -1);
  }  // closing the editing session commits the write to the model
  EXPECT_EQ(Read(*stored)[0], -1) << "the model changed";
  EXPECT_EQ(Read(*sub), (Values{At(0, 0), At(1, 0)})) << "the derived matrix did not";
}

TEST_F(MatrixServices, DerivedSetsLabelExactlyTheRowsAndColumnsKept) {
  uma_System s("m", false);
  Dense stored(NewDense(s, kLabelled));
  Dense sub(stored->Submatrix(1, 3, 1, 2));
  EXPECT_EQ(Members(sub->RowCSet()), (std::vector<int>{5, 1, 4}));
  EXPECT_EQ(Members(sub->ColumnCSet()), (std::vector<int>{1, 2}));
  EXPECT_EQ(KindOf(sub->RowCSet()), KindOf(stored->RowCSet()));
  EXPECT_EQ(KindOf(sub->ColumnCSet()), KindOf(stored->ColumnCSet()));
  Dense subOfSub(sub->Submatrix(1, 2, 1, 1));
  EXPECT_EQ(Members(subOfSub->RowCSet()), (std::vector<int>{1, 4}));
  EXPECT_EQ(Members(subOfSub->ColumnCSet()), (std::vector<int>{2}));
  EXPECT_EQ(Read(*subOfSub), (Values{At(2, 2), At(3, 2)}));
  // Restricting away every column leaves a matrix without columns and an empty column set.
  Dense noColumns(stored->Restrict(0, 4, 3, 2));
  ASSERT_NE(noColumns, nullptr);
  EXPECT_EQ(noColumns->NumberOfColumns(), 0);
  EXPECT_EQ(Members(noColumns->RowCSet()), (std::vector<int>{2, 5, 1, 4, 3}));
  EXPECT_TRUE(Members(noColumns->ColumnCSet()).empty());
}

TEST_F(MatrixServices, BlocksThatCannotBeCutAnswerNull) {
  uma_System s("m", false);
  Dense stored(NewDense(s, kLabelled));
  for (const auto& b : {std::vector<int>{0, 5, 0, 0}, {-1, 0, 0, 0}, {3, 1, 0, 0}, {0, 0, 2, 3}}) {
    EXPECT_EQ(Dense(stored->Restrict(b[0], b[1], b[2], b[3])), nullptr);
    EXPECT_EQ(Dense(stored->Submatrix(b[0], b[1], b[2], b[3])), nullptr);
  }
  EXPECT_EQ(Dense(stored->Submatrix(2, 1, 0, 0)), nullptr) << "an empty block";
  Dense unnamed(new QOBSrvDenseMatrix(QOBSimDistributionID()));
  EXPECT_TRUE(unnamed->IsNull());
  EXPECT_EQ(Dense(unnamed->Submatrix(0, 0, 0, 0)), nullptr);
}

}  // namespace

namespace {

TEST_F(MatrixServices, AnEditSessionHoldsOnlyTheColumnsWrittenAndCommitsThemAtClose) {
  {
    uma_System editor("m", true);
    Dense stored(NewDense(editor, kLabelled));
    QOBSrvMatrix block(2, 1, nullptr, false, false);
    block.m_values[0] = -1;
    block.m_values[1] = -2;
    stored->SetValues(3, 4, 1, 1, block);
    const pfm::Overlay& edits = pfm::Sessions::Find(SessionOf(editor))->overlay;
    ASSERT_EQ(edits.size(), 1u);
    EXPECT_EQ(edits.at(kLabelled).size(), 1u) << "one column of three";
    Values seen = Read(*stored);
    EXPECT_EQ(seen[3 + 5], -1);
    EXPECT_EQ(seen[4 + 5], -2);
    EXPECT_EQ(seen[0 + 5], At(0, 1)) << "the rest of the column comes from the store";
    EXPECT_EQ(seen[2 * 5], At(0, 2));
    uma_System reader("m", false);
    EXPECT_EQ(Read(*Dense(NewDense(reader, kLabelled)))[3 + 5], At(3, 1)) << "not before the close";
  }
  uma_System after("m", false);
  Values committed = Read(*Dense(NewDense(after, kLabelled)));
  EXPECT_EQ(committed[3 + 5], -1);
  EXPECT_EQ(committed[4 + 5], -2);
  EXPECT_EQ(committed[2 + 5], At(2, 1));
}

}  // namespace

namespace {

TEST_F(MatrixServices, DerivedSetsGoWithTheLastMatrixThatUsesThem) {
  uma_System s("m", false);
  Dense stored(NewDense(s, kLabelled));
  const pfm::DerivedSets& derived = pfm::Sessions::Find(SessionOf(s))->derived;
  QOBSimCSetID freed;
  for (int first = 0; first < 4; ++first) {
    Dense a(stored->Submatrix(first, 4, 0, 2));
    Dense b(stored->Submatrix(first, 4, 0, 2));  // same members: the sets are shared
    Dense c(a->Submatrix(0, 0, 1, 1));
    EXPECT_EQ(a->RowCSet(), b->RowCSet());
    freed = c->RowCSet();
    EXPECT_EQ(Members(freed), (std::vector<int>{Members(stored->RowCSet())[first]}));
  }
  std::size_t live = 0;
  for (const pfm::DerivedSet& d : derived.slots) live += d.users > 0;
  EXPECT_EQ(live, 0u) << "every derived set went with its matrices";
  EXPECT_LE(derived.slots.size(), 4u) << "freed slots are reused";
  EXPECT_TRUE(Members(freed).empty()) << "an id of a freed set reads as an empty set";
  Dense again(stored->Submatrix(0, 0, 0, 0));
  EXPECT_TRUE(Members(freed).empty()) << "also once its slot holds another set";
}

}  // namespace
