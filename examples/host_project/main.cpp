// A host built against the installed package alone. `uma_host MODEL` opens a model and prints
// what the system handle answers, or why the open failed; `uma_host --write PATH` first builds a
// tiny model with the installed builder, saves it at PATH and then opens it the same way.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "QOBBasCoreUtils.h"
#include "QOBSspUmaCore.h"
#include "pfm_ModelBuilder.h"
#include "pfm_ModelTypes.h"
#include "pfm_Support.h"
#include "uma_IncoreMatrix.h"
#include "uma_Matrix.h"
#include "uma_System.h"

namespace {

// Two nodes of one dof each joined by a spring of stiffness 4: a 2 x 2 reduced stiffness over
// the dofs, in a system of type 7 with one load.
void WriteTinyModel(const std::string& path) {
  pfm::ModelBuilder b(path);
  b.SystemType(7).Loads(1);
  const int first = b.AddDof(b.AddNode(1), 1);
  const int second = b.AddDof(b.AddNode(2), 1);
  const int dofs = b.AddSet(pfm::MemberKind::Dof, {first, second});
  b.DistributionForType(pfm::types::ReducedStiffness(),
                        b.AddDistribution(2, 2, dofs, dofs, {4.0, -4.0, -4.0, 4.0}));
  b.Attribute(pfm::attributes::kUnitLength, "m");
  pfm::SaveModel(b, path);
}

int Report(const char* model) {
  uma_System system(model, false);
  if (system.IsNull()) {
    std::printf("null system: %s\n", pfm::LastOpenFailure().c_str());
    return 1;
  }
  std::printf("type %d, %d loads, %d static modes\n", system.Type(), system.NumLoads(),
              system.NumStaticModes());
  std::unique_ptr<const uma_Matrix> k(system.Matrix(pfm::types::ReducedStiffness(), 0));
  if (k) {
    uma_IncoreMatrix values(k->NumRows(), k->NumColumns(), nullptr);
    k->GetValues(0, k->NumRows() - 1, 0, k->NumColumns() - 1, values);
    std::printf("stiffness %d x %d, k11 %g k12 %g\n", k->NumRows(), k->NumColumns(),
                values.value(0, 0), values.value(0, 1));
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const bool write = argc > 2 && std::strcmp(argv[1], "--write") == 0;
  const char* model = write ? argv[2] : argc > 1 ? argv[1] : "";
  int count = 0;
  QOBSspUmaCore_initialize(count);
  int status = 0;
  try {
    if (write) WriteTinyModel(model);
    status = Report(model);
  } catch (const QOBBasError& e) {
    std::printf("failed: %s\n", e.what());
    status = 1;
  }
  QOBSspUmaCore_finalize(count);
  return status;
}
