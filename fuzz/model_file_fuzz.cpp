// libFuzzer entry point: the input bytes are a model file. It is written to a private directory
// and opened through the library as a host opens it, then everything a host can reach of it is
// asked (uma::sample::Walk, the inspection report). Any answer is fine, and so is a QOBBasError; a
// crash, a sanitizer report, a leak (platform blocks, dense matrices, a model left open), a reason
// that is not one line with a known phrase, or an error of a read that does not name the file as
// damaged is a finding, and aborts.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "QOBBasCoreUtils.h"
#include "QOBSspUmaCore.h"
#include "pfm_Observe.h"
#include "pfm_Support.h"
#include "inspect_Report.h"
#include "uma_ModelWalk.h"

namespace {

[[noreturn]] void Finding(const std::string& what) {
  std::fprintf(stderr, "model_file_fuzz: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

char g_dir[] = "/tmp/uma-fuzz-XXXXXX";
int g_count = 0;  // the library's counter

void RemoveDirectory() { ::rmdir(g_dir); }

// The library brought up, and a directory of the fuzzer's own for the model file (removed when
// the fuzzer exits; a crash leaves it with the input that crashed).
const std::string& ModelPath() {
  static const std::string path = [] {
    QOBSspUmaCore_initialize(g_count);
    if (!mkdtemp(g_dir)) Finding("cannot make a temporary directory");
    std::atexit(RemoveDirectory);
    return std::string(g_dir) + "/model.uma";
  }();
  return path;
}

void WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f || std::fwrite(data, 1, size, f) != size || std::fclose(f) != 0)
    Finding("cannot write " + path);
}

void CheckReason(const std::string& reason) {
  if (reason.empty()) return;  // a model without a substructure opens to nothing, silently
  const pfm::FailureKind kind = pfm::KindOfFailure(reason);
  if (kind == pfm::FailureKind::Other || kind == pfm::FailureKind::NotInitialised ||
      reason.find('\n') != std::string::npos)
    Finding("an open failed for an unexpected reason: " + reason);
}

// Reads of values that fail name the file as damaged; nothing else may fail on a file that
// opened.
void CheckErrors(const uma::sample::WalkResult& walk) {
  for (const std::string& e : walk.errors)
    if (pfm::KindOfFailure(e) != pfm::FailureKind::Damaged)
      Finding("a question failed for an unexpected reason: " + e);
}

// A handle whose open yields no system (the model has no substructure or system, or its record
// reports null) leaves its model open until the module goes down; every other model must have
// been closed by its handle. The ones left are closed by taking the library down and up again.
void CheckAndCloseModels() {
  const std::vector<pfm::OpenModel> open = pfm::OpenModels();
  for (const pfm::OpenModel& m : open)
    if (m.holdsSystem) Finding("a model with a system was left open");
  if (!open.empty()) {
    QOBSspUmaCore_finalize(g_count);
    QOBSspUmaCore_initialize(g_count);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& path = ModelPath();
  WriteFile(path, data, size);
  const long long liveBlocks = pfm::Allocation().liveBlocks;
  const int liveMatrices = pfm::LiveDenseMatrices();
  std::string errors;
  aio_cerr.redirect(&errors);
  try {
    uma::sample::WalkResult walk = uma::sample::Walk(path, true);
    CheckReason(walk.failure);
    CheckErrors(walk);
    if (walk.opened) {
      uma::inspect::Report report = uma::inspect::Gather(path);
      CheckReason(report.failure);
      uma::inspect::AsText(report);
      uma::inspect::AsJson(report);
    }
  } catch (const QOBBasError& e) {
    Finding(std::string("an exception escaped the walk: ") + e.what());
  }
  aio_cerr.redirect(nullptr);
  CheckAndCloseModels();
  if (pfm::Allocation().liveBlocks != liveBlocks) Finding("platform blocks leaked");
  if (pfm::LiveDenseMatrices() != liveMatrices) Finding("dense matrices leaked");
  std::remove(path.c_str());
  std::remove((path + "-journal").c_str());
  return 0;
}
