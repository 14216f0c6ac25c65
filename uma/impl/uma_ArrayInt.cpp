// The integer array of mapping results; its assertion texts and lines are fixed (no clang-format).
#include "uma_ArrayInt.h"
// clang-format off
#include <cstdint>

#include "QOBBasCoreUtils.h"
#include "uma_Diagnostics.h"

namespace {
// Bytes for `size` ints; 0xFFFFFFFF when that does not fit in 32 bits, which the allocator
// always refuses, so that no array gets a buffer shorter than itself.
std::size_t BufferBytes(int size) {
  std::uint64_t bytes = static_cast<std::uint64_t>(static_cast<std::uint32_t>(size)) * 4u;
  return bytes > 0xFFFFFFFFu ? std::size_t{0xFFFFFFFFu} : static_cast<std::size_t>(bytes);
}
}  // namespace

uma_ArrayInt::uma_ArrayInt(int size) : m_size(size), m_buff(nullptr) {
  UMA_ASSERT(m_size>0);
  Allocate(0);
}

// Every element holds `fill`, index 0 first.
uma_ArrayInt::uma_ArrayInt(int size, int fill) : m_size(size), m_buff(nullptr) {
  // The array is never created empty.
  UMA_ASSERT(m_size>0);
  Allocate(0);
  for (int i = 0; i < m_size; ++i) m_buff[i] = fill;
}

// The length comes from exactly one of the stored size and the one passed; the buffer must
// not be held yet.
void uma_ArrayInt::Allocate(int size) {
  UMA_ASSERT(m_buff==0);
  UMA_ASSERT_TEXT((m_size==0 && size>0) || (m_size>0 && size==0), "m_size==0 && size>0 || m_size>0 && size==0");
  if (m_size == 0) m_size = size;
  m_buff = static_cast<int*>(mem_OperatorNewThrowBuiltin(BufferBytes(m_size)));
}

uma_ArrayInt::~uma_ArrayInt() {
  if (m_buff) mem_Free(m_buff);
  m_size = 0;
  m_buff = nullptr;
}

void* uma_ArrayInt::operator new(std::size_t bytes) { return mem_OperatorNewThrow(bytes); }

void uma_ArrayInt::operator delete(void* block) { mem_Free(block); }

// A blank before each value and nothing else: no newline, no flush.
aio_ostream& operator<<(aio_ostream& os, const uma_ArrayInt& a) {
  for (int i = 0; i < a.Size(); ++i) os.put(' ').print_int(a[i]);
  return os;
}

int uma_ArrayInt::operator[](int i) const {
  UMA_ASSERT(0<=i && i<m_size);
  return m_buff[i];
}

// Element access for writing; the caller keeps the index inside the array, as for reading.
// An index outside it is a broken invariant of the caller.
int& uma_ArrayInt::operator[](int i) {
  UMA_ASSERT(0<=i && i<m_size);
  return m_buff[i];
}
