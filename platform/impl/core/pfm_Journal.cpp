// The journal of platform calls and the hooks that force answers.
#include "pfm_Observe.h"

namespace pfm {

bool Journal::s_on = false;

namespace {
std::vector<std::string>& Lines() {
  static std::vector<std::string> lines;
  return lines;
}
}  // namespace

void Journal::Enable(bool on) { s_on = on; }
void Journal::Record(const std::string& line) { Lines().push_back(line); }
void Journal::Clear() { Lines().clear(); }
const std::vector<std::string>& Journal::Entries() { return Lines(); }

Hooks& hooks() {
  static Hooks h;
  return h;
}

void ResetHooks() { hooks() = Hooks(); }

}  // namespace pfm

namespace pfm {

namespace {
int g_liveDense = 0;
int g_peakDense = 0;
}  // namespace

int LiveDenseMatrices() { return g_liveDense; }
int PeakDenseMatrices() { return g_peakDense; }
void ResetPeakDenseMatrices() { g_peakDense = g_liveDense; }

void NoteDenseMatrix(int delta) {
  g_liveDense += delta;
  if (g_liveDense > g_peakDense) g_peakDense = g_liveDense;
}

}  // namespace pfm
