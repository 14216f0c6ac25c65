// The node and dof tables that describe a full model beside its matrices.
#include "reduce_Tables.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <unordered_map>

#include "reduce_InputError.h"

namespace uma::reduce {

namespace {

std::string Trim(const std::string& s) {
  std::size_t a = s.find_first_not_of(" \t\r"), b = s.find_last_not_of(" \t\r");
  return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (;;) {
    std::size_t comma = line.find(',', start);
    out.push_back(Trim(line.substr(start, comma - start)));
    if (comma == std::string::npos) return out;
    start = comma + 1;
  }
}

bool ParseInt(const std::string& s, int& out) {
  errno = 0;
  char* end = nullptr;
  long long v = std::strtoll(s.c_str(), &end, 10);
  if (s.empty() || *end != '\0' || errno == ERANGE || v < std::numeric_limits<int>::min() ||
      v > std::numeric_limits<int>::max())
    return false;
  out = static_cast<int>(v);
  return true;
}

bool ParseReal(const std::string& s, double& out) {
  char* end = nullptr;
  out = std::strtod(s.c_str(), &end);
  return !s.empty() && *end == '\0' && std::isfinite(out);
}

// Calls `row(fields, line)` for each data line; the first one is skipped when it is a header
// (its first field is not an integer).
template <class Row>
void ReadTable(const std::string& path, std::size_t columns, const char* layout, Row row) {
  std::ifstream in(path);
  if (!in) throw InputError(path + ": cannot be read");
  std::string text;
  long line = 0;
  bool first = true;
  while (std::getline(in, text)) {
    ++line;
    std::string t = Trim(text);
    if (t.empty() || t[0] == '#') continue;
    std::vector<std::string> f = Fields(t);
    int probe = 0;
    if (first && !ParseInt(f[0], probe)) {
      first = false;
      continue;
    }
    first = false;
    if (f.size() != columns)
      throw InputError(Where(path, line) + "expected " + std::to_string(columns) + " fields (" +
                       layout + "), found " + std::to_string(f.size()));
    row(f, line);
  }
}

}  // namespace

std::vector<DofRow> ReadDofs(const std::string& path) {
  std::vector<DofRow> out;
  ReadTable(path, 2, "node,ldof", [&](const std::vector<std::string>& f, long line) {
    DofRow d;
    d.line = line;
    if (!ParseInt(f[0], d.node))
      throw InputError(Where(path, line) + "node label \"" + f[0] + "\" is not an integer");
    if (!ParseInt(f[1], d.ldof) || d.ldof < 1 || d.ldof > 6)
      throw InputError(Where(path, line) + "local degree of freedom \"" + f[1] +
                       "\" is not one of 1..6");
    out.push_back(d);
  });
  return out;
}

std::vector<NodeRow> ReadNodes(const std::string& path) {
  std::vector<NodeRow> out;
  std::unordered_map<int, long> seen;
  ReadTable(path, 4, "label,x,y,z", [&](const std::vector<std::string>& f, long line) {
    NodeRow n;
    n.line = line;
    if (!ParseInt(f[0], n.label))
      throw InputError(Where(path, line) + "node label \"" + f[0] + "\" is not an integer");
    double* xyz[] = {&n.x, &n.y, &n.z};
    for (int i = 0; i < 3; ++i)
      if (!ParseReal(f[static_cast<std::size_t>(i) + 1], *xyz[i]))
        throw InputError(Where(path, line) + "coordinate \"" + f[static_cast<std::size_t>(i) + 1] +
                         "\" is not a finite number");
    auto [it, inserted] = seen.emplace(n.label, line);
    if (!inserted)
      throw InputError(Where(path, line) + "node " + f[0] + " is given again (first on line " +
                       std::to_string(it->second) + ")");
    out.push_back(n);
  });
  return out;
}

void WriteDofs(const std::string& path, const std::vector<DofRow>& dofs) {
  std::FILE* f = std::fopen(path.c_str(), "w");
  if (!f) throw InputError(path + ": cannot be written");
  std::fprintf(f, "node,ldof\n");
  for (const DofRow& d : dofs) std::fprintf(f, "%d,%d\n", d.node, d.ldof);
  if (std::fclose(f) != 0) throw InputError(path + ": cannot be written");
}

void WriteNodes(const std::string& path, const std::vector<NodeRow>& nodes) {
  std::FILE* f = std::fopen(path.c_str(), "w");
  if (!f) throw InputError(path + ": cannot be written");
  std::fprintf(f, "label,x,y,z\n");
  for (const NodeRow& n : nodes) std::fprintf(f, "%d,%.17g,%.17g,%.17g\n", n.label, n.x, n.y, n.z);
  if (std::fclose(f) != 0) throw InputError(path + ": cannot be written");
}

}  // namespace uma::reduce
