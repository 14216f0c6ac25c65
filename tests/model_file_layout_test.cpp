// How model files lay out values: format version 2 keeps columns in chunks and stores rows that
// one matrix shares with another once; files of format version 1 read as before. Reads of any
// block, across chunks and shared rows, give what was saved; edits of shared rows change only
// the matrix written.
#include <sqlite3.h>
#include <sys/stat.h>

#include "pfm_ModelFile.h"
#include "pfm_Support.h"
#include "pfm_TestAccess.h"
#include "uma_FileTestSupport.h"
#include "uma_TempDir.h"
#include "uma_TestSupport.h"

namespace {

using filetest::Block;

constexpr int kRows = 2500;  // three chunks: 1020, 1020 and 460 values
constexpr int kBasis = 40;   // columns of the basis; the recovery matrix has a load column first
constexpr int kExtra = 2;    // rows of the recovery matrix below the basis

double BasisValue(int r, int c) { return 1.0 + r + 1e-4 * c; }
double RecoveryValue(int r, int c) {
  if (c > 0 && r < kRows) return BasisValue(r, c - 1);
  return -1.0 - r - 1e-4 * c;
}

// Matrix 0: the basis (kRows x kBasis); matrix 1: a recovery matrix whose columns 1.. hold the
// basis in their first kRows rows, declared shared.
pfm::ModelBuilder Recovery(bool declareShare = true) {
  pfm::ModelBuilder b("layout");
  std::vector<double> basis, recovery;
  for (int c = 0; c < kBasis; ++c)
    for (int r = 0; r < kRows; ++r) basis.push_back(BasisValue(r, c));
  for (int c = 0; c <= kBasis; ++c)
    for (int r = 0; r < kRows + kExtra; ++r) recovery.push_back(RecoveryValue(r, c));
  b.AddDistribution(kRows, kBasis, -1, -1, basis);
  const int m = b.AddDistribution(kRows + kExtra, kBasis + 1, -1, -1, recovery);
  if (declareShare) b.ShareRows(m, {0, 1, kBasis, 0});
  return b;
}

std::vector<double> Expected(int d, int r0, int r1, int c0, int c1) {
  std::vector<double> out;
  for (int c = c0; c <= c1; ++c)
    for (int r = r0; r <= r1; ++r) out.push_back(d == 0 ? BasisValue(r, c) : RecoveryValue(r, c));
  return out;
}

long long FileSize(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

// Writes `value` into rows r0..r1 of column c of distribution d of an open system.
void Put(const uma_System& s, int d, int r0, int r1, int c, double value) {
  QOBSrvDenseMatrix dense(pfm::ids::Distribution(uma_TestAccess::Session(s), d));
  QOBSrvMatrix block(r1 - r0 + 1, 1, nullptr, false, false);
  for (int r = 0; r <= r1 - r0; ++r) block.m_values[r] = value;
  dense.SetValues(r0, r1, c, c, block);
}

class ModelFileLayout : public UmaTest {
 protected:
  uma::sample::TempDir m_dir;
};

TEST_F(ModelFileLayout, EveryBlockReadsBackInBothVersionsAndVersionTwoStoresTheBasisOnce) {
  const pfm::ModelBuilder b = Recovery();
  const std::string v1 = m_dir.File("v1.uma"), v2 = m_dir.File("v2.uma");
  pfm::SaveModel(b, v1, 1);
  pfm::SaveModel(b, v2);
  // Blocks across chunk boundaries (1020, 2040), the shared rows' end (2500) and the columns.
  const int blocks[][4] = {{0, kRows + kExtra - 1, 0, kBasis},
                           {1019, 1020, 1, 1},
                           {1000, 2600 - 100, 1, 3},
                           {2039, 2501, 0, 3},
                           {2500, 2501, 2, 3},
                           {3, 3, 3, 3}};
  for (const std::string& path : {v1, v2}) {
    SCOPED_TRACE(path);
    uma_System s(path.c_str(), false);
    ASSERT_FALSE(s.IsNull()) << pfm::LastOpenFailure();
    const int session = uma_TestAccess::Session(s);
    EXPECT_EQ(Block(session, 0, 0, kRows - 1, 0, kBasis - 1),
              Expected(0, 0, kRows - 1, 0, kBasis - 1));
    for (const auto& k : blocks)
      EXPECT_EQ(Block(session, 1, k[0], k[1], k[2], k[3]), Expected(1, k[0], k[1], k[2], k[3]))
          << k[0] << ".." << k[1] << " x " << k[2] << ".." << k[3];
  }
  const long long basisBytes = 8LL * kRows * kBasis;
  EXPECT_LT(FileSize(v2), FileSize(v1) - basisBytes * 9 / 10) << "the basis is stored once";
}

TEST_F(ModelFileLayout, RowsDeclaredSharedThatDifferAreNotSaved) {
  pfm::ModelBuilder b = Recovery();
  const double other = 0.5;
  pfm::ModelOf(b).system.distributions[1].values->Write(7, 1, 2, 1, &other, 1);
  const std::string path = m_dir.File("wrong.uma");
  try {
    pfm::SaveModel(b, path);
    ADD_FAILURE() << "saved rows that are not shared as shared";
  } catch (const QOBBasError& e) {
    EXPECT_EQ(std::string(e.what()), "cannot save the model to " + path +
                                         ": matrix 1 column 2 does not hold the rows it shares "
                                         "with matrix 0");
  }
  EXPECT_FALSE(filetest::Exists(path));
  pfm::ModelOf(b).system.distributions[1].shared[0].source = 1;
  EXPECT_THROW(pfm::SaveModel(b, path), QOBBasError) << "a matrix shares rows with itself";
}

// Writing the basis leaves the recovery matrix as it was, and writing the recovery matrix's
// shared rows leaves the basis; each commit gives the columns involved rows of their own.
TEST_F(ModelFileLayout, EditsOfSharedRowsChangeOnlyTheMatrixWritten) {
  const std::string path = m_dir.File("edit.uma");
  pfm::SaveModel(Recovery(), path);
  {
    uma_System editor(path.c_str(), true);
    ASSERT_FALSE(editor.IsNull()) << pfm::LastOpenFailure();
    Put(editor, 0, 0, 9, 1, -7.0);
  }
  ASSERT_EQ(pfm::LastCloseFailure(), "");
  std::vector<double> basis = Expected(0, 0, kRows - 1, 0, kBasis - 1);
  for (int r = 0; r <= 9; ++r) basis[static_cast<std::size_t>(kRows + r)] = -7.0;
  {
    uma_System reader(path.c_str(), false);
    const int session = uma_TestAccess::Session(reader);
    EXPECT_EQ(Block(session, 0, 0, kRows - 1, 0, kBasis - 1), basis);
    EXPECT_EQ(Block(session, 1, 0, kRows + kExtra - 1, 0, kBasis),
              Expected(1, 0, kRows + kExtra - 1, 0, kBasis));
  }
  {
    uma_System editor(path.c_str(), true);
    Put(editor, 1, 2000, 2100, 3, 9.0);
  }
  ASSERT_EQ(pfm::LastCloseFailure(), "");
  std::vector<double> recovery = Expected(1, 0, kRows + kExtra - 1, 0, kBasis);
  for (int r = 2000; r <= 2100; ++r)
    recovery[static_cast<std::size_t>(3 * (kRows + kExtra) + r)] = 9.0;
  uma_System reader(path.c_str(), false);
  const int session = uma_TestAccess::Session(reader);
  EXPECT_EQ(Block(session, 0, 0, kRows - 1, 0, kBasis - 1), basis);
  EXPECT_EQ(Block(session, 1, 0, kRows + kExtra - 1, 0, kBasis), recovery);
}

// A matrix the program holds is saved from its memory as it is; the view refuses writes and
// blocks outside it.
TEST_F(ModelFileLayout, AViewOfTheProgramsMemorySavesAsItIs) {
  std::vector<double> held = Expected(0, 0, kRows - 1, 0, kBasis - 1);
  pfm::ModelBuilder b("view");
  b.AddDistributionFrom(kRows, kBasis, -1, -1,
                        std::make_shared<pfm::ViewValues>(held.data(), kRows));
  const std::string path = m_dir.File("view.uma");
  pfm::SaveModel(b, path);
  uma_System s(path.c_str(), false);
  EXPECT_EQ(Block(uma_TestAccess::Session(s), 0, 0, kRows - 1, 0, kBasis - 1), held);
  pfm::ValueStore& view = *pfm::ModelOf(b).system.distributions[0].values;
  double value = 0.0;
  EXPECT_THROW(view.Write(0, 1, 0, 1, &value, 1), QOBBasError);
  EXPECT_THROW(view.Read(kRows - 1, 2, 0, 1, &value, 2), QOBBasError);
}

TEST_F(ModelFileLayout, FilesOfEitherVersionClaimingTheOtherAreDamaged) {
  const std::string v1 = m_dir.File("v1.uma"), v2 = m_dir.File("v2.uma");
  pfm::SaveModel(Recovery(), v1, 1);
  pfm::SaveModel(Recovery(), v2);
  pfm::sql::Db(v1, SQLITE_OPEN_READWRITE).Exec("PRAGMA user_version = 2");
  pfm::sql::Db(v2, SQLITE_OPEN_READWRITE).Exec("PRAGMA user_version = 1");
  EXPECT_TRUE(uma_System(v1.c_str(), false).IsNull());
  EXPECT_EQ(pfm::LastOpenFailure(),
            "a damaged file: " + v1 + " (the distribution table has no column first_chunk)");
  EXPECT_TRUE(uma_System(v2.c_str(), false).IsNull());
  EXPECT_EQ(pfm::LastOpenFailure(),
            "a damaged file: " + v2 + " (the file has no column_values table)");
  EXPECT_THROW(pfm::SaveModel(Recovery(), v1, 3), QOBBasError);
}

}  // namespace
