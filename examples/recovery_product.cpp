// A typical request: open a stored system, take its recovery matrix trimmed and filtered of
// internal nodes, label its rows, and recover physical displacements from modal coordinates of
// the host's own (u = R q) into an in-core result.
#include <cstdio>
#include <memory>
#include <vector>

#include "QOBSimAPI.h"
#include "QOBSspUmaCore.h"
#include "uma_ArrayInt.h"
#include "uma_FlexibleBodySample.h"
#include "uma_IncoreMatrix.h"
#include "uma_Matrix.h"
#include "uma_System.h"

int main(int argc, char** argv) {
  const char* name = argc > 1 ? argv[1] : "beam";
  if (argc <= 1) uma::sample::FlexibleBeam(name).Register();

  int count = 0;
  QOBSspUmaCore_initialize(count);
  int status = 0;
  {
    uma_System system(name, false);
    const int recoveryType = ads_CoreFragmentTypeIndex(20, 68);
    const int options = uma_System::OptionFilterInternalNodes | uma_System::OptionTrimStaticModes |
                        uma_System::OptionTrimLoads;
    std::unique_ptr<const uma_Matrix> recovery(system.Matrix(recoveryType, options));
    if (!recovery) {
      std::printf("\"%s\" has no recovery matrix\n", name);
      status = 1;
    } else {
      // One modal coordinate per column: here, the first mode alone.
      std::vector<double> q(static_cast<std::size_t>(recovery->NumColumns()), 0.0);
      q[0] = 1.0;
      uma_IncoreMatrix modal(recovery->NumColumns(), 1, q.data());
      uma_IncoreMatrix displacement(recovery->NumRows(), 1, nullptr);
      recovery->Multiply(&modal, &displacement);

      std::unique_ptr<uma_ArrayInt> nodes(recovery->MapRows(uma_Enum::uma_MapNode));
      std::unique_ptr<uma_ArrayInt> dofs(recovery->MapRows(uma_Enum::uma_MapDof));
      std::printf("recovery matrix of \"%s\": %d x %d after trimming and filtering\n", name,
                  recovery->NumRows(), recovery->NumColumns());
      std::printf("%8s %5s %12s\n", "node", "dof", "u");
      for (int r = 0; r < recovery->NumRows(); ++r)
        std::printf("%8d %5d %12.4f\n", (*nodes)[r], (*dofs)[r], displacement.value(r, 0));
    }
  }
  QOBSspUmaCore_finalize(count);
  return status;
}
