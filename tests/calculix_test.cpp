// CalculiX models reduced as they come, checked against CalculiX itself: for a C3D10 bar, an S8
// plate, a B32 frame with a knot and a C3D20 block with a *RIGID BODY, in SI units and in
// mm, t, s, N, the fixed-interface frequencies match CalculiX's *FREQUENCY of the clamped model,
// the reduced model's free-free frequencies match CalculiX's, and its rigid-body mass and centre
// match *EL PRINT's EMAS totals. These tests run ccx and skip when it is not installed.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "pfm_Support.h"
#include "reduce_CalculixJob.h"
#include "reduce_CraigBampton.h"
#include "reduce_DenseEigen.h"
#include "reduce_ReadInput.h"
#include "uma_CalculixDecks.h"
#include "uma_FlexibleBodyX.h"
#include "uma_TempDir.h"
#include "uma_TestSupport.h"

namespace {

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
std::string RunCalculix(const sample::TempDir& dir, const std::string& job,
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
MassProperties RigidBodyOf(const reduce::Input& input, const reduce::Reduction& r) {
  const reduce::FullModel& model = input.Reduced();
  std::vector<reduce::DofRow> aSet;
  for (int row : r.boundary) aSet.push_back(model.dofs[static_cast<std::size_t>(row)]);
  const Eigen::MatrixXd motions = reduce::RigidMotions(aSet, model.nodes);
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
  std::string (*deck)(const sample::DeckUnits&);
  const char* boundary;  // for uma-reduce
  const char* clamp;     // the same held in CalculiX
  double size;           // the part's largest dimension in metres
};

std::string Block(const sample::DeckUnits& u) { return sample::RigidBlockDeck(u, true); }

const DeckCase kDecks[] = {
    {"C3D10 bar", sample::SolidBarDeck, "END", "*BOUNDARY\nEND, 1, 3\n", 0.1},
    {"S8 plate", sample::ShellPlateDeck, "9001", "*BOUNDARY\n9001, 1, 3\n9002, 1, 3\n", 0.2},
    {"B32 frame", sample::FrameDeck, "CORNER", "*BOUNDARY\nCORNER, 1, 6\n", 0.2},
    {"C3D20 block with a rigid body", Block, "9001", "*BOUNDARY\n9001, 1, 3\n9002, 1, 3\n", 0.06},
};

class CalculixDecks
    : public UmaTest,
      public ::testing::WithParamInterface<std::tuple<int, const sample::DeckUnits*>> {};

TEST_P(CalculixDecks, MatchCalculixFrequenciesAndMass) {
  if (!HaveCalculix()) GTEST_SKIP() << "CalculiX (ccx) is not installed";
  const DeckCase& c = kDecks[std::get<0>(GetParam())];
  const sample::DeckUnits& u = *std::get<1>(GetParam());
  SCOPED_TRACE(std::string(c.name) + " in " + u.name);
  sample::TempDir dir;
  const std::string model = c.deck(u);
  WriteText(dir.File("part.inp"), model);

  // CalculiX's free-free frequencies, asked from just above 0 Hz: its shift leaves the six
  // rigid-body modes out of the sixteen it finds.
  const std::vector<double> free =
      Eigenvalues(RunCalculix(dir, "free", model + "*STEP\n*FREQUENCY\n16, 0.01\n*END STEP\n"));
  ASSERT_EQ(free.size(), 10u);

  // uma-reduce's reading runs CalculiX on a copy of the deck: the files are not there. Enough
  // fixed-interface modes for the free-free frequencies: all up to four times the tenth.
  std::FILE* log = std::tmpfile();
  reduce::NodeLists lists;
  lists.boundary = c.boundary;
  reduce::Input input = reduce::ReadInput({}, dir.File("part.inp"), lists, log);
  std::fclose(log);
  ASSERT_TRUE(input.calculix && input.calculix->ranCalculix);
  reduce::ReductionOptions options;
  options.boundary = input.boundary;
  options.cutoffHz = 4 * Hertz(free[9]);
  const reduce::Reduction r = reduce::Reduce(input.Reduced(), options);
  ASSERT_GE(r.dynamicModes(), 10);

  // Fixed-interface modes against CalculiX's of the clamped model.
  const std::vector<double> clamped = Eigenvalues(
      RunCalculix(dir, "clamped", model + c.clamp + "*STEP\n*FREQUENCY\n10\n*END STEP\n"));
  ASSERT_EQ(clamped.size(), 10u);
  for (std::size_t k = 0; k < clamped.size(); ++k)
    EXPECT_NEAR(r.eigenvalues(static_cast<Eigen::Index>(k)) / clamped[k], 1.0, 1e-6)
        << "mode " << k;

  // Free-free: six rigid-body modes, then the first ten elastic ones.
  const Eigen::VectorXd reduced = reduce::GeneralizedEigenvalues(r.stiffness, r.mass);
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
                                            ::testing::Values(&sample::kSI, &sample::kMillimetre)),
                         [](const auto& info) {
                           std::string name =
                               std::string(kDecks[std::get<0>(info.param)].name) + "_" +
                               (std::get<1>(info.param) == &sample::kSI ? "SI" : "mm");
                           for (char& ch : name)
                             if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return name;
                         });

}  // namespace
