// The in-core matrix: element access over the caller's array or storage of its own, the three
// loaders, and a matrix without storage.
#include <climits>
#include <memory>
#include <numeric>
#include <vector>

#include "uma_IncoreMatrix.h"
#include "uma_TestSupport.h"

namespace {

using Values = std::vector<double>;

class IncoreMatrix : public UmaTest {
 protected:
  static Values Of(const uma_IncoreMatrix& m) {
    return Values(m.Values(), m.Values() + m.NumRows() * m.NumColumns());
  }
};

TEST_F(IncoreMatrix, WorksInPlaceOnTheCallersArray) {
  auto array = std::make_unique<double[]>(6);
  std::iota(array.get(), array.get() + 6, 1.0);
  {
    uma_IncoreMatrix m(2, 3, array.get());
    const uma_IncoreMatrix& view = m;
    EXPECT_EQ(view.Values(), array.get());
    EXPECT_FALSE(m.IsNull());
    EXPECT_EQ(view.value(1, 0), 2);
    EXPECT_EQ(view.value(0, 1), 3);
    EXPECT_EQ(view.value(1, 2), 6);
    m.value(0, 2) = 9;
    EXPECT_EQ(array[4], 9);
  }
  EXPECT_EQ(array[5], 6) << "the array outlives the matrix untouched";
}

TEST_F(IncoreMatrix, ANullArrayGivesZeroedStorageOfItsOwn) {
  uma_IncoreMatrix m(3, 2, nullptr);
  ASSERT_NE(m.Values(), nullptr);
  EXPECT_EQ(Of(m), Values(6, 0.0));
  m.value(2, 1) = 5;
  EXPECT_EQ(m.Values()[5], 5);
  // Taking over a platform matrix: released with the handle.
  uma_IncoreMatrix adopted(new QOBSrvMatrix(2, 2, nullptr, false, false));
  EXPECT_EQ(adopted.NumRows(), 2);
}  // the fixture checks that both storages were released

TEST_F(IncoreMatrix, LoadsTheWholeMatrixOrABlockColumnByColumn) {
  uma_IncoreMatrix m(2, 3, nullptr);
  const double six[] = {1, 2, 3, 4, 5, 6};
  m.SetValues(six);
  EXPECT_EQ(m.value(1, 0), 2);
  EXPECT_EQ(m.value(0, 1), 3);
  double seven8[] = {7, 8};
  uma_IncoreMatrix column(2, 1, seven8);
  m.SetValues(0, 1, 1, 1, column);
  EXPECT_EQ(Of(m), (Values{1, 2, 7, 8, 5, 6}));
  const double row[] = {-1, -2, -3};
  m.SetValues(1, 1, 0, 2, row);
  EXPECT_EQ(Of(m), (Values{1, -1, 7, -2, 5, -3}));
}

TEST_F(IncoreMatrix, ABlockSourceGivesItsFirstValuesAndNeverTooFew) {
  uma_IncoreMatrix m(2, 2, nullptr);
  double wide[] = {1, 2, 3, 4};
  m.SetValues(0, 1, 0, 1, uma_IncoreMatrix(1, 4, wide));
  EXPECT_EQ(Of(m), (Values{1, 2, 3, 4})) << "a source of another shape gives its first values";
  double few[] = {8, 9};
  m.SetValues(0, 1, 0, 1, uma_IncoreMatrix(2, 1, few));
  m.SetValues(0, 1, 0, 1, uma_IncoreMatrix(static_cast<QOBSrvMatrix*>(nullptr)));
  EXPECT_EQ(Of(m), (Values{1, 2, 3, 4})) << "a source shorter than the block loads nothing";
}

TEST_F(IncoreMatrix, OverlappingBlocksOfOneMatrixCopyTheValuesTheyHeldBefore) {
  uma_IncoreMatrix m(4, 4, nullptr);
  std::iota(m.Values(), m.Values() + 16, 0.0);
  Values before = Of(m);
  auto old = [&](int r, int c) { return before[static_cast<std::size_t>(r + 4 * c)]; };
  static_cast<uma_Matrix&>(m).SetValues(1, 3, 1, 3, m);  // block (1..3, 1..3) := old (0..2, 0..2)
  for (int c = 1; c < 4; ++c)
    for (int r = 1; r < 4; ++r) EXPECT_EQ(m.value(r, c), old(r - 1, c - 1)) << r << "," << c;
  // Rows 1..2 of columns 0..1 := the first four values in storage order (column 0 as it was).
  m.SetValues(1, 2, 0, 1, m);
  EXPECT_EQ((Values{m.value(1, 0), m.value(2, 0), m.value(1, 1), m.value(2, 1)}),
            (Values{old(0, 0), old(1, 0), old(2, 0), old(3, 0)}));
}

TEST_F(IncoreMatrix, WithoutStorageItIsNullAndLoadsNothing) {
  uma_IncoreMatrix none(static_cast<QOBSrvMatrix*>(nullptr));
  EXPECT_TRUE(none.IsNull());
  EXPECT_EQ(none.Values(), nullptr);
  EXPECT_EQ(static_cast<const uma_IncoreMatrix&>(none).Values(), nullptr);
  EXPECT_EQ(none.NumRows(), 0);
  EXPECT_EQ(none.NumColumns(), 0);
  const double values[] = {1, 2, 3, 4};
  none.SetValues(values);
  none.SetValues(0, 1, 0, 1, values);
  double a[] = {1, 2, 3, 4};
  none.SetValues(0, 1, 0, 1, uma_IncoreMatrix(2, 2, a));
  EXPECT_DEATH(
      {
        aio_cerr.redirect(nullptr);
        static_cast<const uma_IncoreMatrix&>(none).value(0, 0);
      },
      "^Assertion failed: m_incore\nFile uma/impl/uma_IncoreMatrix.cpp, line 38\n$");
  EXPECT_DEATH(
      {
        aio_cerr.redirect(nullptr);
        none.value(0, 0) = 1;
      },
      "^Assertion failed: m_incore\nFile uma/impl/uma_IncoreMatrix.cpp, line 44\n$");
}

TEST_F(IncoreMatrix, BadDimensionsAndBlocksThrowAndChangeNothing) {
  EXPECT_THROW(uma_IncoreMatrix(-1, 2, nullptr), QOBBasError);
  uma_IncoreMatrix m(2, 2, nullptr);
  const double values[] = {1, 2, 3, 4, 5, 6};
  EXPECT_THROW(m.SetValues(0, 2, 0, 0, values), QOBBasError);
  EXPECT_THROW(m.SetValues(1, 0, 0, 0, values), QOBBasError);
  EXPECT_THROW(m.SetValues(0, 0, 0, 1, static_cast<const double*>(nullptr)), QOBBasError);
  EXPECT_EQ(Of(m), Values(4, 0.0));
}

// Sizes whose byte count would wrap around (the first pair's wraps to 537,552 bytes in 64
// bits) ask the allocator for 0xFFFFFFFF bytes, which it refuses: never a short buffer.
TEST_F(IncoreMatrix, SizesThatCannotBeHeldAreRefusedByTheAllocator) {
  for (auto [rows, columns] : {std::pair<int, int>{2147437309, 1073764994}, {INT_MAX, INT_MAX}}) {
    EXPECT_THROW(uma_IncoreMatrix(rows, columns, nullptr), QOBBasOutOfMemory);
    EXPECT_EQ(pfm::Allocation().lastRequest, std::size_t{0xFFFFFFFFu});
  }
}

// Block bounds anywhere in the int range: no arithmetic overflows (the sanitizer build would
// stop), a source too small for the block loads nothing, blocks outside the matrix or reversed
// are refused.
TEST_F(IncoreMatrix, ExtremeBlockBoundsNeverOverflow) {
  uma_IncoreMatrix m(2, 2, nullptr);
  double held[] = {1, 2, 3, 4};
  uma_IncoreMatrix source(2, 2, held);
  for (auto [first, last] :
       {std::pair<int, int>{INT_MIN, INT_MAX}, {0, INT_MAX}, {INT_MIN, 1}, {-1, 1}}) {
    m.SetValues(first, last, first, last, source);
    m.SetValues(first, last, 0, 1, source);
    EXPECT_THROW(m.SetValues(first, last, 0, 1, held), QOBBasError);
  }
  EXPECT_THROW(m.SetValues(INT_MAX, INT_MIN, INT_MAX, INT_MIN, source), QOBBasError);
  EXPECT_EQ(Of(m), Values(4, 0.0));
}

}  // namespace
