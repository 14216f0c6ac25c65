// The flexible-body facade: each answer against the labels the model was built with.
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "QOBSspSubCore.h"
#include "pfm_ModelBuilder.h"
#include "uma_ArrayInt.h"
#include "uma_FlexibleBodySample.h"
#include "uma_FlexibleBodyX.h"
#include "uma_Matrix.h"
#include "uma_SampleModels.h"
#include "uma_TestSupport.h"

namespace {

using Labels = std::optional<std::vector<int>>;

int Dynamic(int k) { return sub_System::MapDynamicMode(k); }

class FlexibleBody : public UmaTest {
 protected:
  // A system whose A-set has `members` degrees of freedom (none: no set), with a mode matrix
  // of `modeColumns` columns (0: none) and `statics` static modes.
  static void Build(const std::string& name, int members, int modeColumns, int statics) {
    pfm::ModelBuilder b(name);
    b.StaticModes(statics);
    std::vector<int> dofs, nodes;
    for (int i = 1; i <= std::max(members, 1); ++i) {
      nodes.push_back(b.AddNode(10 * i));
      dofs.push_back(b.AddDof(i, i + 2));
    }
    if (members > 0) {
      dofs.resize(static_cast<std::size_t>(members));
      b.SetForType(uma::sample::ASetCSetType(), b.AddSet(pfm::MemberKind::Dof, dofs));
      b.SetForType(uma::sample::ASetNodeCSetType(), b.AddSet(pfm::MemberKind::Node, {1}));
    }
    if (modeColumns > 0)
      b.DistributionForType(uma::sample::ModeMatrixType(), b.AddDistribution(2, modeColumns, -1, -1));
    b.Register();
  }
};

TEST_F(FlexibleBody, TheSampleBeamAnswersWhatItWasBuiltWith) {
  uma::sample::FlexibleBeam("beam").Register();
  uma::sample::BeamExpectations e = uma::sample::FlexibleBeamExpectations();
  uma_FlexibleBodyX body("beam");
  ASSERT_FALSE(body.IsNull());
  EXPECT_EQ(body.NumLoads(), e.loads);
  EXPECT_EQ(body.NumStaticModes(), e.staticModes);
  EXPECT_EQ(TakeLabels(body.FENodes()), e.feNodes);
  EXPECT_EQ(TakeLabels(body.NodesInASet()), e.nodesInASet);
  EXPECT_EQ(TakeLabels(body.ASetNodes()), e.aSetNodes);
  EXPECT_EQ(TakeLabels(body.ASetDofs()), e.aSetDofs);
  EXPECT_EQ(TakeLabels(body.RecoverySetNodes()), e.recoveryNodes);
  EXPECT_EQ(TakeLabels(body.RecoverySetDofs()), e.recoveryDofs);
  EXPECT_EQ(TakeLabels(body.GFAASetNodes()), e.gfaaNodes);
  EXPECT_EQ(TakeLabels(body.GFAASetDofs()), e.gfaaDofs);
  EXPECT_EQ(body.GetMatrix(uma::sample::RecoveryMatrixType()), nullptr) << "always open for reading";
  // The sample labels xGFAA's rows otherwise than its columns, so that the two cannot be mixed.
  std::unique_ptr<const uma_Matrix> gfaa(body.Matrix("xGFAA"));
  ASSERT_NE(gfaa, nullptr);
  EXPECT_EQ(TakeLabels(gfaa->MapRows(uma_Enum::uma_MapNode)), e.gfaaRowNodes);
  EXPECT_EQ(TakeLabels(gfaa->MapRows(uma_Enum::uma_MapDof)), e.gfaaRowDofs);
  EXPECT_NE(e.gfaaRowNodes, e.gfaaNodes);
  EXPECT_NE(e.gfaaRowDofs, e.gfaaDofs);
}

// A platform call that throws while the mode matrix is held leaves no handle or matrix behind.
TEST_F(FlexibleBody, AThrowingPlatformCallLeavesNothingBehind) {
  Build("m", 3, 10, 6);
  uma_FlexibleBodyX body("m");
  pfm::hooks().onNumberOfColumns = [] { throw QOBBasError("injected failure"); };
  const long long blocks = pfm::Allocation().liveBlocks;
  const int dense = pfm::LiveDenseMatrices();
  for (auto operation : {&uma_FlexibleBodyX::NodesInASet, &uma_FlexibleBodyX::ASetNodes,
                         &uma_FlexibleBodyX::ASetDofs}) {
    EXPECT_THROW((body.*operation)(), QOBBasError);
    EXPECT_EQ(pfm::Allocation().liveBlocks, blocks);
    EXPECT_EQ(pfm::LiveDenseMatrices(), dense);
  }
}

TEST_F(FlexibleBody, DynamicModesFollowTheASet) {
  Build("m", 3, 10, 6);
  uma_FlexibleBodyX body("m");
  std::vector<int> nodes = {10, 20, 30, Dynamic(1), Dynamic(2), Dynamic(3), Dynamic(4)};
  EXPECT_EQ(TakeLabels(body.ASetNodes()), nodes);
  EXPECT_EQ(TakeLabels(body.ASetDofs()), (std::vector<int>{3, 4, 5, 0, 0, 0, 0}));
  EXPECT_EQ(TakeLabels(body.NodesInASet()),
            (std::vector<int>{10, Dynamic(1), Dynamic(2), Dynamic(3), Dynamic(4)}));
}

TEST_F(FlexibleBody, WithoutModesTheSetAloneIsAnswered) {
  Build("m", 3, 0, 0);
  uma_FlexibleBodyX body("m");
  EXPECT_EQ(TakeLabels(body.ASetNodes()), (std::vector<int>{10, 20, 30}));
  EXPECT_EQ(TakeLabels(body.ASetDofs()), (std::vector<int>{3, 4, 5}));
}

TEST_F(FlexibleBody, AnAbsentSetWithoutDynamicModesAnswersNull) {
  Build("m", 0, 4, 4);
  uma_FlexibleBodyX body("m");
  EXPECT_FALSE(TakeLabels(body.ASetNodes()));
  EXPECT_FALSE(TakeLabels(body.ASetDofs()));
  EXPECT_FALSE(TakeLabels(body.NodesInASet()));
  Build("dynamic-only", 0, 5, 3);
  uma_FlexibleBodyX modesOnly("dynamic-only");
  EXPECT_EQ(TakeLabels(modesOnly.ASetDofs()), (std::vector<int>{0, 0}));
}

TEST_F(FlexibleBody, MoreStaticModesThanModeColumnsCountNoDynamicMode) {
  Build("m", 3, 4, 6);
  uma_FlexibleBodyX body("m");
  EXPECT_EQ(TakeLabels(body.ASetNodes()), (std::vector<int>{10, 20, 30}));
  Build("empty", 0, 4, 6);
  uma_FlexibleBodyX empty("empty");
  EXPECT_FALSE(TakeLabels(empty.ASetDofs()));
}

// Every mode column is dynamic when the count of static modes is negative, rather than the
// count overflowing into an array of negative size.
TEST_F(FlexibleBody, ANegativeStaticModeCountCountsNone) {
  Build("m", 1, 2, std::numeric_limits<int>::min());
  uma_FlexibleBodyX body("m");
  EXPECT_EQ(TakeLabels(body.ASetDofs()), (std::vector<int>{3, 0, 0}));
  EXPECT_EQ(TakeLabels(body.ASetNodes()), (std::vector<int>{10, Dynamic(1), Dynamic(2)}));
}

TEST_F(FlexibleBody, AModelThatCannotBeOpenedAnswersNullEverywhere) {
  uma_FlexibleBodyX body("absent");
  EXPECT_TRUE(body.IsNull());
  EXPECT_FALSE(TakeLabels(body.FENodes()));
  EXPECT_FALSE(TakeLabels(body.NodesInASet()));
  EXPECT_FALSE(TakeLabels(body.ASetNodes()));
  EXPECT_FALSE(TakeLabels(body.ASetDofs()));
  EXPECT_FALSE(TakeLabels(body.RecoverySetNodes()));
  EXPECT_FALSE(TakeLabels(body.RecoverySetDofs()));
  EXPECT_FALSE(TakeLabels(body.GFAASetNodes()));
  EXPECT_FALSE(TakeLabels(body.GFAASetDofs()));
  EXPECT_EQ(body.Matrix(uma::sample::NodeCoordinatesType()), nullptr);
  EXPECT_EQ(body.Matrix("LumpedMass"), nullptr);
}

TEST_F(FlexibleBody, MatricesComeWithTheFacadesFixedOptions) {
  uma::sample::FlexibleBeam("beam").Register();
  uma_FlexibleBodyX body("beam");
  pfm::Journal::Enable(true);
  auto filtered = [&](const uma_Matrix* m) {
    std::unique_ptr<const uma_Matrix> owned(m);
    return owned ? owned->NumRows() : -1;
  };
  Journal();
  EXPECT_EQ(filtered(body.Matrix(uma::sample::NodeCoordinatesType())), 4) << "internal nodes filtered";
  EXPECT_EQ(CountLines(Journal(), "FilterRowNodes"), 1);
  EXPECT_EQ(filtered(body.Matrix(uma::sample::RecoveryMatrixType())), 24) << "trimmed and filtered";
  auto recovery = Journal();
  EXPECT_EQ(CountLines(recovery, "Restrict("), 2);
  EXPECT_EQ(CountLines(recovery, "FilterRowDofs"), 1);
  EXPECT_EQ(filtered(body.Matrix(uma::sample::ModeMatrixType())), 36) << "any other type: as stored";
  EXPECT_EQ(CountLines(Journal(), "Restrict("), 0);

  EXPECT_EQ(filtered(body.Matrix("LumpedMass")), 4);
  EXPECT_EQ(filtered(body.Matrix("lumpedmass")), -1) << "compared byte for byte";
  EXPECT_EQ(filtered(body.Matrix("LumpedMass ")), -1);
  EXPECT_EQ(filtered(body.Matrix("xGFAA")), 12);
  EXPECT_EQ(filtered(body.Matrix(static_cast<const char*>(nullptr))), -1)
      << "a null name matches nothing";
}

TEST_F(FlexibleBody, ANameDifferingFromLumpedMassIsRetrievedWithoutOptions) {
  uma::sample::FlexibleBeam("beam").Register();
  pfm::ModelBuilder b("cases");
  b.AddNode(1);
  b.AddNode(2, true);
  int nodes = b.AddSet(pfm::MemberKind::Node, {1, 2});
  b.DistributionName("lumpedmass", b.AddDistribution(2, 1, nodes, -1));
  b.DistributionName("LumpedMass ", b.AddDistribution(2, 1, nodes, -1));
  b.DistributionName("LumpedMass", b.AddDistribution(2, 1, nodes, -1));
  b.Register();
  uma_FlexibleBodyX body("cases");
  for (const char* name : {"lumpedmass", "LumpedMass ", "LumpedMass"}) {
    std::unique_ptr<const uma_Matrix> m(body.Matrix(name));
    ASSERT_TRUE(m) << name;
    EXPECT_EQ(m->NumRows(), std::string(name) == "LumpedMass" ? 1 : 2) << name;
  }
}

// Each operation, from the constructor on, with the n-th allocation failing for n = 1, 2, ...
// until it completes: every failure leaves nothing allocated and no model open, and the answer
// that completes is the one given without failures.
TEST_F(FlexibleBody, AllocationFailuresAnywhereLeakNothingAndLeaveNoModelOpen) {
  uma::sample::FlexibleBeam("beam").Register();
  using Operation = std::function<Labels(uma_FlexibleBodyX&)>;
  auto rows = [](const uma_Matrix* m) -> Labels {
    std::unique_ptr<const uma_Matrix> owned(m);
    if (!owned) return std::nullopt;
    return std::vector<int>{owned->NumRows(), owned->NumColumns()};
  };
  const std::vector<std::pair<const char*, Operation>> operations = {
      {"constructor", [](uma_FlexibleBodyX& b) { return Labels(std::vector<int>{b.IsNull()}); }},
      {"FENodes", [](uma_FlexibleBodyX& b) { return TakeLabels(b.FENodes()); }},
      {"NodesInASet", [](uma_FlexibleBodyX& b) { return TakeLabels(b.NodesInASet()); }},
      {"ASetNodes", [](uma_FlexibleBodyX& b) { return TakeLabels(b.ASetNodes()); }},
      {"ASetDofs", [](uma_FlexibleBodyX& b) { return TakeLabels(b.ASetDofs()); }},
      {"RecoverySetNodes", [](uma_FlexibleBodyX& b) { return TakeLabels(b.RecoverySetNodes()); }},
      {"RecoverySetDofs", [](uma_FlexibleBodyX& b) { return TakeLabels(b.RecoverySetDofs()); }},
      {"GFAASetNodes", [](uma_FlexibleBodyX& b) { return TakeLabels(b.GFAASetNodes()); }},
      {"GFAASetDofs", [](uma_FlexibleBodyX& b) { return TakeLabels(b.GFAASetDofs()); }},
      {"Matrix(type)",
       [&](uma_FlexibleBodyX& b) { return rows(b.Matrix(uma::sample::RecoveryMatrixType())); }},
      {"Matrix(name)", [&](uma_FlexibleBodyX& b) { return rows(b.Matrix("LumpedMass")); }},
  };
  const long long live = pfm::Allocation().liveBlocks;
  for (const auto& [name, operation] : operations) {
    Labels expected;
    {
      uma_FlexibleBodyX body("beam");
      expected = operation(body);
    }
    int failures = 0;
    for (long long n = 1; n < 100; ++n) {
      const bool constructorToo = std::string(name) == "constructor";
      std::optional<uma_FlexibleBodyX> body;
      if (!constructorToo) body.emplace("beam");
      pfm::FailAllocationAt(n);
      try {
        if (constructorToo) body.emplace("beam");
        Labels answer = operation(*body);
        pfm::FailAllocationAt(0);
        EXPECT_EQ(answer, expected) << name << " completing at allocation " << n;
        break;
      } catch (const QOBBasOutOfMemory&) {
        ++failures;
      }
      pfm::FailAllocationAt(0);
      body.reset();
      ASSERT_EQ(pfm::Allocation().liveBlocks, live) << name << ", allocation " << n;
      ASSERT_EQ(pfm::LiveDenseMatrices(), 0) << name << ", allocation " << n;
      ASSERT_EQ(pfm::Sessions::OpenCount(), 0) << name << ", allocation " << n;
    }
    EXPECT_GE(failures, 1) << name << " allocates";
  }
}

}  // namespace
