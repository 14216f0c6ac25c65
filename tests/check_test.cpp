// What uma-check finds: every layout rule and every physical check catches the fault it is for
// on a small reduced model built to have it, and the sound models give no finding at all.
#include <sqlite3.h>

#include <Eigen/Dense>
#include <array>
#include <cmath>
#include <cstring>

#include "QOBSspSubCore.h"
#include "pfm_ModelTypes.h"
#include "pfm_TestAccess.h"
#include "check_Math.h"
#include "check_Report.h"
#include "uma_FlexibleBodySample.h"
#include "uma_TempDir.h"
#include "uma_TestSupport.h"

namespace {

namespace types = pfm::types;

constexpr int kASet = 12, kDynamic = 2, kReduced = kASet + kDynamic;
constexpr double kMass1 = 2, kMass2 = 3, kRotary = 0.5, kSpring = 1000;
constexpr double kPi = 3.14159265358979323846;
constexpr std::array<double, kDynamic> kHertz = {5, 12};
const std::array<std::array<double, 3>, 3> kXyz = {{{1, 2, 3}, {4, -1, 0.5}, {2.5, 0.5, 1.75}}};

struct Faults {
  bool loadsLast = false;  // load columns after the modes in the recovery matrix
  bool staticRowsFirst = false;
  double asymmetry = 0;  // added to one off-diagonal entry of the stiffness
  double modalMass = 1;  // the dynamic modes' reduced mass
};

// The reduced stiffness of two A-set nodes that leaves exactly their six rigid motions free:
// kSpring (I - R (R^T R)^-1 R^T), R the rigid motions of nodes 10 and 20.
Eigen::MatrixXd StaticStiffness() {
  std::vector<uma::check::RigidPlace> places;
  for (int n = 0; n < 2; ++n)
    for (int l = 1; l <= 6; ++l) places.push_back({kXyz[n][0], kXyz[n][1], kXyz[n][2], l});
  const std::vector<double> motions = uma::check::RigidMotions(places, kASet);
  const Eigen::Map<const Eigen::MatrixXd> r(motions.data(), kASet, 6);
  return kSpring * (Eigen::MatrixXd::Identity(kASet, kASet) -
                    r * (r.transpose() * r).inverse() * r.transpose());
}

// A body of two A-set nodes (labels 10 and 20, six dofs each) and an internal node 30, reduced
// to 12 static and 2 dynamic modes, as a fixed-interface reduction lays it out: the static
// modes are the identity on the A-set and the dynamic ones vanish there. The reduced mass holds
// point masses and rotary inertias at the A-set nodes.
pfm::ModelBuilder Reduced(const std::string& name, const Faults& f = {}) {
  pfm::ModelBuilder b(name);
  b.SystemType(1).Loads(2).StaticModes(kASet);
  const int labels[] = {10, 20, 30};
  std::vector<int> nodes, dofs, aSet, statics, dynamics, loads;
  for (int n = 1; n <= 3; ++n) {
    nodes.push_back(b.AddNode(labels[n - 1], n == 3));
    for (int l = 1; l <= 6; ++l) dofs.push_back(b.AddDof(n, l));
  }
  aSet.assign(dofs.begin(), dofs.begin() + kASet);
  for (int l = 1; l <= 2; ++l) loads.push_back(b.AddMode(0, l));
  for (int d : aSet) statics.push_back(b.AddMode(labels[(d - 1) / 6], (d - 1) % 6 + 1));
  for (int k = 1; k <= kDynamic; ++k)
    dynamics.push_back(b.AddMode(sub_System::MapDynamicMode(k), 0));

  std::vector<int> modes = statics;
  modes.insert(modes.end(), dynamics.begin(), dynamics.end());
  std::vector<int> columns = f.loadsLast ? modes : loads;
  const std::vector<int>& after = f.loadsLast ? loads : modes;
  columns.insert(columns.end(), after.begin(), after.end());
  std::vector<int> rows = f.staticRowsFirst ? aSet : dofs;
  const std::vector<int>& rest = f.staticRowsFirst ? dofs : aSet;
  rows.insert(rows.end(), rest.begin(), rest.end());

  int nodeSet = b.AddSet(pfm::MemberKind::Node, nodes),
      dofSet = b.AddSet(pfm::MemberKind::Dof, dofs);
  int aSetSet = b.AddSet(pfm::MemberKind::Dof, aSet);
  int modeSet = b.AddSet(pfm::MemberKind::Mode, modes);
  b.SetForType(types::ASet(), aSetSet)
      .SetForType(types::ASetNodes(), b.AddSet(pfm::MemberKind::Node, {1, 2}));

  std::vector<double> xyz;
  for (int c = 0; c < 3; ++c)
    for (int n = 0; n < 3; ++n) xyz.push_back(kXyz[n][c]);
  b.NodeCoordinates(b.AddDistribution(3, 3, nodeSet, -1, xyz));
  // What recovering dof `dof` (a row of the dof block, or a static-mode row when `staticRow`)
  // reads of column `column` (a load, a static or a dynamic mode, by the mode's number).
  auto value = [&](int dof, bool staticRow, int column) {
    const bool isLoad = column <= 2, isStatic = !isLoad && column <= 2 + kASet;
    if (staticRow || dof <= kASet)  // the A-set: held for loads, itself for static modes
      return isStatic && column - 2 == dof ? 1.0 : 0.0;
    if (isLoad) return 0.1 * dof - column / 3.0;
    return isStatic ? 0.05 * dof + 0.01 * column : 0.2 * dof - column;
  };
  std::vector<double> modeValues, recoveryValues;
  for (int c : modes)
    for (int d : dofs) modeValues.push_back(value(d, false, c));
  for (int c : columns)
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const bool staticRow = f.staticRowsFirst ? i < aSet.size() : i >= dofs.size();
      recoveryValues.push_back(value(rows[i], staticRow, c));
    }
  b.DistributionForType(types::ModeMatrix(),
                        b.AddDistribution(18, kReduced, dofSet, modeSet, modeValues));
  b.DistributionForType(
      types::RecoveryMatrix(),
      b.AddDistribution(30, 16, b.AddSet(pfm::MemberKind::Dof, rows),
                        b.AddSet(pfm::MemberKind::Mode, columns), recoveryValues));

  std::vector<double> k(kReduced * kReduced), m(kReduced * kReduced);
  auto at = [](std::vector<double>& v, int r, int c) -> double& { return v[r + c * kReduced]; };
  const Eigen::MatrixXd kStatic = StaticStiffness();
  for (int i = 0; i < kASet; ++i)
    for (int j = 0; j < kASet; ++j) at(k, i, j) = kStatic(i, j);
  for (int i = 0; i < 6; ++i) {
    at(m, i, i) = i < 3 ? kMass1 : kRotary;
    at(m, i + 6, i + 6) = i < 3 ? kMass2 : kRotary;
  }
  for (int q = 0; q < kDynamic; ++q) {
    at(k, kASet + q, kASet + q) = std::pow(2 * kPi * kHertz[q], 2);
    at(m, kASet + q, kASet + q) = f.modalMass;
  }
  at(k, kASet, kASet + 1) += f.asymmetry;  // between the dynamic modes
  b.DistributionForType(types::ReducedStiffness(),
                        b.AddDistribution(kReduced, kReduced, modeSet, modeSet, k));
  b.DistributionForType(types::ReducedMass(),
                        b.AddDistribution(kReduced, kReduced, modeSet, modeSet, m));
  b.Attribute(pfm::attributes::kUnitTime, "s");
  return b;
}

// The natural frequencies of the sound model's static block, in Hz, ascending.
std::vector<double> StaticFrequencies() {
  Eigen::MatrixXd m = Eigen::MatrixXd::Zero(kASet, kASet);
  for (int i = 0; i < 6; ++i) {
    m(i, i) = i < 3 ? kMass1 : kRotary;
    m(i + 6, i + 6) = i < 3 ? kMass2 : kRotary;
  }
  Eigen::GeneralizedSelfAdjointEigenSolver<Eigen::MatrixXd> solver(StaticStiffness(), m);
  std::vector<double> hz;
  for (Eigen::Index i = 0; i < kASet; ++i)
    hz.push_back(std::sqrt(std::max(0.0, solver.eigenvalues()(i))) / (2 * kPi));
  return hz;
}

std::vector<std::string> Checks(const uma::check::Report& r) {
  std::vector<std::string> out;
  for (const uma::check::Finding& f : r.findings) out.push_back(f.check);
  return out;
}

class Check : public UmaTest {
 protected:
  uma::sample::TempDir m_dir;
};

TEST_F(Check, SoundModelsGiveNoFinding) {
  // The sample's values are placeholders, not a reduction: only the value checks see that.
  std::string beam = m_dir.File("beam.uma");
  pfm::SaveModelFile(*pfm::BuildModel(uma::sample::FlexibleBeam("beam")), beam);
  uma::check::Report r = uma::check::Check(beam);
  ASSERT_TRUE(r.opened) << r.failure;
  EXPECT_EQ(Checks(r),
            (std::vector<std::string>{"static-modes-identity", "static-mode-rows-values"}))
      << uma::check::AsText(r);
  EXPECT_EQ(r.Errors(), 0);
  EXPECT_EQ(r.dynamicModes, 4);
  EXPECT_EQ(r.matrices.size(), 5u);

  Reduced("reduced").Register();
  r = uma::check::Check("reduced");
  EXPECT_TRUE(r.findings.empty()) << uma::check::AsText(r);
  EXPECT_EQ(r.physics.rigidBodyModes, 6);
  EXPECT_EQ(r.physics.infiniteFrequencies, 0);
  EXPECT_EQ(r.physics.modeNormalisation, 0.0);
  EXPECT_LT(*r.physics.rigidMotionResidual, 1e-12);
  EXPECT_LT(*r.physics.staticDynamicCoupling, 1e-15);
  ASSERT_TRUE(r.physics.frequencies);
  ASSERT_EQ(r.physics.frequencies->size(), std::size_t{kReduced});
  std::vector<double> expected = StaticFrequencies();
  expected.insert(expected.end(), kHertz.begin(), kHertz.end());
  std::sort(expected.begin(), expected.end());
  for (std::size_t i = 0; i < expected.size(); ++i)
    if (i < 6)
      EXPECT_EQ((*r.physics.frequencies)[i], 0.0) << i;
    else
      EXPECT_NEAR((*r.physics.frequencies)[i], expected[i], 1e-9 * expected[i]) << i;
}

TEST_F(Check, TheRigidBodyMassComesFromTheReducedMassAndTheASetCoordinates) {
  Reduced("reduced").Register();
  uma::check::Report r = uma::check::Check("reduced");
  ASSERT_TRUE(r.physics.rigidBody) << uma::check::AsText(r);
  const uma::check::MassProperties& p = *r.physics.rigidBody;
  const double mass = kMass1 + kMass2;
  EXPECT_NEAR(p.mass, mass, 1e-10 * mass);
  std::array<double, 3> centre;
  for (int i = 0; i < 3; ++i) {
    centre[i] = (kMass1 * kXyz[0][i] + kMass2 * kXyz[1][i]) / mass;
    EXPECT_NEAR(p.centre[i], centre[i], 1e-10 * 4) << i;
  }
  // Point masses about the centre, plus each node's rotary inertia on every axis.
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      double expected = i == j ? 2 * kRotary : 0;
      for (int n = 0; n < 2; ++n) {
        double d[3], d2 = 0;
        for (int c = 0; c < 3; ++c) {
          d[c] = kXyz[n][c] - centre[c];
          d2 += d[c] * d[c];
        }
        expected += (n ? kMass2 : kMass1) * ((i == j ? d2 : 0) - d[i] * d[j]);
      }
      EXPECT_NEAR(p.inertia[i][j], expected, 1e-10 * 50) << i << ", " << j;
    }
}

TEST_F(Check, LayoutsThatBreakTheRetrievalRulesAreErrorsNamingTheRule) {
  Faults loadsLast;
  loadsLast.loadsLast = true;
  Reduced("loads-last", loadsLast).Register();
  uma::check::Report r = uma::check::Check("loads-last");
  ASSERT_EQ(r.Errors(), 1) << uma::check::AsText(r);
  EXPECT_EQ(r.findings[0].check, "load-columns-first");
  EXPECT_NE(r.findings[0].message.find("first 2 columns must be its loads"), std::string::npos)
      << r.findings[0].message;

  Faults staticFirst;
  staticFirst.staticRowsFirst = true;
  Reduced("static-first", staticFirst).Register();
  r = uma::check::Check("static-first");
  EXPECT_EQ(Checks(r), std::vector<std::string>{"static-mode-rows-last"}) << uma::check::AsText(r);

  // One static mode per A-set dof, and reduced matrices over the mode matrix's columns.
  pfm::ModelBuilder b = Reduced("counts");
  b.StaticModes(11);
  b.Register();
  r = uma::check::Check("counts");
  EXPECT_NE(Checks(r).size(), 0u);
  EXPECT_EQ(Checks(r)[0], "a-set") << uma::check::AsText(r);
}

TEST_F(Check, PhysicalFaultsAreWarningsThatDoNotFail) {
  Faults asymmetric;
  asymmetric.asymmetry = 1e-4;
  Reduced("asymmetric", asymmetric).Register();
  uma::check::Report r = uma::check::Check("asymmetric");
  EXPECT_EQ(r.Errors(), 0);
  EXPECT_EQ(Checks(r), std::vector<std::string>{"stiffness-symmetry"}) << uma::check::AsText(r);
  EXPECT_NEAR(*r.physics.stiffnessAsymmetry, 1e-4 / std::pow(2 * kPi * kHertz[1], 2), 1e-15);

  Faults unnormalised;
  unnormalised.modalMass = 2;
  Reduced("unnormalised", unnormalised).Register();
  r = uma::check::Check("unnormalised");
  EXPECT_EQ(Checks(r), std::vector<std::string>{"mode-normalisation"}) << uma::check::AsText(r);
  EXPECT_EQ(r.physics.modeNormalisation, 1.0);

  Faults indefinite;
  indefinite.modalMass = -1;
  Reduced("indefinite", indefinite).Register();
  r = uma::check::Check("indefinite");
  EXPECT_EQ(r.Errors(), 0);
  EXPECT_NE(uma::check::AsJson(r).find("\"check\":\"mass-definite\""), std::string::npos)
      << uma::check::AsJson(r);
  EXPECT_FALSE(r.physics.frequencies) << "no frequencies of a mass that is not semi-definite";
}

TEST_F(Check, ValuesThatCannotBeReadOrAreNotFiniteAreErrors) {
  std::string path = m_dir.File("float32.uma");
  pfm::SaveModelFile(*pfm::BuildModel(Reduced("m")), path, 1);
  {
    // Column 3 of the stiffness written as 32-bit floats (format version 1: a BLOB per column).
    pfm::sql::Db db(path, SQLITE_OPEN_READWRITE);
    std::vector<float> floats(kReduced, 1.0f);
    pfm::sql::Statement s(db,
                          "UPDATE column_values SET data = ?1 WHERE column_index = 3 AND "
                          "distribution = (SELECT distribution FROM distribution_by_type WHERE "
                          "matrix_type = 20061)");
    s.BindBlob(1, floats.data(), floats.size() * sizeof(float)).Run();
  }
  uma::check::Report r = uma::check::Check(path);
  ASSERT_EQ(r.Errors(), 1) << uma::check::AsText(r);
  EXPECT_EQ(r.findings[0].check, "values");
  EXPECT_NE(r.findings[0].message.find("column 3 hold 56 bytes instead of 112"), std::string::npos)
      << r.findings[0].message;
  EXPECT_FALSE(r.physics.stiffnessAsymmetry) << "a stiffness that cannot be read is not measured";
  EXPECT_TRUE(r.physics.massAsymmetry);

  pfm::ModelBuilder b = Reduced("nan");
  pfm::SystemData& data = pfm::ModelOf(b).system;
  data.distributions[data.distributionByType.at(types::ModeMatrix())].values->Write(
      4, 1, 2, 1, std::array<double, 1>{std::nan("")}.data(), 1);
  b.Register();
  r = uma::check::Check("nan");
  EXPECT_EQ(Checks(r), std::vector<std::string>{"values"}) << uma::check::AsText(r);
  EXPECT_NE(r.findings[0].message.find("1 values that are not finite numbers, the first at row 4, "
                                       "column 2"),
            std::string::npos)
      << r.findings[0].message;
}

TEST_F(Check, AModelThatCannotBeOpenedIsOneError) {
  uma::check::Report r = uma::check::Check(m_dir.File("absent.uma"));
  EXPECT_FALSE(r.opened);
  EXPECT_EQ(Checks(r), std::vector<std::string>{"open"});
  EXPECT_NE(uma::check::AsJson(r).find("\"opened\":false,\"reason\":\"no such file: "),
            std::string::npos);
}

}  // namespace
