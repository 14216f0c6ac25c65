// The model file a reduction makes, laid out as the library reads it.
#include "reduce_ModelOutput.h"

#include <stdexcept>
#include <unordered_map>
#include <unordered_set>

#include "QOBSspSubCore.h"
#include "pfm_ModelTypes.h"
#include "reduce_InputError.h"

namespace uma::reduce {

namespace {

// The system type of a reduced substructure.
constexpr int kReducedSystemType = 12;

std::vector<double> Values(const Eigen::MatrixXd& m) {
  return std::vector<double>(m.data(), m.data() + m.size());
}

// A matrix the reduction holds, saved from its memory without a copy.
std::shared_ptr<pfm::ValueStore> View(const Eigen::MatrixXd& m) {
  return std::make_shared<pfm::ViewValues>(m.data(), m.rows());
}

// The recovery matrix, made as it is read from what the reduction holds: every dof from the
// load factors (the load responses) and the modal coordinates (the basis), then one row per
// static mode that reads its own coordinate (the boundary dof's displacement).
class RecoveryValues : public pfm::ValueStore {
 public:
  explicit RecoveryValues(const Reduction& r) : m_r(r) {}

  void Read(int r0, int nr, int c0, int nc, double* out, std::int64_t ld) const override {
    const int n = static_cast<int>(m_r.modes.rows()),
              loads = static_cast<int>(m_r.loadResponse.cols());
    if (r0 < 0 || nr < 0 || c0 < 0 || nc < 0 || r0 + nr > n + m_r.staticModes() ||
        c0 + nc > loads + static_cast<int>(m_r.modes.cols()))
      throw std::out_of_range("recovery matrix: block outside the matrix");
    for (int c = 0; c < nc; ++c) {
      const int column = c0 + c;
      const Eigen::MatrixXd& source = column < loads ? m_r.loadResponse : m_r.modes;
      const int sourceColumn = column < loads ? column : column - loads;
      for (int r = 0; r < nr; ++r) {
        const int row = r0 + r;
        out[c * ld + r] = row < n ? source(row, sourceColumn)
                                  : (column >= loads && row - n == column - loads ? 1.0 : 0.0);
      }
    }
  }
  void Write(int, int, int, int, const double*, std::int64_t) override {
    throw std::logic_error("recovery matrix: the values of a reduction cannot be written");
  }

 private:
  const Reduction& m_r;
};

}  // namespace

void CheckInternalNodes(const FullModel& model, const std::vector<int>& boundary,
                        const std::vector<int>& internal) {
  const std::string nodesFile = model.files.nodes.empty() ? "the nodes table" : model.files.nodes;
  std::unordered_set<int> known, onBoundary(boundary.begin(), boundary.end()), seen;
  for (const NodeRow& n : model.nodes) known.insert(n.label);
  for (int label : internal) {
    const std::string node = "--internal: node " + std::to_string(label);
    if (!known.count(label)) throw InputError(node + " is not in " + nodesFile);
    if (onBoundary.count(label)) throw InputError(node + " is a boundary node");
    if (!seen.insert(label).second) throw InputError(node + " is given twice");
  }
}

std::vector<double> LumpedNodeMass(const FullModel& model) {
  std::unordered_map<int, std::size_t> index;
  for (std::size_t i = 0; i < model.nodes.size(); ++i) index[model.nodes[i].label] = i;
  std::vector<double> mass(model.nodes.size(), 0.0);
  std::vector<int> directions(model.nodes.size(), 0);
  for (int direction = 1; direction <= 3; ++direction) {
    Eigen::VectorXd unit = Eigen::VectorXd::Zero(model.size());
    for (int r = 0; r < model.size(); ++r)
      if (model.dofs[static_cast<std::size_t>(r)].ldof == direction) unit(r) = 1.0;
    Eigen::VectorXd share = model.mass * unit;
    for (int r = 0; r < model.size(); ++r) {
      const DofRow& d = model.dofs[static_cast<std::size_t>(r)];
      if (d.ldof != direction) continue;
      const std::size_t node = index.at(d.node);
      mass[node] += share(r);
      ++directions[node];
    }
  }
  for (std::size_t i = 0; i < mass.size(); ++i)
    if (directions[i] > 0) mass[i] /= directions[i];
  return mass;
}

pfm::ModelBuilder BuildReducedModel(const std::string& name, const FullModel& model,
                                    const Reduction& reduction, const OutputOptions& options) {
  const int n = model.size(), nb = reduction.staticModes(), nq = reduction.dynamicModes();
  const int loads = static_cast<int>(reduction.loadResponse.cols());
  pfm::ModelBuilder b(name);
  b.SystemType(kReducedSystemType).Loads(loads).StaticModes(nb);

  std::unordered_set<int> internal(options.internal.begin(), options.internal.end());
  std::unordered_map<int, int> nodeNumber;
  std::vector<int> allNodes;
  for (const NodeRow& node : model.nodes) {
    const int number = b.AddNode(node.label, internal.count(node.label) > 0);
    nodeNumber[node.label] = number;
    allNodes.push_back(number);
  }
  std::vector<int> allDofs;
  for (const DofRow& d : model.dofs) allDofs.push_back(b.AddDof(nodeNumber.at(d.node), d.ldof));

  // Modes: the loads, a static mode per boundary dof, then the dynamic modes.
  std::vector<int> loadAndModes, modes, aSet, aSetNodes;
  for (int l = 1; l <= loads; ++l) loadAndModes.push_back(b.AddMode(0, l));
  std::unordered_set<int> boundaryNodes;
  for (int row : reduction.boundary) {
    const DofRow& d = model.dofs[static_cast<std::size_t>(row)];
    const int mode = b.AddMode(d.node, d.ldof);
    loadAndModes.push_back(mode);
    modes.push_back(mode);
    aSet.push_back(allDofs[static_cast<std::size_t>(row)]);
    if (boundaryNodes.insert(d.node).second) aSetNodes.push_back(nodeNumber.at(d.node));
  }
  for (int k = 1; k <= nq; ++k) {
    const int mode = b.AddMode(sub_System::MapDynamicMode(k), 0);
    loadAndModes.push_back(mode);
    modes.push_back(mode);
  }

  const int nodeSet = b.AddSet(pfm::MemberKind::Node, allNodes);
  const int dofSet = b.AddSet(pfm::MemberKind::Dof, allDofs);
  const int aSetSet = b.AddSet(pfm::MemberKind::Dof, aSet);
  const int aSetNodeSet = b.AddSet(pfm::MemberKind::Node, aSetNodes);
  const int modeSet = b.AddSet(pfm::MemberKind::Mode, modes);
  const int loadModeSet = b.AddSet(pfm::MemberKind::Mode, loadAndModes);
  std::vector<int> recoveryRows = allDofs;
  recoveryRows.insert(recoveryRows.end(), aSet.begin(), aSet.end());
  const int recoveryRowSet = b.AddSet(pfm::MemberKind::Dof, recoveryRows);
  b.SetForType(pfm::types::ASet(), aSetSet).SetForType(pfm::types::ASetNodes(), aSetNodeSet);

  const int nodes = static_cast<int>(model.nodes.size());
  Eigen::MatrixXd coordinates(nodes, 3);
  for (int i = 0; i < nodes; ++i) {
    const NodeRow& node = model.nodes[static_cast<std::size_t>(i)];
    coordinates.row(i) << node.x, node.y, node.z;
  }
  b.NodeCoordinates(b.AddDistribution(nodes, 3, nodeSet, -1, Values(coordinates)));

  // The basis once: the mode matrix and the recovery matrix's dof rows of its mode columns
  // are the reduction's own memory, and the file stores them once.
  const int reduced = nb + nq;
  const int modeMatrix = b.AddDistributionFrom(n, reduced, dofSet, modeSet, View(reduction.modes));
  b.DistributionForType(pfm::types::ModeMatrix(), modeMatrix);
  const int recovery = b.AddDistributionFrom(n + nb, loads + reduced, recoveryRowSet, loadModeSet,
                                             std::make_shared<RecoveryValues>(reduction));
  b.DistributionForType(pfm::types::RecoveryMatrix(), recovery);
  if (reduced > 0) b.ShareRows(recovery, {modeMatrix, loads, reduced, 0});
  b.DistributionForType(
      pfm::types::ReducedStiffness(),
      b.AddDistribution(reduced, reduced, modeSet, modeSet, Values(reduction.stiffness)));
  b.DistributionForType(
      pfm::types::ReducedMass(),
      b.AddDistribution(reduced, reduced, modeSet, modeSet, Values(reduction.mass)));
  if (loads > 0) {
    // The loads as given, and on the reduced coordinates, so that a host can apply them.
    const int loadSet =
        b.AddSet(pfm::MemberKind::Mode,
                 std::vector<int>(loadAndModes.begin(), loadAndModes.begin() + loads));
    b.DistributionName(pfm::types::kLoads,
                       b.AddDistributionFrom(n, loads, dofSet, loadSet, View(model.loads)));
    b.DistributionName(
        pfm::types::kReducedLoads,
        b.AddDistribution(reduced, loads, modeSet, loadSet, Values(reduction.reducedLoads)));
  }
  std::vector<double> lumped =
      options.lumpedMass.empty() ? LumpedNodeMass(model) : options.lumpedMass;
  b.DistributionName(pfm::types::kLumpedMass,
                     b.AddDistribution(nodes, 1, nodeSet, -1, std::move(lumped)));
  b.UserMatrix(pfm::types::kGFAA,
               b.AddDistribution(nb, nb, aSetSet, aSetSet,
                                 Values(reduction.stiffness.topLeftCorner(nb, nb))));
  for (const auto& [key, value] : options.attributes) b.Attribute(key, value);
  for (const pfm::MeshElement& e : options.mesh) b.AddMeshElement(e.label, e.type, e.nodes);
  return b;
}

}  // namespace uma::reduce
