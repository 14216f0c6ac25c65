// Questions about component sets that the system, the matrix handle and the facade share.
#pragma once

#include "QOBSimAPI.h"

class uma_ArrayInt;

class uma_SetAccess {
 public:
  // Type index of what the set's members are; 0 (no type) for a null id, without a lookup.
  static int PositionType(const QOBSimCSetID& id);
  // Number of members; 0 for a null id.
  static int Size(const QOBSimCSetID& id);
  // A new array of `size` elements holding the set's ordered member numbers.
  static uma_ArrayInt* Members(const QOBSimCSetID& id, int size);
  // A new array of `size` unset elements, and its buffer for the platform to write into.
  static uma_ArrayInt* NewArray(int size);
  static int* Buffer(uma_ArrayInt& array);
};
