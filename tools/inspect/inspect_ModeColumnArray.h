// The mode matrix as point data for VTK's writer, one column at a time: ModeColumns reads a
// column through the library when it is first asked for and lays it out by point, and each
// ModeColumnArray is a read-only VTK array that shows one column's translations or rotations
// from it. The writer asks for the arrays one after the other, so only one column of a large
// model is ever in memory.
#pragma once

#include <vtkGenericDataArray.h>

#include <string>
#include <vector>

#include "uma_Matrix.h"

namespace uma::inspect {

// What a row of the mode matrix moves: a point's translation (slots 0-2, x y z) or rotation
// (slots 3-5); rows of other local dofs move nothing.
struct RowTarget {
  int point = -1;  // -1: the row moves no point
  int slot = 0;
};

class ModeColumns {
 public:
  // `modes` is the mode matrix (none: no rows), which must outlive this object; `rows` says
  // what each of its rows moves, among `points` points.
  ModeColumns(const uma_Matrix* modes, std::vector<RowTarget> rows, int points);

  // Three values per point (0 where the point has no such dof) of column `column`. A read that
  // fails gives zeros and keeps its reason for Failure(); later reads give zeros too.
  const double* Translations(int column);
  const double* Rotations(int column);
  // Why a read failed; "" while none has.
  const std::string& Failure() const { return m_failure; }

 private:
  void Load(int column);

  const uma_Matrix* m_modes;
  std::vector<RowTarget> m_rows;
  int m_column = -1;
  std::string m_failure;
  std::vector<double> m_columnValues, m_translations, m_rotations;
};

// A 3-component double array whose values are one column's translations or rotations, read
// from a ModeColumns on demand. Writing into it does nothing.
class ModeColumnArray : public vtkGenericDataArray<ModeColumnArray, double> {
  using GenericBase = vtkGenericDataArray<ModeColumnArray, double>;

 public:
  // clang-format off
  vtkTypeMacro(ModeColumnArray, GenericBase)
  static ModeColumnArray* New();
  // clang-format on

  // Shows `column` of `source` (which must outlive the array) over `points` tuples.
  void Show(ModeColumns* source, int column, bool rotations, vtkIdType points);

  double GetValue(vtkIdType valueIdx) const { return Values()[valueIdx]; }
  void SetValue(vtkIdType, double) {}
  void GetTypedTuple(vtkIdType tupleIdx, double* tuple) const;
  void SetTypedTuple(vtkIdType, const double*) {}
  double GetTypedComponent(vtkIdType tupleIdx, int comp) const {
    return Values()[3 * tupleIdx + comp];
  }
  void SetTypedComponent(vtkIdType, int, double) {}

 protected:
  ModeColumnArray();
  ~ModeColumnArray() override = default;
  // No storage of its own: any number of tuples up to the points shown.
  bool AllocateTuples(vtkIdType tuples) { return tuples <= m_points; }
  bool ReallocateTuples(vtkIdType tuples) { return tuples <= m_points; }

 private:
  friend class vtkGenericDataArray<ModeColumnArray, double>;
  const double* Values() const;

  ModeColumns* m_source = nullptr;
  int m_column = 0;
  bool m_rotations = false;
  vtkIdType m_points = 0;
};

}  // namespace uma::inspect
