// What tests observe and force in the platform: the allocator's accounting and failure
// injection, the journal of platform calls, and hooks that force answers. All of it costs a
// test of one flag when off.
// Not installed: test programs reach it through the QOBPlatformTestSupport target.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace pfm {

struct AllocationStats {
  long long liveBlocks = 0;
  long long liveBytes = 0;
  long long allocations = 0;  // successful ones
  long long frees = 0;
  std::size_t lastRequest = 0;  // bytes of the last request, met or not
};
AllocationStats Allocation();
// Makes the `n`-th allocation request from now fail (1: the next one); 0 switches it off.
void FailAllocationAt(long long n);

// The journal: one line per platform call through which the library's contract shows.
class Journal {
 public:
  static void Enable(bool on);
  static bool Enabled() { return s_on; }
  static void Record(const std::string& line);
  static void Clear();
  static const std::vector<std::string>& Entries();

 private:
  static bool s_on;
};

#define PFM_JOURNAL(expr)                                        \
  do {                                                           \
    if (::pfm::Journal::Enabled()) ::pfm::Journal::Record(expr); \
  } while (0)

// Answers a platform operation can be forced to give.
enum class Forced { Normal, Null, Self };

struct Hooks {
  Forced restrictAnswer = Forced::Normal;   // QOBSrvDenseMatrix::Restrict
  Forced filterAnswer = Forced::Normal;     // the three sub_Utilities filters
  Forced submatrixAnswer = Forced::Normal;  // QOBSrvDenseMatrix::Submatrix (Self counts as Null)
  // Called by QOBSrvDenseMatrix::NumberOfColumns before it answers; a test may throw from it.
  std::function<void()> onNumberOfColumns;
  // Called at the start of every module's initialise and finalise, with the module's name.
  std::function<void(const char* module, int& count)> onInitialize;
  std::function<void(const char* module, int& count)> onFinalize;
};
Hooks& hooks();
void ResetHooks();

// How many users a platform module counts now (its initialise calls less its finalise calls);
// 0 for a name that is no module.
int ModuleUsers(const char* module);

// Live dense matrices (stored or derived), and the most that were alive at once since the
// last reset.
int LiveDenseMatrices();
int PeakDenseMatrices();
void ResetPeakDenseMatrices();
void NoteDenseMatrix(int delta);  // +1 when a dense matrix is made, -1 when it is destroyed

}  // namespace pfm
