// The sample flexible body: a reduced beam of six nodes, and what a host should see of it.
#include "uma_FlexibleBodySample.h"

#include "QOBSspSubCore.h"
#include "uma_SampleModels.h"

namespace uma::sample {

namespace {

constexpr int kNodes = 6;
constexpr int kDofsPerNode = 6;
constexpr int kLoads = 2;
constexpr int kStatic = 12;
constexpr int kDynamic = 4;

int NodeLabel(int node) { return 1000 + node; }  // node numbers from 1
bool Internal(int node) { return node == 3 || node == 4; }
int DofOf(int node, int ldof) { return (node - 1) * kDofsPerNode + ldof; }
bool EndNode(int node) { return node == 1 || node == kNodes; }

}  // namespace

pfm::ModelBuilder FlexibleBeam(const std::string& name) {
  pfm::ModelBuilder b(name);
  b.SystemType(12).Loads(kLoads).StaticModes(kStatic);

  std::vector<int> allNodes, allDofs, aSetDofs, aSetNodes;
  for (int n = 1; n <= kNodes; ++n) {
    b.AddNode(NodeLabel(n), Internal(n));
    allNodes.push_back(n);
    for (int l = 1; l <= kDofsPerNode; ++l) {
      allDofs.push_back(b.AddDof(n, l));
      if (EndNode(n)) aSetDofs.push_back(DofOf(n, l));
    }
    if (EndNode(n)) aSetNodes.push_back(n);
  }

  // Modes: the loads, one static mode per A-set degree of freedom, then the dynamic modes.
  std::vector<int> loadAndModes, modes;
  for (int l = 1; l <= kLoads; ++l) loadAndModes.push_back(b.AddMode(0, l));
  for (int d : aSetDofs) {
    int node = (d - 1) / kDofsPerNode + 1;
    int m = b.AddMode(NodeLabel(node), (d - 1) % kDofsPerNode + 1);
    loadAndModes.push_back(m);
    modes.push_back(m);
  }
  for (int k = 1; k <= kDynamic; ++k) {
    int m = b.AddMode(sub_System::MapDynamicMode(k), 0);
    loadAndModes.push_back(m);
    modes.push_back(m);
  }

  int nodeSet = b.AddSet(pfm::MemberKind::Node, allNodes);
  int dofSet = b.AddSet(pfm::MemberKind::Dof, allDofs);
  int aSet = b.AddSet(pfm::MemberKind::Dof, aSetDofs);
  int aSetNodeSet = b.AddSet(pfm::MemberKind::Node, aSetNodes);
  int modeSet = b.AddSet(pfm::MemberKind::Mode, modes);
  int loadModeSet = b.AddSet(pfm::MemberKind::Mode, loadAndModes);
  std::vector<int> recoveryRows = allDofs;
  recoveryRows.insert(recoveryRows.end(), aSetDofs.begin(), aSetDofs.end());
  int recoveryRowSet = b.AddSet(pfm::MemberKind::Dof, recoveryRows);
  // "xGFAA"'s rows: the A-set in reverse, so that its rows and columns are labelled differently.
  int gfaaRowSet =
      b.AddSet(pfm::MemberKind::Dof, std::vector<int>(aSetDofs.rbegin(), aSetDofs.rend()));
  b.SetForType(ASetCSetType(), aSet).SetForType(ASetNodeCSetType(), aSetNodeSet);

  auto values = [](int rows, int columns, double scale) {
    std::vector<double> v(static_cast<std::size_t>(rows) * static_cast<std::size_t>(columns));
    for (int c = 0; c < columns; ++c)
      for (int r = 0; r < rows; ++r)
        v[static_cast<std::size_t>(r + c * rows)] = scale * (1 + r) + 0.01 * c;
    return v;
  };

  std::vector<double> coordinates(kNodes * 3, 0.0);
  for (int n = 0; n < kNodes; ++n) coordinates[static_cast<std::size_t>(n)] = 1.0 * n;
  b.NodeCoordinates(b.AddDistribution(kNodes, 3, nodeSet, -1, coordinates));
  int dofCount = kNodes * kDofsPerNode;
  b.DistributionForType(ModeMatrixType(),
                        b.AddDistribution(dofCount, kStatic + kDynamic, dofSet, modeSet,
                                          values(dofCount, kStatic + kDynamic, 0.5)));
  int recoveryRowsCount = dofCount + kStatic;
  int recoveryColumns = kLoads + kStatic + kDynamic;
  b.DistributionForType(
      RecoveryMatrixType(),
      b.AddDistribution(recoveryRowsCount, recoveryColumns, recoveryRowSet, loadModeSet,
                        values(recoveryRowsCount, recoveryColumns, 1.0)));
  std::vector<double> mass(kNodes);
  for (int n = 0; n < kNodes; ++n) mass[static_cast<std::size_t>(n)] = EndNode(n + 1) ? 2.5 : 5.0;
  b.DistributionName("LumpedMass", b.AddDistribution(kNodes, 1, nodeSet, -1, mass));
  b.UserMatrix("xGFAA", b.AddDistribution(kStatic, kStatic, gfaaRowSet, aSet,
                                          values(kStatic, kStatic, 0.25)));
  return b;
}

BeamExpectations FlexibleBeamExpectations() {
  BeamExpectations e;
  e.loads = kLoads;
  e.staticModes = kStatic;
  e.dynamicModes = kDynamic;
  for (int n = 1; n <= kNodes; ++n) {
    if (!Internal(n)) e.feNodes.push_back(NodeLabel(n));
    for (int l = 1; l <= kDofsPerNode; ++l) {
      if (!Internal(n)) {
        e.recoveryNodes.push_back(NodeLabel(n));
        e.recoveryDofs.push_back(l);
      }
      if (EndNode(n)) {
        e.aSetNodes.push_back(NodeLabel(n));
        e.aSetDofs.push_back(l);
      }
    }
    if (EndNode(n)) e.nodesInASet.push_back(NodeLabel(n));
  }
  e.gfaaNodes = e.aSetNodes;
  e.gfaaDofs = e.aSetDofs;
  e.gfaaRowNodes.assign(e.gfaaNodes.rbegin(), e.gfaaNodes.rend());
  e.gfaaRowDofs.assign(e.gfaaDofs.rbegin(), e.gfaaDofs.rend());
  for (int k = 1; k <= kDynamic; ++k) {
    e.aSetNodes.push_back(sub_System::MapDynamicMode(k));
    e.aSetDofs.push_back(0);
    e.nodesInASet.push_back(sub_System::MapDynamicMode(k));
  }
  return e;
}

}  // namespace uma::sample
