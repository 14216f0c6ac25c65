// Interface nodes as an exact transformation of a full model: a rigid interface moves its face
// rigidly, a distributing one is the weighted rigid fit of its face and leaves it flexible; both
// keep a free body's six rigid-body modes, in any units; held dofs leave the model as if their
// rows were never there; and what cannot be made is refused with its reason.
#include <gtest/gtest.h>

#include <Eigen/Eigenvalues>
#include <cmath>
#include <fstream>
#include <random>

#include "pfm_ModelTypes.h"
#include "pfm_Support.h"
#include "reduce_CraigBampton.h"
#include "reduce_InputError.h"
#include "reduce_Interface.h"
#include "uma_ReduceRun.h"
#include "uma_SolidBlock.h"
#include "uma_TempDir.h"
#include "uma_TestSupport.h"

namespace {

// The reduced model's eigenvalues omega^2, ascending, by a dense solve of its own.
Eigen::VectorXd PencilEigenvalues(const uma::reduce::Reduction& r) {
  return Eigen::GeneralizedSelfAdjointEigenSolver<Eigen::MatrixXd>(r.stiffness, r.mass,
                                                                   Eigen::EigenvaluesOnly)
      .eigenvalues();
}

using uma::reduce::InterfaceNode;

const uma::sample::BlockShape kShape{0.012, 0.004, 0.004, 6, 2, 2, false};

InterfaceNode Interface(InterfaceNode::Kind kind, const uma::sample::UnitSystem& units) {
  InterfaceNode i;
  i.kind = kind;
  i.label = 9001;
  i.placed = true;
  i.x = units.FromSI(-0.002, 1, 0, 0);  // a little off the face, as a joint's centre may be
  i.y = units.FromSI(0.002, 1, 0, 0);
  i.z = units.FromSI(0.002, 1, 0, 0);
  i.nodes = uma::sample::FaceAtXZero(kShape);
  i.option = kind == InterfaceNode::Kind::Rigid ? "--rigid 9001" : "--distributing 9001";
  return i;
}

// The face's translations as rows of the original model, with the nodes' coordinates.
struct Face {
  std::vector<int> rows;
  std::vector<Eigen::Vector3d> at;
};
Face FaceOf(const uma::reduce::FullModel& model, const std::vector<int>& nodes) {
  std::map<int, Eigen::Vector3d> where;
  for (const uma::reduce::NodeRow& n : model.nodes) where[n.label] = {n.x, n.y, n.z};
  Face f;
  for (std::size_t r = 0; r < model.dofs.size(); ++r)
    if (std::find(nodes.begin(), nodes.end(), model.dofs[r].node) != nodes.end()) {
      f.rows.push_back(static_cast<int>(r));
      f.at.push_back(where[model.dofs[r].node]);
    }
  return f;
}

// The q index of each of the interface node's six dofs.
std::vector<int> NodeColumns(const uma::reduce::Transformation& t, int label) {
  std::vector<int> q(6, -1);
  for (std::size_t j = 0; j < t.model.dofs.size(); ++j)
    if (t.model.dofs[j].node == label)
      q[static_cast<std::size_t>(t.model.dofs[j].ldof - 1)] = static_cast<int>(j);
  return q;
}

TEST(InterfaceNodes, RigidInterfaceMovesItsFaceRigidlyAndKeepsSixRigidBodyModes) {
  const uma::reduce::FullModel block = uma::sample::SteelBlock(kShape, uma::sample::UnitSystem::SI());
  const InterfaceNode rigid = Interface(InterfaceNode::Kind::Rigid, uma::sample::UnitSystem::SI());
  const uma::reduce::Transformation t = uma::reduce::Transform(block, {rigid}, {});
  ASSERT_FALSE(t.sameModel);
  // The face's dofs left q; the interface node's six came in.
  const std::vector<int> q = NodeColumns(t, 9001);
  for (int j : q) ASSERT_GE(j, 0);
  EXPECT_EQ(t.model.size(), block.size() - 3 * static_cast<int>(rigid.nodes.size()) + 6);

  // A motion of the interface node alone moves the face by t + theta x (x - x_node).
  Eigen::VectorXd motion = Eigen::VectorXd::Zero(t.model.size());
  const Eigen::Vector3d shift(1e-3, -2e-3, 3e-3), theta(0.02, -0.01, 0.03);
  const Eigen::Vector3d origin(rigid.x, rigid.y, rigid.z);
  for (int k = 0; k < 3; ++k) {
    motion(q[static_cast<std::size_t>(k)]) = shift(k);
    motion(q[static_cast<std::size_t>(3 + k)]) = theta(k);
  }
  const Eigen::VectorXd u = t.t * motion;
  const Face face = FaceOf(block, rigid.nodes);
  for (std::size_t i = 0; i < face.rows.size(); ++i) {
    const Eigen::Vector3d expected = shift + theta.cross(face.at[i] - origin);
    const int ldof = block.dofs[static_cast<std::size_t>(face.rows[i])].ldof;
    EXPECT_NEAR(u(face.rows[i]), expected(ldof - 1), 1e-15);
  }
  // The interior does not move.
  EXPECT_EQ(u.cwiseAbs().maxCoeff(), Eigen::VectorXd(u(face.rows)).cwiseAbs().maxCoeff());

  // Reduced to the interface node: six static modes, and a free body with exactly six
  // rigid-body modes.
  uma::reduce::ReductionOptions options;
  options.boundary = {9001};
  options.modes = 12;
  const uma::reduce::Reduction r = uma::reduce::Reduce(t.model, options);
  EXPECT_EQ(r.staticModes(), 6);
  const Eigen::VectorXd lambda = PencilEigenvalues(r);
  for (int k = 0; k < 6; ++k) EXPECT_LT(std::abs(lambda(k)), 1e-10 * lambda(6)) << k;
  EXPECT_GT(lambda(6), 0.0);

  // Back on every original dof: a static mode of the node's rotation about z turns the face.
  const Eigen::MatrixXd modes = t.expansion * r.modes;
  ASSERT_EQ(modes.rows(), block.size() + 6);
  const int rz = t.outputRowOfQ[static_cast<std::size_t>(q[5])];
  EXPECT_EQ(t.outputDofs[static_cast<std::size_t>(rz)].node, 9001);
  int column = -1;
  for (int b = 0; b < r.staticModes(); ++b)
    if (r.boundary[static_cast<std::size_t>(b)] == q[5]) column = b;
  ASSERT_GE(column, 0);
  for (std::size_t i = 0; i < face.rows.size(); ++i) {
    const Eigen::Vector3d turned = Eigen::Vector3d::UnitZ().cross(face.at[i] - origin);
    const int ldof = block.dofs[static_cast<std::size_t>(face.rows[i])].ldof;
    EXPECT_NEAR(modes(face.rows[i], column), turned(ldof - 1), 1e-12);
  }
}

TEST(InterfaceNodes, DistributingInterfaceIsTheWeightedFitOfAFlexibleFace) {
  const uma::reduce::FullModel block = uma::sample::SteelBlock(kShape, uma::sample::UnitSystem::SI());
  InterfaceNode average = Interface(InterfaceNode::Kind::Distributing, uma::sample::UnitSystem::SI());
  std::mt19937 random(7);
  std::uniform_real_distribution<double> between(0.5, 2.0);
  for (std::size_t i = 0; i < average.nodes.size(); ++i) average.weights.push_back(between(random));
  const uma::reduce::Transformation t = uma::reduce::Transform(block, {average}, {});
  const std::vector<int> q = NodeColumns(t, 9001);
  // Six of the face's translations follow; the rest stay free.
  EXPECT_EQ(t.model.size(), block.size() - 6 + 6);

  // For any q, the node's motion is the weighted least-squares rigid fit of the face.
  const Face face = FaceOf(block, average.nodes);
  const Eigen::Vector3d origin(average.x, average.y, average.z);
  std::normal_distribution<double> normal;
  Eigen::VectorXd any(t.model.size());
  for (Eigen::Index j = 0; j < any.size(); ++j) any(j) = normal(random);
  const Eigen::VectorXd u = t.t * any;
  Eigen::MatrixXd g(static_cast<Eigen::Index>(face.rows.size()), 6);
  Eigen::VectorXd w(g.rows()), v(g.rows());
  for (std::size_t i = 0; i < face.rows.size(); ++i) {
    const uma::reduce::DofRow& d = block.dofs[static_cast<std::size_t>(face.rows[i])];
    const Eigen::Vector3d r = face.at[i] - origin;
    Eigen::Matrix<double, 1, 6> row = Eigen::Matrix<double, 1, 6>::Zero();
    row(d.ldof - 1) = 1;
    for (int k = 0; k < 3; ++k) row(3 + k) = Eigen::Vector3d::Unit(k).cross(r)(d.ldof - 1);
    g.row(static_cast<Eigen::Index>(i)) = row;
    const auto node = std::find(average.nodes.begin(), average.nodes.end(), d.node);
    w(static_cast<Eigen::Index>(i)) =
        average.weights[static_cast<std::size_t>(node - average.nodes.begin())];
    v(static_cast<Eigen::Index>(i)) = u(face.rows[i]);
  }
  const Eigen::Matrix<double, 6, 1> fit =
      (g.transpose() * w.asDiagonal() * g).ldlt().solve(g.transpose() * w.asDiagonal() * v);
  for (int k = 0; k < 6; ++k)
    EXPECT_NEAR(fit(k), any(q[static_cast<std::size_t>(k)]),
                1e-9 * std::abs(any(q[static_cast<std::size_t>(k)])) + 1e-12);

  // Six rigid-body modes, and a face softer than a rigid one: the node's stiffness condensed
  // from the flexible face is below the rigid face's, direction by direction.
  uma::reduce::ReductionOptions options;
  options.boundary = {9001};
  options.modes = 12;
  const uma::reduce::Reduction flexible = uma::reduce::Reduce(t.model, options);
  const Eigen::VectorXd lambda = PencilEigenvalues(flexible);
  for (int k = 0; k < 6; ++k) EXPECT_LT(std::abs(lambda(k)), 1e-10 * lambda(6)) << k;
  const uma::reduce::Reduction rigid = uma::reduce::Reduce(
      uma::reduce::Transform(block, {Interface(InterfaceNode::Kind::Rigid, uma::sample::UnitSystem::SI())},
                        {})
          .model,
      options);
  EXPECT_LT(flexible.eigenvalues(0), rigid.eigenvalues(0));
}

// The same block in SI and in mm, t, s: the same frequencies with either interface.
TEST(InterfaceNodes, InterfacesGiveTheSameModelInAnyUnits) {
  for (InterfaceNode::Kind kind : {InterfaceNode::Kind::Rigid, InterfaceNode::Kind::Distributing}) {
    std::vector<double> hertz[2];
    const uma::sample::UnitSystem systems[] = {uma::sample::UnitSystem::SI(),
                                          uma::sample::UnitSystem::MillimetreTonneSecond()};
    for (int s = 0; s < 2; ++s) {
      const uma::reduce::FullModel block = uma::sample::SteelBlock(kShape, systems[s]);
      uma::reduce::ReductionOptions options;
      options.boundary = {9001};
      options.modes = 8;
      const uma::reduce::Reduction r = uma::reduce::Reduce(
          uma::reduce::Transform(block, {Interface(kind, systems[s])}, {}).model, options);
      hertz[s] = uma::reduce::ToHertz(PencilEigenvalues(r));
    }
    for (std::size_t k = 6; k < hertz[0].size(); ++k)
      EXPECT_NEAR(hertz[1][k] / hertz[0][k], 1.0, 1e-9) << k;
  }
}

// Held dofs: the model reduced is the original without their rows and columns, and each shows
// as a zero row once expanded.
TEST(InterfaceNodes, HeldDofsLeaveTheModelAsIfTheirRowsWereRemoved) {
  const uma::reduce::FullModel block = uma::sample::SteelBlock(kShape, uma::sample::UnitSystem::SI());
  std::vector<uma::reduce::HeldDofs> held;
  for (int node : uma::sample::FaceAtXZero(kShape)) held.push_back({node, {1, 3}});
  const uma::reduce::Transformation t = uma::reduce::Transform(block, {}, held);
  std::vector<int> kept;
  for (int r = 0; r < block.size(); ++r) {
    const uma::reduce::DofRow& d = block.dofs[static_cast<std::size_t>(r)];
    const bool onFace = d.node % (kShape.nx + 1) == 1;
    if (!(onFace && d.ldof != 2)) kept.push_back(r);
  }
  ASSERT_EQ(t.model.size(), static_cast<int>(kept.size()));
  const Eigen::MatrixXd k(block.stiffness);
  EXPECT_EQ((Eigen::MatrixXd(t.model.stiffness) - Eigen::MatrixXd(k(kept, kept))).norm(), 0.0);
  EXPECT_EQ(Eigen::MatrixXd(t.expansion).rowwise().norm().minCoeff(), 0.0);
}

TEST(InterfaceNodes, RefusesInterfacesThatCannotBeMade) {
  const uma::reduce::FullModel block = uma::sample::SteelBlock(kShape, uma::sample::UnitSystem::SI());
  const InterfaceNode rigid = Interface(InterfaceNode::Kind::Rigid, uma::sample::UnitSystem::SI());
  auto refused = [&](std::vector<InterfaceNode> interfaces, std::vector<uma::reduce::HeldDofs> held,
                     const std::string& reason) {
    try {
      uma::reduce::Transform(block, interfaces, held);
      ADD_FAILURE() << "not refused: " << reason;
    } catch (const uma::reduce::InputError& e) {
      EXPECT_EQ(std::string(e.what()), reason);
    }
  };
  InterfaceNode line = Interface(InterfaceNode::Kind::Distributing, uma::sample::UnitSystem::SI());
  line.nodes = {1, 2, 3, 4};  // along x
  refused({line}, {},
          "--distributing 9001: the listed nodes lie on a line or at a point: the rotation about "
          "it is not determined");
  InterfaceNode taken = rigid;
  taken.label = 5;
  refused({taken}, {}, "--rigid 9001: node 5 is already in the model; give its label alone");
  InterfaceNode unknown = rigid;
  unknown.placed = false;
  refused({unknown}, {},
          "--rigid 9001: node 9001 is not in the model; give a new one a position, 9001@X,Y,Z");
  InterfaceNode second = rigid;
  second.label = 9002;
  second.option = "--rigid 9002";
  second.nodes = {rigid.nodes[0]};
  refused(
      {rigid, second}, {},
      "--rigid 9002: node " + std::to_string(rigid.nodes[0]) + " is listed twice (--rigid 9001)");
  refused({rigid}, {{rigid.nodes[0], {}}},
          "--fixed: node " + std::to_string(rigid.nodes[0]) +
              " is tied to --rigid 9001; hold the interface node instead");
}

// The interface text as given on the command line.
TEST(InterfaceNodes, InterfaceTextNamesTheNodeAndItsLists) {
  const uma::reduce::InterfaceText a =
      uma::reduce::ParseInterface(InterfaceNode::Kind::Rigid, "--rigid", "9001@60,30,4:HOLE,7-9");
  EXPECT_EQ(a.node.label, 9001);
  EXPECT_TRUE(a.node.placed);
  EXPECT_EQ(a.node.z, 4.0);
  EXPECT_EQ(a.nodes, "HOLE,7-9");
  EXPECT_EQ(a.node.option, "--rigid 9001@60,30,4");
  const uma::reduce::InterfaceText b =
      uma::reduce::ParseInterface(InterfaceNode::Kind::Distributing, "--distributing", "12:1,2,3:2=0.5");
  EXPECT_FALSE(b.node.placed);
  EXPECT_EQ(b.nodes, "1,2,3");
  EXPECT_EQ(b.weights, "2=0.5");
  for (const char* bad : {"9001", "x:1", "9001@1,2:1", "9001:"})
    EXPECT_THROW(uma::reduce::ParseInterface(InterfaceNode::Kind::Rigid, "--rigid", bad),
                 uma::reduce::InputError)
        << bad;
}

class InterfaceCommand : public UmaTest {};

// The same through uma-reduce, on Matrix Market files: a distributing joint given by a range and
// a file of labels, one node held, the model written with a row for every original dof.
TEST_F(InterfaceCommand, JointsAndHeldDofsOnMatrixMarketInput) {
  uma::sample::TempDir dir;
  const uma::reduce::FullModel block = uma::sample::SteelBlock(kShape, uma::sample::UnitSystem::SI());
  uma::reduce::WriteFullModel(block, {dir.File("K.mtx"), dir.File("M.mtx"), dir.File("dofs.csv"),
                                 dir.File("nodes.csv"), ""});
  std::vector<int> face = uma::sample::FaceAtXZero(kShape);
  {
    std::ofstream list(dir.File("face.txt"));
    for (std::size_t i = 1; i < face.size(); ++i) list << face[i] << "\n";
  }
  const int last = block.nodes.back().label;
  CommandRun run =
      RunReduce({"--stiffness", dir.File("K.mtx"), "--mass", dir.File("M.mtx"), "--dofs",
                 dir.File("dofs.csv"), "--nodes", dir.File("nodes.csv"), "--distributing",
                 "9001@0,0.002,0.002:" + std::to_string(face[0]) + ",@" + dir.File("face.txt") +
                     ":" + std::to_string(face[0]) + "=2",
                 "--fixed", std::to_string(last) + ":3", "--boundary", "9001", "--modes", "4", "-o",
                 dir.File("joint.uma")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("boundary        6 dofs (static modes), nodes: 9001"), std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("interface       --distributing 9001@0,0.002,0.002: weighted average of " +
                         std::to_string(face.size()) + " nodes, a new node"),
            std::string::npos)
      << run.out;
  pfm::ModelContents contents;
  ASSERT_TRUE(pfm::ReadContents(dir.File("joint.uma"), contents));
  EXPECT_EQ(contents.numStaticModes, 6);
  for (const pfm::StoredMatrix& m : contents.matrices) {
    if (m.key == pfm::StoredMatrix::Key::Type && m.type == pfm::types::ModeMatrix()) {
      EXPECT_EQ(m.rows, block.size() + 6);  // every original dof and the joint's six
    }
  }

  // A list item that names nothing is refused.
  run = RunReduce({"--stiffness", dir.File("K.mtx"), "--mass", dir.File("M.mtx"), "--dofs",
                   dir.File("dofs.csv"), "--nodes", dir.File("nodes.csv"), "--rigid",
                   "9001@0,0,0:" + std::to_string(face[0]) + "-" + std::to_string(face.back()),
                   "--boundary", "HOLE", "-o", dir.File("no.uma")});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("--boundary: \"HOLE\" is neither a node label, a range nor a node set "
                         "(sets come with --calculix)"),
            std::string::npos)
      << run.err;
}

// A Matrix Market file of one triangle under a "general" header: the reason says what to do.
TEST_F(InterfaceCommand, OneTriangleUnderAGeneralHeaderIsRefusedWithAHint) {
  uma::sample::TempDir dir;
  std::ofstream(dir.File("k.mtx"))
      << "%%MatrixMarket matrix coordinate real general\n2 2 3\n1 1 4\n1 2 1\n2 2 5\n";
  try {
    uma::reduce::ToSymmetric(uma::reduce::ReadMatrixMarket(dir.File("k.mtx")), "stiffness");
    ADD_FAILURE() << "accepted";
  } catch (const uma::reduce::InputError& e) {
    EXPECT_EQ(std::string(e.what()),
              dir.File("k.mtx") +
                  ":1: the stiffness matrix holds only its upper triangle under a \"general\" "
                  "header: if it is symmetric, declare it so (%%MatrixMarket matrix coordinate "
                  "real symmetric)");
  }
}

}  // namespace
