// A host program for flexible bodies: opens the sample beam through the facade and prints what
// it answers.
#include <cstdio>
#include <memory>

#include "QOBSspUmaCore.h"
#include "uma_ArrayInt.h"
#include "uma_FlexibleBodySample.h"
#include "uma_FlexibleBodyX.h"
#include "uma_Matrix.h"

namespace {

void Print(const char* what, uma_ArrayInt* labels) {
  std::unique_ptr<uma_ArrayInt> owned(labels);
  std::printf("  %-18s", what);
  if (!owned) {
    std::printf(" (none)\n");
    return;
  }
  for (int i = 0; i < owned->Size(); ++i) std::printf(" %d", (*owned)[i]);
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  const char* name = argc > 1 ? argv[1] : "beam";
  if (argc <= 1) uma::sample::FlexibleBeam(name).Register();

  int count = 0;
  QOBSspUmaCore_initialize(count);
  {
    uma_FlexibleBodyX body(name);
    if (body.IsNull()) {
      std::printf("flexible body \"%s\" cannot be opened\n", name);
    } else {
      std::printf("flexible body \"%s\": type %d, %d loads, %d static modes\n", name, body.Type(),
                  body.NumLoads(), body.NumStaticModes());
      Print("FE nodes", body.FENodes());
      Print("nodes in A-set", body.NodesInASet());
      Print("A-set nodes", body.ASetNodes());
      Print("A-set dofs", body.ASetDofs());
      Print("recovery nodes", body.RecoverySetNodes());
      Print("recovery dofs", body.RecoverySetDofs());
      Print("xGFAA nodes", body.GFAASetNodes());
      Print("xGFAA dofs", body.GFAASetDofs());
      std::unique_ptr<const uma_Matrix> mass(body.Matrix("LumpedMass"));
      if (mass)
        std::printf("  LumpedMass         %d x %d (internal nodes filtered)\n", mass->NumRows(),
                    mass->NumColumns());
    }
  }
  QOBSspUmaCore_finalize(count);
  return 0;
}
