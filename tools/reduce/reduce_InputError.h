// The one exception the reduction throws for input it refuses. Its message names the file, and
// the line where one applies ("K.mtx:12: ..."), so that a user can find what to mend.
#pragma once

#include <stdexcept>
#include <string>

namespace uma::reduce {

class InputError : public std::runtime_error {
 public:
  explicit InputError(const std::string& message) : std::runtime_error(message) {}
};

// "FILE:LINE: reason", or "FILE: reason" when `line` is 0.
inline std::string Where(const std::string& file, long line) {
  return line > 0 ? file + ":" + std::to_string(line) + ": " : file + ": ";
}

}  // namespace uma::reduce
