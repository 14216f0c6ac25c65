// One key per stored matrix, the same in every tool's listing and on every command line: a type
// index ("20068"), or a name ("xGFAA"; "name:123" for a name that would read as a type index).
#pragma once

#include <optional>
#include <string>

namespace uma::common {

struct MatrixKey {
  std::optional<int> type;  // a type index, or else
  std::string name;         // a name: a user matrix, else a named matrix

  static MatrixKey OfType(int type);
  static MatrixKey OfName(std::string name);

  // Reads a key as the tools print it: a whole number that fits an int is a type index, text
  // after "name:" is a name whatever it holds, anything else is a name. Never fails.
  static MatrixKey Parse(const std::string& text);

  // The key as the tools print it; Parse(Text()) gives this key back.
  std::string Text() const;
};

}  // namespace uma::common
