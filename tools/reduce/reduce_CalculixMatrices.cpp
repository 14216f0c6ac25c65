// Readers of the files CalculiX's matrix storage step writes.
#include "reduce_CalculixMatrices.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "reduce_CalculixText.h"
#include "reduce_InputError.h"

namespace uma::reduce {

namespace {

std::ifstream Open(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw InputError(path + ": cannot be read");
  return in;
}

std::vector<std::string> Tokens(const std::string& line) {
  std::vector<std::string> out;
  std::istringstream in(line);
  for (std::string t; in >> t;) out.push_back(t);
  return out;
}

}  // namespace

std::vector<CalculixRow> ReadCalculixDofs(const std::string& path) {
  std::ifstream in = Open(path);
  return ReadCalculixDofs(path, in);
}

std::vector<CalculixRow> ReadCalculixDofs(const std::string& name, std::istream& in) {
  std::vector<CalculixRow> rows;
  std::string text;
  long line = 0;
  while (std::getline(in, text)) {
    ++line;
    const std::string t = ccx::Trim(text);
    if (t.empty()) continue;
    const std::size_t dot = t.find('.');
    CalculixRow r;
    r.line = line;
    if (dot == std::string::npos || !ccx::ParseInt(t.substr(0, dot), r.node) ||
        !ccx::ParseInt(t.substr(dot + 1), r.direction) || t[0] == '-' || t[0] == '+')
      throw InputError(Where(name, line) + "\"" + t + "\" is not \"node.direction\"");
    if (r.node <= 0)
      throw InputError(Where(name, line) + "node " + std::to_string(r.node) +
                       " is not a positive label");
    if (r.direction < 1 || r.direction > 3)
      throw InputError(Where(name, line) + "direction " + t.substr(dot + 1) +
                       " is not read: only 1, 2 and 3 (displacements)");
    rows.push_back(r);
  }
  if (rows.empty()) throw InputError(name + ": no degree of freedom");
  return rows;
}

SparseMatrix ReadCalculixMatrix(const std::string& path, int size, const std::string& what) {
  std::ifstream in = Open(path);
  return ReadCalculixMatrix(path, in, size, what);
}

SparseMatrix ReadCalculixMatrix(const std::string& name, std::istream& in, int size,
                                const std::string& what) {
  struct Entry {
    int row, column;
    double value;
    long line;
  };
  std::vector<Entry> entries;
  std::string text;
  long line = 0;
  while (std::getline(in, text)) {
    ++line;
    std::vector<std::string> t = Tokens(text);
    if (t.empty()) continue;
    Entry e{0, 0, 0.0, line};
    if (t.size() != 3)
      throw InputError(Where(name, line) + "an entry of the " + what +
                       " matrix is \"row column value\"");
    if (!ccx::ParseInt(t[0], e.row) || !ccx::ParseInt(t[1], e.column))
      throw InputError(Where(name, line) + "row or column is not an integer");
    if (e.row < 1 || e.row > size || e.column < 1 || e.column > size)
      throw InputError(Where(name, line) + "entry (" + t[0] + ", " + t[1] + ") is outside the " +
                       std::to_string(size) + " rows the .dof file gives");
    if (!ccx::ParseReal(t[2], e.value))
      throw InputError(Where(name, line) + "value \"" + t[2] + "\" is not a finite number");
    if (e.row > e.column) std::swap(e.row, e.column);  // one triangle: either will do
    entries.push_back(e);
  }
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    return a.column < b.column ||
           (a.column == b.column && (a.row < b.row || (a.row == b.row && a.line < b.line)));
  });
  std::vector<Eigen::Triplet<double, int>> triplets;
  triplets.reserve(entries.size() * 2);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const Entry& e = entries[i];
    if (i > 0 && entries[i - 1].row == e.row && entries[i - 1].column == e.column)
      throw InputError(Where(name, e.line) + "entry (" + std::to_string(e.row) + ", " +
                       std::to_string(e.column) + ") is given again (first on line " +
                       std::to_string(entries[i - 1].line) + ")");
    triplets.emplace_back(e.row - 1, e.column - 1, e.value);
    if (e.row != e.column) triplets.emplace_back(e.column - 1, e.row - 1, e.value);
  }
  SparseMatrix m(size, size);
  m.setFromTriplets(triplets.begin(), triplets.end());
  m.makeCompressed();
  return m;
}

}  // namespace uma::reduce
