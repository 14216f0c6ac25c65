// Initialise and finalise pairs of the platform modules. Each module counts its own users; the
// host's counter is passed through untouched. The journal records every call.
#include <cstring>

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
#include "pfm_ModelFile.h"
#include "pfm_Observe.h"
#include "pfm_Session.h"

namespace {

int Up(const char* name, int& users, int& count) {
  PFM_JOURNAL(std::string(name) + "_initialize");
  if (pfm::hooks().onInitialize) pfm::hooks().onInitialize(name, count);
  return ++users;
}

int Down(const char* name, int& users, int& count) {
  PFM_JOURNAL(std::string(name) + "_finalize");
  if (pfm::hooks().onFinalize) pfm::hooks().onFinalize(name, count);
  return --users;
}

}  // namespace

#define PFM_MODULE(name)                                                 \
  namespace {                                                            \
  int name##_users = 0;                                                  \
  }                                                                      \
  void name##_initialize(int& count) { Up(#name, name##_users, count); } \
  void name##_finalize(int& count) { Down(#name, name##_users, count); }

PFM_MODULE(QOBBasCoreUtils)
PFM_MODULE(QOBBasShared)
PFM_MODULE(QOBBasRymel)
PFM_MODULE(QOBOvrBasicUtils)
PFM_MODULE(QOBSimAPI)
PFM_MODULE(QOBSrvBasic)
PFM_MODULE(QOBFsmShared)
PFM_MODULE(QOBMtxLinearAlgebra)
PFM_MODULE(QOBSspSubCore)

namespace {
int DDB_AnalysisSupport_users = 0;
}

// Bringing database access up makes model files openable by their path.
void DDB_AnalysisSupport_initialize(int& count) {
  if (Up("DDB_AnalysisSupport", DDB_AnalysisSupport_users, count) == 1) pfm::RegisterModelFiles();
}

// Taking database access down closes the model sessions that hosts left open.
void DDB_AnalysisSupport_finalize(int& count) {
  if (Down("DDB_AnalysisSupport", DDB_AnalysisSupport_users, count) == 0) pfm::Sessions::CloseAll();
}

namespace pfm {

int ModuleUsers(const char* module) {
  struct Counter {
    const char* name;
    const int* users;
  };
  static const Counter kCounters[] = {
      {"QOBBasCoreUtils", &QOBBasCoreUtils_users},
      {"QOBBasShared", &QOBBasShared_users},
      {"QOBBasRymel", &QOBBasRymel_users},
      {"QOBOvrBasicUtils", &QOBOvrBasicUtils_users},
      {"QOBSimAPI", &QOBSimAPI_users},
      {"QOBSrvBasic", &QOBSrvBasic_users},
      {"QOBFsmShared", &QOBFsmShared_users},
      {"QOBMtxLinearAlgebra", &QOBMtxLinearAlgebra_users},
      {"DDB_AnalysisSupport", &DDB_AnalysisSupport_users},
      {"QOBSspSubCore", &QOBSspSubCore_users},
  };
  if (!module) return 0;
  for (const Counter& c : kCounters)
    if (std::strcmp(c.name, module) == 0) return *c.users;
  return 0;
}

}  // namespace pfm
