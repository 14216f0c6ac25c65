// Fixtures shared by the test suites.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "QOBBasCoreUtils.h"
#include "QOBSspUmaCore.h"
#include "common_Model.h"
#include "pfm_Observe.h"
#include "pfm_TestAccess.h"
#include "uma_ArrayInt.h"

// Brings the module up around each test, starts from an empty model registry, quiet journal
// and default hooks, and checks that every block allocated during the test was released.
class UmaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pfm::ModelRegistry::Clear();
    pfm::ResetHooks();
    pfm::FailAllocationAt(0);
    pfm::Journal::Enable(false);
    pfm::Journal::Clear();
    QOBSspUmaCore_initialize(m_count);
    m_liveBlocks = pfm::Allocation().liveBlocks;
    aio_cerr.redirect(&m_errors);
  }

  void TearDown() override {
    aio_cerr.redirect(nullptr);
    pfm::FailAllocationAt(0);
    EXPECT_EQ(pfm::Allocation().liveBlocks, m_liveBlocks) << "blocks leaked by the test";
    QOBSspUmaCore_finalize(m_count);
    EXPECT_EQ(pfm::Sessions::OpenCount(), 0);
    pfm::Journal::Enable(false);
    pfm::Journal::Clear();
    pfm::ResetHooks();
    pfm::ModelRegistry::Clear();
  }

  // Journal lines recorded since the last call, for checking call sequences.
  std::vector<std::string> Journal() {
    std::vector<std::string> lines = pfm::Journal::Entries();
    pfm::Journal::Clear();
    return lines;
  }

  // What the error stream received (flushed) since the last call.
  std::string Errors() {
    std::string out = m_errors;
    m_errors.clear();
    return out;
  }

  int m_count = 0;
  long long m_liveBlocks = 0;
  std::string m_errors;
};

// How many journal lines begin with `prefix`.
inline int CountLines(const std::vector<std::string>& lines, const std::string& prefix) {
  int n = 0;
  for (const auto& l : lines) n += l.rfind(prefix, 0) == 0;
  return n;
}

// The elements of an array a library call answered, which the test then releases; nullopt for
// a null answer.
using uma::common::TakeLabels;
