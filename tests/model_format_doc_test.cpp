// The documented model format: the Python example in the documentation writes a file that the
// library opens and reads as the example meant, with the library's own schema.
#include <sqlite3.h>

#include <cstdlib>
#include <memory>
#include <sstream>

#include "pfm_ModelTypes.h"
#include "pfm_TestAccess.h"
#include "check_Report.h"
#include "uma_FileTestSupport.h"
#include "uma_FlexibleBodyX.h"
#include "uma_IncoreMatrix.h"
#include "uma_TempDir.h"
#include "uma_TestSupport.h"

namespace {

const std::string kSource = UMA_SOURCE_DIR;
const std::string kScript = kSource + "/docs/examples/write_model.py";

class ModelFormatDoc : public UmaTest {
 protected:
  // Runs the documented example; skips the test without a python3 that has sqlite3.
  std::string WriteExample() {
    if (std::system("python3 -c 'import sqlite3, struct' > /dev/null 2>&1") != 0) return "";
    std::string out = m_dir.File("example.db");
    int status = std::system(("python3 '" + kScript + "' '" + out + "'").c_str());
    EXPECT_EQ(status, 0);
    return out;
  }

  // Tables, their columns and the file's settings, as text.
  static std::string Schema(const std::string& path) {
    pfm::sql::Db db(path, SQLITE_OPEN_READONLY);
    std::ostringstream o;
    o << "application_id " << db.QueryInt("PRAGMA application_id") << " version "
      << db.QueryInt("PRAGMA user_version") << " page " << db.QueryInt("PRAGMA page_size") << '\n';
    pfm::sql::Statement tables(db,
                               "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name");
    while (tables.Step()) {
      o << tables.Text(0) << ':';
      pfm::sql::Statement columns(db, "PRAGMA table_info(" + tables.Text(0) + ")");
      while (columns.Step())
        o << ' ' << columns.Text(1) << ' ' << columns.Text(2) << " nn" << columns.Int(3) << " pk"
          << columns.Int(5);
      o << '\n';
    }
    return o.str();
  }

  uma::sample::TempDir m_dir;
};

TEST_F(ModelFormatDoc, TheDocumentHoldsTheExampleVerbatim) {
  const std::string doc = filetest::Bytes(kSource + "/docs/model-format.md");
  const std::string script = filetest::Bytes(kScript);
  ASSERT_FALSE(script.empty());
  EXPECT_NE(doc.find(script), std::string::npos)
      << "docs/model-format.md must include write_model.py as it is";
}

TEST_F(ModelFormatDoc, TheExampleWritesTheLibrarysSchema) {
  std::string example = WriteExample();
  if (example.empty()) GTEST_SKIP() << "python3 with sqlite3 is not available";
  const std::string saved = m_dir.File("saved.db");
  pfm::SaveModelFile(*pfm::BuildModel(uma::sample::SmallSystem("m")), saved,
                     1);  // the example's version
  EXPECT_EQ(Schema(example), Schema(saved));
}

TEST_F(ModelFormatDoc, TheLibraryReadsTheExampleAsItWasMeant) {
  std::string example = WriteExample();
  if (example.empty()) GTEST_SKIP() << "python3 with sqlite3 is not available";
  uma_FlexibleBodyX body(example.c_str());
  ASSERT_FALSE(body.IsNull()) << pfm::ModelRegistry::LastOpenFailure();
  EXPECT_EQ(body.Type(), 1);
  EXPECT_EQ(body.NumLoads(), 2);
  EXPECT_EQ(body.NumStaticModes(), 12);
  // The A-set's twelve dofs, then the two dynamic modes.
  EXPECT_EQ(filetest::Labels(body.ASetNodes()),
            "101 101 101 101 101 101 103 103 103 103 103 103 900000001 900000002 ");
  EXPECT_EQ(filetest::Labels(body.ASetDofs()), "1 2 3 4 5 6 1 2 3 4 5 6 0 0 ");
  EXPECT_EQ(filetest::Labels(body.NodesInASet()), "101 103 900000001 900000002 ");
  EXPECT_EQ(filetest::Labels(body.FENodes()), "101 102 103 ");
  EXPECT_EQ(filetest::Labels(body.GFAASetDofs()), "1 2 3 4 5 6 1 2 3 4 5 6 ");

  // The recovery matrix trimmed of its load columns (first) and static-mode rows (last) is the
  // mode matrix: the layout rules keep exactly the columns and rows a host multiplies with.
  std::unique_ptr<const uma_Matrix> recovery(body.Matrix(pfm::types::RecoveryMatrix()));
  std::unique_ptr<const uma_Matrix> modes(body.Matrix(pfm::types::ModeMatrix()));
  ASSERT_TRUE(recovery && modes);
  ASSERT_EQ(recovery->NumRows(), 18);
  ASSERT_EQ(recovery->NumColumns(), 14);
  uma_IncoreMatrix a(18, 14, nullptr), b(18, 14, nullptr);
  recovery->GetValues(0, 17, 0, 13, a);
  modes->GetValues(0, 17, 0, 13, b);
  EXPECT_EQ(std::vector<double>(a.Values(), a.Values() + 18 * 14),
            std::vector<double>(b.Values(), b.Values() + 18 * 14));
  recovery.reset();
  modes.reset();

  // The model check finds nothing wrong; the beam weighs 0.785 kg with its centre at x = 0.5 m.
  uma::check::Report r = uma::check::Check(example);
  EXPECT_TRUE(r.findings.empty()) << uma::check::AsText(r);
  ASSERT_TRUE(r.physics.rigidBody);
  EXPECT_NEAR(r.physics.rigidBody->mass, 0.785, 1e-12);
  EXPECT_NEAR(r.physics.rigidBody->centre[0], 0.5, 1e-12);
  EXPECT_EQ(r.attributes.at(pfm::attributes::kUnitLength), "m");
}

}  // namespace
