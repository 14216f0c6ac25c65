// The reduction's numbers in any units: one solid block in three unit systems gives the same
// frequencies from uma-reduce and uma-check, semi-definite masses keep their finite
// frequencies, loads reach the reduced coordinates, and inputs that contradict themselves or
// ask too much are refused with the reason before anything is computed or written.
#include <gtest/gtest.h>

#include <Eigen/Eigenvalues>
#include <chrono>
#include <cmath>
#include <fstream>
#include <regex>

#include "common_Pencil.h"
#include "pfm_Model.h"
#include "pfm_ModelTypes.h"
#include "pfm_Support.h"
#include "reduce_CraigBampton.h"
#include "reduce_Frame.h"
#include "reduce_InputError.h"
#include "reduce_Interface.h"
#include "reduce_ModelOutput.h"
#include "check_Report.h"
#include "uma_ReduceRun.h"
#include "uma_SolidBlock.h"
#include "uma_TempDir.h"
#include "uma_TestSupport.h"

namespace {

using uma::reduce::FullModel;
using uma::sample::UnitSystem;

constexpr double kTwoPi = 6.283185307179586;

// A 6 x 2 x 2 mm steel block of 0.5 mm bricks (975 dofs): its fixed-interface modes reach 1.7 MHz.
uma::sample::BlockShape SmallBlock() {
  uma::sample::BlockShape shape;
  shape.lx = 0.006;
  shape.ly = 0.002;
  shape.lz = 0.002;
  return shape;
}

std::vector<std::string> Labels(const std::vector<int>& labels) {
  std::string text;
  for (int l : labels) text += (text.empty() ? "" : ",") + std::to_string(l);
  return {text};
}

// Writes the model's files and answers uma-reduce's arguments for them.
std::vector<std::string> Files(const uma::sample::TempDir& dir, const FullModel& model,
                               const std::string& stem) {
  uma::reduce::FullModelFiles files{dir.File(stem + "-K.mtx"), dir.File(stem + "-M.mtx"),
                               dir.File(stem + "-dofs.csv"), dir.File(stem + "-nodes.csv"), ""};
  if (model.loads.cols() > 0) files.loads = dir.File(stem + "-F.mtx");
  uma::reduce::WriteFullModel(model, files);
  std::vector<std::string> args = {"--stiffness", files.stiffness, "--mass",  files.mass,
                                   "--dofs",      files.dofs,      "--nodes", files.nodes};
  if (!files.loads.empty()) args.insert(args.end(), {"--loads", files.loads});
  return args;
}

std::vector<std::string> With(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class ReductionInAnyUnits : public UmaTest {
 protected:
  uma::sample::TempDir m_dir;
};

}  // namespace

TEST_F(ReductionInAnyUnits, OneBlockInThreeUnitSystemsGivesTheSameFrequenciesFromBothTools) {
  const uma::sample::BlockShape shape = SmallBlock();
  const struct {
    UnitSystem units;
    const char* text;
  } systems[] = {{UnitSystem::SI(), "m,kg,s,N"},
                 {UnitSystem::MillimetreTonneSecond(), "mm,t,s,N"},
                 {UnitSystem::MillimetreKilogramMillisecond(), "mm,kg,ms,kN"}};
  std::vector<double> fixedHz, reducedHz;
  for (const auto& system : systems) {
    SCOPED_TRACE(system.text);
    const FullModel block = uma::sample::SteelBlock(shape, system.units);
    const std::string output = m_dir.File(std::string("block-") + system.text + ".uma");
    CommandRun run = RunReduce(With(Files(m_dir, block, "block"),
                                    {"--boundary", Labels(uma::sample::FaceAtXZero(shape))[0], "--modes",
                                     "60", "--units", system.text, "-o", output}));
    ASSERT_EQ(run.status, 0) << run.err;

    // The same reduction in memory: its modes' residuals, and the frequencies both tools print.
    uma::reduce::ReductionOptions options;
    options.boundary = uma::sample::FaceAtXZero(shape);
    options.modes = 60;
    const uma::reduce::Reduction r = uma::reduce::Reduce(block, options);
    EXPECT_LT(r.quality.residual, uma::reduce::kModeTolerance);
    EXPECT_LT(r.quality.orthogonality, uma::reduce::kModeTolerance);
    const uma::common::PencilSpectrum spectrum = uma::common::SolvePencil(
        std::vector<double>(r.stiffness.data(), r.stiffness.data() + r.stiffness.size()),
        std::vector<double>(r.mass.data(), r.mass.data() + r.mass.size()),
        static_cast<int>(r.stiffness.rows()));
    const std::vector<double> summary = uma::common::Frequencies(spectrum);

    uma::check::Report report = uma::check::Check(output);
    EXPECT_EQ(report.Errors(), 0) << uma::check::AsText(report);
    EXPECT_EQ(report.Warnings(), 0) << uma::check::AsText(report);
    ASSERT_TRUE(report.physics.frequencies) << uma::check::AsText(report);
    EXPECT_EQ(report.physics.rigidBodyModes, 6);
    EXPECT_EQ(spectrum.rigidBodyModes, 6);
    ASSERT_EQ(report.physics.frequencies->size(), summary.size());
    for (std::size_t i = 0; i < summary.size(); ++i)
      EXPECT_NEAR((*report.physics.frequencies)[i], summary[i], 1e-8 * summary[i]) << i;

    // In Hz, against the first unit system.
    std::vector<double> fixed = uma::reduce::ToHertz(r.eigenvalues), reduced = summary;
    for (double& f : fixed) f /= system.units.time;
    for (double& f : reduced) f /= system.units.time;
    EXPECT_GT(fixed.back(), 1.5e6) << "the modes reach well above 1 MHz";
    if (fixedHz.empty()) {
      fixedHz = fixed;
      reducedHz = reduced;
      continue;
    }
    ASSERT_EQ(fixed.size(), fixedHz.size());
    for (std::size_t i = 0; i < fixed.size(); ++i)
      EXPECT_NEAR(fixed[i] / fixedHz[i], 1.0, 1e-8) << "fixed-interface mode " << i + 1;
    // The reduced model's elastic frequencies up to the fixed-interface ones kept.
    for (std::size_t i = 6; i < reduced.size() && reducedHz[i] < fixedHz.back(); ++i)
      EXPECT_NEAR(reduced[i] / reducedHz[i], 1.0, 1e-8) << "reduced mode " << i + 1;
  }
}

TEST_F(ReductionInAnyUnits, ALumpedMassWithoutRotaryInertiaKeepsItsFiniteFrequencies) {
  // A free beam whose rotations have no mass: the interior's mass is semi-definite.
  const uma::reduce::BeamSection section = uma::reduce::BeamSection::SteelRectangle(0.04, 0.02);
  const FullModel beam = uma::reduce::StraightBeam(1.0, 40, section, 1).Assemble(true);
  uma::reduce::ReductionOptions options;
  options.boundary = {1, 21, 41};
  options.modes = 12;
  const uma::reduce::Reduction r = uma::reduce::Reduce(beam, options);
  EXPECT_LT(r.quality.residual, uma::reduce::kModeTolerance);

  // The reference: the interior with its massless rotations condensed out, solved densely.
  const Eigen::MatrixXd k(beam.stiffness), m(beam.mass);
  std::vector<int> massive, massless;
  for (int row : r.interior) (m(row, row) > 0 ? massive : massless).push_back(row);
  auto block = [](const Eigen::MatrixXd& a, const std::vector<int>& rows,
                  const std::vector<int>& columns) {
    Eigen::MatrixXd out(rows.size(), columns.size());
    for (std::size_t i = 0; i < rows.size(); ++i)
      for (std::size_t j = 0; j < columns.size(); ++j) out(i, j) = a(rows[i], columns[j]);
    return out;
  };
  const Eigen::MatrixXd condensed =
      block(k, massive, massive) -
      block(k, massive, massless) *
          block(k, massless, massless).ldlt().solve(block(k, massless, massive));
  Eigen::GeneralizedSelfAdjointEigenSolver<Eigen::MatrixXd> exact(condensed,
                                                                  block(m, massive, massive));
  for (int i = 0; i < options.modes; ++i)
    EXPECT_NEAR(r.eigenvalues(i) / exact.eigenvalues()(i), 1.0, 1e-9) << i;

  // uma-check on the file: the finite frequencies, those of the torsion coordinates (massless)
  // infinite, and the rigid rotation about the beam's axis moves neither stiffness nor mass.
  const std::string output = m_dir.File("lumped.uma");
  pfm::SaveModel(uma::reduce::BuildReducedModel(output, beam, r, {}), output);
  uma::check::Report report = uma::check::Check(output);
  EXPECT_EQ(report.Errors(), 0) << uma::check::AsText(report);
  ASSERT_TRUE(report.physics.frequencies) << uma::check::AsText(report);
  EXPECT_EQ(report.physics.rigidBodyModes, 5) << uma::check::AsText(report);
  EXPECT_EQ(report.physics.indeterminate, 1) << uma::check::AsText(report);
  EXPECT_EQ(report.physics.infiniteFrequencies, 2) << uma::check::AsText(report);
  EXPECT_EQ(report.physics.frequencies->size() + 3,
            static_cast<std::size_t>(r.staticModes() + r.dynamicModes()));
}

TEST(Pencil, MasslessCoordinatesAreInfiniteFrequenciesAndTheRestAreTheCondensedOnes) {
  // A free chain of five springs; masses on the odd points only.
  const int n = 6;
  Eigen::MatrixXd k = Eigen::MatrixXd::Zero(n, n), m = Eigen::MatrixXd::Zero(n, n);
  for (int i = 0; i + 1 < n; ++i) {
    const double s = 1e6 * (1 + i);
    k(i, i) += s;
    k(i + 1, i + 1) += s;
    k(i, i + 1) -= s;
    k(i + 1, i) -= s;
  }
  for (int i = 1; i < n; i += 2) m(i, i) = 1e-3 * i;
  m(0, 0) = 2e-3;
  const std::vector<int> massive = {0, 1, 3, 5}, massless = {2, 4};
  Eigen::MatrixXd kc(4, 4), mc(4, 4);
  {
    Eigen::MatrixXd kmm(4, 4), kmz(4, 2), kzz(2, 2);
    for (int i = 0; i < 4; ++i) {
      for (int j = 0; j < 4; ++j) {
        kmm(i, j) = k(massive[i], massive[j]);
        mc(i, j) = m(massive[i], massive[j]);
      }
      for (int j = 0; j < 2; ++j) kmz(i, j) = k(massive[i], massless[j]);
    }
    for (int i = 0; i < 2; ++i)
      for (int j = 0; j < 2; ++j) kzz(i, j) = k(massless[i], massless[j]);
    kc = kmm - kmz * kzz.inverse() * kmz.transpose();
  }
  Eigen::GeneralizedSelfAdjointEigenSolver<Eigen::MatrixXd> exact(kc, mc);
  const uma::common::PencilSpectrum s =
      uma::common::SolvePencil(std::vector<double>(k.data(), k.data() + k.size()),
                               std::vector<double>(m.data(), m.data() + m.size()), n);
  ASSERT_TRUE(s.solved) << s.failure;
  EXPECT_EQ(s.infinite, 2);
  EXPECT_EQ(s.rigidBodyModes, 1);
  ASSERT_EQ(s.eigenvalues.size(), 4u);
  for (int i = 1; i < 4; ++i)
    EXPECT_NEAR(s.eigenvalues[static_cast<std::size_t>(i)] / exact.eigenvalues()(i), 1.0, 1e-10);
  EXPECT_EQ(uma::common::Frequencies(s)[0], 0.0);
}

TEST_F(ReductionInAnyUnits, ALoadOnABoundaryNodeReachesTheReducedLoads) {
  const uma::reduce::BeamSection section = uma::reduce::BeamSection::SteelRectangle(0.04, 0.02);
  FullModel beam = uma::reduce::StraightBeam(1.0, 10, section, 1).Assemble();
  beam.loads = Eigen::MatrixXd::Zero(beam.size(), 2);
  beam.loads(6 * 10 + 2, 0) = 1000;  // 1000 N along z on node 11, a boundary node
  beam.loads(6 * 5 + 2, 1) = 10;     // 10 N along z at mid-span
  uma::reduce::ReductionOptions options;
  options.boundary = {1, 11};
  options.modes = 4;
  const uma::reduce::Reduction r = uma::reduce::Reduce(beam, options);
  EXPECT_EQ(r.loadResponse.col(0).norm(), 0.0)
      << "a boundary load moves nothing with the boundary held";
  // Static coordinate 8 is node 11's z; the dynamic modes vanish there.
  for (Eigen::Index c = 0; c < r.reducedLoads.rows(); ++c)
    EXPECT_EQ(r.reducedLoads(c, 0), c == 8 ? 1000.0 : 0.0) << c;
  EXPECT_GT(r.reducedLoads.col(1).tail(4).cwiseAbs().maxCoeff(), 0.0);

  const std::string output = m_dir.File("loaded.uma");
  pfm::SaveModel(uma::reduce::BuildReducedModel(output, beam, r, {}), output);
  uma::check::Report report = uma::check::Check(output);
  EXPECT_EQ(report.Errors(), 0) << uma::check::AsText(report);
  ASSERT_TRUE(report.physics.reducedLoadError) << uma::check::AsText(report);
  EXPECT_LT(*report.physics.reducedLoadError, 1e-12);

  // A ReducedLoads that lost the boundary part is an error.
  pfm::ModelBuilder b = uma::reduce::BuildReducedModel("lost", beam, r, {});
  pfm::SystemData& data = pfm::ModelOf(b).system;
  const int reducedLoads = data.distributionByName.at(pfm::types::kReducedLoads);
  const double zero = 0.0;
  data.distributions[static_cast<std::size_t>(reducedLoads)].values->Write(8, 1, 0, 1, &zero, 1);
  b.Register();
  report = uma::check::Check("lost");
  ASSERT_EQ(report.Errors(), 1) << uma::check::AsText(report);
  EXPECT_EQ(report.findings[0].check, "reduced-loads");
}

TEST_F(ReductionInAnyUnits, InputsThatContradictThemselvesAreRefusedWithTheirReason) {
  // Collinear boundary nodes of a solid: the rotation about their line is free.
  const uma::sample::BlockShape shape = SmallBlock();
  const FullModel block = uma::sample::SteelBlock(shape, UnitSystem::MillimetreTonneSecond());
  uma::reduce::ReductionOptions options;
  options.boundary = {1, 2, 3};  // along x at y = z = 0
  try {
    uma::reduce::Reduce(block, options);
    ADD_FAILURE() << "collinear boundary nodes reduced";
  } catch (const uma::reduce::InputError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("--boundary: the boundary does not hold rotation about "
                                          "an axis through nodes 1, 2, 3 (they are collinear)",
                                          0),
              0u)
        << e.what();
  }

  // Coordinates in mm beside a stiffness in m, on beams whose nodes carry rotations.
  const uma::reduce::BeamSection section = uma::reduce::BeamSection::SteelRectangle(0.04, 0.02);
  FullModel beam = uma::reduce::BeamGrid(4, 3, 0.25, section).Assemble();
  FullModel millimetres = beam;
  for (uma::reduce::NodeRow& node : millimetres.nodes) {
    node.x *= 1000;
    node.y *= 1000;
  }
  uma::sample::TempDir dir;
  CommandRun run = RunReduce(With(Files(dir, millimetres, "grid"),
                                  {"--boundary", "1", "--modes", "3", "-o", dir.File("mm.uma")}));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("does not leave a rigid rotation about"), std::string::npos) << run.err;
  EXPECT_FALSE(std::ifstream(dir.File("mm.uma")).good());

  // uma-check on a model written with those coordinates.
  options.boundary = {1, 12};
  options.modes = 3;
  const uma::reduce::Reduction r = uma::reduce::Reduce(beam, options);
  pfm::SaveModel(uma::reduce::BuildReducedModel(dir.File("grid.uma"), millimetres, r, {}),
                 dir.File("grid.uma"));
  uma::check::Report report = uma::check::Check(dir.File("grid.uma"));
  std::vector<std::string> checks;
  for (const uma::check::Finding& f : report.findings) checks.push_back(f.check);
  EXPECT_EQ(checks, std::vector<std::string>{"rigid-body-motion"}) << uma::check::AsText(report);
}

TEST_F(ReductionInAnyUnits, ACutoffAboveTheSpectrumIsCountedAndStaysBounded) {
  // 900 interior dofs: every one of their modes lies below 1 GHz; counted, then solved densely.
  const uma::sample::BlockShape shape = SmallBlock();
  const FullModel block = uma::sample::SteelBlock(shape, UnitSystem::MillimetreTonneSecond());
  uma::reduce::ReductionOptions options;
  options.boundary = uma::sample::FaceAtXZero(shape);
  options.cutoffHz = 1e9;
  const auto start = std::chrono::steady_clock::now();
  const uma::reduce::Reduction r = uma::reduce::Reduce(block, options);
  EXPECT_EQ(r.plan.belowCutoff, 900);
  EXPECT_TRUE(r.plan.dense);
  EXPECT_EQ(r.dynamicModes(), 900);
  EXPECT_LT(r.quality.residual, uma::reduce::kModeTolerance);
  (void)start;

  // A larger interior is refused with the count and the memory a dense solve would need.
  uma::sample::BlockShape larger = shape;
  larger.nx = 30;
  larger.ny = larger.nz = 6;
  const FullModel big = uma::sample::SteelBlock(larger, UnitSystem::MillimetreTonneSecond());
  options.boundary = uma::sample::FaceAtXZero(larger);
  try {
    uma::reduce::Reduce(big, options);
    ADD_FAILURE() << "a dense solve of 4410 dofs accepted";
  } catch (const uma::reduce::InputError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("--cutoff: 4410 fixed-interface modes lie below the "
                                          "cutoff; that many modes of an interior of 4410 degrees "
                                          "of freedom need a dense solve (0.3 GB)",
                                          0),
              0u)
        << e.what();
  }
}

TEST_F(ReductionInAnyUnits, EveryStageReportsAndTheStagesAddUpToTheRun) {
  const uma::sample::BlockShape shape = SmallBlock();
  const FullModel block = uma::sample::SteelBlock(shape, UnitSystem::SI());
  CommandRun run = RunReduce(
      With(Files(m_dir, block, "block"), {"--boundary", Labels(uma::sample::FaceAtXZero(shape))[0],
                                          "--modes", "40", "-o", m_dir.File("stages.uma")}));
  ASSERT_EQ(run.status, 0) << run.err;
  std::smatch line;
  ASSERT_TRUE(std::regex_search(run.out, line, std::regex("  stages +(.*)\n"))) << run.out;
  const std::string stages = line[1];
  double sum = 0, total = -1;
  const std::regex stage("([a-z ]+) ([0-9.]+) s");
  for (auto it = std::sregex_iterator(stages.begin(), stages.end(), stage);
       it != std::sregex_iterator(); ++it) {
    const std::string name = (*it)[1];
    const double seconds = std::stod((*it)[2]);
    if (name.find("total") != std::string::npos)
      total = seconds;
    else
      sum += seconds;
  }
  for (const char* name : {"reading", "checks", "factorisation", "modes", "verification",
                           "constraint modes", "loads", "reduced matrices", "writing", "summary"})
    EXPECT_NE(stages.find(name), std::string::npos) << name << " in " << stages;
  ASSERT_GT(total, 0) << stages;
  EXPECT_NEAR(sum / total, 1.0, 0.05) << stages;
}

TEST(Pencil, AFreeBodyReducedToOneNodeKeepsItsSixRigidBodyModesAndEveryElasticOne) {
  // The static modes of a body held by one interface node are its rigid motions: their
  // stiffness is round-off, and must not set the scale the pencil is measured in.
  const uma::sample::BlockShape shape{0.012, 0.004, 0.004, 6, 2, 2, false};
  for (const UnitSystem& units : {UnitSystem::SI(), UnitSystem::MillimetreTonneSecond()}) {
    const FullModel block = uma::sample::SteelBlock(shape, units);
    uma::reduce::InterfaceNode joint;
    joint.label = 9001;
    joint.placed = true;
    joint.x = units.FromSI(-0.002, 1, 0, 0);
    joint.nodes = uma::sample::FaceAtXZero(shape);
    joint.option = "--rigid 9001";
    const uma::reduce::Transformation t = uma::reduce::Transform(block, {joint}, {});
    uma::reduce::ReductionOptions options;
    options.boundary = {9001};
    options.modes = 12;
    const uma::reduce::Reduction r = uma::reduce::Reduce(t.model, options);
    const int n = static_cast<int>(r.stiffness.rows());
    const uma::common::PencilSpectrum s = uma::common::SolvePencil(
        std::vector<double>(r.stiffness.data(), r.stiffness.data() + r.stiffness.size()),
        std::vector<double>(r.mass.data(), r.mass.data() + r.mass.size()), n);
    ASSERT_TRUE(s.solved) << s.failure;
    EXPECT_EQ(s.rigidBodyModes, 6);
    EXPECT_EQ(s.infinite + s.indeterminate + s.negative, 0);
    ASSERT_EQ(s.eigenvalues.size(), static_cast<std::size_t>(n));
    Eigen::GeneralizedSelfAdjointEigenSolver<Eigen::MatrixXd> exact(r.stiffness, r.mass,
                                                                    Eigen::EigenvaluesOnly);
    for (int i = 6; i < n; ++i)
      EXPECT_NEAR(s.eigenvalues[static_cast<std::size_t>(i)] / exact.eigenvalues()(i), 1.0, 1e-9);
  }
}

TEST(ReductionChecks, HeldModelsOneDimensionalModelsAndIllConditionedStiffnessesAreReduced) {
  // A block whose far face is held (its rows left out, as a FE program leaves out supports):
  // small enough that the held nodes are more than half, so only the model's word tells.
  uma::sample::BlockShape shape{0.004, 0.004, 0.004, 1, 1, 1, false};
  FullModel block = uma::sample::SteelBlock(shape, UnitSystem::SI());
  std::vector<int> keep;
  for (int r = 0; r < block.size(); ++r)
    if (block.nodes[static_cast<std::size_t>(r / 3)].x == 0) keep.push_back(r);
  FullModel held;
  held.nodes = block.nodes;
  for (int r : keep) held.dofs.push_back(block.dofs[static_cast<std::size_t>(r)]);
  const Eigen::MatrixXd k(block.stiffness), m(block.mass);
  Eigen::MatrixXd kk(keep.size(), keep.size()), mm(keep.size(), keep.size());
  for (std::size_t i = 0; i < keep.size(); ++i)
    for (std::size_t j = 0; j < keep.size(); ++j) {
      kk(i, j) = k(keep[i], keep[j]);
      mm(i, j) = m(keep[i], keep[j]);
    }
  held.stiffness = kk.sparseView();
  held.mass = mm.sparseView();
  held.loads.resize(held.size(), 0);
  held.held = true;
  uma::reduce::ReductionOptions options;
  options.boundary = {1};
  options.modes = 2;
  const uma::reduce::Reduction r = uma::reduce::Reduce(held, options);
  EXPECT_TRUE(r.rigidBody.held);
  held.held = false;
  EXPECT_THROW(uma::reduce::Reduce(held, options), uma::reduce::InputError) << "unless the model says so";

  // A chain of springs along x (one dof a node) with a link 1e10 times stiffer than the
  // others: one node holds every motion the chain can make, and the soft modes' residuals are
  // held to what round-off in K phi allows.
  FullModel chain;
  const int points = 8;
  std::vector<Eigen::Triplet<double, int>> kt, mt;
  for (int i = 0; i < points; ++i) {
    chain.nodes.push_back({i + 1, 0.1 * i, 0, 0, 0});
    chain.dofs.push_back({i + 1, 1, 0});
    mt.emplace_back(i, i, 1.0);
  }
  for (int i = 0; i + 1 < points; ++i) {
    const double s = i == 4 ? 1e18 : 1e8;
    kt.insert(kt.end(), {{i, i, s}, {i + 1, i + 1, s}, {i, i + 1, -s}, {i + 1, i, -s}});
  }
  chain.stiffness.resize(points, points);
  chain.stiffness.setFromTriplets(kt.begin(), kt.end());
  chain.mass.resize(points, points);
  chain.mass.setFromTriplets(mt.begin(), mt.end());
  chain.loads.resize(points, 0);
  options.boundary = {1};
  options.modes = 3;
  const uma::reduce::Reduction c = uma::reduce::Reduce(chain, options);
  EXPECT_EQ(c.dynamicModes(), 3);
  EXPECT_LE(c.quality.modeResidual, c.quality.modeTolerance);
  EXPECT_GT(c.quality.tolerance, uma::reduce::kModeTolerance) << "the stiff link's round-off counts";
}
