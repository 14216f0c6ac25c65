// Counted array of int in which the library hands back every mapping result. It always holds at
// least one element, addressed from 0. The receiver owns it and releases it with delete.
//
// Errors. An index outside 0 .. Size()-1 is a broken precondition: the assertion report
// ("Assertion failed: 0<=i && i<m_size", then the file and line) goes to the error stream and
// the process aborts. Nothing else fails once the array exists.
//
// Threads: one thread at a time, as for the whole library (QOBSspUmaCore.h).
#pragma once

#include <cstddef>

#include "uma_Export.h"

class aio_ostream;

class uma_ArrayInt {
 public:
  UMA_EXPORT ~uma_ArrayInt();
  uma_ArrayInt(const uma_ArrayInt&) = delete;
  uma_ArrayInt& operator=(const uma_ArrayInt&) = delete;

  int Size() const { return m_size; }
  // Element access; an index outside 0 .. Size()-1 is an assertion failure.
  UMA_EXPORT int operator[](int i) const;
  UMA_EXPORT int& operator[](int i);

  // Arrays live in the platform allocator.
  UMA_EXPORT static void* operator new(std::size_t bytes);
  UMA_EXPORT static void operator delete(void* block);

 private:
  friend class uma_FlexibleBodyX;
  friend class uma_TestAccess;
  friend class uma_SetAccess;

  UMA_HIDDEN explicit uma_ArrayInt(int size);  // elements left unset
  UMA_HIDDEN uma_ArrayInt(int size, int fill);
  UMA_HIDDEN void Allocate(int size);

  int m_size;
  int* m_buff;
};

// Writes the elements, each preceded by one blank; no newline, no flush.
UMA_EXPORT aio_ostream& operator<<(aio_ostream& os, const uma_ArrayInt& a);
