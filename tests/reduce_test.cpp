// The reduction of full finite-element models: beam physics against Euler-Bernoulli, the
// reduced model against the full one, the model file as a host reads it, refused inputs.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <Eigen/Eigenvalues>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iomanip>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <vector>

#include "pfm_ModelTypes.h"
#include "pfm_Sqlite.h"
#include "pfm_Support.h"
#include "reduce_Command.h"
#include "reduce_CraigBampton.h"
#include "reduce_Frame.h"
#include "reduce_InputError.h"
#include "reduce_ModelOutput.h"
#include "uma_IncoreMatrix.h"
#include "uma_Matrix.h"
#include "uma_ReduceRun.h"
#include "uma_System.h"
#include "uma_TempDir.h"
#include "uma_TestSupport.h"

namespace {

using uma::reduce::BeamSection;
using uma::reduce::FullModel;

const double kPi = 3.141592653589793;
const BeamSection kSection = BeamSection::SteelRectangle(0.04, 0.02);

// Euler-Bernoulli: omega = (beta L)^2 sqrt(E I / (rho A L^4)).
double BeamOmega(double betaL, double inertia, double length) {
  return betaL * betaL * std::sqrt(kSection.youngs * inertia / (kSection.density * kSection.area)) /
         (length * length);
}

// Ascending omega of the dense problem K x = lambda M x.
std::vector<double> DenseOmegas(const Eigen::MatrixXd& k, const Eigen::MatrixXd& m) {
  Eigen::GeneralizedSelfAdjointEigenSolver<Eigen::MatrixXd> solver(k, m, Eigen::EigenvaluesOnly);
  std::vector<double> out;
  for (Eigen::Index i = 0; i < solver.eigenvalues().size(); ++i)
    out.push_back(std::sqrt(std::max(0.0, solver.eigenvalues()(i))));
  return out;
}

// The relative distance from `omega` to the nearest of `omegas`.
double NearestRelative(const std::vector<double>& omegas, double omega) {
  double best = 1e300;
  for (double w : omegas) best = std::min(best, std::abs(w - omega) / omega);
  return best;
}

FullModel Beam(int elements) { return uma::reduce::StraightBeam(1.0, elements, kSection, 1).Assemble(); }

const double kBetaL[] = {4.730040745, 7.853204624, 10.99560784};  // free-free and clamped-clamped
const double kCantileverBetaL[] = {1.875104069, 4.694091133, 7.854757438};

}  // namespace

TEST(BeamModel, FrequenciesMatchEulerBernoulliForCantileverAndFreeBeam) {
  FullModel beam = Beam(40);
  const Eigen::MatrixXd k(beam.stiffness), m(beam.mass);
  const int n = beam.size();
  // Cantilever: node 1's dofs held.
  std::vector<double> cantilever =
      DenseOmegas(k.bottomRightCorner(n - 6, n - 6), m.bottomRightCorner(n - 6, n - 6));
  std::vector<double> free = DenseOmegas(k, m);
  for (double inertia : {kSection.iy, kSection.iz}) {
    for (double betaL : kCantileverBetaL)
      EXPECT_LT(NearestRelative(cantilever, BeamOmega(betaL, inertia, 1.0)), 1e-3) << betaL;
    for (double betaL : kBetaL)
      EXPECT_LT(NearestRelative(free, BeamOmega(betaL, inertia, 1.0)), 1e-3) << betaL;
  }
  // The free beam has exactly six rigid-body modes.
  const double firstBending = BeamOmega(kBetaL[0], kSection.iy, 1.0);
  for (int i = 0; i < 6; ++i) EXPECT_LT(free[static_cast<std::size_t>(i)], 1e-4 * firstBending);
  EXPECT_GT(free[6], 0.99 * firstBending);
}

// Fixed-interface reduction converges from above as modes are added; with every mode below a
// cutoff kept, the reduced frequencies below a fifth of it are within 1e-3 of the full model's.
TEST(Reduction, ReducedFrequenciesMatchTheFullModelBelowTheCutoff) {
  FullModel beam = Beam(40);
  uma::reduce::ReductionOptions options;
  options.boundary = {1, 41};
  options.cutoffHz = 12000.0;
  uma::reduce::Reduction r = uma::reduce::Reduce(beam, options);
  ASSERT_EQ(r.staticModes(), 12);

  const Eigen::MatrixXd k(beam.stiffness), m(beam.mass);
  const int n = beam.size();
  // The cutoff keeps exactly the fixed-interface modes below it, as a dense solver finds them.
  std::vector<double> fixed =
      DenseOmegas(k.block(6, 6, n - 12, n - 12), m.block(6, 6, n - 12, n - 12));
  const double cutoff = 2 * kPi * options.cutoffHz;
  int below = 0;
  for (double w : fixed) below += w < cutoff;
  ASSERT_EQ(r.dynamicModes(), below);
  for (int i = 0; i < below; ++i)
    EXPECT_NEAR(std::sqrt(r.eigenvalues(i)) / fixed[static_cast<std::size_t>(i)], 1.0, 1e-9);

  std::vector<double> full = DenseOmegas(k, m);
  std::vector<double> reduced = DenseOmegas(r.stiffness, r.mass);
  // Six rigid-body modes, then the flexible ones.
  for (std::size_t i = 0; i < 6; ++i) EXPECT_LT(reduced[i], 1e-4 * full[6]);
  int compared = 0;
  for (std::size_t i = 6; i < reduced.size(); ++i) {
    const double omega = reduced[i], exact = full[i];
    if (exact > cutoff / 5) break;
    EXPECT_GE(omega / exact, 1.0 - 1e-12) << "mode " << i;
    EXPECT_NEAR(omega / exact, 1.0, 1e-3) << "mode " << i;
    ++compared;
  }
  EXPECT_GE(compared, 8);
}

TEST(Reduction, ModesAreMassNormalisedAndConstraintModesHoldTheBoundary) {
  FullModel beam = Beam(20);
  uma::reduce::ReductionOptions options;
  options.boundary = {1, 21};
  options.modes = 6;
  uma::reduce::Reduction r = uma::reduce::Reduce(beam, options);
  const int nb = r.staticModes(), nq = r.dynamicModes();
  const Eigen::MatrixXd phi = r.modes.rightCols(nq);
  EXPECT_LT((phi.transpose() * (beam.mass * phi) - Eigen::MatrixXd::Identity(nq, nq)).norm(), 1e-9);
  // The reduced stiffness is block-diagonal: diag(omega^2) over the dynamic modes.
  const double scale = r.stiffness.norm();
  EXPECT_LT(
      (r.stiffness.bottomRightCorner(nq, nq) - Eigen::MatrixXd(r.eigenvalues.asDiagonal())).norm(),
      1e-9 * r.eigenvalues.maxCoeff());
  EXPECT_LT(r.stiffness.topRightCorner(nb, nq).norm(), 1e-9 * scale);
  // A constraint mode is 1 at its own boundary dof and 0 at the others; a dynamic mode is 0 there.
  for (int b = 0; b < nb; ++b)
    for (int c = 0; c < nb + nq; ++c)
      EXPECT_EQ(r.modes(r.boundary[static_cast<std::size_t>(b)], c), b == c ? 1.0 : 0.0);
  // Lumped node masses add up to the beam's mass.
  std::vector<double> lumped = uma::reduce::LumpedNodeMass(beam);
  double total = 0;
  for (double v : lumped) total += v;
  EXPECT_NEAR(total, kSection.density * kSection.area * 1.0, 1e-9);
}

class ReducedModelFile : public UmaTest {
 protected:
  uma::sample::TempDir m_dir;
};

// A cantilever held at its root; the tip load's static response, read back through the library,
// is the beam formula P L^3 / (3 E I).
TEST_F(ReducedModelFile, RecoversAStaticTipLoadAndReadsAsTheLibraryExpects) {
  FullModel beam = Beam(10);
  const int n = beam.size(), tipZ = n - 6 + 2;
  beam.loads = Eigen::MatrixXd::Zero(n, 1);
  beam.loads(tipZ, 0) = 1.0;
  uma::reduce::ReductionOptions options;
  options.boundary = {1};
  options.modes = 4;
  uma::reduce::Reduction r = uma::reduce::Reduce(beam, options);
  uma::reduce::OutputOptions output;
  output.internal = {2, 3, 4, 5};
  const std::string path = m_dir.File("cantilever.uma");
  pfm::SaveModel(uma::reduce::BuildReducedModel(path, beam, r, output), path);

  const double expected = 1.0 / (3 * kSection.youngs * kSection.iy);
  {
    uma_System system(path.c_str(), false);
    ASSERT_FALSE(system.IsNull());
    EXPECT_EQ(system.NumLoads(), 1);
    EXPECT_EQ(system.NumStaticModes(), 6);
    std::unique_ptr<const uma_Matrix> recovery(system.Matrix(pfm::types::RecoveryMatrix(), 0));
    ASSERT_TRUE(recovery);
    EXPECT_EQ(recovery->NumRows(), n + 6);
    EXPECT_EQ(recovery->NumColumns(), 1 + 6 + 4);
    uma_IncoreMatrix value(1, 1, nullptr);
    recovery->GetValues(tipZ, tipZ, 0, 0, value);
    EXPECT_NEAR(value.value(0, 0) / expected, 1.0, 1e-9);
    // Trimmed of the load and the static-mode rows, filtered of internal nodes 2..5.
    std::unique_ptr<const uma_Matrix> trimmed(system.Matrix(pfm::types::RecoveryMatrix(), 7));
    ASSERT_TRUE(trimmed);
    EXPECT_EQ(trimmed->NumRows(), n - 4 * 6);
    EXPECT_EQ(trimmed->NumColumns(), 6 + 4);
    std::unique_ptr<const uma_Matrix> modes(system.Matrix(pfm::types::ModeMatrix(), 0));
    ASSERT_TRUE(modes);
    EXPECT_EQ(modes->NumColumns() - system.NumStaticModes(), 4);
    // The recovery matrix's mode columns are the mode matrix in their dof rows.
    uma_IncoreMatrix fromModes(n, 1, nullptr), fromRecovery(n, 1, nullptr);
    modes->GetValues(0, n - 1, 7, 7, fromModes);
    recovery->GetValues(0, n - 1, 8, 8, fromRecovery);
    EXPECT_EQ(std::vector<double>(fromModes.Values(), fromModes.Values() + n),
              std::vector<double>(fromRecovery.Values(), fromRecovery.Values() + n));
  }
  // ... which the file stores once: all of the recovery matrix's mode columns share them.
  pfm::sql::Db file(path, SQLITE_OPEN_READONLY);
  EXPECT_EQ(file.QueryInt("SELECT count(*) FROM shared_rows WHERE first_column = 1 AND columns = "
                          "10 AND source_column = 0"),
            1);

  // The same tip deflection from the constraint modes: both ends on the boundary, the root held,
  // the tip loaded on the condensed stiffness.
  options.boundary = {1, 11};
  uma::reduce::Reduction both = uma::reduce::Reduce(beam, options);
  Eigen::MatrixXd tipBlock = both.stiffness.block(6, 6, 6, 6);
  Eigen::VectorXd force = Eigen::VectorXd::Zero(6);
  force(2) = 1.0;
  Eigen::VectorXd tip = tipBlock.ldlt().solve(force);
  EXPECT_NEAR(tip(2) / expected, 1.0, 1e-9);
}

namespace {

// Writes `text` to a file of the directory and answers its path.
std::string Write(const uma::sample::TempDir& dir, const std::string& name, const std::string& text) {
  std::ofstream(dir.File(name)) << text;
  return dir.File(name);
}

bool Exists(const std::string& path) { return std::ifstream(path).good(); }

}  // namespace

TEST(MatrixMarketFiles, ReadBackWhatIsWrittenAndAcceptEveryLayoutOfASymmetricMatrix) {
  uma::sample::TempDir dir;
  FullModel beam = Beam(3);
  uma::reduce::WriteSymmetric(dir.File("k.mtx"), beam.stiffness);
  uma::reduce::SparseMatrix k = uma::reduce::ToSymmetric(uma::reduce::ReadMatrixMarket(dir.File("k.mtx")), "k");
  EXPECT_EQ((Eigen::MatrixXd(k) - Eigen::MatrixXd(beam.stiffness)).norm(), 0.0);

  // [[4, 1, 0], [1, 5, 2], [0, 2, 6]] as a general file, as a symmetric one given partly in the
  // upper triangle, and as a symmetric array (each column's lower part).
  Eigen::Matrix3d expected;
  expected << 4, 1, 0, 1, 5, 2, 0, 2, 6;
  const char* files[] = {
      "%%MatrixMarket matrix coordinate real general\n3 3 7\n1 1 4\n2 1 1\n1 2 1\n2 2 5\n"
      "3 2 2\n2 3 2\n3 3 6\n",
      "%%MatrixMarket matrix coordinate integer symmetric\r\n%\n3 3 5\r\n1 1 4\n1 2 1\n"
      "2 2 5\n2 3 2\n\n3 3 6\n",
      "%%MatrixMarket matrix array real symmetric\n3 3\n4\n1\n0\n5\n2\n6\n",
  };
  for (const char* text : files) {
    Write(dir, "a.mtx", text);
    uma::reduce::MatrixFile file = uma::reduce::ReadMatrixMarket(dir.File("a.mtx"));
    EXPECT_EQ((Eigen::MatrixXd(uma::reduce::ToSymmetric(file, "a")) - expected).norm(), 0.0) << text;
  }

  // Tables: a header, comments, blank lines and spaces around fields.
  Write(dir, "nodes.csv", "label, x, y, z\n# a comment\n\n 7 , 1.5, -2, 3e-1\r\n");
  std::vector<uma::reduce::NodeRow> nodes = uma::reduce::ReadNodes(dir.File("nodes.csv"));
  ASSERT_EQ(nodes.size(), 1u);
  EXPECT_EQ(nodes[0].label, 7);
  EXPECT_EQ(nodes[0].line, 4);
  EXPECT_EQ(nodes[0].z, 0.3);
  Write(dir, "twice.csv", "1,0,0,0\n1,1,0,0\n");
  EXPECT_THROW(uma::reduce::ReadNodes(dir.File("twice.csv")), uma::reduce::InputError);
}

// A random symmetric matrix given in a file larger than the reader's block, in no order, each
// cell in either triangle, with comments, CRLF and values strtod reads but from_chars does not:
// both triangles come back, rows sorted in each column.
TEST(MatrixMarketFiles, ReadLargeFilesInAnyOrderIntoSortedColumns) {
  uma::sample::TempDir dir;
  constexpr int n = 3000;
  std::mt19937 random(7);
  std::map<std::pair<int, int>, double> lower;
  for (int i = 0; i < n; ++i) lower[{i, i}] = 10.0 + i;
  while (lower.size() < 70000) {
    int r = static_cast<int>(random() % n), c = static_cast<int>(random() % n);
    lower[{std::max(r, c), std::min(r, c)}] = static_cast<double>(random() % 1000) / 7.0 - 50.0;
  }
  std::vector<std::pair<std::pair<int, int>, double>> entries(lower.begin(), lower.end());
  std::shuffle(entries.begin(), entries.end(), random);
  std::ostringstream text;
  text << "%%MatrixMarket matrix coordinate real symmetric\n% " << std::string(3 << 20, 'x') << "\n"
       << n << ' ' << n << ' ' << entries.size() << "\r\n";
  for (std::size_t k = 0; k < entries.size(); ++k) {
    auto [cell, value] = entries[k];
    if (k % 2) std::swap(cell.first, cell.second);  // the upper triangle
    text << cell.first + 1 << "\t " << cell.second + 1 << ' ' << std::setprecision(17) << value
         << (k % 3 ? "\n" : "\r\n");
  }
  text << "  \n";
  Write(dir, "big.mtx", text.str());
  uma::reduce::SparseMatrix k = uma::reduce::ToSymmetric(uma::reduce::ReadMatrixMarket(dir.File("big.mtx")), "k");
  std::vector<Eigen::Triplet<double, int>> expected;
  for (const auto& [cell, value] : lower) {
    expected.emplace_back(cell.first, cell.second, value);
    if (cell.first != cell.second) expected.emplace_back(cell.second, cell.first, value);
  }
  uma::reduce::SparseMatrix reference(n, n);
  reference.setFromTriplets(expected.begin(), expected.end());
  ASSERT_EQ(k.nonZeros(), reference.nonZeros());
  EXPECT_EQ((k - reference).norm(), 0.0);
  for (int c = 0; c < n; ++c)
    EXPECT_TRUE(std::is_sorted(k.innerIndexPtr() + k.outerIndexPtr()[c],
                               k.innerIndexPtr() + k.outerIndexPtr()[c + 1]));

  Write(dir, "forms.mtx",
        "%%MatrixMarket matrix coordinate real general\n2 2 3\n+1 1 0x1p3\n2 2 +2.5\n1 2 -0\n");
  EXPECT_EQ(
      Eigen::MatrixXd(uma::reduce::ToSymmetric(uma::reduce::ReadMatrixMarket(dir.File("forms.mtx")), "k")),
      (Eigen::Matrix2d() << 8, 0, 0, 2.5).finished());
}

// Faults found once the whole file is read (a cell given twice, a general matrix that is not
// symmetric) still name their lines, past the reader's first block.
TEST(MatrixMarketFiles, RefusalsAfterReadingNameTheLines) {
  uma::sample::TempDir dir;
  std::string filler;
  for (int i = 0; i < 100000; ++i) filler += "% a comment line to push the entries far down\n";
  const long fillerLines = 100000;
  const std::string twice = Write(dir, "twice.mtx",
                                  "%%MatrixMarket matrix coordinate real symmetric\n" + filler +
                                      "3 3 4\n3 3 1\n1 2 5\n3 1 2\n2 1 5\n");
  try {
    uma::reduce::ReadMatrixMarket(twice);
    ADD_FAILURE() << "a cell given twice was read";
  } catch (const uma::reduce::InputError& e) {
    EXPECT_EQ(std::string(e.what()), twice + ":" + std::to_string(fillerLines + 6) +
                                         ": entry (2, 1) is given again (first on line " +
                                         std::to_string(fillerLines + 4) + ")");
  }
  // (3, 1) differs from (1, 3) and (2, 1) from (1, 2): the first in row order is named.
  const std::string asymmetric = Write(dir, "asymmetric.mtx",
                                       "%%MatrixMarket matrix coordinate real general\n" + filler +
                                           "3 3 5\n3 1 4\n1 3 3\n2 1 7\n1 2 1\n2 2 1\n");
  try {
    uma::reduce::ToSymmetric(uma::reduce::ReadMatrixMarket(asymmetric), "stiffness");
    ADD_FAILURE() << "an asymmetric matrix was read";
  } catch (const uma::reduce::InputError& e) {
    EXPECT_EQ(std::string(e.what()), asymmetric + ":" + std::to_string(fillerLines + 6) +
                                         ": the stiffness matrix is not symmetric: (1, 2) is 1 "
                                         "but (2, 1) is 7");
  }
  // Values out of a double's range are refused as before.
  Write(dir, "tiny.mtx", "%%MatrixMarket matrix coordinate real symmetric\n1 1 1\n1 1 1e-400\n");
  EXPECT_THROW(uma::reduce::ReadMatrixMarket(dir.File("tiny.mtx")), uma::reduce::InputError);
}

class ReduceCommand : public UmaTest {
 protected:
  // A two-element beam (nodes 1..3, 18 dofs) written as the tool's input files.
  void SetUp() override {
    UmaTest::SetUp();
    FullModel beam = uma::reduce::StraightBeam(1.0, 2, kSection, 1).Assemble();
    uma::reduce::WriteFullModel(beam, {m_dir.File("K.mtx"), m_dir.File("M.mtx"), m_dir.File("dofs.csv"),
                                  m_dir.File("nodes.csv"), ""});
  }

  std::vector<std::string> Args(const std::string& k = "K.mtx",
                                const std::string& dofs = "dofs.csv",
                                const std::string& boundary = "1") {
    return {"--stiffness", m_dir.File(k),
            "--mass",      m_dir.File("M.mtx"),
            "--dofs",      m_dir.File(dofs),
            "--nodes",     m_dir.File("nodes.csv"),
            "--boundary",  boundary,
            "--modes",     "2",
            "-o",          m_dir.File("out.uma")};
  }

  uma::sample::TempDir m_dir;
};

TEST_F(ReduceCommand, WritesTheModelAndASummary) {
  std::vector<std::string> args = Args();
  args.insert(args.end(), {"--units", "m,kg,s,N", "--internal", "2"});
  CommandRun run = RunReduce(args);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("boundary        6 dofs (static modes), nodes: 1\n"), std::string::npos)
      << run.out;
  // Two modes of a 12-dof interior: more than a Lanczos basis handles, so a dense solve.
  EXPECT_NE(run.out.find("dynamic modes   2 by a dense solve, fixed-interface frequencies (Hz):"),
            std::string::npos)
      << run.out;
  pfm::ModelContents contents;
  ASSERT_TRUE(pfm::ReadContents(m_dir.File("out.uma"), contents)) << pfm::LastOpenFailure();
  EXPECT_EQ(contents.numStaticModes, 6);
  EXPECT_EQ(contents.matrices.size(), 7u);
  EXPECT_EQ(contents.attributes[pfm::attributes::kUnitLength], "m");
  EXPECT_EQ(contents.attributes[pfm::attributes::kUnitForce], "N");
  EXPECT_EQ(contents.attributes[pfm::attributes::kProgram], "uma-reduce");
  EXPECT_EQ(contents.attributes[pfm::attributes::kSource], m_dir.File("K.mtx"));
  EXPECT_EQ(RunReduce({"--help"}).status, 0);
}

TEST_F(ReduceCommand, RefusesBadInputWithItsReasonAndWritesNothing) {
  Write(m_dir, "notsquare.mtx", "%%MatrixMarket matrix coordinate real general\n3 2 1\n1 1 1\n");
  Write(m_dir, "asymmetric.mtx",
        "%%MatrixMarket matrix coordinate real general\n% a comment\n2 2 3\n1 1 4\n1 2 1\n2 1 2\n");
  Write(m_dir, "banner.mtx", "%%MatrixMarket matrix coordinate complex general\n1 1 1\n1 1 1 0\n");
  Write(m_dir, "outside.mtx", "%%MatrixMarket matrix coordinate real symmetric\n2 2 1\n3 1 1\n");
  Write(m_dir, "twice.mtx",
        "%%MatrixMarket matrix coordinate real symmetric\n2 2 2\n2 1 1\n1 2 1\n");
  Write(m_dir, "short.mtx", "%%MatrixMarket matrix coordinate real symmetric\n2 2 3\n1 1 1\n");
  Write(m_dir, "small.mtx", "%%MatrixMarket matrix coordinate real symmetric\n2 2 1\n1 1 1\n");
  Write(m_dir, "nan.mtx", "%%MatrixMarket matrix coordinate real symmetric\n2 2 1\n1 1 nan\n");
  Write(m_dir, "zero.mtx", "%%MatrixMarket matrix coordinate real symmetric\n18 18 0\n");
  Write(m_dir, "fewdofs.csv", "node,ldof\n1,1\n");
  {
    std::ifstream good(m_dir.File("dofs.csv"));
    std::string text((std::istreambuf_iterator<char>(good)), std::istreambuf_iterator<char>());
    Write(m_dir, "badnode.csv", "9,1\n" + text.substr(text.find('\n', text.find('\n') + 1) + 1));
  }
  Write(m_dir, "badldof.csv", "node,ldof\n1,7\n");
  Write(m_dir, "badload.mtx", "%%MatrixMarket matrix array real general\n2 1\n1\n0\n");
  // Node 3's rotation about x has no stiffness: held by nothing once node 1 is held.
  std::string loose;
  {
    FullModel beam = uma::reduce::StraightBeam(1.0, 2, kSection, 1).Assemble();
    beam.stiffness.coeffRef(15, 15) = 0.0;
    beam.stiffness.coeffRef(9, 15) = beam.stiffness.coeffRef(15, 9) = 0.0;
    beam.stiffness.prune(0.0);
    uma::reduce::WriteSymmetric(m_dir.File("loose.mtx"), beam.stiffness);
  }

  // A second beam that nothing holds: singular once node 1 is held.
  {
    uma::reduce::Frame frame;
    for (int node = 1; node <= 4; ++node) frame.AddNode(node, node, 0, 0);
    frame.AddBeam(1, 2, kSection);
    frame.AddBeam(3, 4, kSection);
    FullModel floating = frame.Assemble();
    uma::reduce::WriteFullModel(floating,
                           {m_dir.File("floating.mtx"), m_dir.File("floating-m.mtx"),
                            m_dir.File("floating.csv"), m_dir.File("floating-n.csv"), ""});
  }

  struct Case {
    std::vector<std::string> args;
    std::string reason;
  };
  auto with = [&](std::vector<std::string> args, std::vector<std::string> more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
  };
  const std::string k = m_dir.File("K.mtx"), dofs = m_dir.File("dofs.csv");
  const Case cases[] = {
      {Args("notsquare.mtx"),
       m_dir.File("notsquare.mtx") + ": the stiffness matrix must be square, not 3 x 2"},
      {Args("asymmetric.mtx"),
       m_dir.File("asymmetric.mtx") +
           ":5: the stiffness matrix is not symmetric: (1, 2) is 1 but (2, 1) is 2"},
      {Args("banner.mtx"), m_dir.File("banner.mtx") + ":1: field \"complex\" is not read"},
      {Args("outside.mtx"), m_dir.File("outside.mtx") + ":3: row 3 is outside 1..2"},
      {Args("twice.mtx"),
       m_dir.File("twice.mtx") + ":4: entry (1, 2) is given again (first on line 3)"},
      {Args("short.mtx"), m_dir.File("short.mtx") + ":3: the file ends after 1 of 3 entries"},
      {Args("nan.mtx"), m_dir.File("nan.mtx") + ":3: value nan is not finite"},
      {Args("small.mtx"),
       m_dir.File("M.mtx") + ": the mass matrix is 18 x 18 but the stiffness matrix is 2 x 2"},
      {Args("K.mtx", "fewdofs.csv"),
       m_dir.File("fewdofs.csv") + ": 1 degrees of freedom for matrices of 18 rows"},
      {Args("K.mtx", "badnode.csv"),
       m_dir.File("badnode.csv") + ":1: node 9 is not in " + m_dir.File("nodes.csv")},
      {Args("K.mtx", "badldof.csv"),
       m_dir.File("badldof.csv") + ":2: local degree of freedom \"7\" is not one of 1..6"},
      {Args("K.mtx", "dofs.csv", "77"), "--boundary: node 77 is not in " + m_dir.File("nodes.csv")},
      {Args("loose.mtx"), m_dir.File("loose.mtx") +
                              ": the interior stiffness is singular once the boundary is held "
                              "(a mechanism), at node 3 dof 4 (" +
                              dofs + " line 17)"},
      {{"--stiffness", m_dir.File("floating.mtx"), "--mass", m_dir.File("floating-m.mtx"), "--dofs",
        m_dir.File("floating.csv"), "--nodes", m_dir.File("floating-n.csv"), "--boundary", "1",
        "-o", m_dir.File("out.uma")},
       m_dir.File("floating.mtx") + ": the interior stiffness is "},
      {with(Args(), {"--modes", "12"}),
       "--modes 12: the interior has 12 degrees of freedom, so at most 11 modes"},
      {with(Args(), {"--loads", m_dir.File("badload.mtx")}),
       m_dir.File("badload.mtx") + ": load vectors of 2 rows for matrices of 18 rows"},
      {with(Args(), {"--internal", "1"}), "--internal: node 1 is a boundary node"},
      {{"--stiffness", k, "--mass", m_dir.File("zero.mtx"), "--dofs", dofs, "--nodes",
        m_dir.File("nodes.csv"), "--boundary", "1", "-o", m_dir.File("out.uma")},
       "the interior mass matrix gives a mode no positive mass"},
  };
  for (const Case& c : cases) {
    CommandRun run = RunReduce(c.args);
    EXPECT_EQ(run.status, 1) << c.reason;
    EXPECT_EQ(run.err.rfind("uma-reduce: " + c.reason, 0), 0u) << run.err;
    EXPECT_FALSE(Exists(m_dir.File("out.uma"))) << c.reason;
    std::remove(m_dir.File("out.uma").c_str());
  }

  // Usage errors: status 2.
  EXPECT_EQ(RunReduce({"--stiffness", k}).status, 2);
  EXPECT_EQ(RunReduce(with(Args(), {"--cutoff", "100"})).status, 2);
  EXPECT_EQ(RunReduce(with(Args(), {"--units", "m,kg"})).status, 2);
}
