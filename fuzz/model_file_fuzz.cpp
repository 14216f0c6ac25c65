// libFuzzer entry point: the input bytes are a model file. It is written to a private directory
// and opened through the library as a host opens it, then everything a host can reach of it is
// asked (inspect::Walk, the inspection report). Any answer is fine, and so is a QOBBasError; a
// crash, a sanitizer report, a leak (platform blocks, dense matrices, a model left open), a reason
// that is not one line with a known phrase, or an error of a read that does not name the file as
// damaged is a finding, and aborts.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "QOBBasCoreUtils.h"
#include "QOBSspUmaCore.h"
#include "pfm_ModelFile.h"
#include "pfm_Observe.h"
#include "pfm_Session.h"
#include "uma_InspectReport.h"
#include "uma_ModelWalk.h"

namespace {

[[noreturn]] void Finding(const std::string& what) {
  std::fprintf(stderr, "model_file_fuzz: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

char g_dir[] = "/tmp/uma-fuzz-XXXXXX";

void RemoveDirectory() { ::rmdir(g_dir); }

// The library brought up once, and a directory of the fuzzer's own for the model file (removed
// when the fuzzer exits; a crash leaves it with the input that crashed).
const std::string& ModelPath() {
  static const std::string path = [] {
    int count = 0;
    QOBSspUmaCore_initialize(count);
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
  if (pfm::ModelFileProblemOf(reason) == pfm::ModelFileProblem::None ||
      reason.find('\n') != std::string::npos)
    Finding("an open failed for an unexpected reason: " + reason);
}

// Reads of values that fail name the file as damaged; nothing else may fail on a file that
// opened.
void CheckErrors(const inspect::WalkResult& walk) {
  for (const std::string& e : walk.errors)
    if (pfm::ModelFileProblemOf(e) != pfm::ModelFileProblem::Damaged)
      Finding("a question failed for an unexpected reason: " + e);
}

// A handle whose open yields no system (the model has no substructure or system, or its record
// reports null) leaves its model open until the module goes down; every other model must have
// been closed by its handle. The ones left are closed here, as the module would.
void CheckAndCloseSessions(int firstSession) {
  for (int id = firstSession; id <= pfm::Sessions::LastOpened(); ++id)
    if (pfm::Session* s = pfm::Sessions::Find(id))
      if (s->model->hasSubstructure && s->model->hasSystem && !s->model->recordReportsNull)
        Finding("a model with a system was left open");
  pfm::Sessions::CloseAll();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& path = ModelPath();
  WriteFile(path, data, size);
  const long long liveBlocks = pfm::Allocation().liveBlocks;
  const int liveMatrices = pfm::LiveDenseMatrices();
  const int firstSession = pfm::Sessions::LastOpened() + 1;
  std::string errors;
  aio_cerr.redirect(&errors);
  try {
    inspect::WalkResult walk = inspect::Walk(path, true);
    CheckReason(walk.failure);
    CheckErrors(walk);
    if (walk.opened) {
      inspect::Report report = inspect::Gather(path);
      CheckReason(report.failure);
      inspect::AsText(report);
      inspect::AsJson(report);
    }
  } catch (const QOBBasError& e) {
    Finding(std::string("an exception escaped the walk: ") + e.what());
  }
  aio_cerr.redirect(nullptr);
  CheckAndCloseSessions(firstSession);
  if (pfm::Allocation().liveBlocks != liveBlocks) Finding("platform blocks leaked");
  if (pfm::LiveDenseMatrices() != liveMatrices) Finding("dense matrices leaked");
  std::remove(path.c_str());
  std::remove((path + "-journal").c_str());
  return 0;
}
