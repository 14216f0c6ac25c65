// Sample models for the model files: one that uses every part of the format.
#include "uma_StoredSamples.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "QOBSimAPI.h"
#include "uma_SampleModels.h"

namespace uma::sample {

int StiffnessType() { return ads_CoreFragmentTypeIndex(20, 61); }
int ElementCSetType() { return ads_CoreFragmentTypeIndex(20, 75); }
int OtherCSetType() { return ads_CoreFragmentTypeIndex(20, 76); }

namespace {

double NaNWithPayload() {
  std::uint64_t bits = 0x7ff80000deadbeefULL;
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

// rows x columns values in which the first few are the special ones.
std::vector<double> Values(int rows, int columns, double seed) {
  std::vector<double> v(static_cast<std::size_t>(rows) * static_cast<std::size_t>(columns));
  for (std::size_t i = 0; i < v.size(); ++i)
    v[i] = seed + std::sin(static_cast<double>(i) * 0.7) / 3.0;
  const double special[] = {NaNWithPayload(),
                            -0.0,
                            std::numeric_limits<double>::infinity(),
                            -std::numeric_limits<double>::infinity(),
                            std::numeric_limits<double>::denorm_min(),
                            std::numeric_limits<double>::max()};
  for (std::size_t i = 0; i < v.size() && i < std::size(special); ++i) v[i] = special[i];
  return v;
}

}  // namespace

pfm::ModelBuilder EveryFeature(const std::string& name) {
  pfm::ModelBuilder b(name);
  b.SystemType(11).Loads(3).StaticModes(2);
  std::vector<int> dofs, nodes;
  for (int n = 1; n <= 5; ++n) {
    nodes.push_back(b.AddNode(200 + n, n == 3));
    for (int l = 1; l <= 3; ++l) dofs.push_back(b.AddDof(n, l));
  }
  std::vector<int> modes = {b.AddMode(201, 1), b.AddMode(202, 2), b.AddMode(0, 0),
                            b.AddMode(205, 6)};
  b.AddElement(9001);
  b.AddElement(-9002);
  b.AddElement(9003);
  int dofSet = b.AddSet(pfm::MemberKind::Dof, dofs);
  int nodeSet = b.AddSet(pfm::MemberKind::Node, nodes);
  int modeSet = b.AddSet(pfm::MemberKind::Mode, modes);
  int elementSet = b.AddSet(pfm::MemberKind::Element, {3, 1});
  int other = b.AddSetIn(b.AddCollection(ads_CoreFragmentTypeIndex(77, 5)), {-7, 0, 123456789});
  b.AddSet(pfm::MemberKind::Node, {});  // an empty set, referred to by nothing

  int stiffness = b.AddDistribution(15, 15, dofSet, dofSet, Values(15, 15, 1.0));
  int coordinates = b.AddDistribution(5, 3, nodeSet, -1, Values(5, 3, 2.0));
  int shapes = b.AddDistribution(15, 4, dofSet, modeSet, Values(15, 4, 3.0));
  int sparse = b.AddDistribution(2, 2, -1, -1, Values(2, 2, 4.0), false);
  b.AddDistribution(0, 3, -1, -1);
  b.AddDistribution(4, 0, -1, -1);
  b.DistributionForType(StiffnessType(), stiffness).DistributionForType(ModeMatrixType(), shapes);
  b.DistributionForType(RecoveryMatrixType(), sparse);
  b.NodeCoordinates(coordinates);
  b.DistributionName("K", stiffness).DistributionName("phi", shapes).DistributionName("", sparse);
  b.UserMatrix("xGFAA", shapes).UserMatrix("u v", sparse);
  b.SetForType(ASetCSetType(), dofSet).SetForType(ASetNodeCSetType(), nodeSet);
  b.SetForType(ElementCSetType(), elementSet).SetForType(OtherCSetType(), other);
  return b;
}

}  // namespace uma::sample
