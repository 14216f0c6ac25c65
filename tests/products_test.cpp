// The products of matrix handles: which platform operation runs for each storage of A, B and C,
// the order of the argument checks and their messages, null operands, a null result, aliasing.
#include <memory>
#include <string>
#include <vector>

#include "product_operands.h"
#include "uma_TestSupport.h"

namespace {

using namespace products;

enum Storage { kDense, kIncore, kNone };

const char kInconsistent[] = "Multiply: Inconsistent dimensions A and B.\n";
const char kImmutable[] = "Multiply: Immutable C.\n";
const char kWrongDimension[] = "Multiply: Wrong dimension C.\n";
const char kUnsupported[] = "Multiply: Unsupported storage combination.\n";

// What a call with operands of these storages does: the platform operation it runs (its
// journal line) or the message it writes; neither for a dense A with a C without storage.
struct Row {
  Storage a, b, c;
  std::string operation;
  std::string message;
};

class Products : public UmaTest {
 protected:
  void SetUp() override {
    UmaTest::SetUp();
    pfm::Journal::Enable(true);
  }

  // The journal lines of product operations since the last call.
  std::vector<std::string> ProductsRun() {
    std::vector<std::string> out;
    for (const std::string& line : Journal())
      if (line.find("Multiply[") != std::string::npos) out.push_back(line);
    return out;
  }

  // Runs one row of a storage table over C full of NaN: A·B (or Aᵀ·B) with A and B of the
  // given shapes; a C without storage needs an empty product, so A and B are then shaped so.
  void CheckRow(const Row& row, bool transposed) {
    SCOPED_TRACE(std::to_string(row.a) + std::to_string(row.b) + std::to_string(row.c));
    const bool empty = row.c == kNone;
    Values a = transposed ? Sample(2, empty ? 0 : 3, 1) : Sample(empty ? 0 : 3, 2, 1);
    Values b = Sample(2, empty ? 0 : 4, 2);
    Values expected = Naive(a, b, transposed);
    Values nan = Filled(expected.rows, expected.columns, kNaN);
    StoredMatrices stored("row" + std::to_string(m_rowCount++), {a, b, nan}, true);

    std::unique_ptr<uma_Matrix> A = row.a == kDense ? stored.ReadOnly(0) : Incore(a);
    std::unique_ptr<uma_Matrix> B = row.b == kDense ? stored.ReadOnly(1) : Incore(b);
    std::unique_ptr<uma_Matrix> C = row.c == kDense ? stored.Writable(2)
                                    : row.c == kIncore
                                        ? Incore(nan)
                                        : std::make_unique<uma_IncoreMatrix>(nullptr);
    ProductsRun();
    if (transposed) {
      A->TransposeMultiply(B.get(), C.get());
    } else {
      A->Multiply(B.get(), C.get());
    }
    EXPECT_EQ(Errors(), row.message);
    EXPECT_EQ(ProductsRun(), row.operation.empty() ? std::vector<std::string>()
                                                   : std::vector<std::string>{row.operation});
    if (!row.operation.empty()) ExpectEqual(ValuesOf(*C), expected);
    if (!row.message.empty()) {
      EXPECT_TRUE(AllNaN(ValuesOf(*C))) << "C untouched";
    }
  }

  int m_rowCount = 0;
};

TEST_F(Products, MultiplyRunsTheOperationOfEachStorageCombination) {
  const std::vector<Row> table = {
      {kDense, kDense, kDense, "Multiply[dense](dense,dense)", ""},
      {kDense, kDense, kIncore, "Multiply[dense](dense,values)", ""},
      {kDense, kDense, kNone, "", ""},
      {kDense, kIncore, kDense, "Multiply[dense](1,incore,0,dense)", ""},
      {kDense, kIncore, kIncore, "Multiply[dense](incore,incore)", ""},
      {kDense, kIncore, kNone, "", ""},
      {kIncore, kIncore, kIncore, "Multiply[incore](incore,incore,0,0)", ""},
      {kIncore, kIncore, kDense, "", kUnsupported},
      {kIncore, kIncore, kNone, "", kUnsupported},
      {kIncore, kDense, kDense, "", kUnsupported},
      {kIncore, kDense, kIncore, "", kUnsupported},
      {kIncore, kDense, kNone, "", kUnsupported},
  };
  for (const Row& row : table) CheckRow(row, false);
}

TEST_F(Products, TransposeMultiplyRunsTheOperationOfEachStorageCombination) {
  const std::vector<Row> table = {
      {kDense, kDense, kDense, "TransposeMultiply[dense](dense,dense,0)", ""},
      {kDense, kDense, kIncore, "TransposeMultiply[dense](dense,incore,0)", ""},
      {kDense, kDense, kNone, "", ""},
      {kDense, kIncore, kDense, "", kUnsupported},
      {kDense, kIncore, kIncore, "TransposeMultiply[dense](incore,incore,0)", ""},
      {kDense, kIncore, kNone, "", kUnsupported},
      {kIncore, kIncore, kIncore, "TransposeMultiply[incore](incore,incore,0,0)", ""},
      {kIncore, kIncore, kDense, "", kUnsupported},
      {kIncore, kIncore, kNone, "", kUnsupported},
      {kIncore, kDense, kDense, "", kUnsupported},
      {kIncore, kDense, kIncore, "", kUnsupported},
      {kIncore, kDense, kNone, "", kUnsupported},
  };
  for (const Row& row : table) CheckRow(row, true);
}

TEST_F(Products, ChecksInnerDimensionsThenMutabilityThenTheResultsDimensions) {
  StoredMatrices stored("m", {Filled(3, 4, kNaN), Filled(3, 5, kNaN)}, true);
  auto A = Incore(Sample(3, 2, 1));
  std::unique_ptr<uma_Matrix> writable = stored.Writable(0);
  std::unique_ptr<uma_Matrix> cut(writable->Submatrix(0, 2, 0, 3));  // immutable, 3 x 4

  A->Multiply(Incore(Sample(4, 5, 2)).get(), cut.get());
  EXPECT_EQ(Errors(), kInconsistent) << "before the immutable, wrongly sized C";
  auto B = Incore(Sample(2, 5, 2));
  A->Multiply(B.get(), cut.get());
  EXPECT_EQ(Errors(), kImmutable) << "before C's dimensions";
  A->Multiply(B.get(), stored.ReadOnly(1).get());
  EXPECT_EQ(Errors(), kImmutable) << "a read-only C of the right size";
  A->Multiply(B.get(), writable.get());
  EXPECT_EQ(Errors(), kWrongDimension) << "C is 3 x 4 for a 3 x 5 product";
  EXPECT_TRUE(ProductsRun().empty());
  EXPECT_TRUE(AllNaN(ValuesOf(*writable)));
}

TEST_F(Products, TransposeMultiplyChecksAgainstTheTransposedShape) {
  Values a = Sample(4, 3, 1), b = Sample(4, 5, 2);
  auto A = Incore(a), B = Incore(b), C = Incore(Filled(3, 5, kNaN));
  A->TransposeMultiply(B.get(), C.get());
  EXPECT_EQ(Errors(), "");
  ExpectEqual(ValuesOf(*C), Naive(a, b, true));

  auto wrong = Incore(Filled(4, 5, kNaN));
  A->TransposeMultiply(B.get(), wrong.get());
  EXPECT_EQ(Errors(), kWrongDimension);
  EXPECT_TRUE(AllNaN(ValuesOf(*wrong)));
  A->TransposeMultiply(Incore(Sample(3, 5, 2)).get(), C.get());
  EXPECT_EQ(Errors(), kInconsistent);
}

TEST_F(Products, NullOperandsWriteNothingAtAll) {
  StoredMatrices stored("m", {Filled(3, 5, kNaN)}, false);
  std::unique_ptr<uma_Matrix> immutableC = stored.ReadOnly(0);
  uma_IncoreMatrix noStorage(static_cast<QOBSrvMatrix*>(nullptr));
  std::unique_ptr<uma_Matrix> nullDense(
      uma_TestAccess::ReadOnly(new QOBSrvDenseMatrix(QOBSimDistributionID()), nullptr));
  auto A = Incore(Sample(3, 2, 1)), B = Incore(Sample(4, 5, 2));  // also inconsistent

  for (uma_Matrix* C : std::vector<uma_Matrix*>{immutableC.get(), nullptr}) {
    for (const uma_Matrix* nullA : std::vector<const uma_Matrix*>{&noStorage, nullDense.get()}) {
      nullA->Multiply(B.get(), C);
      nullA->TransposeMultiply(B.get(), C);
    }
    for (const uma_Matrix* nullB :
         std::vector<const uma_Matrix*>{nullptr, &noStorage, nullDense.get()}) {
      A->Multiply(nullB, C);
      A->TransposeMultiply(nullB, C);
    }
  }
  EXPECT_EQ(Errors(), "");
  EXPECT_TRUE(ProductsRun().empty());
  EXPECT_TRUE(AllNaN(ValuesOf(*immutableC)));
}

TEST_F(Products, ANullResultIsFormedInATemporaryAndReleased) {
  StoredMatrices stored("m", {Sample(3, 2, 1), Sample(2, 4, 2)}, false);
  auto A = stored.ReadOnly(0), B = stored.ReadOnly(1);
  auto incoreA = Incore(Sample(3, 2, 1)), incoreB = Incore(Sample(2, 4, 2));
  long long live = pfm::Allocation().liveBlocks;

  A->Multiply(B.get(), nullptr);
  incoreA->Multiply(incoreB.get(), nullptr);
  A->TransposeMultiply(incoreA.get(), nullptr);
  EXPECT_EQ(ProductsRun(), (std::vector<std::string>{"Multiply[dense](dense,values)",
                                                     "Multiply[incore](incore,incore,0,0)",
                                                     "TransposeMultiply[dense](incore,incore,0)"}));
  incoreA->Multiply(B.get(), nullptr);
  incoreA->TransposeMultiply(A.get(), nullptr);
  EXPECT_EQ(Errors(), std::string(kUnsupported) + kUnsupported);
  EXPECT_EQ(pfm::Allocation().liveBlocks, live);
}

TEST_F(Products, ANullResultIsReleasedWhenTheProductThrows) {
  auto A = Incore(Sample(3, 2, 1));
  std::vector<double> values(8, 1.0);
  uma_IncoreMatrix B(2, 4, values.data());
  long long live = pfm::Allocation().liveBlocks;
  // Each allocation of the temporary in turn fails, then the platform product itself.
  for (long long n = 1; n <= 3; ++n) {
    pfm::FailAllocationAt(n);
    EXPECT_THROW(A->Multiply(&B, nullptr), QOBBasOutOfMemory) << "allocation " << n;
    EXPECT_EQ(pfm::Allocation().liveBlocks, live);
  }
  pfm::FailAllocationAt(0);
  uma_TestAccess::Incore(B)->m_values = nullptr;  // B over a caller's array: nothing to free
  EXPECT_THROW(A->Multiply(&B, nullptr), QOBBasError);
  EXPECT_EQ(pfm::Allocation().liveBlocks, live);
}

TEST_F(Products, AResultThatIsAlsoAnOperandReceivesTheProduct) {
  Values a = Sample(3, 3, 1), b = Sample(3, 3, 2);
  auto A = Incore(a), B = Incore(b);
  A->Multiply(B.get(), A.get());
  ExpectEqual(ValuesOf(*A), Naive(a, b, false));
  B->TransposeMultiply(B.get(), B.get());
  ExpectEqual(ValuesOf(*B), Naive(b, b, true));

  StoredMatrices stored("m", {a}, true);
  std::unique_ptr<uma_Matrix> W = stored.Writable(0);
  W->Multiply(W.get(), W.get());
  Values squared = Naive(a, a, false);
  ExpectEqual(ValuesOf(*W), squared);
  W->TransposeMultiply(W.get(), W.get());
  ExpectEqual(ValuesOf(*W), Naive(squared, squared, true));
  EXPECT_EQ(Errors(), "");
}

}  // namespace
