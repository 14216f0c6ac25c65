// The platform text stream and the process-wide error stream aio_cerr.
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "QOBBasCoreUtils.h"
#include "QOBSimAPI.h"

aio_ostream aio_cerr(2);

aio_ostream::aio_ostream(int fd) : m_fd(fd), m_sink(nullptr) {}

aio_ostream::aio_ostream(std::string* sink) : m_fd(-1), m_sink(sink) {}

aio_ostream::~aio_ostream() {
  if (!m_pending.empty()) flush();
}

aio_ostream& aio_ostream::print(const char* text) {
  if (text) m_pending += text;
  return *this;
}

aio_ostream& aio_ostream::print_int(int value) {
  m_pending += std::to_string(value);
  return *this;
}

aio_ostream& aio_ostream::put(char c) {
  m_pending += c;
  return *this;
}

aio_ostream& aio_ostream::flush() {
  ++m_flushes;
  std::string* target = m_redirect ? m_redirect : m_sink;
  if (target) {
    *target += m_pending;
  } else if (m_fd >= 0) {
    const char* data = m_pending.data();
    std::size_t left = m_pending.size();
    while (left > 0) {
      ssize_t n = ::write(m_fd, data, left);
      if (n <= 0) break;  // nothing sensible to do about a broken error stream
      data += n;
      left -= static_cast<std::size_t>(n);
    }
  }
  m_pending.clear();
  return *this;
}

void QOBSimAssert::ReportAssertionFailure(const char* expression, const char* file, int line) {
  aio_cerr.print("Assertion failed: ").print(expression).put('\n').flush();
  aio_cerr.print("File ").print(file).print(", line ").print_int(line).put('\n').flush();
  std::abort();
}
