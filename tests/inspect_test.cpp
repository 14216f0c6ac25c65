// What uma-inspect reports of a stored model.
#include <string>

#include "pfm_TestAccess.h"
#include "uma_FlexibleBodySample.h"
#include "uma_InspectReport.h"
#include "uma_TempDir.h"
#include "uma_TestSupport.h"

namespace {

class Inspect : public UmaTest {
 protected:
  std::string SavedBeam() {
    std::string path = m_dir.File("beam.uma");
    pfm::SaveModelFile(*sample::FlexibleBeam("beam").Build(), path);
    return path;
  }
  sample::TempDir m_dir;
};

TEST_F(Inspect, ReportsTheSystemItsMatricesAndTheFlexibleBodyView) {
  inspect::Report r = inspect::Gather(SavedBeam());
  ASSERT_TRUE(r.opened) << r.failure;
  EXPECT_EQ(r.type, 12);
  EXPECT_EQ(r.loads, 2);
  EXPECT_EQ(r.staticModes, 12);
  ASSERT_EQ(r.matrices.size(), 5u);
  const inspect::MatrixEntry& recovery = r.matrices[0];
  EXPECT_EQ(recovery.what, "recovery matrix");
  EXPECT_EQ(recovery.rows, 48);
  EXPECT_EQ(recovery.columns, 18);
  EXPECT_EQ(recovery.rowKind, "dofs");
  EXPECT_EQ(recovery.columnKind, "modes");
  EXPECT_EQ(r.matrices[3].key, "user matrix \"xGFAA\"");
  EXPECT_EQ(r.matrices[4].key, "name \"LumpedMass\"");

  sample::BeamExpectations e = sample::FlexibleBeamExpectations();
  EXPECT_EQ(r.flexible.feNodes, e.feNodes);
  EXPECT_EQ(r.flexible.aSetNodes, e.aSetNodes);
  EXPECT_EQ(r.flexible.aSetDofs, e.aSetDofs);
  EXPECT_EQ(r.flexible.recoveryDofs, e.recoveryDofs);
  EXPECT_EQ(r.flexible.gfaaNodes, e.gfaaNodes);

  std::string text = inspect::AsText(r);
  EXPECT_NE(text.find("FE nodes         1001 1002 1005 1006\n"), std::string::npos) << text;
  std::string json = inspect::AsJson(r);
  EXPECT_NE(
      json.find(
          "\"matrices\":[{\"key\":\"type 20068\",\"meaning\":\"recovery matrix\",\"dense\":true,"
          "\"rows\":48,\"columns\":18,\"rowKind\":\"dofs\",\"columnKind\":\"modes\"}"),
      std::string::npos)
      << json;
}

TEST_F(Inspect, AModelThatCannotBeOpenedGivesItsReason) {
  inspect::Report r = inspect::Gather(m_dir.File("absent.uma"));
  EXPECT_FALSE(r.opened);
  EXPECT_EQ(pfm::ModelFileProblemOf(r.failure), pfm::ModelFileProblem::NoSuchFile) << r.failure;
  EXPECT_EQ(inspect::AsJson(r), "{\"model\":\"" + m_dir.File("absent.uma") +
                                    "\",\"opened\":false,\"reason\":\"" + r.failure + "\"}\n");
}

TEST_F(Inspect, JsonEscapesNamesItCannotWriteAsThey) {
  inspect::Report r;
  r.model = "a \"quoted\"\\name\n";
  r.failure = "x";
  EXPECT_EQ(inspect::AsJson(r),
            "{\"model\":\"a \\\"quoted\\\"\\\\name\\u000a\",\"opened\":false,\"reason\":\"x\"}\n");
}

}  // namespace
