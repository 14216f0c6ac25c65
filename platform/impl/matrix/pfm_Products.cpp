// Products of in-core and stored dense matrices on BLAS. Every operation checks the operands'
// dimensions first, reads stored operands as contiguous column-major values and leaves in C
// exactly A·B or Aᵀ·B, whatever C held and whether or not C shares memory with A or B.
#include <cblas.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "QOBMtxLinearAlgebra.h"
#include "pfm_Dense.h"
#include "pfm_Observe.h"

namespace {

// Column-major values with `rows` as leading dimension.
struct Operand {
  const double* values;
  int rows;
  int columns;
  std::size_t Count() const { return std::size_t(rows) * std::size_t(columns); }
};

Operand Of(const QOBSrvMatrix& m) { return {m.m_values, m.m_rows, m.m_columns}; }

// A stored matrix's values, copied into `scratch` when they do not lie contiguously.
Operand Of(const QOBSrvDenseMatrix& m, std::vector<double>& scratch) {
  return {pfm::DenseValues(m, scratch), m.NumberOfRows(), m.NumberOfColumns()};
}

struct Shape {
  int rows;
  int columns;
};
Shape ShapeOf(const QOBSrvMatrix& m) { return {m.m_rows, m.m_columns}; }
Shape ShapeOf(const QOBSrvDenseMatrix& m) { return {m.NumberOfRows(), m.NumberOfColumns()}; }

std::string Text(Shape s) { return std::to_string(s.rows) + " x " + std::to_string(s.columns); }

// Throws unless op(A)·B is defined and C has its dimensions; op transposes A when asked.
void CheckShapes(const char* operation, bool transposeA, Shape A, Shape B, Shape C) {
  const int outer = transposeA ? A.columns : A.rows, inner = transposeA ? A.rows : A.columns;
  const std::string operands = std::string(operation) + ": A is " + Text(A) + ", B is " + Text(B);
  if (inner != B.rows) throw QOBBasError(operands + ": their inner dimensions differ");
  if (C.rows != outer || C.columns != B.columns)
    throw QOBBasError(operands + ": C is " + Text(C) + ", not " + Text({outer, B.columns}));
}

bool Overlaps(const double* a, std::size_t aCount, const double* b, std::size_t bCount) {
  if (aCount == 0 || bCount == 0) return false;
  std::less<const double*> before;  // a total order even on unrelated arrays
  return before(a, b + bCount) && before(b, a + aCount);
}

// C = alpha·op(A)·B + beta·C, C holding op(A)'s rows x B's columns with its rows as leading
// dimension; a beta of 0 overwrites C whatever it held (NaN included). A C sharing memory with
// A or B is formed in a temporary first. Dimensions are checked by the caller.
void Gemm(bool transposeA, double alpha, Operand A, Operand B, double beta, double* C) {
  const int m = transposeA ? A.columns : A.rows, n = B.columns, k = B.rows;
  const std::size_t count = std::size_t(m) * std::size_t(n);
  if (count == 0) return;
  if (!C || (k > 0 && (!A.values || !B.values)))
    throw QOBBasError("product: an operand has no values");
  std::vector<double> temporary;
  double* out = C;
  if (Overlaps(C, count, A.values, A.Count()) || Overlaps(C, count, B.values, B.Count())) {
    temporary.assign(C, C + count);
    out = temporary.data();
  }
  if (k == 0) {  // an empty sum: BLAS is not asked, C is beta·C
    for (std::size_t i = 0; i < count; ++i) out[i] = beta == 0.0 ? 0.0 : beta * out[i];
  } else {
    cblas_dgemm(CblasColMajor, transposeA ? CblasTrans : CblasNoTrans, CblasNoTrans, m, n, k, alpha,
                A.values, A.rows, B.values, B.rows, beta, out, m);
  }
  if (out != C) std::copy(temporary.begin(), temporary.end(), C);
}

// A stored C is formed in memory and then written whole.
void GemmIntoStored(bool transposeA, double alpha, Operand A, Operand B, double beta,
                    QOBSrvDenseMatrix& C) {
  const std::size_t count = std::size_t(C.NumberOfRows()) * std::size_t(C.NumberOfColumns());
  std::unique_ptr<double[]> out(new double[count]);  // left uninitialised: Gemm writes it all
  if (beta != 0.0) {
    std::vector<double> scratch;
    const double* held = pfm::DenseValues(C, scratch);
    std::copy(held, held + count, out.get());
  }
  Gemm(transposeA, alpha, A, B, beta, out.get());
  pfm::DenseWriteAll(C, out.get());
}

std::string Factor(double value) {
  std::string text = std::to_string(value);
  text.erase(text.find_last_not_of('0') + 1);
  if (text.back() == '.') text.pop_back();
  return text;
}

}  // namespace

void QOBSrvMatrix::Multiply(const QOBSrvMatrix& B, QOBSrvMatrix& C, int i, int j) const {
  PFM_JOURNAL("Multiply[incore](incore,incore," + std::to_string(i) + "," + std::to_string(j) +
              ")");
  CheckShapes("Multiply", false, ShapeOf(*this), ShapeOf(B), ShapeOf(C));
  Gemm(false, 1.0, Of(*this), Of(B), 0.0, C.m_values);
}

void QOBSrvMatrix::TransposeMultiply(const QOBSrvMatrix& B, QOBSrvMatrix& C, int i, int j) const {
  PFM_JOURNAL("TransposeMultiply[incore](incore,incore," + std::to_string(i) + "," +
              std::to_string(j) + ")");
  CheckShapes("TransposeMultiply", true, ShapeOf(*this), ShapeOf(B), ShapeOf(C));
  Gemm(true, 1.0, Of(*this), Of(B), 0.0, C.m_values);
}

void QOBSrvDenseMatrix::Multiply(const QOBSrvMatrix& B, QOBSrvMatrix& C) const {
  PFM_JOURNAL("Multiply[dense](incore,incore)");
  CheckShapes("Multiply", false, ShapeOf(*this), ShapeOf(B), ShapeOf(C));
  std::vector<double> scratch;
  Gemm(false, 1.0, Of(*this, scratch), Of(B), 0.0, C.m_values);
}

// C is the values array of a NumberOfRows() x B.NumberOfColumns() in-core matrix.
void QOBSrvDenseMatrix::Multiply(const QOBSrvDenseMatrix& B, double* C) const {
  PFM_JOURNAL("Multiply[dense](dense,values)");
  CheckShapes("Multiply", false, ShapeOf(*this), ShapeOf(B), {NumberOfRows(), B.NumberOfColumns()});
  std::vector<double> scratchA, scratchB;
  Gemm(false, 1.0, Of(*this, scratchA), Of(B, scratchB), 0.0, C);
}

void QOBSrvDenseMatrix::Multiply(const QOBSrvDenseMatrix& B, QOBSrvDenseMatrix& C) const {
  PFM_JOURNAL("Multiply[dense](dense,dense)");
  CheckShapes("Multiply", false, ShapeOf(*this), ShapeOf(B), ShapeOf(C));
  std::vector<double> scratchA, scratchB;
  GemmIntoStored(false, 1.0, Of(*this, scratchA), Of(B, scratchB), 0.0, C);
}

void QOBSrvDenseMatrix::Multiply(double alpha, const QOBSrvMatrix& B, double beta,
                                 QOBSrvDenseMatrix& C) const {
  PFM_JOURNAL("Multiply[dense](" + Factor(alpha) + ",incore," + Factor(beta) + ",dense)");
  CheckShapes("Multiply", false, ShapeOf(*this), ShapeOf(B), ShapeOf(C));
  std::vector<double> scratch;
  GemmIntoStored(false, alpha, Of(*this, scratch), Of(B), beta, C);
}

void QOBSrvDenseMatrix::TransposeMultiply(const QOBSrvMatrix& B, QOBSrvMatrix& C, int i) const {
  PFM_JOURNAL("TransposeMultiply[dense](incore,incore," + std::to_string(i) + ")");
  CheckShapes("TransposeMultiply", true, ShapeOf(*this), ShapeOf(B), ShapeOf(C));
  std::vector<double> scratch;
  Gemm(true, 1.0, Of(*this, scratch), Of(B), 0.0, C.m_values);
}

void QOBSrvDenseMatrix::TransposeMultiply(const QOBSrvDenseMatrix& B, QOBSrvDenseMatrix& C,
                                          int i) const {
  PFM_JOURNAL("TransposeMultiply[dense](dense,dense," + std::to_string(i) + ")");
  CheckShapes("TransposeMultiply", true, ShapeOf(*this), ShapeOf(B), ShapeOf(C));
  std::vector<double> scratchA, scratchB;
  GemmIntoStored(true, 1.0, Of(*this, scratchA), Of(B, scratchB), 0.0, C);
}

void QOBSrvDenseMatrix::TransposeMultiply(const QOBSrvDenseMatrix& B, QOBSrvMatrix& C,
                                          int i) const {
  PFM_JOURNAL("TransposeMultiply[dense](dense,incore," + std::to_string(i) + ")");
  CheckShapes("TransposeMultiply", true, ShapeOf(*this), ShapeOf(B), ShapeOf(C));
  std::vector<double> scratchA, scratchB;
  Gemm(true, 1.0, Of(*this, scratchA), Of(B, scratchB), 0.0, C.m_values);
}
