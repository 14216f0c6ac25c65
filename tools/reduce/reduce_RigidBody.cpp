// The rigid-body motions of a full model, from its nodes' coordinates.
#include "reduce_RigidBody.h"

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <unordered_map>

#include "reduce_InputError.h"

namespace uma::reduce {

namespace {

// Where each row sits: its node's position relative to the centre, in units of the model's
// size, and its local dof.
struct Geometry {
  std::vector<Eigen::Vector3d> where;  // per row
  std::vector<int> ldof;               // per row
  Eigen::Vector3d centre = Eigen::Vector3d::Zero();
  double size = 1.0;  // the diagonal of the nodes' bounding box (1 for a single point)
};

Geometry GeometryOf(const FullModel& model) {
  std::unordered_map<int, Eigen::Vector3d> at;
  for (const NodeRow& n : model.nodes) at[n.label] = Eigen::Vector3d(n.x, n.y, n.z);
  Geometry g;
  Eigen::Vector3d low = Eigen::Vector3d::Constant(INFINITY), high = -low;
  for (const DofRow& d : model.dofs) {
    const Eigen::Vector3d& x = at.at(d.node);
    low = low.cwiseMin(x);
    high = high.cwiseMax(x);
  }
  g.centre = (low + high) / 2;
  const double size = (high - low).norm();
  if (size > 0 && std::isfinite(size)) g.size = size;
  for (const DofRow& d : model.dofs) {
    g.where.push_back((at.at(d.node) - g.centre) / g.size);
    g.ldof.push_back(d.ldof);
  }
  return g;
}

// The row of the rigid motions for one dof, motion parameters (t, theta * size): a
// translational dof moves by t + theta x (x - c), a rotational one turns by theta, here times
// the size so that every entry is dimensionless.
Eigen::Matrix<double, 1, 6> MotionRow(const Eigen::Vector3d& x, int ldof) {
  Eigen::Matrix<double, 1, 6> row = Eigen::Matrix<double, 1, 6>::Zero();
  if (ldof >= 1 && ldof <= 3) {
    const int l = ldof - 1;
    row(l) = 1;
    for (int j = 0; j < 3; ++j) row(3 + j) = Eigen::Vector3d::Unit(j).cross(x)(l);
  } else if (ldof >= 4 && ldof <= 6) {
    row(ldof - 1) = 1;
  }
  return row;
}

std::string Number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2g", v);
  return text;
}

std::string NodeList(const std::vector<int>& labels) {
  std::string out;
  const std::size_t shown = std::min<std::size_t>(labels.size(), 12);
  for (std::size_t i = 0; i < shown; ++i) out += (i == 0 ? "" : ", ") + std::to_string(labels[i]);
  if (labels.size() > shown) out += " and " + std::to_string(labels.size() - shown) + " more";
  return out;
}

}  // namespace

const char* MotionName(int motion) {
  static const char* const kNames[] = {"translation along x", "translation along y",
                                       "translation along z", "rotation about x",
                                       "rotation about y",    "rotation about z"};
  return motion >= 0 && motion < 6 ? kNames[motion] : "motion";
}

RigidBodyCheck CheckRigidBodyMotions(const FullModel& model) {
  const int n = model.size();
  const std::string file = model.files.stiffness.empty() ? "stiffness" : model.files.stiffness;
  Eigen::VectorXd d(n);
  for (int r = 0; r < n; ++r) {
    const double diagonal = model.stiffness.coeff(r, r);
    const DofRow& dof = model.dofs[static_cast<std::size_t>(r)];
    if (diagonal < 0 || std::isnan(diagonal))
      throw InputError(Where(file, 0) + "the stiffness has a negative diagonal entry at node " +
                       std::to_string(dof.node) + " dof " + std::to_string(dof.ldof) +
                       ": it is not positive semi-definite");
    d(r) = diagonal > 0 ? 1 / std::sqrt(diagonal) : 0.0;
  }
  const Geometry g = GeometryOf(model);
  // The motions themselves: a rotational dof turns by theta, not by theta times the size.
  Eigen::MatrixXd motions(n, 6);
  for (int r = 0; r < n; ++r) {
    const int ldof = g.ldof[static_cast<std::size_t>(r)];
    motions.row(r) = MotionRow(g.where[static_cast<std::size_t>(r)], ldof);
    if (ldof >= 4) motions.row(r) /= g.size;
  }

  // ||D K D||_inf, the scale the residuals are measured against.
  Eigen::VectorXd rowSums = Eigen::VectorXd::Zero(n);
  for (int c = 0; c < model.stiffness.outerSize(); ++c)
    for (SparseMatrix::InnerIterator it(model.stiffness, c); it; ++it)
      rowSums(it.row()) += std::fabs(d(it.row()) * it.value() * d(c));
  const double norm = rowSums.maxCoeff();
  RigidBodyCheck check;
  if (!(norm > 0)) return check;  // no stiffness at all: nothing to judge
  Eigen::MatrixXd scaled(n, 6);   // D^-1 r, where D is defined
  for (int r = 0; r < n; ++r)
    scaled.row(r) =
        d(r) > 0 ? Eigen::RowVectorXd(motions.row(r) / d(r)) : Eigen::RowVectorXd::Zero(6);
  const Eigen::MatrixXd residual = d.asDiagonal() * (model.stiffness * motions);
  for (int j = 0; j < 6; ++j) {
    const double size = scaled.col(j).norm();
    check.residual[static_cast<std::size_t>(j)] =
        size > 0 ? residual.col(j).norm() / (norm * size) : 0.0;
  }

  if (model.held) {
    // Supports restrain the body wherever the user put them: nothing to judge.
    check.held = true;
    return check;
  }
  bool translationsFree = true;
  for (int j = 0; j < 3; ++j)
    translationsFree &= check.residual[static_cast<std::size_t>(j)] <= kRigidTolerance;
  if (!translationsFree) {
    // Supports hold a body where they are; a dof order that contradicts the stiffness shows
    // everywhere.
    std::unordered_map<int, bool> restrains;
    for (int r = 0; r < n; ++r) {
      bool here = false;
      for (int j = 0; j < 3; ++j)
        here |= std::fabs(residual(r, j)) >
                kRigidTolerance * norm * scaled.col(j).cwiseAbs().maxCoeff();
      restrains[model.dofs[static_cast<std::size_t>(r)].node] |= here;
    }
    for (const auto& [node, here] : restrains) check.heldNodes += here;
    const int nodes = static_cast<int>(restrains.size());
    if (2 * check.heldNodes <= nodes) {
      check.held = true;
      return check;
    }
    int worst = 0;
    for (int j = 1; j < 3; ++j)
      if (check.residual[static_cast<std::size_t>(j)] >
          check.residual[static_cast<std::size_t>(worst)])
        worst = j;
    throw InputError(Where(file, 0) + "a rigid " + MotionName(worst) + " meets stiffness at " +
                     std::to_string(check.heldNodes) + " of " + std::to_string(nodes) +
                     " nodes (||K r|| is " +
                     Number(check.residual[static_cast<std::size_t>(worst)]) +
                     " of ||K|| ||r||; a free body gives round-off): the order of the degrees of "
                     "freedom contradicts the stiffness");
  }
  for (int j = 3; j < 6; ++j)
    if (check.residual[static_cast<std::size_t>(j)] > kRigidTolerance)
      throw InputError(Where(file, 0) + "the stiffness does not leave a rigid " + MotionName(j) +
                       " free (||K r|| is " + Number(check.residual[static_cast<std::size_t>(j)]) +
                       " of ||K|| ||r||; a free body gives round-off): the node coordinates "
                       "(their length unit), the order of the degrees of freedom or the unit "
                       "of the rotations (radians) contradict the stiffness");
  return check;
}

void CheckBoundaryHoldsTheBody(const FullModel& model, const std::vector<int>& boundaryRows) {
  const Geometry g = GeometryOf(model);
  const int nb = static_cast<int>(boundaryRows.size());
  Eigen::MatrixXd rb(std::max(nb, 6), 6);
  rb.setZero();
  for (int i = 0; i < nb; ++i) {
    const auto r = static_cast<std::size_t>(boundaryRows[static_cast<std::size_t>(i)]);
    rb.row(i) = MotionRow(g.where[r], g.ldof[r]);
  }
  Eigen::JacobiSVD<Eigen::MatrixXd> svd(rb, Eigen::ComputeFullV);
  const Eigen::VectorXd& s = svd.singularValues();
  const double floor = 1e-8 * s(0);
  int unheld = 0;
  while (unheld < 6 && !(s(5 - unheld) > floor)) ++unheld;
  if (unheld == 0) return;
  // Of the motions the boundary does not hold, those the model can make at all (a planar or
  // one-dimensional model has fewer than six).
  Eigen::MatrixXd all(model.size(), 6);
  for (int r = 0; r < model.size(); ++r)
    all.row(r) =
        MotionRow(g.where[static_cast<std::size_t>(r)], g.ldof[static_cast<std::size_t>(r)]);
  const Eigen::MatrixXd unheldMotions = svd.matrixV().rightCols(unheld);
  Eigen::JacobiSVD<Eigen::MatrixXd> made(all * unheldMotions, Eigen::ComputeFullV);
  const double largest = Eigen::JacobiSVD<Eigen::MatrixXd>(all).singularValues()(0);
  int free = 0;
  while (free < unheld && made.singularValues()(free) > 1e-8 * largest) ++free;
  if (free == 0) return;
  const Eigen::VectorXd v = unheldMotions * made.matrixV().col(0);
  const Eigen::Vector3d t = v.head<3>(), w = v.tail<3>();

  // The boundary nodes, each once, and those on the axis of a free rotation.
  std::vector<int> nodes;
  std::vector<Eigen::Vector3d> where;
  for (int row : boundaryRows) {
    const int label = model.dofs[static_cast<std::size_t>(row)].node;
    if (std::find(nodes.begin(), nodes.end(), label) == nodes.end()) {
      nodes.push_back(label);
      where.push_back(g.where[static_cast<std::size_t>(row)]);
    }
  }
  std::string reason;
  if (w.norm() <= 1e-8 * v.norm()) {
    const Eigen::Vector3d a = t.normalized();
    char text[96];
    std::snprintf(text, sizeof text, "translation along (%.3g, %.3g, %.3g)", a(0), a(1), a(2));
    reason = text;
  } else if (free >= 2 && nodes.size() == 1) {
    reason = "rotation about node " + std::to_string(nodes[0]) +
             " (a single node without rotational degrees of freedom holds no rotation)";
  } else {
    const Eigen::Vector3d axis = w.normalized(), point = w.cross(t) / w.squaredNorm();
    std::vector<int> onAxis;
    for (std::size_t i = 0; i < nodes.size(); ++i) {
      const Eigen::Vector3d off = where[i] - point;
      if ((off - off.dot(axis) * axis).norm() <= 1e-6) onAxis.push_back(nodes[i]);
    }
    char direction[96];
    std::snprintf(direction, sizeof direction, "(%.3g, %.3g, %.3g)", axis(0), axis(1), axis(2));
    if (onAxis.empty())
      reason = std::string("rotation about an axis along ") + direction;
    else if (onAxis.size() == nodes.size() && nodes.size() > 1)
      reason = "rotation about an axis through nodes " + NodeList(onAxis) + " (they are collinear)";
    else
      reason = std::string("rotation about an axis along ") + direction + " through node" +
               (onAxis.size() > 1 ? "s " : " ") + NodeList(onAxis);
  }
  throw InputError("--boundary: the boundary does not hold " + reason +
                   ": the interior would be a mechanism; add boundary nodes off that axis or "
                   "nodes with rotational degrees of freedom");
}

}  // namespace uma::reduce
