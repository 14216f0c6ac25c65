// The documented model format: the Python example in the documentation writes a file that the
// library opens and reads as the example meant, with the library's own schema.
#include <sqlite3.h>

#include <cstdlib>
#include <sstream>

#include "pfm_TestAccess.h"
#include "uma_FileTestSupport.h"
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

  sample::TempDir m_dir;
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
  pfm::SaveModelFile(*sample::SmallSystem("m").Build(), saved);
  EXPECT_EQ(Schema(example), Schema(saved));
}

TEST_F(ModelFormatDoc, TheLibraryReadsTheExampleAsItWasMeant) {
  std::string example = WriteExample();
  if (example.empty()) GTEST_SKIP() << "python3 with sqlite3 is not available";
  uma_System s(example.c_str(), false);
  ASSERT_FALSE(s.IsNull()) << pfm::ModelRegistry::LastOpenFailure();
  EXPECT_EQ(s.Type(), 7);
  EXPECT_EQ(s.NumLoads(), 2);
  EXPECT_EQ(s.NumStaticModes(), 1);
  const int aSet = ads_CoreFragmentTypeIndex(20, 72), aSetNodes = ads_CoreFragmentTypeIndex(20, 73);
  EXPECT_EQ(filetest::Labels(s.MapCSet(aSet, uma_Enum::uma_MapNode)),
            "101 101 101 102 102 102 103 103 103 104 104 104 ");
  EXPECT_EQ(filetest::Labels(s.MapCSet(aSet, uma_Enum::uma_MapDof)), "1 2 3 1 2 3 1 2 3 1 2 3 ");
  EXPECT_EQ(filetest::Labels(s.MapCSet(aSetNodes, uma_Enum::uma_MapNode)), "101 102 103 104 ");
  EXPECT_EQ(filetest::Labels(s.MapCSet(aSetNodes, uma_Enum::uma_MapDof)), "null");

  const int session = uma_TestAccess::Session(s);
  std::vector<double> k, coordinates, modes;
  for (int c = 0; c < 12; ++c)
    for (int r = 0; r < 12; ++r) k.push_back((r + 1) + (c + 1) / 8.0);
  for (int c = 0; c < 3; ++c)
    for (int n = 0; n < 4; ++n) coordinates.push_back(101 + n + (c + 1) / 4.0);
  for (int m = 0; m < 3; ++m)
    for (int r = 0; r < 12; ++r) modes.push_back(-(r + 1) * (m + 1) / 16.0);
  EXPECT_EQ(filetest::Block(session, 0, 0, 11, 0, 11), k);
  EXPECT_EQ(filetest::Block(session, 1, 0, 3, 0, 2), coordinates);
  EXPECT_EQ(filetest::Block(session, 2, 0, 11, 0, 2), modes);
  QOBSrvDenseMatrix shapes(pfm::ids::Distribution(session, 2));
  EXPECT_EQ(filetest::Labels(s.MapCSet(shapes.ColumnCSet(), uma_Enum::uma_MapNode)), "101 0 0 ");

  QOBFsmSystem record(QOBSimPosition(session, pfm::ids::kSystem, 0, 0, 0, 0));
  EXPECT_EQ(record.UserMatrix(RYMString("xGFAA")), pfm::ids::Distribution(session, 2));
  EXPECT_EQ(record.Distribution(RYMString("K")), pfm::ids::Distribution(session, 0));
  EXPECT_EQ(record.Distribution(ads_CoreFragmentTypeIndex(20, 61)),
            pfm::ids::Distribution(session, 0));
  EXPECT_EQ(record.NodeCoordinates(), pfm::ids::Distribution(session, 1));
}

}  // namespace
