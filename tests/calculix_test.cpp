// CalculiX models reduced as they come, checked against CalculiX itself: for a C3D10 bar, an S8
// plate, a B32 frame with a knot and a C3D20 block with a *RIGID BODY, in SI units and in
// mm, t, s, N, the fixed-interface frequencies match CalculiX's *FREQUENCY of the clamped model,
// the reduced model's free-free frequencies match CalculiX's, and its rigid-body mass and centre
// match *EL PRINT's EMAS totals. These tests run ccx and skip when it is not installed.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <Eigen/Eigenvalues>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "pfm_Support.h"
#include "reduce_CalculixJob.h"
#include "reduce_CraigBampton.h"
#include "reduce_ReadInput.h"
#include "uma_CalculixDecks.h"
#include "uma_FlexibleBodyX.h"
#include "uma_IncoreMatrix.h"
#include "uma_Matrix.h"
#include "uma_ReduceRun.h"
#include "uma_TempDir.h"
#include "uma_TestSupport.h"

namespace {

// The reduced model's eigenvalues omega^2, ascending, by a dense solve of its own.
Eigen::VectorXd PencilEigenvalues(const uma::reduce::Reduction& r) {
  return Eigen::GeneralizedSelfAdjointEigenSolver<Eigen::MatrixXd>(r.stiffness, r.mass,
                                                                   Eigen::EigenvaluesOnly)
      .eigenvalues();
}

bool HaveCalculix() { return std::system("command -v ccx > /dev/null 2>&1") == 0; }

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path);
  out << text;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs CalculiX on `deck` as JOB in `dir`; answers its .dat file.
std::string RunCalculix(const uma::sample::TempDir& dir, const std::string& job,
                        const std::string& deck) {
  WriteText(dir.File(job + ".inp"), deck);
  const std::string command =
      "cd '" + dir.path() + "' && ccx -i " + job + " > " + job + ".log 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0) << ReadText(dir.File(job + ".log"));
  return ReadText(dir.File(job + ".dat"));
}

// The eigenvalues (omega^2) of the .dat's eigenvalue output.
std::vector<double> Eigenvalues(const std::string& dat) {
  std::vector<double> out;
  const std::size_t at = dat.find("E I G E N V A L U E   O U T P U T");
  if (at == std::string::npos) return out;
  std::istringstream in(dat.substr(at));
  std::string line;
  for (int skip = 0; skip < 6 && std::getline(in, line); ++skip) {
  }
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    int mode = 0;
    double value = 0;
    if (!(fields >> mode >> value)) break;
    out.push_back(value);
  }
  return out;
}

struct MassProperties {
  double mass = 0;
  Eigen::Vector3d centre = Eigen::Vector3d::Zero();
};

// EMAS totals: the mass and the centre of gravity.
MassProperties Emas(const std::string& dat) {
  MassProperties p;
  auto after = [&](const char* title) {
    const std::size_t at = dat.find(title);
    EXPECT_NE(at, std::string::npos) << title;
    return std::istringstream(dat.substr(dat.find('\n', at)));
  };
  after("total mass for set") >> p.mass;
  std::istringstream centre = after("center of gravity for set");
  centre >> p.centre(0) >> p.centre(1) >> p.centre(2);
  return p;
}

// The rigid-body mass properties of a reduced model: its A-set moves rigidly (its static modes
// carry a free body's rigid motion; the dynamic modes stand still), M6 = R^T M_aa R.
MassProperties RigidBodyOf(const uma::reduce::Input& input, const uma::reduce::Reduction& r) {
  const uma::reduce::FullModel& model = input.Reduced();
  std::vector<uma::reduce::DofRow> aSet;
  for (int row : r.boundary) aSet.push_back(model.dofs[static_cast<std::size_t>(row)]);
  const Eigen::MatrixXd motions = uma::reduce::RigidMotions(aSet, model.nodes);
  const int nb = r.staticModes();
  const Eigen::MatrixXd m6 = motions.transpose() * r.mass.topLeftCorner(nb, nb) * motions;
  MassProperties p;
  p.mass = m6(0, 0);
  // The translation-rotation block is -m skew(c).
  p.centre << -m6(2, 4) / p.mass, -m6(0, 5) / p.mass, -m6(1, 3) / p.mass;
  return p;
}

double Hertz(double omegaSquared) { return std::sqrt(std::max(0.0, omegaSquared)) / (2 * M_PI); }

struct DeckCase {
  const char* name;
  std::string (*deck)(const uma::sample::DeckUnits&);
  const char* boundary;  // for uma-reduce
  const char* clamp;     // the same held in CalculiX
  double size;           // the part's largest dimension in metres
};

std::string Block(const uma::sample::DeckUnits& u) { return uma::sample::RigidBlockDeck(u, true); }

const DeckCase kDecks[] = {
    {"C3D10 bar", uma::sample::SolidBarDeck, "END", "*BOUNDARY\nEND, 1, 3\n", 0.1},
    {"S8 plate", uma::sample::ShellPlateDeck, "9001", "*BOUNDARY\n9001, 1, 3\n9002, 1, 3\n", 0.2},
    {"B32 frame", uma::sample::FrameDeck, "CORNER", "*BOUNDARY\nCORNER, 1, 6\n", 0.2},
    {"C3D20 block with a rigid body", Block, "9001", "*BOUNDARY\n9001, 1, 3\n9002, 1, 3\n", 0.06},
};

class CalculixDecks
    : public UmaTest,
      public ::testing::WithParamInterface<std::tuple<int, const uma::sample::DeckUnits*>> {};

TEST_P(CalculixDecks, MatchCalculixFrequenciesAndMass) {
  if (!HaveCalculix()) GTEST_SKIP() << "CalculiX (ccx) is not installed";
  const DeckCase& c = kDecks[std::get<0>(GetParam())];
  const uma::sample::DeckUnits& u = *std::get<1>(GetParam());
  SCOPED_TRACE(std::string(c.name) + " in " + u.name);
  uma::sample::TempDir dir;
  const std::string model = c.deck(u);
  WriteText(dir.File("part.inp"), model);

  // CalculiX's free-free frequencies, asked from just above 0 Hz: its shift leaves the six
  // rigid-body modes out of the sixteen it finds.
  const std::vector<double> free =
      Eigenvalues(RunCalculix(dir, "free", model + "*STEP\n*FREQUENCY\n16, 0.01\n*END STEP\n"));
  ASSERT_EQ(free.size(), 10u);

  // uma-reduce's reading runs CalculiX on a copy of the deck: the files are not there. Enough
  // fixed-interface modes for the free-free frequencies: all up to eight times the tenth.
  std::FILE* log = std::tmpfile();
  uma::reduce::NodeLists lists;
  lists.boundary = c.boundary;
  uma::reduce::Input input = uma::reduce::ReadInput({}, dir.File("part.inp"), lists, log);
  std::fclose(log);
  ASSERT_TRUE(input.calculix && input.calculix->ranCalculix);
  uma::reduce::ReductionOptions options;
  options.boundary = input.boundary;
  options.cutoffHz = 8 * Hertz(free[9]);
  const uma::reduce::Reduction r = uma::reduce::Reduce(input.Reduced(), options);
  ASSERT_GE(r.dynamicModes(), 10);

  // Fixed-interface modes against CalculiX's of the clamped model.
  const std::vector<double> clamped = Eigenvalues(
      RunCalculix(dir, "clamped", model + c.clamp + "*STEP\n*FREQUENCY\n10\n*END STEP\n"));
  ASSERT_EQ(clamped.size(), 10u);
  for (std::size_t k = 0; k < clamped.size(); ++k)
    EXPECT_NEAR(r.eigenvalues(static_cast<Eigen::Index>(k)) / clamped[k], 1.0, 1e-6)
        << "mode " << k;

  // Free-free: six rigid-body modes, then the first ten elastic ones.
  const Eigen::VectorXd reduced = PencilEigenvalues(r);
  const double firstElastic = Hertz(free[0]);
  for (int k = 0; k < 6; ++k) EXPECT_LT(Hertz(reduced(k)), 1e-3 * firstElastic) << "rigid " << k;
  for (std::size_t k = 0; k < free.size(); ++k)
    EXPECT_NEAR(Hertz(reduced(6 + static_cast<Eigen::Index>(k))) / Hertz(free[k]), 1.0, 1e-3)
        << "elastic mode " << k;

  // The rigid body against EMAS.
  const MassProperties emas = Emas(
      RunCalculix(dir, "mass",
                  model + "*STEP\n*STATIC\n*EL PRINT, ELSET=EALL, TOTALS=ONLY\nEMAS\n*END STEP\n"));
  const MassProperties body = RigidBodyOf(input, r);
  EXPECT_NEAR(body.mass / emas.mass, 1.0, 1e-6);
  EXPECT_LT((body.centre - emas.centre).norm(), 1e-6 * c.size * u.length);
}

INSTANTIATE_TEST_SUITE_P(Parts, CalculixDecks,
                         ::testing::Combine(::testing::Range(0, 4),
                                            ::testing::Values(&uma::sample::kSI, &uma::sample::kMillimetre)),
                         [](const auto& info) {
                           std::string name =
                               std::string(kDecks[std::get<0>(info.param)].name) + "_" +
                               (std::get<1>(info.param) == &uma::sample::kSI ? "SI" : "mm");
                           for (char& ch : name)
                             if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return name;
                         });

// Labels out of an array the library hands over; none for a null answer.
std::vector<int> Take(uma_ArrayInt* array) {
  return TakeLabels(array).value_or(std::vector<int>());
}

class CalculixJobs : public UmaTest {
 protected:
  void SetUp() override {
    UmaTest::SetUp();
    if (!HaveCalculix()) GTEST_SKIP() << "CalculiX (ccx) is not installed";
  }
  uma::sample::TempDir m_dir;
};

// --rigid on a deck without a rigid body gives exactly CalculiX's *RIGID BODY: the same
// clamped frequencies, from a transformation of ours instead of CalculiX's constraints.
TEST_F(CalculixJobs, RigidInterfaceIsCalculixsRigidBody) {
  const uma::sample::DeckUnits& u = uma::sample::kMillimetre;
  WriteText(m_dir.File("block.inp"), uma::sample::RigidBlockDeck(u, false));
  const std::vector<double> clamped = Eigenvalues(
      RunCalculix(m_dir, "clamped",
                  uma::sample::RigidBlockDeck(u, true) +
                      "*BOUNDARY\n9001, 1, 3\n9002, 1, 3\n*STEP\n*FREQUENCY\n10\n*END STEP\n"));
  ASSERT_EQ(clamped.size(), 10u);
  std::FILE* log = std::tmpfile();
  uma::reduce::NodeLists lists;
  lists.boundary = "9001";
  lists.interfaces.push_back(
      uma::reduce::ParseInterface(uma::reduce::InterfaceNode::Kind::Rigid, "--rigid", "9001:FACE"));
  const uma::reduce::Input input = uma::reduce::ReadInput({}, m_dir.File("block.inp"), lists, log);
  std::fclose(log);
  uma::reduce::ReductionOptions options;
  options.boundary = input.boundary;
  options.modes = 10;
  const uma::reduce::Reduction r = uma::reduce::Reduce(input.Reduced(), options);
  ASSERT_EQ(r.staticModes(), 6);
  for (std::size_t k = 0; k < clamped.size(); ++k)
    EXPECT_NEAR(r.eigenvalues(static_cast<Eigen::Index>(k)) / clamped[k], 1.0, 1e-6) << k;
}

// The model file of a shell plate: the deck's nodes are the nodes hosts see, each with rows of
// its own (the mean of its generated nodes'), the generated nodes are internal, the lumped mass
// sits at the deck's nodes, and the mesh is kept.
TEST_F(CalculixJobs, HostsSeeTheDecksNodesAndTheMeshIsKept) {
  WriteText(m_dir.File("plate.inp"), uma::sample::ShellPlateDeck(uma::sample::kSI));
  const std::string model = m_dir.File("plate.uma");
  CommandRun run = RunReduce({"--calculix", m_dir.File("plate.inp"), "--boundary", "9001",
                              "--modes", "8", "--units", "m,kg,s,N", "-o", model});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("running CalculiX"), std::string::npos) << run.err;
  EXPECT_NE(run.out.find("CalculiX        " + m_dir.File("plate.inp") +
                         ": 75 deck nodes, 156 generated (internal), elements: 18 S8"),
            std::string::npos)
      << run.out;

  pfm::ModelContents contents;
  ASSERT_TRUE(pfm::ReadContents(model, contents));
  EXPECT_EQ(contents.mesh.size(), 18u);
  EXPECT_EQ(contents.mesh[0].type, "S8");
  EXPECT_EQ(contents.numStaticModes, 6);

  uma_FlexibleBodyX body(model.c_str());
  ASSERT_FALSE(body.IsNull());
  // The deck's nodes but the rotation node 9002, which became dofs 4-6 of node 9001.
  std::vector<int> fe = Take(body.FENodes());
  std::set<int> expected;
  for (int label = 1; label <= 73; ++label) expected.insert(label);
  expected.insert(9001);
  EXPECT_EQ(std::set<int>(fe.begin(), fe.end()), expected);
  std::vector<int> aSet = Take(body.ASetNodes());
  ASSERT_GE(aSet.size(), 6u);
  EXPECT_EQ(std::vector<int>(aSet.begin(), aSet.begin() + 6), std::vector<int>(6, 9001));

  // Every deck node of the plate moves, as the mean of its generated nodes.
  std::vector<int> rows = Take(body.RecoverySetNodes());
  std::vector<int> dofs = Take(body.RecoverySetDofs());
  std::map<int, std::set<int>> seen;
  for (std::size_t i = 0; i < rows.size(); ++i) seen[rows[i]].insert(dofs[i]);
  for (int label = 1; label <= 73; ++label)
    EXPECT_EQ(seen[label], (std::set<int>{1, 2, 3})) << "node " << label;
  EXPECT_EQ(seen[9001], (std::set<int>{1, 2, 3, 4, 5, 6}));

  // The lumped mass that hosts see is the plate's: 0.2 x 0.1 x 0.004 m of steel.
  std::unique_ptr<const uma_Matrix> lumped(body.Matrix("LumpedMass"));
  ASSERT_TRUE(lumped);
  uma_IncoreMatrix values(lumped->NumRows(), 1, nullptr);
  lumped->GetValues(0, lumped->NumRows() - 1, 0, 0, values);
  double total = 0;
  for (int i = 0; i < lumped->NumRows(); ++i) total += values.value(i, 0);
  EXPECT_NEAR(total / (0.2 * 0.1 * 0.004 * 7850), 1.0, 1e-9);
}

// Files of the matrix storage step beside the deck are read as they are while they are newer
// than the deck; a deck changed since is run again. Without ccx and without the files, the
// reason says what to run.
TEST_F(CalculixJobs, FilesBesideTheDeckAreUsedWhileTheyAreNewer) {
  const std::string deck = m_dir.File("bar.inp");
  WriteText(deck, uma::sample::SolidBarDeck(uma::sample::kSI));
  const std::vector<std::string> args = {
      "--calculix", deck,      "--boundary", "END", "--modes",
      "4",          "--units", "m,kg,s,N",   "-o",  m_dir.File("bar.uma")};
  // Without ccx on the PATH and without the files: refused, with the recipe.
  const std::string path = std::getenv("PATH");
  setenv("PATH", m_dir.path().c_str(), 1);
  CommandRun refused = RunReduce(args);
  setenv("PATH", path.c_str(), 1);
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find(m_dir.File("bar.sti") + " is missing, and CalculiX (ccx) is not on "
                                                     "the PATH to make it"),
            std::string::npos)
      << refused.err;
  EXPECT_NE(refused.err.find("*FREQUENCY, SOLVER=MATRIXSTORAGE"), std::string::npos);

  RunCalculix(
      m_dir, "bar",
      uma::sample::SolidBarDeck(uma::sample::kSI) + "*STEP\n*FREQUENCY, SOLVER=MATRIXSTORAGE\n*END STEP\n");
  std::vector<std::string> withoutUnits = args;
  withoutUnits.erase(withoutUnits.begin() + 6, withoutUnits.begin() + 8);
  CommandRun fresh = RunReduce(withoutUnits);
  ASSERT_EQ(fresh.status, 0) << fresh.err;
  EXPECT_EQ(fresh.err.find("running CalculiX"), std::string::npos) << fresh.err;
  EXPECT_NE(fresh.err.find("warning: a CalculiX deck does not say its units; give them with "
                           "--units"),
            std::string::npos)
      << fresh.err;
  EXPECT_NE(fresh.out.find("matrices read from " + m_dir.File("bar.sti")), std::string::npos);

  // The deck is changed after the files were made.
  struct stat st {};
  ASSERT_EQ(::stat(m_dir.File("bar.sti").c_str(), &st), 0);
  struct utimbuf later {
    st.st_atime + 10, st.st_mtime + 10
  };
  ASSERT_EQ(::utime(deck.c_str(), &later), 0);
  CommandRun stale = RunReduce(args);
  ASSERT_EQ(stale.status, 0) << stale.err;
  EXPECT_NE(stale.err.find(m_dir.File("bar.sti") + " is older than the deck; running CalculiX"),
            std::string::npos)
      << stale.err;
  EXPECT_EQ(stale.err.find("does not say its units"), std::string::npos) << "--units was given";
}

}  // namespace
