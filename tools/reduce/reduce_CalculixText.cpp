// Small strict parsers shared by the CalculiX readers.
#include "reduce_CalculixText.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace uma::reduce::ccx {

std::string Trim(const std::string& s) {
  std::size_t a = s.find_first_not_of(" \t\r\n"), b = s.find_last_not_of(" \t\r\n");
  return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (;;) {
    std::size_t comma = line.find(',', start);
    out.push_back(Trim(line.substr(start, comma == std::string::npos ? comma : comma - start)));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (out.size() > 1 && out.back().empty()) out.pop_back();
  return out;
}

bool ParseInt(const std::string& text, int& out) {
  if (text.empty()) return false;
  std::size_t i = text[0] == '-' || text[0] == '+' ? 1 : 0;
  if (i == text.size()) return false;
  for (std::size_t k = i; k < text.size(); ++k)
    if (!std::isdigit(static_cast<unsigned char>(text[k]))) return false;
  errno = 0;
  long long v = std::strtoll(text.c_str(), nullptr, 10);
  if (errno == ERANGE || v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max())
    return false;
  out = static_cast<int>(v);
  return true;
}

bool ParseReal(const std::string& text, double& out) {
  if (text.empty()) return false;
  std::string t = text;
  for (char& c : t)
    if (c == 'D' || c == 'd') c = 'E';
  // strtod would also read hexadecimal numbers, "inf" and "nan": none is a coordinate.
  for (char c : t)
    if (!std::isdigit(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '+' &&
        c != 'E' && c != 'e')
      return false;
  char* end = nullptr;
  out = std::strtod(t.c_str(), &end);
  return end == t.c_str() + t.size() && std::isfinite(out);
}

}  // namespace uma::reduce::ccx
