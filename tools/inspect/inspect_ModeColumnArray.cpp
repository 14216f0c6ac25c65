// The mode matrix as point data for VTK's writer, read one column at a time.
#include "inspect_ModeColumnArray.h"

#include <vtkObjectFactory.h>

#include <algorithm>
#include <new>

#include "QOBBasCoreUtils.h"
#include "uma_IncoreMatrix.h"

namespace uma::inspect {

ModeColumns::ModeColumns(const uma_Matrix* modes, std::vector<RowTarget> rows, int points)
    : m_modes(modes),
      m_rows(std::move(rows)),
      m_columnValues(m_rows.size()),
      m_translations(3 * static_cast<std::size_t>(points)),
      m_rotations(3 * static_cast<std::size_t>(points)) {}

const double* ModeColumns::Translations(int column) {
  Load(column);
  return m_translations.data();
}

const double* ModeColumns::Rotations(int column) {
  Load(column);
  return m_rotations.data();
}

void ModeColumns::Load(int column) {
  if (column == m_column) return;
  m_column = column;
  std::fill(m_translations.begin(), m_translations.end(), 0.0);
  std::fill(m_rotations.begin(), m_rotations.end(), 0.0);
  if (!m_failure.empty() || !m_modes || m_rows.empty()) return;
  try {
    uma_IncoreMatrix block(static_cast<int>(m_rows.size()), 1, m_columnValues.data());
    m_modes->GetValues(0, static_cast<int>(m_rows.size()) - 1, column, column, block);
  } catch (const QOBBasError& e) {
    m_failure = e.what();
    return;
  } catch (const std::bad_alloc&) {
    m_failure = "out of memory reading the mode matrix";
    return;
  }
  for (std::size_t r = 0; r < m_rows.size(); ++r) {
    const RowTarget& target = m_rows[r];
    if (target.point < 0) continue;
    std::vector<double>& to = target.slot < 3 ? m_translations : m_rotations;
    to[3 * static_cast<std::size_t>(target.point) + static_cast<std::size_t>(target.slot % 3)] =
        m_columnValues[r];
  }
}

vtkStandardNewMacro(ModeColumnArray);

ModeColumnArray::ModeColumnArray() { SetNumberOfComponents(3); }

void ModeColumnArray::Show(ModeColumns* source, int column, bool rotations, vtkIdType points) {
  m_source = source;
  m_column = column;
  m_rotations = rotations;
  m_points = points;
  SetNumberOfTuples(points);
}

void ModeColumnArray::GetTypedTuple(vtkIdType tupleIdx, double* tuple) const {
  const double* values = Values() + 3 * tupleIdx;
  std::copy(values, values + 3, tuple);
}

const double* ModeColumnArray::Values() const {
  return m_rotations ? m_source->Rotations(m_column) : m_source->Translations(m_column);
}

}  // namespace uma::inspect
