// The matrix handle over stored and in-core storage: block copies, submatrices, and the
// classification and mapping of rows and columns.
#include <climits>
#include <initializer_list>
#include <memory>
#include <type_traits>
#include <vector>

#include "uma_ArrayInt.h"
#include "uma_DenseFixture.h"

namespace {

using Values = std::vector<double>;
using Ints = std::vector<int>;
using Map = uma_Enum::uma_MapTypeEnum;

static_assert(!std::is_copy_constructible_v<uma_Matrix> && !std::is_copy_assignable_v<uma_Matrix>);
static_assert(!std::is_copy_constructible_v<uma_IncoreMatrix> &&
              !std::is_copy_assignable_v<uma_IncoreMatrix>);

const std::initializer_list<Map> kAllTypes = {uma_Enum::uma_MapDof, uma_Enum::uma_MapMode,
                                              uma_Enum::uma_MapNode, uma_Enum::uma_MapElement,
                                              uma_Enum::uma_MapInternal};

// The elements of a mapping answer, which the test then owns; "null" stands for a null answer.
Ints Elements(uma_ArrayInt* answer) { return TakeLabels(answer).value_or(Ints{INT_MIN}); }
const Ints null = {INT_MIN};

// The buffer-returning block read, released after reading.
Values Buffered(const uma_Matrix& m, int r0, int r1, int c0, int c1) {
  double* buffer = uma_TestAccess::GetValues(m, r0, r1, c0, c1);
  if (!buffer) return {};
  Values out(buffer, buffer + (r1 - r0 + 1) * (c1 - c0 + 1));
  mem_Free(buffer);
  return out;
}

class MatrixHandle : public DenseTest {
 protected:
  void SetUp() override {
    DenseTest::SetUp();
    Register();
  }
};

TEST_F(MatrixHandle, BufferedBlockHoldsTheRowsOfEachColumnInTurn) {
  uma_System s("m", false);
  auto dense = ReadOnly(s, kLabelled);
  Values expected = {At(2, 0), At(3, 0), At(4, 0), At(2, 1), At(3, 1), At(4, 1)};
  EXPECT_EQ(Buffered(*dense, 2, 4, 0, 1), expected);
  Values all = All(*dense);
  uma_IncoreMatrix incore(5, 3, all.data());
  EXPECT_EQ(Buffered(incore, 2, 4, 0, 1), expected);
}

TEST_F(MatrixHandle, EmptyOrReversedBufferedBlockFailsItsAssertion) {
  uma_System s("m", false);
  auto m = ReadOnly(s, kLabelled);
  const char* report =
      "^Assertion failed: dimRows > 0 && dimCols > 0\nFile uma/impl/uma_Matrix.cpp, line 86\n$";
  EXPECT_DEATH(
      {
        aio_cerr.redirect(nullptr);
        uma_TestAccess::GetValues(*m, 3, 2, 0, 0);
      },
      report);
  EXPECT_DEATH(
      {
        aio_cerr.redirect(nullptr);
        uma_TestAccess::GetValues(*m, 0, 0, 1, 0);
      },
      report);
}

TEST_F(MatrixHandle, NullHandlesAnswerNullWithoutAsserting) {
  uma_System s("m", false);
  std::unique_ptr<uma_Matrix> unnamed(
      uma_TestAccess::ReadOnly(new QOBSrvDenseMatrix(QOBSimDistributionID()), &s));
  std::unique_ptr<uma_Matrix> none(uma_TestAccess::ReadOnly(nullptr, &s));
  for (uma_Matrix* m : {unnamed.get(), none.get()}) {
    EXPECT_TRUE(m->IsNull());
    EXPECT_EQ(m->NumRows(), 0);
    EXPECT_EQ(m->NumColumns(), 0);
    EXPECT_EQ(uma_TestAccess::GetValues(*m, 3, 2, 0, 0), nullptr);
    EXPECT_EQ(m->TypeRows(), uma_Enum::uma_MapInternal);
    EXPECT_EQ(Elements(m->MapColumns(uma_Enum::uma_MapInternal)), null);
  }
  // Without storage the copies do nothing; a stored matrix that names nothing is asked as usual.
  double a[] = {1, 2, 3, 4};
  uma_IncoreMatrix in(2, 2, a);
  none->GetValues(0, 1, 0, 1, in);
  none->SetValues(0, 1, 0, 1, in);
  EXPECT_EQ(Values(a, a + 4), (Values{1, 2, 3, 4}));
  EXPECT_EQ(none->Submatrix(0, 0, 0, 0), nullptr);
  EXPECT_THROW(unnamed->GetValues(0, 0, 0, 0, in), QOBBasError);
}

TEST_F(MatrixHandle, BlocksTooLargeFor32BitsFailInTheAllocator) {
  double a[4] = {};
  uma_IncoreMatrix m(2, 2, a);
  EXPECT_THROW(uma_TestAccess::GetValues(m, 0, 65535, 0, 65536), QOBBasOutOfMemory);
  EXPECT_EQ(pfm::Allocation().lastRequest, 0xFFFFFFFFu);
  EXPECT_THROW(uma_TestAccess::GetValues(m, INT_MIN, INT_MAX, INT_MIN, INT_MAX), QOBBasOutOfMemory);
  EXPECT_EQ(pfm::Allocation().lastRequest, 0xFFFFFFFFu);
}

TEST_F(MatrixHandle, ABlockOutsideTheMatrixThrowsAndReleasesItsBuffer) {
  uma_System s("m", false);
  auto m = ReadOnly(s, kLabelled);
  EXPECT_THROW(uma_TestAccess::GetValues(*m, 0, 5, 0, 0), QOBBasError);
  EXPECT_THROW(uma_TestAccess::GetValues(*m, -1, 0, 0, 0), QOBBasError);
}  // the fixture checks that no block stays allocated

TEST_F(MatrixHandle, BlocksCopyBetweenStoredAndIncoreMatrices) {
  uma_System s("m", true);
  auto m = Writable(s, kLabelled);
  EXPECT_FALSE(uma_TestAccess::Immutable(*m));
  double a[] = {-1, -2, -3, -4};
  uma_IncoreMatrix in(2, 2, a);
  m->SetValues(3, 4, 1, 2, in);
  EXPECT_EQ(Block(*m, 3, 4, 1, 2), Values(a, a + 4));
  EXPECT_EQ(Block(*ReadOnly(s, kLabelled), 3, 4, 1, 2), Values(a, a + 4))
      << "the stored matrix took it";
  EXPECT_EQ(Block(*m, 0, 2, 0, 2), Buffered(*ReadOnly(s, kLabelled), 0, 2, 0, 2));
  EXPECT_EQ(Block(*m, 0, 0, 0, 0), Values{At(0, 0)}) << "outside the block nothing changed";
  // A larger destination receives the block from its element (0, 0), in its own layout.
  uma_IncoreMatrix big(3, 2, nullptr);
  m->GetValues(0, 1, 0, 1, big);
  EXPECT_EQ(Values(big.Values(), big.Values() + 6),
            (Values{At(0, 0), At(1, 0), 0, At(0, 1), At(1, 1), 0}));
}

TEST_F(MatrixHandle, CopiesWithAnIncoreMatrixWithoutStorageDoNothing) {
  uma_System s("m", true);
  auto m = Writable(s, kLabelled);
  Values before = All(*m);
  uma_IncoreMatrix none(static_cast<QOBSrvMatrix*>(nullptr));
  m->GetValues(0, 1, 0, 1, none);
  m->SetValues(0, 1, 0, 1, none);
  EXPECT_EQ(All(*m), before);
  double a[] = {1, 2, 3, 4};
  uma_IncoreMatrix incore(2, 2, a);
  incore.GetValues(0, 1, 0, 1, none);
  static_cast<uma_Matrix&>(incore).SetValues(0, 1, 0, 1, none);
  EXPECT_EQ(Values(a, a + 4), (Values{1, 2, 3, 4}));
}

TEST_F(MatrixHandle, AnIncoreHandleHasNoSubmatrixNoKindsAndNoLabels) {
  double a[] = {1, 2, 3, 4, 5, 6};
  uma_IncoreMatrix m(2, 3, a);
  EXPECT_FALSE(m.IsNull());
  EXPECT_EQ(m.NumRows(), 2);
  EXPECT_EQ(m.NumColumns(), 3);
  EXPECT_EQ(m.Submatrix(0, 1, 0, 1), nullptr);
  EXPECT_EQ(m.TypeRows(), uma_Enum::uma_MapInternal);
  EXPECT_EQ(m.TypeColumns(), uma_Enum::uma_MapInternal);
  for (Map type : kAllTypes) {
    EXPECT_EQ(Elements(m.MapRows(type)), null);
    EXPECT_EQ(Elements(m.MapColumns(type)), null);
  }
}

TEST_F(MatrixHandle, SubmatrixIsAReadOnlyDetachedCopySharingTheOwner) {
  uma_System s("m", true);
  auto m = Writable(s, kLabelled);
  std::unique_ptr<uma_Matrix> sub(m->Submatrix(1, 3, 1, 2));
  ASSERT_NE(sub, nullptr);
  EXPECT_TRUE(uma_TestAccess::Immutable(*sub));
  EXPECT_EQ(uma_TestAccess::Owner(*sub), &s);
  EXPECT_EQ(All(*sub), (Values{At(1, 1), At(2, 1), At(3, 1), At(1, 2), At(2, 2), At(3, 2)}));
  // Its rows and columns keep their labels: dofs 5, 1, 4 and modes 1, 2.
  EXPECT_EQ(sub->TypeRows(), uma_Enum::uma_MapDof);
  EXPECT_EQ(Elements(sub->MapRows(uma_Enum::uma_MapInternal)), (Ints{5, 1, 4}));
  EXPECT_EQ(Elements(sub->MapRows(uma_Enum::uma_MapNode)), (Ints{105, 101, 104}));
  EXPECT_EQ(Elements(sub->MapColumns(uma_Enum::uma_MapInternal)), (Ints{1, 2}));
  // Writing the source after the cut does not reach the submatrix, nor the other way round.
  double minus[] = {-1};
  uma_IncoreMatrix one(1, 1, minus);
  m->SetValues(2, 2, 1, 1, one);
  EXPECT_EQ(Block(*sub, 1, 1, 0, 0), Values{At(2, 1)});
  sub->SetValues(0, 0, 0, 0, one);
  EXPECT_EQ(Block(*m, 1, 1, 1, 1), Values{At(1, 1)});
  sub.reset();
  EXPECT_EQ(Block(*m, 1, 2, 1, 1), (Values{At(1, 1), -1}));
}

TEST_F(MatrixHandle, SubmatrixOutsideOrReversedIsANullHandle) {
  uma_System s("m", false);
  auto m = ReadOnly(s, kLabelled);
  for (auto block : {std::vector<int>{0, 5, 0, 0}, {2, 1, 0, 0}, {0, 0, -1, 0}}) {
    std::unique_ptr<uma_Matrix> sub(m->Submatrix(block[0], block[1], block[2], block[3]));
    ASSERT_NE(sub, nullptr);
    EXPECT_TRUE(sub->IsNull());
    EXPECT_TRUE(uma_TestAccess::Immutable(*sub));
  }
  EXPECT_EQ(All(*m).size(), 15u);
}

TEST_F(MatrixHandle, NothingLeaksWhenAnAllocationFailsInSubmatrixOrMapping) {
  uma_System s("m", false);
  auto m = ReadOnly(s, kLabelled);
  int live = pfm::LiveDenseMatrices();
  for (long long n = 1;; ++n) {
    long long blocks = pfm::Allocation().liveBlocks;
    pfm::FailAllocationAt(n);
    try {
      std::unique_ptr<uma_Matrix> sub(m->Submatrix(0, 1, 0, 1));
      EXPECT_EQ(Elements(sub->MapRows(uma_Enum::uma_MapNode)), (Ints{101, 105}));
      break;
    } catch (const QOBBasOutOfMemory&) {
      EXPECT_EQ(pfm::Allocation().liveBlocks, blocks) << "failing allocation " << n;
      EXPECT_EQ(pfm::LiveDenseMatrices(), live) << "failing allocation " << n;
    }
  }
  pfm::FailAllocationAt(0);
}

TEST_F(MatrixHandle, InternalMembersNeedNoSystem) {
  uma_System s("m", false);
  uma_System absent("absent", false);
  std::unique_ptr<uma_Matrix> orphan(uma_TestAccess::ReadOnly(NewDense(s, kOpaque), nullptr));
  std::unique_ptr<uma_Matrix> ofNull(uma_TestAccess::ReadOnly(NewDense(s, kOpaque), &absent));
  for (uma_Matrix* m : {orphan.get(), ofNull.get()}) {
    EXPECT_EQ(Elements(m->MapRows(uma_Enum::uma_MapInternal)), (Ints{7, 3, 9}));
    EXPECT_EQ(Elements(m->MapRows(uma_Enum::uma_MapNode)), null) << "labels need a system";
    EXPECT_EQ(Elements(m->MapColumns(uma_Enum::uma_MapInternal)), null)
        << "the columns have no set";
  }
}

TEST_F(MatrixHandle, AnEmptyRowSetMapsToNullWithoutAskingTheSystem) {
  uma_System s("m", false);
  auto empty = ReadOnly(s, kEmptyRows);
  auto kinds = ReadOnly(s, kKinds);
  pfm::Journal::Enable(true);
  for (Map type : kAllTypes) EXPECT_EQ(Elements(empty->MapRows(type)), null);
  EXPECT_TRUE(Journal().empty());
  EXPECT_EQ(Elements(kinds->MapColumns(uma_Enum::uma_MapNode)), (Ints{104, 102, 105}));
  EXPECT_EQ(Journal(), std::vector<std::string>{"MapNode2Node"});
}

TEST_F(MatrixHandle, RowsAndColumnsAreClassifiedAndMappedByWhatTheirSetsHold) {
  uma_System s("m", false);
  auto labelled = ReadOnly(s, kLabelled);
  auto kinds = ReadOnly(s, kKinds);
  auto opaque = ReadOnly(s, kOpaque);
  EXPECT_EQ(labelled->TypeRows(), uma_Enum::uma_MapDof);
  EXPECT_EQ(labelled->TypeColumns(), uma_Enum::uma_MapMode);
  EXPECT_EQ(kinds->TypeRows(), uma_Enum::uma_MapElement);
  EXPECT_EQ(kinds->TypeColumns(), uma_Enum::uma_MapNode);
  EXPECT_EQ(opaque->TypeRows(), uma_Enum::uma_MapInternal) << "a set of another kind";
  EXPECT_EQ(opaque->TypeColumns(), uma_Enum::uma_MapInternal) << "no set";
  EXPECT_EQ(uma_TestAccess::TypeCSet(*labelled, QOBSimCSetID()), uma_Enum::uma_MapInternal);
  // Every kind but internal numbers comes from the system, as the set's kind allows.
  EXPECT_EQ(Elements(labelled->MapRows(uma_Enum::uma_MapNode)), (Ints{101, 105, 101, 104, 102}));
  EXPECT_EQ(Elements(labelled->MapRows(uma_Enum::uma_MapDof)), (Ints{2, 6, 1, 1, 3}));
  EXPECT_EQ(Elements(labelled->MapColumns(uma_Enum::uma_MapNode)), (Ints{105, 101, 104}));
  EXPECT_EQ(Elements(labelled->MapColumns(uma_Enum::uma_MapElement)), null);
  EXPECT_EQ(Elements(kinds->MapRows(uma_Enum::uma_MapElement)), (Ints{901, 900}));
  EXPECT_EQ(Elements(kinds->MapRows(uma_Enum::uma_MapMode)), null);
}

}  // namespace
