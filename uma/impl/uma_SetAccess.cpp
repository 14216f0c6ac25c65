// Component-set questions shared by the system, the matrix handle and the facade.
#include "uma_SetAccess.h"

#include <memory>

#include "uma_ArrayInt.h"

int uma_SetAccess::PositionType(const QOBSimCSetID& id) {
  if (id.IsNull()) return 0;
  QOBSimPosition position{QOBSimDynamicID(QOBSimCollectionID(id))};
  return position.TypePosition();
}

int uma_SetAccess::Size(const QOBSimCSetID& id) { return id.IsNull() ? 0 : QOBSimCSet(id).Size(); }

uma_ArrayInt* uma_SetAccess::Members(const QOBSimCSetID& id, int size) {
  std::unique_ptr<uma_ArrayInt> array(new uma_ArrayInt(size));
  QOBSimCSet(id).OrderedMembers(array->m_buff);
  return array.release();
}

uma_ArrayInt* uma_SetAccess::NewArray(int size) { return new uma_ArrayInt(size); }

int* uma_SetAccess::Buffer(uma_ArrayInt& array) { return array.m_buff; }
