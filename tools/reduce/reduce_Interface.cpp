// Interface nodes and held dofs as an exact change of coordinates of a full model.
#include "reduce_Interface.h"

#include <Eigen/Eigenvalues>
#include <Eigen/QR>
#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <set>
#include <stdexcept>

#include "reduce_CalculixText.h"
#include "reduce_InputError.h"

namespace uma::reduce {

namespace {

using Entries = std::vector<std::pair<int, double>>;  // (column, value) of one row of T

std::string NodeText(int label) { return "node " + std::to_string(label); }

Eigen::Vector3d At(const NodeRow& n) { return {n.x, n.y, n.z}; }

// Rows of T for a dof that follows an interface node rigidly: u = t + theta x r, theta = theta.
Entries RigidRow(int ldof, const Eigen::Vector3d& r, const std::array<int, 6>& q) {
  if (ldof >= 4) return {{q[ldof - 1], 1.0}};
  // (theta x r)_a: x: theta_y r_z - theta_z r_y; y: theta_z r_x - theta_x r_z; z: theta_x r_y -
  // theta_y r_x.
  static const int kFirst[] = {4, 5, 3}, kSecond[] = {5, 3, 4};  // indices of q (0-based)
  static const int kFirstR[] = {2, 0, 1}, kSecondR[] = {1, 2, 0};
  const int a = ldof - 1;
  return {{q[a], 1.0}, {q[kFirst[a]], r(kFirstR[a])}, {q[kSecond[a]], -r(kSecondR[a])}};
}

class Builder {
 public:
  Builder(const FullModel& model, const std::vector<InterfaceNode>& interfaces)
      : m_model(model), m_interfaces(interfaces), m_dependent(model.dofs.size(), -1) {
    for (std::size_t i = 0; i < model.nodes.size(); ++i) m_node[model.nodes[i].label] = i;
    for (std::size_t r = 0; r < model.dofs.size(); ++r)
      m_row[{model.dofs[r].node, model.dofs[r].ldof}] = static_cast<int>(r);
  }

  Transformation Build(const std::vector<HeldDofs>& held, const std::vector<DerivedDof>& derived) {
    CheckInterfaces();
    m_plans.resize(m_interfaces.size());
    for (std::size_t k = 0; k < m_interfaces.size(); ++k) {
      MarkDependent(k);
      if (m_interfaces[k].kind == InterfaceNode::Kind::Distributing) PlanDistribution(k);
    }
    NumberQ();
    std::vector<Entries> rows(m_model.dofs.size());
    for (std::size_t r = 0; r < rows.size(); ++r)
      if (m_dependent[r] < 0) rows[r] = {{m_qOfRow[r], 1.0}};
    for (std::size_t k = 0; k < m_interfaces.size(); ++k)
      if (m_interfaces[k].kind == InterfaceNode::Kind::Rigid)
        TieRigidly(k, rows);
      else
        Distribute(k, rows);
    std::vector<char> heldQ = Held(held);
    Check(rows, heldQ);
    return Assemble(rows, heldQ, derived);
  }

 private:
  [[noreturn]] void Fail(const InterfaceNode& i, const std::string& why) const {
    throw InputError(i.option + ": " + why);
  }

  const NodeRow& NodeOf(int label) const { return m_model.nodes[m_node.at(label)]; }

  Eigen::Vector3d Position(const InterfaceNode& i) const {
    return i.placed ? Eigen::Vector3d(i.x, i.y, i.z) : At(NodeOf(i.label));
  }

  void CheckInterfaces() {
    std::map<int, std::string> listed, named;
    for (const InterfaceNode& i : m_interfaces) {
      if (i.placed && m_node.count(i.label))
        Fail(i, NodeText(i.label) + " is already in the model; give its label alone");
      if (!i.placed && !m_node.count(i.label))
        Fail(i, NodeText(i.label) + " is not in the model; give a new one a position, " +
                    std::to_string(i.label) + "@X,Y,Z");
      if (!named.emplace(i.label, i.option).second)
        Fail(i, NodeText(i.label) + " is already an interface node (" + named[i.label] + ")");
      if (i.nodes.empty()) Fail(i, "no node listed");
      for (int node : i.nodes) {
        if (!m_node.count(node)) Fail(i, NodeText(node) + " is not in the model");
        auto [it, added] = listed.emplace(node, i.option);
        if (!added)
          Fail(i, NodeText(node) + " is listed twice (" +
                      (it->second == i.option ? "here" : it->second) + ")");
      }
    }
    for (const InterfaceNode& i : m_interfaces)
      if (listed.count(i.label))
        Fail(i,
             "the interface " + NodeText(i.label) + " is itself listed (" + listed[i.label] + ")");
  }

  // Marks the rows an interface makes dependent. A rigid interface takes every dof of its
  // nodes but generalised ones; a distributing one six translations, chosen in Distribute.
  void MarkDependent(std::size_t k) {
    const InterfaceNode& i = m_interfaces[k];
    for (int node : i.nodes) {
      bool translations = false;
      for (int ldof = 1; ldof <= 6; ++ldof) {
        auto it = m_row.find({node, ldof});
        if (it == m_row.end()) continue;
        translations |= ldof <= 3;
        if (i.kind == InterfaceNode::Kind::Rigid) m_dependent[it->second] = static_cast<int>(k);
      }
      if (!translations) Fail(i, NodeText(node) + " has no translation to tie");
    }
  }

  // q: the independent rows in order, then each interface node's dofs that are no row.
  void NumberQ() {
    m_qOfRow.assign(m_model.dofs.size(), -1);
    for (std::size_t r = 0; r < m_model.dofs.size(); ++r)
      if (m_dependent[r] < 0) {
        m_qOfRow[r] = static_cast<int>(m_qDofs.size());
        m_qDofs.push_back(m_model.dofs[r]);
      }
    m_nodeQ.resize(m_interfaces.size());
    for (std::size_t k = 0; k < m_interfaces.size(); ++k)
      for (int ldof = 1; ldof <= 6; ++ldof) {
        auto it = m_row.find({m_interfaces[k].label, ldof});
        if (it != m_row.end()) {
          m_nodeQ[k][static_cast<std::size_t>(ldof - 1)] =
              m_qOfRow[static_cast<std::size_t>(it->second)];
        } else {
          m_nodeQ[k][static_cast<std::size_t>(ldof - 1)] = static_cast<int>(m_qDofs.size());
          m_qDofs.push_back({m_interfaces[k].label, ldof, 0});
        }
      }
  }

  void TieRigidly(std::size_t k, std::vector<Entries>& rows) const {
    const Eigen::Vector3d origin = Position(m_interfaces[k]);
    for (std::size_t r = 0; r < rows.size(); ++r)
      if (m_dependent[r] == static_cast<int>(k)) {
        const DofRow& d = m_model.dofs[r];
        rows[r] = RigidRow(d.ldof, At(NodeOf(d.node)) - origin, m_nodeQ[k]);
      }
  }

  // The interface node's motion p = (t, theta) is the weighted least-squares rigid fit of the
  // listed translations u: p = C u. With theta scaled by the face's size L, C is free of units,
  // and a pivoted QR of it picks six translations D it determines well: u_D = C_D^-1 (S p - C_I
  // u_I), S = diag(1, 1, 1, L, L, L).
  struct Plan {
    std::vector<int> face;          // rows of the listed translations
    std::vector<int> dependent;     // the six of them that follow, as indices into `face`
    Eigen::Matrix<double, 6, 6> b;  // C_D^-1
    Eigen::MatrixXd bc;             // C_D^-1 C
    double size = 0.0;              // L
  };

  void PlanDistribution(std::size_t k) {
    const InterfaceNode& i = m_interfaces[k];
    Plan& plan = m_plans[k];
    std::vector<double> weight;
    Eigen::Vector3d centre = Eigen::Vector3d::Zero();
    double total = 0.0;
    auto weightOf = [&](std::size_t p) { return p < i.weights.size() ? i.weights[p] : 1.0; };
    for (std::size_t p = 0; p < i.nodes.size(); ++p) {
      const double w = weightOf(p);
      if (!(w > 0) || !std::isfinite(w))
        Fail(i, "the weight of " + NodeText(i.nodes[p]) + " is not a positive number");
      centre += w * At(NodeOf(i.nodes[p]));
      total += w;
      for (int ldof = 1; ldof <= 3; ++ldof) {
        auto it = m_row.find({i.nodes[p], ldof});
        if (it == m_row.end()) continue;
        plan.face.push_back(it->second);
        weight.push_back(w);
      }
    }
    centre /= total;
    double spread = 0.0;
    for (std::size_t p = 0; p < i.nodes.size(); ++p)
      spread += weightOf(p) * (At(NodeOf(i.nodes[p])) - centre).squaredNorm();
    plan.size = std::sqrt(spread / total);
    const std::string onALine =
        "the listed nodes lie on a line or at a point: the rotation about it is not determined";
    if (!(plan.size > 0) || plan.face.size() < 6) Fail(i, onALine);

    const Eigen::Vector3d origin = Position(i);
    const Eigen::Index m = static_cast<Eigen::Index>(plan.face.size());
    Eigen::MatrixXd g(6, m);  // columns: each translation's row of the fit, scaled, weighted
    Eigen::Matrix<double, 6, 6> a = Eigen::Matrix<double, 6, 6>::Zero();
    for (Eigen::Index j = 0; j < m; ++j) {
      const std::size_t sj = static_cast<std::size_t>(j);
      const DofRow& d = m_model.dofs[static_cast<std::size_t>(plan.face[sj])];
      const Eigen::Vector3d r = (At(NodeOf(d.node)) - origin) / plan.size;
      Eigen::Matrix<double, 6, 1> row = Eigen::Matrix<double, 6, 1>::Zero();
      row(d.ldof - 1) = 1.0;
      const Eigen::Vector3d rot[] = {{0, r.z(), -r.y()}, {-r.z(), 0, r.x()}, {r.y(), -r.x(), 0}};
      row.tail<3>() = rot[d.ldof - 1];
      a += weight[sj] * row * row.transpose();
      g.col(j) = weight[sj] * row;
    }
    Eigen::SelfAdjointEigenSolver<Eigen::Matrix<double, 6, 6>> eig(a);
    if (!(eig.eigenvalues()(0) > 1e-12 * eig.eigenvalues()(5))) Fail(i, onALine);
    const Eigen::MatrixXd c = eig.eigenvectors() * eig.eigenvalues().cwiseInverse().asDiagonal() *
                              eig.eigenvectors().transpose() * g;
    Eigen::ColPivHouseholderQR<Eigen::MatrixXd> qr(c);
    const auto& order = qr.colsPermutation().indices();
    plan.dependent.assign(order.data(), order.data() + 6);
    Eigen::Matrix<double, 6, 6> cd;
    for (int j = 0; j < 6; ++j) cd.col(j) = c.col(plan.dependent[static_cast<std::size_t>(j)]);
    Eigen::FullPivLU<Eigen::Matrix<double, 6, 6>> lu(cd);
    if (!lu.isInvertible()) Fail(i, onALine);
    plan.b = lu.inverse();
    plan.bc = plan.b * c;
    for (int j : plan.dependent)
      m_dependent[static_cast<std::size_t>(plan.face[static_cast<std::size_t>(j)])] =
          static_cast<int>(k);
  }

  void Distribute(std::size_t k, std::vector<Entries>& rows) const {
    const Plan& plan = m_plans[k];
    std::set<int> dependent(plan.dependent.begin(), plan.dependent.end());
    for (int j = 0; j < 6; ++j) {
      Entries e;
      for (int s = 0; s < 6; ++s)
        e.emplace_back(m_nodeQ[k][static_cast<std::size_t>(s)],
                       plan.b(j, s) * (s < 3 ? 1.0 : plan.size));
      for (Eigen::Index col = 0; col < plan.bc.cols(); ++col)
        if (!dependent.count(static_cast<int>(col)) && plan.bc(j, col) != 0.0)
          e.emplace_back(
              m_qOfRow[static_cast<std::size_t>(plan.face[static_cast<std::size_t>(col)])],
              -plan.bc(j, col));
      rows[static_cast<std::size_t>(
          plan.face[static_cast<std::size_t>(plan.dependent[static_cast<std::size_t>(j)])])] =
          std::move(e);
    }
  }

  // The dofs of q held at zero.
  std::vector<char> Held(const std::vector<HeldDofs>& held) const {
    std::vector<char> out(m_qDofs.size(), 0);
    std::map<std::pair<int, int>, int> q;
    for (std::size_t j = 0; j < m_qDofs.size(); ++j)
      q[{m_qDofs[j].node, m_qDofs[j].ldof}] = static_cast<int>(j);
    for (const HeldDofs& h : held) {
      bool any = false;
      for (int ldof = 1; ldof <= 9; ++ldof) {
        if (!h.ldofs.empty() && std::find(h.ldofs.begin(), h.ldofs.end(), ldof) == h.ldofs.end())
          continue;
        auto row = m_row.find({h.node, ldof});
        if (row != m_row.end() && m_dependent[static_cast<std::size_t>(row->second)] >= 0)
          throw InputError("--fixed: " + NodeText(h.node) + " is tied to " +
                           m_interfaces[static_cast<std::size_t>(
                                            m_dependent[static_cast<std::size_t>(row->second)])]
                               .option +
                           "; hold the interface node instead");
        auto it = q.find({h.node, ldof});
        if (it == q.end()) continue;
        out[static_cast<std::size_t>(it->second)] = 1;
        any = true;
      }
      if (!any) throw InputError("--fixed: " + NodeText(h.node) + " has none of those dofs");
    }
    return out;
  }

  // A rigid motion of q must move every original dof rigidly (held rows excepted).
  void Check(const std::vector<Entries>& rows, const std::vector<char>& heldQ) const {
    std::vector<NodeRow> nodes = m_model.nodes;
    for (const InterfaceNode& i : m_interfaces)
      if (i.placed) nodes.push_back({i.label, i.x, i.y, i.z, 0});
    const Eigen::MatrixXd original = RigidMotions(m_model.dofs, m_model.nodes);
    const Eigen::MatrixXd q = RigidMotions(m_qDofs, nodes);
    const double scale = std::max(1.0, original.cwiseAbs().maxCoeff());
    for (std::size_t r = 0; r < rows.size(); ++r) {
      if (m_dependent[r] < 0 && heldQ[static_cast<std::size_t>(m_qOfRow[r])]) continue;
      Eigen::Matrix<double, 1, 6> moved = Eigen::Matrix<double, 1, 6>::Zero();
      for (const auto& [col, value] : rows[r]) moved += value * q.row(col);
      const double gap = (moved - original.row(static_cast<Eigen::Index>(r))).cwiseAbs().maxCoeff();
      if (!(gap <= 1e-9 * scale))
        throw std::runtime_error(
            "the interface nodes' transformation fails its check: a rigid motion of them moves "
            "node " +
            std::to_string(m_model.dofs[r].node) + " dof " + std::to_string(m_model.dofs[r].ldof) +
            " off the rigid motion by " + std::to_string(gap / scale) + " (relative)");
    }
  }

  Transformation Assemble(const std::vector<Entries>& rows, const std::vector<char>& heldQ,
                          const std::vector<DerivedDof>& derived) const {
    Transformation t;
    t.identity = false;
    std::vector<int> column(m_qDofs.size(), -1);
    for (std::size_t j = 0; j < m_qDofs.size(); ++j)
      if (!heldQ[j]) {
        column[j] = static_cast<int>(t.model.dofs.size());
        t.model.dofs.push_back(m_qDofs[j]);
      }
    const int n = static_cast<int>(rows.size()), nq = static_cast<int>(t.model.dofs.size());
    std::vector<Eigen::Triplet<double, int>> tt, et;
    auto add = [&](std::vector<Eigen::Triplet<double, int>>& to, int row, const Entries& e,
                   double scale) {
      for (const auto& [col, value] : e)
        if (column[static_cast<std::size_t>(col)] >= 0)
          to.emplace_back(row, column[static_cast<std::size_t>(col)], scale * value);
    };
    for (int r = 0; r < n; ++r) {
      add(tt, r, rows[static_cast<std::size_t>(r)], 1.0);
      add(et, r, rows[static_cast<std::size_t>(r)], 1.0);
    }
    t.outputDofs = m_model.dofs;
    for (const DerivedDof& d : derived) {
      for (int r : d.rows)
        add(et, static_cast<int>(t.outputDofs.size()), rows[static_cast<std::size_t>(r)],
            1.0 / static_cast<double>(d.rows.size()));
      t.outputDofs.push_back({d.node, d.ldof, 0});
    }
    t.outputRowOfQ.assign(static_cast<std::size_t>(nq), -1);
    for (std::size_t r = 0; r < rows.size(); ++r)
      if (m_dependent[r] < 0 && column[static_cast<std::size_t>(m_qOfRow[r])] >= 0)
        t.outputRowOfQ[static_cast<std::size_t>(column[static_cast<std::size_t>(m_qOfRow[r])])] =
            static_cast<int>(r);
    for (int j = 0; j < nq; ++j)
      if (t.outputRowOfQ[static_cast<std::size_t>(j)] < 0) {
        t.outputRowOfQ[static_cast<std::size_t>(j)] = static_cast<int>(t.outputDofs.size());
        et.emplace_back(static_cast<int>(t.outputDofs.size()), j, 1.0);
        t.outputDofs.push_back(t.model.dofs[static_cast<std::size_t>(j)]);
      }
    t.t.resize(n, nq);
    t.t.setFromTriplets(tt.begin(), tt.end());
    t.expansion.resize(static_cast<int>(t.outputDofs.size()), nq);
    t.expansion.setFromTriplets(et.begin(), et.end());

    t.model.nodes = m_model.nodes;
    for (const InterfaceNode& i : m_interfaces)
      if (i.placed) t.model.nodes.push_back({i.label, i.x, i.y, i.z, 0});
    t.outputNodes = t.model.nodes;
    t.model.files = m_model.files;
    t.model.held =
        m_model.held || std::any_of(heldQ.begin(), heldQ.end(), [](char h) { return h != 0; });
    t.sameModel = m_interfaces.empty() &&
                  !std::any_of(heldQ.begin(), heldQ.end(), [](char h) { return h != 0; });
    if (t.sameModel) {
      t.model.dofs.clear();
      t.model.nodes.clear();
      return t;
    }
    const SparseMatrix tT = t.t.transpose();
    t.model.stiffness = SparseMatrix(tT * m_model.stiffness * t.t);
    t.model.mass = SparseMatrix(tT * m_model.mass * t.t);
    if (m_model.loads.cols() > 0) t.model.loads = tT * m_model.loads;
    return t;
  }

  const FullModel& m_model;
  const std::vector<InterfaceNode>& m_interfaces;
  std::map<int, std::size_t> m_node;
  std::map<std::pair<int, int>, int> m_row;
  std::vector<int> m_dependent;  // interface that ties each row, or -1
  std::vector<int> m_qOfRow;     // for independent rows
  std::vector<DofRow> m_qDofs;
  std::vector<std::array<int, 6>> m_nodeQ;  // each interface node's six dofs in q
  std::vector<Plan> m_plans;                // of the distributing interfaces
};

}  // namespace

InterfaceText ParseInterface(InterfaceNode::Kind kind, const std::string& option,
                             const std::string& text) {
  InterfaceText out;
  out.node.kind = kind;
  const std::size_t colon = text.find(':');
  const std::string node = text.substr(0, colon);
  out.node.option = option + " " + node;
  auto fail = [&](const std::string& why) -> InputError { return InputError(option + ": " + why); };
  if (colon == std::string::npos)
    throw fail("\"" + text + "\" is not NODE:NODES (the interface node, then the nodes it takes)");
  const std::size_t at = node.find('@');
  if (!ccx::ParseInt(node.substr(0, at), out.node.label))
    throw fail("\"" + node.substr(0, at) + "\" is not a node label");
  if (at != std::string::npos) {
    std::vector<std::string> xyz = ccx::Fields(node.substr(at + 1));
    if (xyz.size() != 3 || !ccx::ParseReal(xyz[0], out.node.x) ||
        !ccx::ParseReal(xyz[1], out.node.y) || !ccx::ParseReal(xyz[2], out.node.z))
      throw fail("\"" + node.substr(at + 1) + "\" is not a position X,Y,Z");
    out.node.placed = true;
  }
  std::string rest = text.substr(colon + 1);
  if (kind == InterfaceNode::Kind::Distributing) {
    const std::size_t second = rest.find(':');
    if (second != std::string::npos) {
      out.weights = rest.substr(second + 1);
      rest = rest.substr(0, second);
    }
  }
  if (ccx::Trim(rest).empty()) throw fail("no node listed after \"" + node + ":\"");
  out.nodes = rest;
  return out;
}

Eigen::MatrixXd RigidMotions(const std::vector<DofRow>& dofs, const std::vector<NodeRow>& nodes) {
  std::map<int, Eigen::Vector3d> at;
  for (const NodeRow& n : nodes) at[n.label] = At(n);
  Eigen::MatrixXd r = Eigen::MatrixXd::Zero(static_cast<Eigen::Index>(dofs.size()), 6);
  for (std::size_t i = 0; i < dofs.size(); ++i) {
    const DofRow& d = dofs[i];
    const auto row = static_cast<Eigen::Index>(i);
    if (d.ldof >= 4 && d.ldof <= 6) r(row, d.ldof - 1) = 1.0;
    if (d.ldof < 1 || d.ldof > 3) continue;
    const auto found = at.find(d.node);
    const Eigen::Vector3d x = found == at.end() ? Eigen::Vector3d::Zero() : found->second;
    r(row, d.ldof - 1) = 1.0;
    for (int axis = 0; axis < 3; ++axis) {
      Eigen::Vector3d theta = Eigen::Vector3d::Zero();
      theta(axis) = 1.0;
      r(row, 3 + axis) = theta.cross(x)(d.ldof - 1);
    }
  }
  return r;
}

Transformation Transform(const FullModel& model, const std::vector<InterfaceNode>& interfaces,
                         const std::vector<HeldDofs>& held,
                         const std::vector<DerivedDof>& derived) {
  Transformation t;
  if (interfaces.empty() && held.empty() && derived.empty()) return t;
  return Builder(model, interfaces).Build(held, derived);
}

}  // namespace uma::reduce
