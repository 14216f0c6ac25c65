// Module lifecycle: order of the platform modules, the counters, nesting; the diagnostics.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "QOBBasCoreUtils.h"
#include "QOBSspUmaCore.h"
#include "pfm_Observe.h"
#include "uma_Diagnostics.h"

namespace {

const std::vector<std::string> kModules = {
    "QOBBasCoreUtils",     "QOBBasShared", "QOBBasRymel",  "QOBOvrBasicUtils",
    "QOBSimAPI",           "QOBSrvBasic",  "QOBFsmShared", "QOBMtxLinearAlgebra",
    "DDB_AnalysisSupport", "QOBSspSubCore"};

std::vector<std::string> Calls(const char* suffix, bool reversed) {
  std::vector<std::string> out;
  for (const std::string& m : kModules) out.push_back(m + suffix);
  if (reversed) std::reverse(out.begin(), out.end());
  return out;
}

class Lifecycle : public ::testing::Test {
 protected:
  void SetUp() override {
    pfm::ResetHooks();
    pfm::Journal::Clear();
    pfm::Journal::Enable(true);
  }
  void TearDown() override {
    pfm::Journal::Enable(false);
    pfm::Journal::Clear();
    pfm::ResetHooks();
  }
  std::vector<std::string> Take() {
    auto lines = pfm::Journal::Entries();
    pfm::Journal::Clear();
    return lines;
  }
};

TEST_F(Lifecycle, BringsModulesUpInOrderAndDownInReverse) {
  int count = 0;
  std::vector<std::pair<std::string, int>> seen;
  pfm::hooks().onInitialize = [&](const char* m, int& c) { seen.emplace_back(m, c); };
  QOBSspUmaCore_initialize(count);
  EXPECT_EQ(Take(), Calls("_initialize", false));
  ASSERT_EQ(seen.size(), kModules.size());
  EXPECT_EQ(seen.front().second, 1) << "the host counter rises before the first module";
  EXPECT_EQ(count, 2) << "once for the module, once for the uma layer";

  std::vector<int> countsSeen;
  pfm::hooks().onFinalize = [&](const char*, int& c) { countsSeen.push_back(c); };
  QOBSspUmaCore_finalize(count);
  EXPECT_EQ(Take(), Calls("_finalize", true));
  EXPECT_EQ(countsSeen.front(), 0) << "the module and the layer are down before the platform";
  EXPECT_EQ(count, 0);
}

TEST_F(Lifecycle, NestedCallsOnlyCount) {
  int count = 0;
  QOBSspUmaCore_initialize(count);
  Take();
  QOBSspUmaCore_initialize(count);
  EXPECT_TRUE(Take().empty());
  EXPECT_EQ(count, 2);
  QOBSspUmaCore_finalize(count);
  EXPECT_TRUE(Take().empty()) << "one finalise of two leaves every module up";
  EXPECT_EQ(count, 2);
  QOBSspUmaCore_finalize(count);
  EXPECT_EQ(Take(), Calls("_finalize", true));
  EXPECT_EQ(count, 0);
}

TEST_F(Lifecycle, HostsOwnLayerInitialiseIsCountedOnce) {
  int count = 0;
  uma_initialize(count);
  EXPECT_EQ(count, 1);
  QOBSspUmaCore_initialize(count);
  EXPECT_EQ(count, 2) << "the module's own uma_initialize only raises the layer counter";
  QOBSspUmaCore_finalize(count);
  EXPECT_EQ(count, 1) << "the layer stays up for the host";
  uma_finalize(count);
  EXPECT_EQ(count, 0);
}

TEST_F(Lifecycle, FinaliseWithoutInitialiseOnlyMovesItsCounter) {
  int count = 0;
  QOBSspUmaCore_finalize(count);
  uma_finalize(count);
  EXPECT_EQ(count, 0);
  EXPECT_TRUE(Take().empty());
  QOBSspUmaCore_initialize(count);
  uma_initialize(count);
  EXPECT_EQ(count, 0) << "the initialise only brings the counters back to 0";
  EXPECT_TRUE(Take().empty());
}

TEST_F(Lifecycle, InitialiseReenteredFromAModuleReturnsAtOnce) {
  int count = 0;
  int nestedSeen = 0;
  pfm::hooks().onInitialize = [&](const char* m, int& c) {
    if (std::string(m) == "QOBSimAPI") {
      QOBSspUmaCore_initialize(c);
      nestedSeen = static_cast<int>(pfm::Journal::Entries().size());
    }
  };
  QOBSspUmaCore_initialize(count);
  EXPECT_EQ(nestedSeen, 5) << "the nested call brought nothing up";
  EXPECT_EQ(Take(), Calls("_initialize", false));
  QOBSspUmaCore_finalize(count);
  EXPECT_TRUE(Take().empty()) << "the nested initialise is balanced by a finalise of its own";
  QOBSspUmaCore_finalize(count);
  EXPECT_EQ(Take(), Calls("_finalize", true));
  EXPECT_EQ(count, 0);
}

TEST(Diagnostics, AssertionReportIsTwoLinesThenAbort) {
  EXPECT_DEATH(uma_ReportAssertionFailure("m_size>0", "uma/impl/uma_ArrayInt.cpp", 19),
               "^Assertion failed: m_size>0\nFile uma/impl/uma_ArrayInt.cpp, line 19\n$");
}

// The error stream's end in the child below: a datagram socket keeps each flush's write apart.
int g_flushes[2] = {-1, -1};

// True when the next datagram is exactly `line`.
bool NextWriteIs(const char* line) {
  char buffer[256];
  ssize_t n = ::recv(g_flushes[1], buffer, sizeof buffer, MSG_DONTWAIT);
  return n == static_cast<ssize_t>(std::strlen(line)) && std::memcmp(buffer, line, n) == 0;
}

TEST(Diagnostics, AssertionLinesAreFlushedOneByOne) {
  // The report must reach the stream one whole line per flush before the process ends. In a
  // child, the error stream's descriptor becomes one end of a datagram socket, where every
  // write stays one message, and abort's end becomes an exit that tells whether the two
  // messages were the two lines and nothing followed.
  EXPECT_EXIT(
      {
        if (::socketpair(AF_UNIX, SOCK_SEQPACKET, 0, g_flushes) != 0 ||
            ::dup2(g_flushes[0], 2) != 2)
          std::_Exit(5);
        std::signal(SIGABRT, [](int) {
          bool ok = NextWriteIs("Assertion failed: x\n") && NextWriteIs("File f, line 1\n") &&
                    ::recv(g_flushes[1], nullptr, 0, MSG_DONTWAIT) < 0;
          std::_Exit(ok ? 3 : 4);
        });
        uma_ReportAssertionFailure("x", "f", 1);
      },
      ::testing::ExitedWithCode(3), "");
}

TEST(Diagnostics, ReportErrorWritesOneFlushedLine) {
  std::string sink;
  aio_cerr.redirect(&sink);
  int flushes = aio_cerr.flushCount();
  uma_ReportError("Multiply: Immutable C.");
  aio_cerr.redirect(nullptr);
  EXPECT_EQ(sink, "Multiply: Immutable C.\n");
  EXPECT_EQ(aio_cerr.flushCount(), flushes + 1);
  EXPECT_TRUE(aio_cerr.pending().empty());
}

}  // namespace
