// The host guide's example (docs/host-guide.md): open a stored system, take its recovery matrix
// trimmed and filtered, label its rows, recover displacements u = R q from modal coordinates of
// the host's own, and clean up. Usage: host_guide MODEL-FILE
#include <cstdio>
#include <memory>

#include "QOBBasCoreUtils.h"
#include "QOBSspUmaCore.h"
#include "pfm_ModelTypes.h"
#include "pfm_Support.h"
#include "uma_ArrayInt.h"
#include "uma_IncoreMatrix.h"
#include "uma_Matrix.h"
#include "uma_System.h"

namespace {

// Everything between open and close: answers 0, or 1 when the model lacks what it needs.
int Recover(const uma_System& system) {
  // Read-only, without load columns and static-mode rows, and without the internal nodes' rows.
  const int options = uma_System::OptionTrimLoads | uma_System::OptionTrimStaticModes |
                      uma_System::OptionFilterInternalNodes;
  std::unique_ptr<const uma_Matrix> R(system.Matrix(pfm::types::RecoveryMatrix(), options));
  if (!R) {
    std::printf("no dense recovery matrix\n");
    return 1;
  }
  // One node label and one local degree of freedom per row of R as it was handed out.
  std::unique_ptr<uma_ArrayInt> nodes(R->MapRows(uma_Enum::uma_MapNode));
  std::unique_ptr<uma_ArrayInt> dofs(R->MapRows(uma_Enum::uma_MapDof));
  if (!nodes || !dofs) {
    std::printf("the recovery matrix's rows are not degrees of freedom\n");
    return 1;
  }

  // Modal coordinates: 1 for the first mode, 0 for the others (new storage starts at 0).
  uma_IncoreMatrix q(R->NumColumns(), 1, nullptr);
  q.value(0, 0) = 1.0;
  uma_IncoreMatrix u(R->NumRows(), 1, nullptr);
  R->Multiply(&q, &u);  // a size mismatch would write one line on the error stream instead

  std::printf("%d rows x %d modes\n", R->NumRows(), R->NumColumns());
  for (int r = 0; r < R->NumRows(); ++r)
    std::printf("node %d dof %d u %.4f\n", (*nodes)[r], (*dofs)[r], u.value(r, 0));
  return 0;
  // Leaving the scope deletes u, q, the arrays and R: every matrix before its system.
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: host_guide MODEL-FILE\n");
    return 2;
  }
  int count = 0;
  QOBSspUmaCore_initialize(count);  // before any handle is made
  int status = 0;
  try {
    uma_System system(argv[1], /*editable=*/false);
    if (system.IsNull()) {
      std::printf("cannot open %s: %s\n", argv[1], pfm::LastOpenFailure().c_str());
      status = 1;
    } else {
      status = Recover(system);
    }
    // Leaving the block destroys the system, which closes the model.
  } catch (const QOBBasError& e) {  // out of memory, or a file damaged under the host
    std::printf("failed: %s\n", e.what());
    status = 1;
  }
  QOBSspUmaCore_finalize(count);  // after the last handle is gone
  return status;
}
