// Damaged model files: each is refused when it is opened, with a one-line reason that names the
// file as damaged, or it opens and every question a host can ask is answered safely (reads of
// damaged values fail naming the file as damaged), without a leak. The files are the damaged
// models made with SQL (uma_DamagedModels.h) and the inputs the fuzzer found faults with
// (tests/data/damaged/).
#include <dirent.h>
#include <sys/resource.h>

#include <algorithm>

#include "pfm_TestAccess.h"
#include "uma_DamagedModels.h"
#include "uma_FileTestSupport.h"
#include "uma_ModelWalk.h"
#include "uma_TempDir.h"
#include "uma_TestSupport.h"

namespace {

using uma::sample::DamagedModel;

const std::string kDamagedDir = std::string(UMA_SOURCE_DIR) + "/tests/data/damaged";

bool IsDamagedReason(const std::string& text, const std::string& path) {
  return text.rfind("a damaged file: " + path + " (", 0) == 0 && text.back() == ')' &&
         text.find('\n') == std::string::npos;
}

bool Mentions(const std::vector<std::string>& texts, const std::string& detail) {
  return std::any_of(texts.begin(), texts.end(),
                     [&](const std::string& t) { return t.find(detail) != std::string::npos; });
}

std::vector<std::string> FilesIn(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (dirent* e = ::readdir(d))
      if (e->d_name[0] != '.') names.push_back(e->d_name);
    ::closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// How much more memory than before a damaged model may leave the process holding, in MiB: far
// below what a claimed size would take (a matrix of 268435455 rows is 2 GiB a column). Under
// AddressSanitizer freed blocks wait in its quarantine (256 MiB by default) and count as held.
#if defined(__SANITIZE_ADDRESS__)
constexpr long kHeldMiB = 256 + 256;
#else
constexpr long kHeldMiB = 256;
#endif

// The most memory the process has held so far, in MiB.
long PeakMiB() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024;
}

class DamagedFiles : public UmaTest {
 protected:
  uma::sample::TempDir m_dir;
};

// Each damaged model, and no answer sized by what a file claims (a matrix of 268435455 rows,
// say): the process never holds much more memory than it did before.
TEST_F(DamagedFiles, EachDamagedModelIsRefusedOrAnsweredSafely) {
  const long peakBefore = PeakMiB();
  for (const DamagedModel& model : uma::sample::DamagedModels()) {
    SCOPED_TRACE(model.name);
    const std::string path = m_dir.File(std::string(model.name) + ".uma");
    uma::sample::WriteDamagedModel(model, path);
    const uma::sample::WalkResult walk = uma::sample::Walk(path, true);
    switch (model.answer) {
      case DamagedModel::Refused:
        EXPECT_FALSE(walk.opened);
        EXPECT_TRUE(IsDamagedReason(walk.failure, path)) << walk.failure;
        EXPECT_NE(walk.failure.find(model.detail), std::string::npos) << walk.failure;
        break;
      case DamagedModel::ReadsFail:
        EXPECT_TRUE(walk.opened) << walk.failure;
        EXPECT_TRUE(Mentions(walk.errors, model.detail));
        for (const std::string& e : walk.errors) EXPECT_TRUE(IsDamagedReason(e, path)) << e;
        break;
      case DamagedModel::Opens:
        EXPECT_TRUE(walk.opened) << walk.failure;
        EXPECT_TRUE(walk.errors.empty()) << walk.errors.front();
        EXPECT_EQ(walk.editFailure, "");
        break;
    }
    EXPECT_EQ(pfm::Sessions::OpenCount(), 0);
    EXPECT_EQ(Errors(), "") << "the library reports nothing itself";
    EXPECT_LT(PeakMiB() - peakBefore, kHeldMiB);
  }
}

// The walk itself reaches what it should: on the intact sample every answer is there.
TEST_F(DamagedFiles, TheWalkReadsAnIntactModelWithoutErrors) {
  const std::string path = m_dir.File("intact.uma");
  pfm::SaveModelFile(*pfm::BuildModel(uma::sample::EveryFeature("intact")), path);
  const uma::sample::WalkResult walk = uma::sample::Walk(path, true);
  EXPECT_TRUE(walk.opened);
  EXPECT_TRUE(walk.errors.empty()) << walk.errors.front();
  EXPECT_EQ(walk.editFailure, "");
  EXPECT_GT(walk.answers, 100);
}

// Inputs with which the fuzzer found faults, replayed as a host opens them (a copy: the walk
// edits the file).
TEST_F(DamagedFiles, FilesTheFuzzerFoundFaultsWithAreHandled) {
  const std::vector<std::string> names = FilesIn(kDamagedDir);
  ASSERT_FALSE(names.empty()) << kDamagedDir;
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const std::string path = m_dir.File(name);
    filetest::WriteBytes(path, filetest::Bytes(kDamagedDir + "/" + name));
    const uma::sample::WalkResult walk = uma::sample::Walk(path, true);
    if (!walk.opened) {
      EXPECT_NE(pfm::ModelFileProblemOf(walk.failure), pfm::ModelFileProblem::None) << walk.failure;
      EXPECT_EQ(walk.failure.find('\n'), std::string::npos);
    }
    for (const std::string& e : walk.errors) EXPECT_TRUE(IsDamagedReason(e, path)) << e;
    EXPECT_EQ(pfm::Sessions::OpenCount(), 0);
    // Only a commit that failed is told, as one line.
    EXPECT_EQ(Errors(), walk.editFailure.empty() ? "" : walk.editFailure + "\n");
  }
}

}  // namespace
