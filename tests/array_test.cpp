// The integer array: construction, bounds, allocation sizes, release, streaming.
#include <memory>
#include <string>

#include "uma_TestAccess.h"
#include "uma_TestSupport.h"

namespace {

using ArrayInt = UmaTest;

std::string Report(const char* expression, int line) {
  return std::string("^Assertion failed: ") + expression +
         "\nFile uma/impl/uma_ArrayInt.cpp, line " + std::to_string(line) + "\n$";
}

TEST_F(ArrayInt, FillConstructorFillsEveryElement) {
  std::unique_ptr<uma_ArrayInt> a(uma_TestAccess::NewArray(3, 7));
  ASSERT_EQ(a->Size(), 3);
  const uma_ArrayInt& c = *a;
  EXPECT_EQ(c[0], 7);
  EXPECT_EQ(c[1], 7);
  EXPECT_EQ(c[2], 7);
  (*a)[1] = -2;
  EXPECT_EQ(c[1], -2);
}

TEST_F(ArrayInt, BrokenPreconditionsReportTheirExactLine) {
  aio_cerr.redirect(nullptr);  // the reports must reach file descriptor 2
  std::unique_ptr<uma_ArrayInt> a(uma_TestAccess::NewArray(3, 7));
  const uma_ArrayInt& c = *a;
  EXPECT_DEATH((void)c[3], Report("0<=i \\&\\& i<m_size", 57));
  EXPECT_DEATH((void)c[-1], Report("0<=i \\&\\& i<m_size", 57));
  EXPECT_DEATH((*a)[3] = 1, Report("0<=i \\&\\& i<m_size", 64));
  EXPECT_DEATH(uma_TestAccess::NewArray(0), Report("m_size>0", 19));
  EXPECT_DEATH(uma_TestAccess::NewArray(-1, 5), Report("m_size>0", 26));
  EXPECT_DEATH(uma_TestAccess::Allocate(*a, 4), Report("m_buff==0", 34));
  // Exactly one of the stored size and the one passed must give the length.
  const std::string neither = Report("m_size==0 \\&\\& size>0 \\|\\| m_size>0 \\&\\& size==0", 35);
  EXPECT_DEATH(uma_TestAccess::AllocateFresh(0, 0), neither);
  EXPECT_DEATH(uma_TestAccess::AllocateFresh(2, 3), neither);
  aio_cerr.redirect(&m_errors);
}

TEST_F(ArrayInt, AnOversizedArrayFailsInTheAllocatorWithoutAShortBuffer) {
  long long before = pfm::Allocation().liveBlocks;
  EXPECT_THROW(uma_TestAccess::NewArray(0x40000000), QOBBasOutOfMemory);
  EXPECT_EQ(pfm::Allocation().lastRequest, 0xFFFFFFFFu);
  EXPECT_THROW(uma_TestAccess::NewArray(0x7FFFFFFF, 1), QOBBasOutOfMemory);
  EXPECT_EQ(pfm::Allocation().lastRequest, 0xFFFFFFFFu);
  EXPECT_EQ(pfm::Allocation().liveBlocks, before) << "the object's storage is released too";
}

TEST_F(ArrayInt, BufferRequestIsFourBytesPerElement) {
  std::unique_ptr<uma_ArrayInt> a(uma_TestAccess::NewArray(0x3FF));
  EXPECT_EQ(pfm::Allocation().lastRequest, 0x3FFu * 4);
}

TEST_F(ArrayInt, DeleteReleasesBufferAndObjectExactlyOnce) {
  uma_ArrayInt* a = uma_TestAccess::NewArray(5, 1);
  pfm::AllocationStats before = pfm::Allocation();
  delete a;
  pfm::AllocationStats after = pfm::Allocation();
  EXPECT_EQ(after.frees - before.frees, 2);
  EXPECT_EQ(before.liveBlocks - after.liveBlocks, 2);
}

TEST_F(ArrayInt, StreamsABlankBeforeEachValueAndNothingElse) {
  std::string sink;
  aio_ostream os(&sink);
  std::unique_ptr<uma_ArrayInt> a(uma_TestAccess::NewArray(3));
  (*a)[0] = 12;
  (*a)[1] = -4;
  (*a)[2] = 0;
  aio_ostream& returned = os << *a;
  EXPECT_EQ(&returned, &os);
  EXPECT_EQ(os.pending(), " 12 -4 0");
  EXPECT_EQ(os.flushCount(), 0) << "the operator does not flush";
}

}  // namespace
