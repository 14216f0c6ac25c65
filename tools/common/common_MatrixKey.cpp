// One key per stored matrix (see common_MatrixKey.h).
#include "common_MatrixKey.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace uma::common {

namespace {

constexpr char kNamePrefix[] = "name:";

// A type index when `text` is nothing but a whole number within an int.
std::optional<int> TypeOf(const std::string& text) {
  if (text.empty() || text[0] == ' ' || text[0] == '+' || text.find('\0') != std::string::npos)
    return std::nullopt;
  errno = 0;
  char* end = nullptr;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  if (end == text.c_str() || *end != '\0' || errno == ERANGE || value < INT_MIN || value > INT_MAX)
    return std::nullopt;
  return static_cast<int>(value);
}

}  // namespace

MatrixKey MatrixKey::OfType(int type) { return {type, ""}; }

MatrixKey MatrixKey::OfName(std::string name) { return {std::nullopt, std::move(name)}; }

MatrixKey MatrixKey::Parse(const std::string& text) {
  if (text.rfind(kNamePrefix, 0) == 0) return OfName(text.substr(sizeof kNamePrefix - 1));
  if (std::optional<int> type = TypeOf(text)) return OfType(*type);
  return OfName(text);
}

std::string MatrixKey::Text() const {
  if (type) return std::to_string(*type);
  // A name that would read back as something else keeps its prefix.
  const MatrixKey plain = Parse(name);
  return !plain.type && plain.name == name ? name : kNamePrefix + name;
}

}  // namespace uma::common
