// In-core matrices: block copies that stay inside both operands and survive shared storage.
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "QOBMtxLinearAlgebra.h"
#include "pfm_Dense.h"

namespace {

// Copies an nr x nc block between column-major arrays; when the two blocks share memory the
// values go through a temporary, so the result is what the source held before the copy.
void CopyBlock(const double* from, std::int64_t fromLd, double* to, std::int64_t toLd, int nr,
               int nc) {
  if (nr <= 0 || nc <= 0) return;
  if (from == to && fromLd == toLd) return;  // the block onto itself
  // Address ranges spanned by the two blocks (pointers into different arrays do not compare).
  auto address = [](const double* p) { return reinterpret_cast<std::uintptr_t>(p); };
  bool overlap = address(from) < address(to + (nc - 1) * toLd + nr) &&
                 address(to) < address(from + (nc - 1) * fromLd + nr);
  std::vector<double> temporary;
  if (overlap) {
    temporary.resize(static_cast<std::size_t>(nr) * static_cast<std::size_t>(nc));
    for (int c = 0; c < nc; ++c)
      std::memcpy(temporary.data() + static_cast<std::int64_t>(c) * nr, from + c * fromLd,
                  sizeof(double) * static_cast<std::size_t>(nr));
    from = temporary.data();
    fromLd = nr;
  }
  for (int c = 0; c < nc; ++c)
    std::memmove(to + c * toLd, from + c * fromLd, sizeof(double) * static_cast<std::size_t>(nr));
}

// Bytes of storage for rows x columns values. The count (below 2^62) is exact in 64 bits; a
// byte count that size_t cannot hold asks for 0xFFFFFFFF bytes, which the allocator always
// refuses, rather than wrap around to a short buffer.
std::size_t StorageBytes(int rows, int columns) {
  const std::uint64_t count =
      static_cast<std::uint64_t>(rows) * static_cast<std::uint64_t>(columns);
  if (count > std::numeric_limits<std::size_t>::max() / sizeof(double))
    return std::size_t{0xFFFFFFFFu};
  return static_cast<std::size_t>(count) * sizeof(double);
}

}  // namespace

QOBSrvMatrix::QOBSrvMatrix(int rows, int columns, double* values, bool, bool)
    : m_values(values), m_rows(rows), m_columns(columns), m_ownsValues(false) {
  if (rows < 0 || columns < 0) throw QOBBasError("in-core matrix: negative dimensions");
  if (values) return;
  std::size_t bytes = StorageBytes(rows, columns);
  m_values = static_cast<double*>(mem_OperatorNewThrowBuiltin(bytes));
  if (bytes) std::memset(m_values, 0, bytes);
  m_ownsValues = true;
}

QOBSrvMatrix::~QOBSrvMatrix() {
  if (m_ownsValues) mem_Free(m_values);
}

void QOBSrvMatrix::GetValues(int firstRow, int lastRow, int firstColumn, int lastColumn,
                             QOBSrvMatrix& destination) const {
  pfm::BlockShape block =
      pfm::CheckBlock("GetValues", m_rows, m_columns, firstRow, lastRow, firstColumn, lastColumn);
  pfm::CheckOperand("GetValues", "destination", block, destination);
  CopyBlock(m_values + firstRow + static_cast<std::int64_t>(firstColumn) * m_rows, m_rows,
            destination.m_values, destination.m_rows, block.rows, block.columns);
}

void QOBSrvMatrix::SetValues(int firstRow, int lastRow, int firstColumn, int lastColumn,
                             const QOBSrvMatrix& source) {
  pfm::BlockShape block =
      pfm::CheckBlock("SetValues", m_rows, m_columns, firstRow, lastRow, firstColumn, lastColumn);
  pfm::CheckOperand("SetValues", "source", block, source);
  CopyBlock(source.m_values, source.m_rows,
            m_values + firstRow + static_cast<std::int64_t>(firstColumn) * m_rows, m_rows,
            block.rows, block.columns);
}

void QOBSrvMatrix::SetValues(int firstRow, int lastRow, int firstColumn, int lastColumn,
                             const double* source) {
  pfm::BlockShape block =
      pfm::CheckBlock("SetValues", m_rows, m_columns, firstRow, lastRow, firstColumn, lastColumn);
  if (!source) throw QOBBasError("SetValues: no source values");
  CopyBlock(source, block.rows,
            m_values + firstRow + static_cast<std::int64_t>(firstColumn) * m_rows, m_rows,
            block.rows, block.columns);
}
