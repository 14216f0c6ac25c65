// A directory of its own under /tmp for files that a test or benchmark makes; removed with
// everything in it when the object goes.
#pragma once

#include <string>

namespace uma::sample {

class TempDir {
 public:
  explicit TempDir(const std::string& prefix = "uma-");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return m_path; }
  // `name` inside the directory.
  std::string File(const std::string& name) const { return m_path + "/" + name; }

 private:
  std::string m_path;
};

}  // namespace uma::sample
