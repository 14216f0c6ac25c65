// Lifecycle of the module and of its uma layer, and the two diagnostic routines.
#include "QOBSspUmaCore.h"

#include <cstdlib>

#include "DDB_AnalysisSupport.h"
#include "QOBBasCoreUtils.h"
#include "QOBBasRymel.h"
#include "QOBBasShared.h"
#include "QOBFsmShared.h"
#include "QOBMtxLinearAlgebra.h"
#include "QOBOvrBasicUtils.h"
#include "QOBSimAPI.h"
#include "QOBSrvBasic.h"
#include "QOBSspSubCore.h"
#include "uma_Diagnostics.h"

namespace {
// Plain counters: the host calls the lifecycle functions from one thread.
int g_layerCount = 0;
int g_moduleCount = 0;
}  // namespace

void uma_initialize(int& count) {
  int before = g_layerCount++;
  if (before == 0) ++count;
}

void uma_finalize(int& count) {
  if (--g_layerCount == 0) --count;
}

void QOBSspUmaCore_initialize(int& count) {
  // The counters change before any dependency runs, so a nested call returns at once.
  if (g_moduleCount++ != 0) return;
  ++count;
  QOBBasCoreUtils_initialize(count);
  QOBBasShared_initialize(count);
  QOBBasRymel_initialize(count);
  QOBOvrBasicUtils_initialize(count);
  QOBSimAPI_initialize(count);
  QOBSrvBasic_initialize(count);
  QOBFsmShared_initialize(count);
  QOBMtxLinearAlgebra_initialize(count);
  DDB_AnalysisSupport_initialize(count);
  QOBSspSubCore_initialize(count);
  uma_initialize(count);
}

void QOBSspUmaCore_finalize(int& count) {
  if (--g_moduleCount != 0) return;
  --count;
  uma_finalize(count);
  QOBSspSubCore_finalize(count);
  DDB_AnalysisSupport_finalize(count);
  QOBMtxLinearAlgebra_finalize(count);
  QOBFsmShared_finalize(count);
  QOBSrvBasic_finalize(count);
  QOBSimAPI_finalize(count);
  QOBOvrBasicUtils_finalize(count);
  QOBBasRymel_finalize(count);
  QOBBasShared_finalize(count);
  QOBBasCoreUtils_finalize(count);
}

void uma_ReportAssertionFailure(const char* expression, const char* file, int line) {
  aio_cerr.print("Assertion failed: ").print(expression).put('\n').flush();
  aio_cerr.print("File ").print(file).print(", line ").print_int(line).put('\n').flush();
  std::abort();
}

void uma_ReportError(const char* text) { aio_cerr.print(text).put('\n').flush(); }
