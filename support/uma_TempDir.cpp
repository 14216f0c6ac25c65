// A directory of its own under /tmp for the files a test or benchmark makes.
#include "uma_TempDir.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <stdexcept>
#include <vector>

namespace uma::sample {

TempDir::TempDir(const std::string& prefix) {
  std::string pattern = "/tmp/" + prefix + "XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (!::mkdtemp(buffer.data())) throw std::runtime_error("cannot make a temporary directory");
  m_path = buffer.data();
}

TempDir::~TempDir() {
  // A test may have left the directory read-only.
  std::error_code ignored;
  ::chmod(m_path.c_str(), 0700);
  std::filesystem::remove_all(m_path, ignored);
}

}  // namespace uma::sample
