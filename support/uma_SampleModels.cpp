// Sample models shared by the tests, the benchmarks, the examples and the tools.
#include "uma_SampleModels.h"

#include "QOBSimAPI.h"

namespace uma::sample {

int NodeCoordinatesType() { return ads_CoreFragmentTypeIndex(31, 37); }
int RecoveryMatrixType() { return ads_CoreFragmentTypeIndex(20, 68); }
int ASetCSetType() { return ads_CoreFragmentTypeIndex(20, 72); }
int ASetNodeCSetType() { return ads_CoreFragmentTypeIndex(20, 73); }
int ModeMatrixType() { return ads_CoreFragmentTypeIndex(20, 74); }

pfm::ModelBuilder SmallSystem(const std::string& name) {
  pfm::ModelBuilder b(name);
  b.SystemType(7).Loads(2).StaticModes(1);
  b.AddNode(101);
  b.AddNode(102);
  b.AddNode(103, true);
  b.AddNode(104);
  return b;
}

}  // namespace uma::sample
