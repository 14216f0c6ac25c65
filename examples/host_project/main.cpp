// Opens the model named on the command line and prints what the system handle answers, or why
// the open failed, through the installed library and the platform's installed support API.
#include <cstdio>

#include "QOBSspUmaCore.h"
#include "pfm_Support.h"
#include "uma_System.h"

int main(int argc, char** argv) {
  int count = 0;
  QOBSspUmaCore_initialize(count);
  int status = 0;
  {
    uma_System system(argc > 1 ? argv[1] : "", false);
    if (system.IsNull()) {
      std::printf("null system: %s\n", pfm::LastOpenFailure().c_str());
      status = 1;
    } else {
      std::printf("type %d, %d loads, %d static modes\n", system.Type(), system.NumLoads(),
                  system.NumStaticModes());
    }
  }
  QOBSspUmaCore_finalize(count);
  return status;
}
