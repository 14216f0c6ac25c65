// A process forked from a test, for tests of model files shared by several processes.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <exception>
#include <functional>
#include <string>

namespace filetest {

// A process forked from the test. The child runs `body`, which answers what it saw as text, and
// ends; the two sides step in turn with Signal/AwaitParent (child) and AwaitChild/Go (parent).
class Forked {
 public:
  explicit Forked(const std::function<std::string(Forked&)>& body) {
    if (::pipe(m_up) != 0 || ::pipe(m_down) != 0 || ::pipe(m_result) != 0) std::abort();
    m_pid = ::fork();
    if (m_pid == 0) {
      ::close(m_up[0]);
      ::close(m_down[1]);
      ::close(m_result[0]);
      std::string seen;
      try {
        seen = body(*this);
      } catch (const std::exception& e) {
        seen = std::string("exception: ") + e.what();
      }
      for (std::size_t at = 0; at < seen.size();) {
        ssize_t n = ::write(m_result[1], seen.data() + at, seen.size() - at);
        if (n <= 0) break;
        at += static_cast<std::size_t>(n);
      }
      ::_exit(0);
    }
    ::close(m_up[1]);
    ::close(m_down[0]);
    ::close(m_result[1]);
  }
  ~Forked() { Result(); }
  Forked(const Forked&) = delete;
  Forked& operator=(const Forked&) = delete;

  void Signal() { (void)!::write(m_up[1], "s", 1); }
  void AwaitParent() {
    char c;
    (void)!::read(m_down[0], &c, 1);
  }
  // False when the child ended instead.
  bool AwaitChild() {
    char c;
    return ::read(m_up[0], &c, 1) == 1;
  }
  void Go() { (void)!::write(m_down[1], "g", 1); }

  // What the child answered, once it has ended; how it ended when that was not normally.
  std::string Result() {
    if (m_pid <= 0) return m_seen;
    char buffer[4096];
    for (ssize_t n; (n = ::read(m_result[0], buffer, sizeof buffer)) > 0;)
      m_seen.append(buffer, static_cast<std::size_t>(n));
    int status = 0;
    ::waitpid(m_pid, &status, 0);
    m_pid = 0;
    ::close(m_up[0]);
    ::close(m_down[1]);
    ::close(m_result[0]);
    if (WIFSIGNALED(status)) m_seen += "killed by signal " + std::to_string(WTERMSIG(status));
    return m_seen;
  }

 private:
  int m_up[2], m_down[2], m_result[2];
  pid_t m_pid = -1;
  std::string m_seen;
};

}  // namespace filetest
