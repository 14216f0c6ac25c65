// A small host program: builds a sample model in memory, opens its system through the library
// and prints what the handle answers.
#include <cstdio>

#include "QOBSspUmaCore.h"
#include "uma_SampleModels.h"
#include "uma_System.h"

int main() {
  uma::sample::SmallSystem("sample").Register();

  int count = 0;
  QOBSspUmaCore_initialize(count);
  {
    uma_System* system = new uma_System("sample", false);
    std::printf("system \"sample\": %s\n", system->IsNull() ? "null" : "open for reading");
    std::printf("  type %d, loads %d, static modes %d\n", system->Type(), system->NumLoads(),
                system->NumStaticModes());
    delete system;

    uma_System* missing = new uma_System("no-such-model", false);
    std::printf("system \"no-such-model\": %s\n", missing->IsNull() ? "null" : "open");
    delete missing;
  }
  QOBSspUmaCore_finalize(count);
  return 0;
}
