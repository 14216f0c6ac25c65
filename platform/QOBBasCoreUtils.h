// Core utilities of the platform: the allocator, the error stream, the string base and the
// node bit vector. Every other platform module and the library stand on these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

void QOBBasCoreUtils_initialize(int& count);
void QOBBasCoreUtils_finalize(int& count);

// ---------------------------------------------------------------------------------------------
// Errors. Every failure a platform service reports is one of these, with a plain message.

class QOBBasError : public std::runtime_error {
 public:
  explicit QOBBasError(const std::string& what) : std::runtime_error(what) {}
};

// Thrown by the allocator when a request cannot be met (exhaustion, the refused size
// 0xFFFFFFFF, or a failure injected by a test).
class QOBBasOutOfMemory : public QOBBasError {
 public:
  explicit QOBBasOutOfMemory(std::size_t bytes);
  std::size_t requested() const { return m_bytes; }

 private:
  std::size_t m_bytes;
};

// ---------------------------------------------------------------------------------------------
// Allocator. Blocks from either allocation function are released with mem_Free. A request of
// 0xFFFFFFFF bytes always fails: it is what callers ask for when a size overflows 32 bits.

void* mem_OperatorNewThrow(std::size_t bytes);
void* mem_OperatorNewThrowBuiltin(std::size_t bytes);
void mem_Free(void* block);

// Empty base that routes `new` and `delete` of its derived classes through the allocator.
class mem_AllocationOperators {
 public:
  static void* operator new(std::size_t bytes) { return mem_OperatorNewThrow(bytes); }
  static void operator delete(void* block) { mem_Free(block); }
};

// ---------------------------------------------------------------------------------------------
// Text stream. Text is buffered until flush(); the process-wide instance aio_cerr flushes to
// file descriptor 2 and is usable before any module is initialised.

class aio_ostream {
 public:
  // A stream that flushes to the file descriptor `fd`.
  explicit aio_ostream(int fd);
  // A stream that flushes into `*sink` (which must outlive the stream).
  explicit aio_ostream(std::string* sink);
  aio_ostream(const aio_ostream&) = delete;
  aio_ostream& operator=(const aio_ostream&) = delete;
  ~aio_ostream();

  aio_ostream& print(const char* text);  // a null text writes nothing
  aio_ostream& print_int(int value);     // decimal
  aio_ostream& put(char c);
  aio_ostream& flush();

  // What has been written and not yet flushed, and how often flush() ran.
  const std::string& pending() const { return m_pending; }
  int flushCount() const { return m_flushes; }

  // Redirects what is flushed into `*sink` (null restores the stream's own target).
  void redirect(std::string* sink) { m_redirect = sink; }

 private:
  std::string m_pending;
  int m_fd;
  std::string* m_sink;
  std::string* m_redirect = nullptr;
  int m_flushes = 0;
};

// The platform error stream.
extern aio_ostream aio_cerr;

// ---------------------------------------------------------------------------------------------
// String base of the platform's string classes: an immutable, zero-terminated byte string.

class atr_StringBase {
 public:
  const char* c_str() const { return m_text.c_str(); }
  const std::string& str() const { return m_text; }
  bool IsEmpty() const { return m_text.empty(); }
  bool operator==(const atr_StringBase& other) const { return m_text == other.m_text; }

 protected:
  explicit atr_StringBase(const char* text) : m_text(text ? text : "") {}
  std::string m_text;
};

// The copy-on-write string of the database access layer; a null pointer gives "".
class cow_String : public atr_StringBase {
 public:
  cow_String(const char* text) : atr_StringBase(text) {}  // NOLINT: converting by design
};

// ---------------------------------------------------------------------------------------------
// Bit vector over the node numbers of a system (bit n stands for node number n).

class omi_BlkBitVect {
 public:
  omi_BlkBitVect() = default;
  explicit omi_BlkBitVect(int size)
      : m_words((static_cast<std::size_t>(size) + 63) / 64, 0), m_size(size) {}

  int Size() const { return m_size; }
  bool IsEmpty() const { return Count() == 0; }
  int Count() const;
  // Bits outside 0 .. Size()-1 read as clear; setting one grows the vector.
  bool Test(int bit) const;
  void Set(int bit, bool value = true);

 private:
  std::vector<std::uint64_t> m_words;
  int m_size = 0;
};
