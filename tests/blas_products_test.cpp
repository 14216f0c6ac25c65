// The platform's nine product operations on BLAS: dimension checks, empty dimensions, results
// sharing memory with an operand, the scaled form, stored operands that are not contiguous.
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "product_operands.h"
#include "uma_TestSupport.h"

namespace {

using namespace products;

using Dense = std::unique_ptr<QOBSrvDenseMatrix>;

// An in-core platform matrix with its own copy of the values.
std::unique_ptr<QOBSrvMatrix> Matrix(const Values& m) {
  auto out = std::make_unique<QOBSrvMatrix>(m.rows, m.columns, nullptr, false, false);
  std::copy(m.v.begin(), m.v.end(), out->m_values);
  return out;
}

class BlasProducts : public UmaTest {};

// Every operation throws on operands that do not fit, and leaves C as it was.
TEST_F(BlasProducts, MismatchedDimensionsThrowAndLeaveCUntouched) {
  // Stored: 0 is 3 x 2, 1 is 4 x 5 (fits neither A nor Aᵀ), 2 is a 3 x 5 C.
  StoredMatrices stored("m", {Sample(3, 2, 1), Sample(4, 5, 2), Filled(3, 5, kNaN)}, true);
  Dense A(stored.Dense(0)), B(stored.Dense(1)), C(stored.Dense(2));
  auto a = Matrix(Sample(3, 2, 1)), b = Matrix(Sample(4, 5, 2)), c = Matrix(Filled(3, 5, kNaN));
  auto fits = Matrix(Sample(2, 5, 3));  // a fitting B whose product a 3 x 3 C does not match
  auto c33 = Matrix(Filled(3, 3, kNaN));
  std::vector<double> values(15, kNaN);
  const std::vector<std::function<void()>> calls = {
      [&] { a->Multiply(*b, *c, 0, 0); },
      [&] { a->Multiply(*fits, *c33, 0, 0); },
      [&] { a->TransposeMultiply(*b, *c, 0, 0); },
      [&] { A->Multiply(*b, *c); },
      [&] { A->Multiply(*fits, *c33); },
      [&] { A->Multiply(*B, values.data()); },
      [&] { A->Multiply(*B, *C); },
      [&] { A->Multiply(1.0, *b, 0.0, *C); },
      [&] { A->TransposeMultiply(*b, *c, 0); },
      [&] { A->TransposeMultiply(*B, *C, 0); },
      [&] { A->TransposeMultiply(*B, *c, 0); },
  };
  for (std::size_t i = 0; i < calls.size(); ++i) EXPECT_THROW(calls[i](), QOBBasError) << i;
  EXPECT_TRUE(AllNaN(ValuesOf(*c)) && AllNaN(ValuesOf(*c33)) && AllNaN(ValuesOf(*C)));
  EXPECT_TRUE(AllNaN({3, 5, values}));
}

TEST_F(BlasProducts, AnEmptyInnerDimensionGivesZerosAndEmptyResultsAreLeftAlone) {
  StoredMatrices stored("m", {Filled(3, 0, 0.0), Filled(0, 4, 0.0), Filled(3, 4, kNaN)}, true);
  Dense A(stored.Dense(0)), B(stored.Dense(1)), C(stored.Dense(2));
  auto a = Matrix(Filled(3, 0, 0.0)), b = Matrix(Filled(0, 4, 0.0));
  auto c = Matrix(Filled(3, 4, kNaN)), ct = Matrix(Filled(3, 4, kNaN));
  a->Multiply(*b, *c, 0, 0);
  ExpectEqual(ValuesOf(*c), Filled(3, 4, 0.0));
  A->Multiply(*B, *C);
  ExpectEqual(ValuesOf(*C), Filled(3, 4, 0.0));
  Matrix(Filled(0, 3, 0.0))->TransposeMultiply(*b, *ct, 0, 0);
  ExpectEqual(ValuesOf(*ct), Filled(3, 4, 0.0));

  auto empty = Matrix(Filled(0, 4, 0.0));
  Matrix(Filled(0, 2, 0.0))->Multiply(*Matrix(Sample(2, 4, 1)), *empty, 0, 0);
  EXPECT_THROW(A->Multiply(*B, static_cast<double*>(nullptr)), QOBBasError)
      << "3 x 4 values cannot go nowhere";
}

// C over part of B's array: formed from B as it was before the call, by each operation that
// takes an in-core B and C.
TEST_F(BlasProducts, AResultOverlappingAnOperandReceivesTheProduct) {
  Values a = Sample(4, 4, 1), b = Sample(4, 4, 2);
  StoredMatrices stored("m", {a}, false);
  Dense D(stored.Dense(0));
  auto A = Matrix(a);
  const std::vector<std::pair<bool, std::function<void(QOBSrvMatrix&, QOBSrvMatrix&)>>> calls = {
      {false, [&](QOBSrvMatrix& B, QOBSrvMatrix& C) { A->Multiply(B, C, 0, 0); }},
      {true, [&](QOBSrvMatrix& B, QOBSrvMatrix& C) { A->TransposeMultiply(B, C, 0, 0); }},
      {false, [&](QOBSrvMatrix& B, QOBSrvMatrix& C) { D->Multiply(B, C); }},
      {true, [&](QOBSrvMatrix& B, QOBSrvMatrix& C) { D->TransposeMultiply(B, C, 0); }},
  };
  for (const auto& [transposed, call] : calls) {
    std::vector<double> array(b.v);
    array.resize(22, kNaN);
    QOBSrvMatrix B(4, 4, array.data(), false, false), C(4, 4, array.data() + 6, false, false);
    call(B, C);
    ExpectEqual(ValuesOf(C), Naive(a, b, transposed));
  }
}

TEST_F(BlasProducts, TheScaledFormOverwritesCWithAZeroFactorAndAddsOtherwise) {
  Values a = Sample(3, 2, 1), b = Sample(2, 4, 2), held = Sample(3, 4, 3);
  const double inf = std::numeric_limits<double>::infinity();
  Values poisoned = Filled(3, 4, kNaN);
  poisoned.v[5] = inf;
  poisoned.v[7] = -inf;
  StoredMatrices stored("m", {a, poisoned, held}, true);
  Dense A(stored.Dense(0)), C(stored.Dense(1)), D(stored.Dense(2));
  A->Multiply(1.0, *Matrix(b), 0.0, *C);
  ExpectEqual(ValuesOf(*C), Naive(a, b, false));

  A->Multiply(2.0, *Matrix(b), 0.5, *D);
  Values expected = Naive(a, b, false);
  for (std::size_t i = 0; i < expected.v.size(); ++i)
    expected.v[i] = 2.0 * expected.v[i] + 0.5 * held.v[i];
  ExpectEqual(ValuesOf(*D), expected);
}

// Stored operands cut out of larger matrices do not lie contiguously; sizes large enough for
// BLAS's blocked kernels.
TEST_F(BlasProducts, StoredOperandsCutFromLargerMatricesGiveTheProduct) {
  Values big = Sample(70, 50, 1), b = Sample(40, 33, 2), tb = Sample(64, 33, 3);
  StoredMatrices stored("m", {big, b, tb, Filled(64, 33, kNaN), Filled(40, 33, kNaN)}, true);
  Dense Big(stored.Dense(0)), B(stored.Dense(1)), TB(stored.Dense(2));
  Dense C(stored.Dense(3)), TC(stored.Dense(4));
  Dense A(Big->Submatrix(3, 66, 5, 44));  // 64 x 40
  Values a = Filled(64, 40, 0.0);
  for (int c = 0; c < 40; ++c)
    for (int r = 0; r < 64; ++r) a.v[std::size_t(r + 64 * c)] = big.at(r + 3, c + 5);

  A->Multiply(*B, *C);
  ExpectEqual(ValuesOf(*C), Naive(a, b, false));
  std::vector<double> values(64 * 33, kNaN);
  A->Multiply(*B, values.data());
  ExpectEqual({64, 33, values}, Naive(a, b, false));
  A->TransposeMultiply(*TB, *TC, 0);
  ExpectEqual(ValuesOf(*TC), Naive(a, tb, true));
  auto tc = Matrix(Filled(40, 33, kNaN));
  A->TransposeMultiply(*TB, *tc, 0);
  ExpectEqual(ValuesOf(*tc), Naive(a, tb, true));
}

}  // namespace
