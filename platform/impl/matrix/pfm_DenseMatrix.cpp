// Stored dense matrices: values read and written through their base, derived matrices as maps
// over it (see pfm_Dense.h).
#include <algorithm>
#include <cstring>
#include <numeric>
#include <string>

#include "pfm_Dense.h"
#include "pfm_Observe.h"

using Impl = QOBSrvDenseMatrix::Impl;

namespace pfm {

BlockShape CheckBlock(const char* operation, int rows, int columns, int firstRow, int lastRow,
                      int firstColumn, int lastColumn) {
  if (firstRow < 0 || firstColumn < 0 || lastRow >= rows || lastColumn >= columns)
    throw QOBBasError(std::string(operation) + ": the block lies outside the " +
                      std::to_string(rows) + " x " + std::to_string(columns) + " matrix");
  if (lastRow < firstRow || lastColumn < firstColumn)
    throw QOBBasError(std::string(operation) + ": the block is empty or reversed");
  return {lastRow - firstRow + 1, lastColumn - firstColumn + 1};
}

void CheckOperand(const char* operation, const char* role, BlockShape block,
                  const QOBSrvMatrix& operand) {
  if (operand.m_rows < block.rows || operand.m_columns < block.columns)
    throw QOBBasError(std::string(operation) + ": the " + role + " is smaller than the block");
}

}  // namespace pfm

namespace {

// A range first..last of a dimension of `size` that may be empty (last = first - 1) but not
// reversed further or outside.
bool RangeFits(int first, int last, int size) {
  return first >= 0 && first <= size && last >= first - 1 && last < size;
}

// A range first..last of a dimension of `size` holding at least one index.
bool BlockFits(int first, int last, int size) { return first >= 0 && first <= last && last < size; }

// Positions first..last; a range from 0 is described by its length alone.
pfm::Selection Range(int first, int last) {
  int count = std::max(0, last - first + 1);
  if (first == 0) return pfm::Selection::Leading(count);
  std::vector<int> out(static_cast<std::size_t>(count));
  std::iota(out.begin(), out.end(), first);
  return pfm::Selection::Of(std::move(out));
}

std::string Bounds(int a, int b, int c, int d) {
  return std::to_string(a) + "," + std::to_string(b) + "," + std::to_string(c) + "," +
         std::to_string(d);
}

// Copies nr x nc values from `base` (leading dimension baseLd) through the maps.
void Gather(const Impl& m, const double* base, std::int64_t baseLd, int r0, int nr, int c0, int nc,
            double* out, std::int64_t ld) {
  for (int c = 0; c < nc; ++c) {
    const double* column = base + static_cast<std::int64_t>(m.BaseColumn(c0 + c)) * baseLd;
    double* to = out + c * ld;
    if (m.rowMap.empty()) {
      std::memmove(to, column + r0, sizeof(double) * static_cast<std::size_t>(nr));
    } else {
      const int* rows = m.rowMap.data() + r0;
      for (int r = 0; r < nr; ++r) to[r] = column[rows[r]];
    }
  }
}

}  // namespace

Impl::~Impl() {
  pfm::Session* s = Session();
  if (s) {
    s->ReleaseSet(rowSet);
    s->ReleaseSet(columnSet);
  }
  if (distribution < 0 || stored) return;
  if (s) {
    auto it = s->views.find(distribution);
    if (it != s->views.end()) {
      it->second.erase(this);
      if (it->second.empty()) s->views.erase(it);
    }
  }
}

void Impl::Watch() {
  if (distribution < 0 || stored) return;
  if (pfm::Session* s = Session()) s->views[distribution].insert(this);
}

void Impl::Read(int r0, int nr, int c0, int nc, double* out, std::int64_t ld) const {
  if (nr <= 0 || nc <= 0) return;
  if (distribution < 0) {
    Gather(*this, block->data(), blockRows, r0, nr, c0, nc, out, ld);
    return;
  }
  pfm::Session* s = Session();
  if (!s) throw QOBBasError("dense matrix: the model it belongs to is closed");
  int baseRows = s->system().distributions[static_cast<std::size_t>(distribution)].rows;
  if (const double* all = s->ContiguousStored(distribution)) {
    Gather(*this, all, baseRows, r0, nr, c0, nc, out, ld);
    return;
  }
  if (rowMap.empty() && colMap.empty()) {
    s->ReadStored(distribution, r0, nr, c0, nc, out, ld);
    return;
  }
  // Values read from the store: each column's span of mapped rows, then picked out.
  std::vector<double> span;
  for (int c = 0; c < nc; ++c) {
    int bc = BaseColumn(c0 + c);
    if (rowMap.empty()) {
      s->ReadStored(distribution, r0, nr, bc, 1, out + c * ld, ld);
      continue;
    }
    auto [lo, hi] = std::minmax_element(rowMap.begin() + r0, rowMap.begin() + r0 + nr);
    span.resize(static_cast<std::size_t>(*hi - *lo + 1));
    s->ReadStored(distribution, *lo, *hi - *lo + 1, bc, 1, span.data(),
                  static_cast<std::int64_t>(span.size()));
    for (int r = 0; r < nr; ++r)
      out[c * ld + r] =
          span[static_cast<std::size_t>(rowMap[static_cast<std::size_t>(r0 + r)] - *lo)];
  }
}

void Impl::Write(int r0, int nr, int c0, int nc, const double* in, std::int64_t ld) {
  if (nr <= 0 || nc <= 0) return;
  if (stored) {
    pfm::Session* s = Session();
    if (!s) throw QOBBasError("dense matrix: the model it belongs to is closed");
    s->WriteStored(distribution, r0, nr, c0, nc, in, ld);
    return;
  }
  if (distribution >= 0 || block.use_count() > 1 || !rowMap.empty() || !colMap.empty()) Detach();
  // A leading block of a larger one keeps the larger one's leading dimension.
  pfm::MemoryValues::PutBlock(block->data(), blockRows, r0, nr, c0, nc, in, ld);
}

void Impl::Detach() {
  auto own = std::make_shared<std::vector<double>>(static_cast<std::size_t>(rows) *
                                                   static_cast<std::size_t>(columns));
  Read(0, rows, 0, columns, own->data(), rows);
  if (distribution >= 0) {
    if (pfm::Session* s = Session()) {
      auto it = s->views.find(distribution);
      if (it != s->views.end()) it->second.erase(this);
    }
  }
  distribution = -1;
  block = std::move(own);
  blockRows = rows;
  rowMap.clear();
  colMap.clear();
}

QOBSrvDenseMatrix::QOBSrvDenseMatrix(const QOBSimDistributionID& id)
    : m_impl(std::make_unique<Impl>()) {
  pfm::NoteDenseMatrix(+1);
  pfm::Session* s = pfm::ids::SessionOf(id, pfm::ids::kDistribution);
  if (!s || id.w[2] < 0 || static_cast<std::size_t>(id.w[2]) >= s->system().distributions.size())
    return;
  const pfm::Distribution& d = s->system().distributions[static_cast<std::size_t>(id.w[2])];
  m_impl->session = s->id;
  m_impl->distribution = id.w[2];
  m_impl->rows = d.rows;
  m_impl->columns = d.columns;
  m_impl->rowSet = d.rowSet;
  m_impl->columnSet = d.columnSet;
  m_impl->stored = true;
}

QOBSrvDenseMatrix::QOBSrvDenseMatrix(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {
  pfm::NoteDenseMatrix(+1);
}

QOBSrvDenseMatrix::~QOBSrvDenseMatrix() { pfm::NoteDenseMatrix(-1); }

bool QOBSrvDenseMatrix::IsNull() const {
  if (m_impl->session == 0) return true;
  return m_impl->distribution >= 0 && m_impl->Session() == nullptr;
}

int QOBSrvDenseMatrix::NumberOfRows() const { return m_impl->rows; }

int QOBSrvDenseMatrix::NumberOfColumns() const {
  if (pfm::hooks().onNumberOfColumns) pfm::hooks().onNumberOfColumns();
  return m_impl->columns;
}

QOBSimCSetID QOBSrvDenseMatrix::RowCSet() const {
  pfm::Session* s = m_impl->Session();
  return s && m_impl->rowSet >= 0 ? pfm::ids::Set(s->id, *s, m_impl->rowSet) : QOBSimCSetID();
}

QOBSimCSetID QOBSrvDenseMatrix::ColumnCSet() const {
  pfm::Session* s = m_impl->Session();
  return s && m_impl->columnSet >= 0 ? pfm::ids::Set(s->id, *s, m_impl->columnSet) : QOBSimCSetID();
}

QOBSrvDenseMatrix* QOBSrvDenseMatrix::Restrict(int firstRow, int lastRow, int firstColumn,
                                               int lastColumn) {
  PFM_JOURNAL("Restrict(" + Bounds(firstRow, lastRow, firstColumn, lastColumn) + ")");
  switch (pfm::hooks().restrictAnswer) {
    case pfm::Forced::Null:
      return nullptr;
    case pfm::Forced::Self:
      return this;
    case pfm::Forced::Normal:
      break;
  }
  if (IsNull() || !RangeFits(firstRow, lastRow, m_impl->rows) ||
      !RangeFits(firstColumn, lastColumn, m_impl->columns))
    return nullptr;
  return pfm::DeriveDense(*this, Range(firstRow, lastRow), Range(firstColumn, lastColumn));
}

QOBSrvDenseMatrix* QOBSrvDenseMatrix::Submatrix(int firstRow, int lastRow, int firstColumn,
                                                int lastColumn) const {
  PFM_JOURNAL("Submatrix(" + Bounds(firstRow, lastRow, firstColumn, lastColumn) + ")");
  if (pfm::hooks().submatrixAnswer != pfm::Forced::Normal) return nullptr;
  if (IsNull() || !BlockFits(firstRow, lastRow, m_impl->rows) ||
      !BlockFits(firstColumn, lastColumn, m_impl->columns))
    return nullptr;
  return pfm::DeriveDense(*this, Range(firstRow, lastRow), Range(firstColumn, lastColumn));
}

void QOBSrvDenseMatrix::GetValues(int firstRow, int lastRow, int firstColumn, int lastColumn,
                                  QOBSrvMatrix& destination) const {
  pfm::BlockShape block = pfm::CheckBlock("GetValues", m_impl->rows, m_impl->columns, firstRow,
                                          lastRow, firstColumn, lastColumn);
  pfm::CheckOperand("GetValues", "destination", block, destination);
  m_impl->Read(firstRow, block.rows, firstColumn, block.columns, destination.m_values,
               destination.m_rows);
}

void QOBSrvDenseMatrix::SetValues(int firstRow, int lastRow, int firstColumn, int lastColumn,
                                  const QOBSrvMatrix& source) {
  pfm::BlockShape block = pfm::CheckBlock("SetValues", m_impl->rows, m_impl->columns, firstRow,
                                          lastRow, firstColumn, lastColumn);
  pfm::CheckOperand("SetValues", "source", block, source);
  m_impl->Write(firstRow, block.rows, firstColumn, block.columns, source.m_values, source.m_rows);
}

bool QOBSrvUtilities::IsDenseMatrix(const QOBSimDistribution& distribution) {
  const QOBSimDistributionID& id = distribution.ID();
  pfm::Session* s = pfm::ids::SessionOf(id, pfm::ids::kDistribution);
  if (!s || id.w[2] < 0 || static_cast<std::size_t>(id.w[2]) >= s->system().distributions.size())
    return false;
  return s->system().distributions[static_cast<std::size_t>(id.w[2])].dense;
}

namespace pfm {

QOBSrvDenseMatrix* DeriveDense(const QOBSrvDenseMatrix& source, const Selection& rows,
                               const Selection& columns) {
  const Impl& src = source.impl();
  if (rows.count > src.rows || columns.count > src.columns)
    throw QOBBasError("derived matrix: more rows or columns than the source has");
  for (int r : rows.listed)
    if (r < 0 || r >= src.rows) throw QOBBasError("derived matrix: a row lies outside the source");
  for (int c : columns.listed)
    if (c < 0 || c >= src.columns)
      throw QOBBasError("derived matrix: a column lies outside the source");
  auto impl = std::make_unique<Impl>();
  impl->session = src.session;
  impl->distribution = src.distribution;
  impl->block = src.block;
  impl->blockRows = src.blockRows;
  impl->rows = rows.count;
  impl->columns = columns.count;
  auto compose = [](const Selection& selected, const std::vector<int>& map) {
    auto count = static_cast<std::size_t>(selected.count);
    bool leading = true;  // a leading run 0, 1, 2, ... over an unmapped base needs no map
    for (std::size_t i = 0; i < selected.listed.size() && leading; ++i)
      leading = selected.listed[i] == static_cast<int>(i);
    if (leading && map.empty()) return std::vector<int>();
    std::vector<int> out(count);
    for (std::size_t i = 0; i < count; ++i)
      out[i] = map.empty() ? selected.At(i) : map[static_cast<std::size_t>(selected.At(i))];
    return out;
  };
  impl->rowMap = compose(rows, src.rowMap);
  impl->colMap = compose(columns, src.colMap);
  if (Session* s = src.Session()) {
    auto subset = [s](int set, const Selection& selected) {
      if (set < 0) return -1;
      const ComponentSet* cs = s->Set(set);
      std::vector<int> members(static_cast<std::size_t>(selected.count));
      for (std::size_t i = 0; i < members.size(); ++i)
        members[i] = cs->members[static_cast<std::size_t>(selected.At(i))];
      return s->DeriveSet(cs->collection, std::move(members));
    };
    impl->rowSet = subset(src.rowSet, rows);
    impl->columnSet = subset(src.columnSet, columns);
  }
  impl->Watch();
  return new QOBSrvDenseMatrix(std::move(impl));
}

const double* DenseValues(const QOBSrvDenseMatrix& matrix, std::vector<double>& scratch) {
  const Impl& m = matrix.impl();
  if (m.rowMap.empty() && m.colMap.empty()) {
    if (m.distribution < 0 && m.block && m.blockRows == m.rows) return m.block->data();
    Session* s = m.Session();
    if (m.distribution >= 0 && s) {
      const Distribution& d = s->system().distributions[static_cast<std::size_t>(m.distribution)];
      const double* all = s->ContiguousStored(m.distribution);
      if (all && d.rows == m.rows) return all;
    }
  }
  scratch.resize(static_cast<std::size_t>(m.rows) * static_cast<std::size_t>(m.columns));
  m.Read(0, m.rows, 0, m.columns, scratch.data(), m.rows);
  return scratch.data();
}

void DenseWriteAll(QOBSrvDenseMatrix& matrix, const double* values) {
  Impl& m = matrix.impl();
  m.Write(0, m.rows, 0, m.columns, values, m.rows);
}

}  // namespace pfm
