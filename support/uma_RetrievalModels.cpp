// Sample models for matrix retrieval: every shape of matrix that trimming and filtering meet.
#include "uma_RetrievalModels.h"

#include "QOBSimAPI.h"
#include "uma_SampleModels.h"

namespace uma::sample {

namespace {

std::vector<double> Values(int base, int rows, int columns) {
  std::vector<double> out;
  out.reserve(static_cast<std::size_t>(rows) * static_cast<std::size_t>(columns));
  for (int c = 0; c < columns; ++c)
    for (int r = 0; r < rows; ++r) out.push_back(SampleValue(base, r, c));
  return out;
}

}  // namespace

int NodeMatrixType() { return ads_CoreFragmentTypeIndex(20, 80); }
int ElementMatrixType() { return ads_CoreFragmentTypeIndex(20, 81); }
int OtherKindType() { return ads_CoreFragmentTypeIndex(20, 82); }

double SampleValue(int base, int r, int c) { return base + 10.0 * r + c + 0.25; }

pfm::ModelBuilder RetrievalSystem(const std::string& name, int loads, int staticModes) {
  using pfm::MemberKind;
  pfm::ModelBuilder b(name);
  b.SystemType(9).Loads(loads).StaticModes(staticModes);
  for (int n = 1; n <= 6; ++n) {
    b.AddNode(100 + n, n == 2 || n == 5);
    b.AddDof(n, 1);
    b.AddDof(n, 2);
  }
  for (int m = 1; m <= 5; ++m) b.AddMode(900000000 + m, 0);
  for (int e = 1; e <= 3; ++e) b.AddElement(500 + e);

  int dofRows = b.AddSet(MemberKind::Dof, {11, 1, 3, 4, 9, 10, 6, 7, 2, 12});
  int modeColumns = b.AddSet(MemberKind::Mode, {1, 2, 3, 4, 5});
  int nodesDown = b.AddSet(MemberKind::Node, {6, 5, 4, 3, 2, 1});
  int nodesUp = b.AddSet(MemberKind::Node, {1, 2, 3, 4, 5, 6});
  int elements = b.AddSet(MemberKind::Element, {1, 2, 3});

  b.DistributionForType(RecoveryMatrixType(),
                        b.AddDistribution(10, 5, dofRows, modeColumns, Values(1000, 10, 5)));
  b.DistributionForType(NodeMatrixType(),
                        b.AddDistribution(6, 6, nodesDown, nodesUp, Values(2000, 6, 6)));
  b.DistributionForType(ElementMatrixType(),
                        b.AddDistribution(3, 6, elements, nodesUp, Values(3000, 3, 6)));
  b.NodeCoordinates(b.AddDistribution(6, 3, nodesUp, -1, Values(4000, 6, 3)));
  b.DistributionForType(NodeCoordinatesType(), b.AddDistribution(1, 1, -1, -1, {-1.0}));
  b.DistributionForType(OtherKindType(), b.AddDistribution(2, 2, -1, -1, {}, false));
  b.UserMatrix("xShared", b.AddDistribution(2, 3, -1, -1, Values(5000, 2, 3)));
  b.DistributionName("xShared", b.AddDistribution(4, 4, -1, -1, Values(6000, 4, 4)));
  b.DistributionName("xDistOnly", b.AddDistribution(3, 2, -1, -1, Values(7000, 3, 2)));
  return b;
}

pfm::ModelBuilder RecoverySystem(const std::string& name, int nodes, int dofsPerNode, int modes,
                                 int loads, int staticModes, int internalEvery) {
  pfm::ModelBuilder b(name);
  b.SystemType(9).Loads(loads).StaticModes(staticModes);
  std::vector<int> dofs, modeNumbers;
  for (int n = 1; n <= nodes; ++n) {
    b.AddNode(1000 + n, internalEvery > 0 && n % internalEvery == 0);
    for (int d = 1; d <= dofsPerNode; ++d) dofs.push_back(b.AddDof(n, d));
  }
  for (int m = 1; m <= modes; ++m) modeNumbers.push_back(b.AddMode(900000000 + m, 0));
  int rows = static_cast<int>(dofs.size());
  std::vector<double> values(static_cast<std::size_t>(rows) * static_cast<std::size_t>(modes));
  for (std::size_t i = 0; i < values.size(); ++i) values[i] = 0.5 * static_cast<double>(i % 1009);
  int rowSet = b.AddSet(pfm::MemberKind::Dof, std::move(dofs));
  int columnSet = b.AddSet(pfm::MemberKind::Mode, std::move(modeNumbers));
  b.DistributionForType(RecoveryMatrixType(),
                        b.AddDistribution(rows, modes, rowSet, columnSet, std::move(values)));
  return b;
}

}  // namespace uma::sample
