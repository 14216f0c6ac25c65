// The flexible-body facade: label arrays and matrices with fixed retrieval options, built from
// the system's and the matrix handle's own operations.
#include "uma_FlexibleBodyX.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>

#include "QOBSspSubCore.h"
#include "uma_ArrayInt.h"
#include "uma_Matrix.h"
#include "uma_TypeIndex.h"

namespace {

// Maps the rows or the columns of a matrix the facade asked for, and deletes the matrix.
uma_ArrayInt* MapAndRelease(const uma_Matrix* matrix, bool rows, uma_Enum::uma_MapTypeEnum type) {
  std::unique_ptr<const uma_Matrix> owned(matrix);
  if (!owned) return nullptr;
  return rows ? owned->MapRows(type) : owned->MapColumns(type);
}

}  // namespace

uma_FlexibleBodyX::uma_FlexibleBodyX(const char* name) : uma_System(name, false) {}

uma_FlexibleBodyX::~uma_FlexibleBodyX() = default;

const uma_Matrix* uma_FlexibleBodyX::Matrix(int type) {
  if (type == uma_TypeIndex::NodeCoordinates())
    return uma_System::Matrix(type, OptionFilterInternalNodes);
  if (type == uma_TypeIndex::RecoveryMatrix())
    return uma_System::Matrix(type,
                              OptionFilterInternalNodes | OptionTrimStaticModes | OptionTrimLoads);
  return uma_System::Matrix(type, 0);
}

const uma_Matrix* uma_FlexibleBodyX::Matrix(const char* name) {
  // A null name matches nothing and is asked for as the empty name.
  if (name && std::strcmp(name, "LumpedMass") == 0)
    return uma_System::Matrix("LumpedMass", OptionFilterInternalNodes);
  return uma_System::Matrix(name, 0);
}

uma_ArrayInt* uma_FlexibleBodyX::FENodes() {
  return MapAndRelease(Matrix(uma_TypeIndex::NodeCoordinates()), true, uma_Enum::uma_MapNode);
}

uma_ArrayInt* uma_FlexibleBodyX::RecoverySetNodes() {
  return MapAndRelease(Matrix(uma_TypeIndex::RecoveryMatrix()), true, uma_Enum::uma_MapNode);
}

uma_ArrayInt* uma_FlexibleBodyX::RecoverySetDofs() {
  return MapAndRelease(Matrix(uma_TypeIndex::RecoveryMatrix()), true, uma_Enum::uma_MapDof);
}

uma_ArrayInt* uma_FlexibleBodyX::GFAASetNodes() {
  return MapAndRelease(Matrix("xGFAA"), false, uma_Enum::uma_MapNode);
}

uma_ArrayInt* uma_FlexibleBodyX::GFAASetDofs() {
  return MapAndRelease(Matrix("xGFAA"), false, uma_Enum::uma_MapDof);
}

uma_ArrayInt* uma_FlexibleBodyX::NodesInASet() {
  return SetWithDynamicModes(uma_TypeIndex::ASetNodeCSet(), uma_Enum::uma_MapNode, true);
}

uma_ArrayInt* uma_FlexibleBodyX::ASetNodes() {
  return SetWithDynamicModes(uma_TypeIndex::ASetCSet(), uma_Enum::uma_MapNode, true);
}

uma_ArrayInt* uma_FlexibleBodyX::ASetDofs() {
  return SetWithDynamicModes(uma_TypeIndex::ASetCSet(), uma_Enum::uma_MapDof, false);
}

// The mapped set followed by one entry per dynamic mode: its label, or 0.
uma_ArrayInt* uma_FlexibleBodyX::SetWithDynamicModes(int setType, uma_Enum::uma_MapTypeEnum type,
                                                     bool modeLabels) {
  std::unique_ptr<uma_ArrayInt> mapped(MapCSet(setType, type));
  int members = mapped ? mapped->Size() : 0;
  int columns = 0;
  // Owned while it is asked, so that nothing is left behind when the platform throws.
  if (std::unique_ptr<const uma_Matrix> modes{Matrix(uma_TypeIndex::ModeMatrix())})
    columns = modes->NumColumns();
  // More static modes than mode columns leaves no dynamic mode, rather than a negative count;
  // a negative count of static modes counts none.
  int statics = std::max(NumStaticModes(), 0);
  int dynamic = columns > statics ? columns - statics : 0;
  std::int64_t length = std::int64_t{members} + dynamic;
  if (length == 0 || length > INT_MAX) return nullptr;

  std::unique_ptr<uma_ArrayInt> result(new uma_ArrayInt(static_cast<int>(length)));
  uma_ArrayInt& out = *result;
  for (int i = 0; i < members; ++i) out[i] = (*mapped)[i];
  mapped.reset();
  for (int k = 1; k <= dynamic; ++k)
    out[members + k - 1] = modeLabels ? sub_System::MapDynamicMode(k) : 0;
  return result.release();
}
