// What uma-inspect reports of a stored model.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <sstream>
#include <string>

#include "pfm_ModelTypes.h"
#include "pfm_Support.h"
#include "pfm_TestAccess.h"
#include "uma_FileTestSupport.h"
#include "uma_FlexibleBodySample.h"
#include "inspect_Report.h"
#include "inspect_MatrixExport.h"
#include "uma_TempDir.h"
#include "uma_TestSupport.h"

namespace {

class Inspect : public UmaTest {
 protected:
  std::string SavedBeam() {
    std::string path = m_dir.File("beam.uma");
    pfm::SaveModelFile(*pfm::BuildModel(uma::sample::FlexibleBeam("beam")), path);
    return path;
  }
  uma::sample::TempDir m_dir;
};

TEST_F(Inspect, ReportsTheSystemItsMatricesAndTheFlexibleBodyView) {
  uma::inspect::Report r = uma::inspect::Gather(SavedBeam());
  ASSERT_TRUE(r.opened) << r.failure;
  EXPECT_EQ(r.type, 12);
  EXPECT_EQ(r.loads, 2);
  EXPECT_EQ(r.staticModes, 12);
  ASSERT_EQ(r.matrices.size(), 5u);
  const uma::inspect::MatrixEntry& recovery = r.matrices[0];
  EXPECT_EQ(recovery.what, "recovery matrix");
  EXPECT_EQ(recovery.rows, 48);
  EXPECT_EQ(recovery.columns, 18);
  EXPECT_EQ(recovery.rowKind, "dofs");
  EXPECT_EQ(recovery.columnKind, "modes");
  EXPECT_EQ(r.matrices[3].key, "xGFAA");
  EXPECT_EQ(r.matrices[3].storedAs, "user matrix");
  EXPECT_EQ(r.matrices[4].key, "LumpedMass");
  EXPECT_EQ(r.matrices[4].storedAs, "named matrix");

  uma::sample::BeamExpectations e = uma::sample::FlexibleBeamExpectations();
  EXPECT_EQ(r.flexible.feNodes, e.feNodes);
  EXPECT_EQ(r.flexible.aSetNodes, e.aSetNodes);
  EXPECT_EQ(r.flexible.aSetDofs, e.aSetDofs);
  EXPECT_EQ(r.flexible.recoveryDofs, e.recoveryDofs);
  EXPECT_EQ(r.flexible.gfaaNodes, e.gfaaNodes);

  std::string text = uma::inspect::AsText(r);
  EXPECT_NE(text.find("FE nodes         1001 1002 1005 1006\n"), std::string::npos) << text;
  std::string json = uma::inspect::AsJson(r);
  EXPECT_NE(
      json.find(
          "\"matrices\":[{\"key\":\"20068\",\"storedAs\":\"type index\",\"meaning\":"
          "\"recovery matrix\",\"dense\":true,"
          "\"rows\":48,\"columns\":18,\"rowKind\":\"dofs\",\"columnKind\":\"modes\"}"),
      std::string::npos)
      << json;
}

TEST_F(Inspect, AModelThatCannotBeOpenedGivesItsReason) {
  uma::inspect::Report r = uma::inspect::Gather(m_dir.File("absent.uma"));
  EXPECT_FALSE(r.opened);
  EXPECT_EQ(pfm::ModelFileProblemOf(r.failure), pfm::ModelFileProblem::NoSuchFile) << r.failure;
  EXPECT_EQ(uma::inspect::AsJson(r), "{\"model\":\"" + m_dir.File("absent.uma") +
                                    "\",\"opened\":false,\"reason\":\"" + r.failure + "\"}\n");
}

TEST_F(Inspect, JsonEscapesNamesItCannotWriteAsThey) {
  uma::inspect::Report r;
  r.model = "a \"quoted\"\\name\n";
  r.failure = "x";
  EXPECT_EQ(uma::inspect::AsJson(r),
            "{\"model\":\"a \\\"quoted\\\"\\\\name\\n\",\"opened\":false,\"reason\":\"x\"}\n");
  r.model = "\xff";  // not UTF-8: replaced, never an exception
  EXPECT_EQ(uma::inspect::AsJson(r), "{\"model\":\"\xef\xbf\xbd\",\"opened\":false,\"reason\":\"x\"}\n");
}

TEST_F(Inspect, AttributesAreShownAndAbsentOnesSaySo) {
  std::string path = m_dir.File("attributes.uma");
  pfm::ModelBuilder b = uma::sample::FlexibleBeam("beam");
  b.Attribute(pfm::attributes::kUnitLength, "mm").Attribute("owner", "team B");
  pfm::SaveModelFile(*pfm::BuildModel(b), path);
  uma::inspect::Report r = uma::inspect::Gather(path);
  std::string text = uma::inspect::AsText(r);
  EXPECT_NE(text.find("  unit.length         mm\n"), std::string::npos) << text;
  EXPECT_NE(text.find("  unit.mass           (absent)\n"), std::string::npos) << text;
  EXPECT_NE(text.find("  owner               team B\n"), std::string::npos) << text;
  EXPECT_NE(uma::inspect::AsJson(r).find("\"attributes\":{\"owner\":\"team B\",\"unit.length\":\"mm\"}"),
            std::string::npos);
}

// The mesh kept in a model file reads back element by element, in label order, and uma-inspect
// counts it by type; a model without one says so.
TEST_F(Inspect, MeshElementsReadBackAndAreCountedByType) {
  std::string path = m_dir.File("mesh.uma");
  pfm::ModelBuilder b = uma::sample::FlexibleBeam("beam");
  b.AddMeshElement(7, "S8", {1, 2, 3, 4, 5, 6, 7, 8})
      .AddMeshElement(2, "C3D10", {10, 11, 12, 13, 14, 15, 16, 17, 18, 2147483647})
      .AddMeshElement(3, "C3D10", {});
  pfm::SaveModelFile(*pfm::BuildModel(b), path);
  pfm::ModelContents contents;
  ASSERT_TRUE(pfm::ReadContents(path, contents)) << pfm::LastOpenFailure();
  ASSERT_EQ(contents.mesh.size(), 3u);
  EXPECT_EQ(contents.mesh[0].label, 2);
  EXPECT_EQ(contents.mesh[0].nodes.back(), 2147483647);
  EXPECT_TRUE(contents.mesh[1].nodes.empty());
  EXPECT_EQ(contents.mesh[2].type, "S8");
  EXPECT_EQ(contents.mesh[2].nodes.size(), 8u);
  uma::inspect::Report r = uma::inspect::Gather(path);
  EXPECT_NE(uma::inspect::AsText(r).find("mesh          2 C3D10 1 S8\n"), std::string::npos)
      << uma::inspect::AsText(r);
  EXPECT_NE(uma::inspect::AsJson(r).find("\"meshElements\":{\"C3D10\":2,\"S8\":1}"), std::string::npos);
  uma::sample::FlexibleBeam("plain").Register();
  EXPECT_NE(uma::inspect::AsText(uma::inspect::Gather("plain")).find("mesh          (none)\n"),
            std::string::npos);
  // A label twice is refused before anything is written.
  b.AddMeshElement(7, "S4", {1, 2, 3, 4});
  EXPECT_THROW(pfm::SaveModelFile(*pfm::BuildModel(b), m_dir.File("twice.uma")), QOBBasError);
}

// A model whose user matrix "odd" holds values that print badly, in two rows and two columns.
std::vector<double> OddValues() {
  return {1.0 / 3,
          -0.0,
          std::numeric_limits<double>::denorm_min(),
          std::numeric_limits<double>::max(),
          -1e-300,
          0.1 + 0.2};
}

std::string SaveOdd(const std::string& path) {
  pfm::ModelBuilder b = uma::sample::FlexibleBeam("beam");
  int rows = pfm::ModelOf(b).system.setByType.at(pfm::types::ASet());  // dof rows: nodes 1001, 1006
  auto members = pfm::ModelOf(b).system.sets[static_cast<std::size_t>(rows)].members;
  int rowSet = b.AddSet(pfm::MemberKind::Dof, {members[0], members[7]});
  int columnSet = b.AddSet(pfm::MemberKind::Node, {6, 1, 2});
  b.UserMatrix("odd", b.AddDistribution(2, 3, rowSet, columnSet, OddValues()));
  pfm::SaveModelFile(*pfm::BuildModel(b), path);
  return path;
}

// Reads Matrix Market's array format: comments, then "rows columns", then the values.
std::vector<double> ReadMatrixMarket(const std::string& text, int& rows, int& columns) {
  std::istringstream in(text);
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "%%MatrixMarket matrix array real general");
  while (in.peek() == '%') std::getline(in, line);
  in >> rows >> columns;
  std::vector<double> values;
  for (std::string word; in >> word;) values.push_back(std::strtod(word.c_str(), nullptr));
  return values;
}

TEST_F(Inspect, AMatrixWrittenOutReadsBackBitForBitWithItsLabels) {
  std::string path = SaveOdd(m_dir.File("odd.uma"));
  std::ostringstream mtx;
  ASSERT_EQ(uma::inspect::WriteMatrix(path, {"odd", 0, uma::inspect::MatrixFormat::MatrixMarket}, mtx), "");
  int rows = 0, columns = 0;
  std::vector<double> values = ReadMatrixMarket(mtx.str(), rows, columns);
  EXPECT_EQ(rows, 2);
  EXPECT_EQ(columns, 3);
  EXPECT_EQ(filetest::Hex(values), filetest::Hex(OddValues()));
  for (const char* label : {"% row 1: node 1001 dof 1\n", "% row 2: node 1006 dof 2\n",
                            "% column 1: node 1006\n", "% column 3: node 1002\n"})
    EXPECT_NE(mtx.str().find(label), std::string::npos) << label << mtx.str();

  // The same through scipy, when the machine's python has it.
  if (std::system("/usr/bin/python3 -c 'import scipy.io' > /dev/null 2>&1") == 0) {
    filetest::WriteBytes(m_dir.File("odd.mtx"), mtx.str());
    std::string script = "import scipy.io; m = scipy.io.mmread('" + m_dir.File("odd.mtx") +
                         "'); print(' '.join(float(v).hex() for v in m.flatten(order='F')))";
    std::string command = "/usr/bin/python3 -c \"" + script + "\" > " + m_dir.File("hex.txt");
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::istringstream hex(filetest::Bytes(m_dir.File("hex.txt")));
    std::vector<double> read;
    for (std::string word; hex >> word;) read.push_back(std::strtod(word.c_str(), nullptr));
    EXPECT_EQ(filetest::Hex(read), filetest::Hex(OddValues()));
  }

  // CSV: a header row of column labels, a first column of row labels; options are applied.
  std::ostringstream csv;
  ASSERT_EQ(uma::inspect::WriteMatrix(path, {"20068", 7, uma::inspect::MatrixFormat::Csv}, csv), "");
  EXPECT_EQ(csv.str().rfind("\"\",\"node 1001 dof 1\",\"node 1001 dof 2\",", 0), 0u) << csv.str();
  EXPECT_NE(csv.str().find("\n\"node 1006 dof 6\",36.02,36.03,"), std::string::npos) << csv.str();
  const std::string table = csv.str();
  EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 1 + 24) << "36 FE dofs, 12 internal";

  std::ostringstream none;
  EXPECT_EQ(uma::inspect::WriteMatrix(path, {"nothing", 0, uma::inspect::MatrixFormat::Csv}, none),
            path + ": no matrix nothing");
  EXPECT_EQ(none.str(), "");
}

}  // namespace
