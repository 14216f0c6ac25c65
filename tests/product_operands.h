// Operands for the product tests: stored matrices of a model opened through a uma_System,
// in-core matrices, and products computed by the naive triple loop to compare with.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "pfm_ModelBuilder.h"
#include "pfm_TestAccess.h"
#include "uma_IncoreMatrix.h"
#include "uma_System.h"
#include "uma_TestAccess.h"

namespace products {

// A rows x columns matrix, column by column.
struct Values {
  int rows = 0;
  int columns = 0;
  std::vector<double> v;
  double at(int r, int c) const { return v[std::size_t(r) + std::size_t(c) * std::size_t(rows)]; }
};

inline const double kNaN = std::numeric_limits<double>::quiet_NaN();

inline Values Filled(int rows, int columns, double value) {
  return {rows, columns, std::vector<double>(std::size_t(rows) * std::size_t(columns), value)};
}

// Distinct values without a pattern that a transposed or shifted read would reproduce.
inline Values Sample(int rows, int columns, int seed) {
  Values m = Filled(rows, columns, 0.0);
  for (std::size_t i = 0; i < m.v.size(); ++i)
    m.v[i] = double((int(i) * 37 + seed * 11) % 19) - 9.0 + 0.125 * seed;
  return m;
}

// op(A)·B, op transposing A when asked.
inline Values Naive(const Values& A, const Values& B, bool transposeA) {
  const int m = transposeA ? A.columns : A.rows, k = B.rows;
  Values C = Filled(m, B.columns, 0.0);
  for (int j = 0; j < B.columns; ++j)
    for (int i = 0; i < m; ++i) {
      double sum = 0.0;
      for (int l = 0; l < k; ++l) sum += (transposeA ? A.at(l, i) : A.at(i, l)) * B.at(l, j);
      C.v[std::size_t(i) + std::size_t(j) * std::size_t(m)] = sum;
    }
  return C;
}

inline void ExpectEqual(const Values& actual, const Values& expected) {
  ASSERT_EQ(actual.rows, expected.rows);
  ASSERT_EQ(actual.columns, expected.columns);
  for (std::size_t i = 0; i < expected.v.size(); ++i)
    EXPECT_NEAR(actual.v[i], expected.v[i], 1e-9 * (1.0 + std::fabs(expected.v[i]))) << "at " << i;
}

inline bool AllNaN(const Values& m) {
  for (double x : m.v)
    if (!std::isnan(x)) return false;
  return true;
}

inline Values ValuesOf(const QOBSrvMatrix& m) {
  Values out = Filled(m.m_rows, m.m_columns, 0.0);
  std::copy(m.m_values, m.m_values + out.v.size(), out.v.begin());
  return out;
}

inline Values ValuesOf(const QOBSrvDenseMatrix& m) {
  Values out = Filled(m.NumberOfRows(), m.NumberOfColumns(), 0.0);
  QOBSrvMatrix local(out.rows, out.columns, out.v.data(), false, false);
  if (!out.v.empty()) m.GetValues(0, out.rows - 1, 0, out.columns - 1, local);
  return out;
}

// All values of a handle, through its block copy.
inline Values ValuesOf(const uma_Matrix& m) {
  uma_IncoreMatrix out(m.NumRows(), m.NumColumns(), nullptr);
  if (m.NumRows() > 0 && m.NumColumns() > 0)
    m.GetValues(0, m.NumRows() - 1, 0, m.NumColumns() - 1, out);
  return ValuesOf(*uma_TestAccess::Incore(out));
}

inline std::unique_ptr<uma_IncoreMatrix> Incore(const Values& m) {
  auto out = std::make_unique<uma_IncoreMatrix>(m.rows, m.columns, nullptr);
  std::copy(m.v.begin(), m.v.end(), out->Values());
  return out;
}

// Stored dense matrices of one model, opened through a system handle. Handles and dense
// matrices made here are the caller's, to be deleted before this object.
class StoredMatrices {
 public:
  StoredMatrices(const std::string& name, const std::vector<Values>& matrices, bool editable) {
    pfm::ModelBuilder builder(name);
    for (const Values& m : matrices) builder.AddDistribution(m.rows, m.columns, -1, -1, m.v);
    builder.Register();
    m_system = std::make_unique<uma_System>(name.c_str(), editable);
  }

  QOBSrvDenseMatrix* Dense(int index) const {
    return new QOBSrvDenseMatrix(pfm::ids::Distribution(uma_TestAccess::Session(*m_system), index));
  }
  std::unique_ptr<uma_Matrix> ReadOnly(int index) const {
    const uma_System* owner = m_system.get();
    return std::unique_ptr<uma_Matrix>(uma_TestAccess::ReadOnly(Dense(index), owner));
  }
  std::unique_ptr<uma_Matrix> Writable(int index) {
    return std::unique_ptr<uma_Matrix>(uma_TestAccess::Writable(Dense(index), m_system.get()));
  }

 private:
  std::unique_ptr<uma_System> m_system;
};

}  // namespace products
