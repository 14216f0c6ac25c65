#include "reduce_MatrixMarket.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>

#include "reduce_InputError.h"

namespace reduce {

namespace {

std::vector<std::string> Tokens(const std::string& line) {
  std::vector<std::string> out;
  std::istringstream in(line);
  for (std::string t; in >> t;) out.push_back(t);
  return out;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool Blank(const std::string& line) {
  return std::all_of(line.begin(), line.end(),
                     [](unsigned char c) { return std::isspace(c) != 0; });
}

class Reader {
 public:
  explicit Reader(const std::string& path) : m_path(path), m_in(path) {
    if (!m_in) throw InputError(path + ": cannot be read");
  }

  [[noreturn]] void Fail(const std::string& reason) const {
    throw InputError(Where(m_path, m_line) + reason);
  }

  // The next line that is neither a comment nor blank; false at the end of the file.
  bool NextDataLine(std::string& line) {
    while (std::getline(m_in, line)) {
      ++m_line;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.empty() || line[0] == '%' || Blank(line)) continue;
      return true;
    }
    return false;
  }

  bool FirstLine(std::string& line) {
    if (!std::getline(m_in, line)) return false;
    ++m_line;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
  }

  long Integer(const std::string& token, long low, long high, const char* what) const {
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(token.c_str(), &end, 10);
    if (end == token.c_str() || *end != '\0' || errno == ERANGE)
      Fail(std::string(what) + " \"" + token + "\" is not an integer");
    if (v < low || v > high)
      Fail(std::string(what) + " " + token + " is outside " + std::to_string(low) + ".." +
           std::to_string(high));
    return static_cast<long>(v);
  }

  double Real(const std::string& token, bool integerField) const {
    if (integerField)
      return static_cast<double>(Integer(token, std::numeric_limits<long>::min(),
                                         std::numeric_limits<long>::max(), "value"));
    errno = 0;
    char* end = nullptr;
    double v = std::strtod(token.c_str(), &end);
    if (end == token.c_str() || *end != '\0') Fail("value \"" + token + "\" is not a number");
    if (!std::isfinite(v) || errno == ERANGE) Fail("value " + token + " is not finite");
    return v;
  }

  long line() const { return m_line; }

 private:
  std::string m_path;
  std::ifstream m_in;
  long m_line = 0;
};

constexpr long kMaxDimension = std::numeric_limits<int>::max();

}  // namespace

MatrixFile ReadMatrixMarket(const std::string& path) {
  Reader in(path);
  MatrixFile out;
  out.path = path;

  std::string line;
  if (!in.FirstLine(line)) in.Fail("empty file, not a Matrix Market file");
  std::vector<std::string> banner = Tokens(line);
  if (banner.size() != 5 || Lower(banner[0]) != "%%matrixmarket" || Lower(banner[1]) != "matrix")
    in.Fail("not a Matrix Market matrix (the first line must be \"%%MatrixMarket matrix ...\")");
  const std::string format = Lower(banner[2]), field = Lower(banner[3]),
                    symmetry = Lower(banner[4]);
  if (format != "coordinate" && format != "array")
    in.Fail("format \"" + banner[2] + "\" is neither coordinate nor array");
  if (field != "real" && field != "integer" && field != "double")
    in.Fail("field \"" + banner[3] + "\" is not read: only real or integer matrices");
  if (symmetry != "general" && symmetry != "symmetric")
    in.Fail("symmetry \"" + banner[4] + "\" is not read: only general or symmetric matrices");
  const bool coordinate = format == "coordinate", integerField = field == "integer";
  out.symmetric = symmetry == "symmetric";

  if (!in.NextDataLine(line)) in.Fail("no size line");
  std::vector<std::string> size = Tokens(line);
  if (size.size() != (coordinate ? 3u : 2u))
    in.Fail(coordinate ? "the size line must be \"ROWS COLUMNS ENTRIES\""
                       : "the size line must be \"ROWS COLUMNS\"");
  out.rows = static_cast<int>(in.Integer(size[0], 0, kMaxDimension, "row count"));
  out.columns = static_cast<int>(in.Integer(size[1], 0, kMaxDimension, "column count"));
  if (out.symmetric && out.rows != out.columns)
    in.Fail("a symmetric matrix must be square, not " + size[0] + " x " + size[1]);

  long long expected = 0;
  if (coordinate) {
    expected = in.Integer(size[2], 0, std::numeric_limits<long>::max(), "entry count");
    long long cells = static_cast<long long>(out.rows) * out.columns;
    if (expected > cells) in.Fail("more entries (" + size[2] + ") than the matrix has cells");
  } else if (out.symmetric) {
    expected = static_cast<long long>(out.rows) * (out.rows + 1) / 2;
  } else {
    expected = static_cast<long long>(out.rows) * out.columns;
  }

  // Array files run column by column (the lower triangle of each column when symmetric).
  long long row = 0, column = 0;
  for (long long k = 0; k < expected; ++k) {
    if (!in.NextDataLine(line))
      throw InputError(Where(path, in.line()) + "the file ends after " + std::to_string(k) +
                       " of " + std::to_string(expected) + " entries");
    std::vector<std::string> t = Tokens(line);
    MatrixEntry e;
    e.line = in.line();
    if (coordinate) {
      if (t.size() != 3) in.Fail("an entry must be \"ROW COLUMN VALUE\"");
      e.row = static_cast<int>(in.Integer(t[0], 1, out.rows, "row")) - 1;
      e.column = static_cast<int>(in.Integer(t[1], 1, out.columns, "column")) - 1;
      e.value = in.Real(t[2], integerField);
    } else {
      if (t.size() != 1) in.Fail("an entry of an array file must be one value");
      e.row = static_cast<int>(row);
      e.column = static_cast<int>(column);
      e.value = in.Real(t[0], integerField);
      if (++row == out.rows) row = out.symmetric ? ++column : (++column, 0);
      if (e.value == 0.0) continue;
    }
    out.entries.push_back(e);
  }
  if (in.NextDataLine(line))
    in.Fail("data after the " + std::to_string(expected) + " entries the size line announced");

  // Each cell once: a symmetric file may give a cell in either triangle, but not in both.
  std::vector<std::size_t> order(out.entries.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  auto key = [&](const MatrixEntry& e) {
    int r = e.row, c = e.column;
    if (out.symmetric && r < c) std::swap(r, c);
    return std::pair<int, int>(c, r);
  };
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return key(out.entries[a]) < key(out.entries[b]) ||
           (key(out.entries[a]) == key(out.entries[b]) && a < b);
  });
  for (std::size_t i = 1; i < order.size(); ++i) {
    const MatrixEntry &a = out.entries[order[i - 1]], &b = out.entries[order[i]];
    if (key(a) == key(b))
      throw InputError(Where(path, b.line) + "entry (" + std::to_string(b.row + 1) + ", " +
                       std::to_string(b.column + 1) + ") is given again (first on line " +
                       std::to_string(a.line) + ")");
  }
  return out;
}

SparseMatrix ToSymmetric(const MatrixFile& file, const std::string& what) {
  if (file.rows != file.columns)
    throw InputError(Where(file.path, 0) + "the " + what + " matrix must be square, not " +
                     std::to_string(file.rows) + " x " + std::to_string(file.columns));
  std::vector<Eigen::Triplet<double, int>> triplets;
  triplets.reserve(file.entries.size() * 2);
  if (file.symmetric) {
    for (const MatrixEntry& e : file.entries) {
      triplets.emplace_back(e.row, e.column, e.value);
      if (e.row != e.column) triplets.emplace_back(e.column, e.row, e.value);
    }
  } else {
    // One triangle under a "general" header is how some programs write a symmetric matrix.
    std::size_t upper = 0, lower = 0;
    for (const MatrixEntry& e : file.entries)
      (e.row < e.column ? upper : lower) += e.row != e.column;
    if ((upper == 0) != (lower == 0))
      throw InputError(Where(file.path, 1) + "the " + what + " matrix holds only its " +
                       (upper ? "upper" : "lower") +
                       " triangle under a \"general\" header: if it is symmetric, declare it so "
                       "(%%MatrixMarket matrix coordinate real symmetric)");
    // Every off-diagonal entry must meet its mirror image; cells are unique (checked on reading).
    double largest = 0.0;
    for (const MatrixEntry& e : file.entries) largest = std::max(largest, std::abs(e.value));
    std::vector<const MatrixEntry*> sorted;
    sorted.reserve(file.entries.size());
    for (const MatrixEntry& e : file.entries) sorted.push_back(&e);
    auto less = [](const MatrixEntry* a, const MatrixEntry* b) {
      return a->row < b->row || (a->row == b->row && a->column < b->column);
    };
    std::sort(sorted.begin(), sorted.end(), less);
    for (const MatrixEntry* e : sorted) {
      triplets.emplace_back(e->row, e->column, e->value);
      if (e->row == e->column) continue;
      MatrixEntry probe;
      probe.row = e->column;
      probe.column = e->row;
      auto it = std::lower_bound(sorted.begin(), sorted.end(), &probe, less);
      double mirror = 0.0;
      if (it != sorted.end() && (*it)->row == e->column && (*it)->column == e->row)
        mirror = (*it)->value;
      double gap = std::abs(e->value - mirror);
      double scale = std::max(std::abs(e->value), std::abs(mirror));
      if (gap > 1e-9 * scale && gap > 1e-14 * largest) {
        char values[96];
        std::snprintf(values, sizeof values, "%.17g but (%d, %d) is %.17g", e->value, e->column + 1,
                      e->row + 1, mirror);
        throw InputError(Where(file.path, e->line) + "the " + what + " matrix is not symmetric: (" +
                         std::to_string(e->row + 1) + ", " + std::to_string(e->column + 1) +
                         ") is " + values);
      }
    }
  }
  SparseMatrix m(file.rows, file.columns);
  m.setFromTriplets(triplets.begin(), triplets.end());
  m.makeCompressed();
  return m;
}

Eigen::MatrixXd ToDense(const MatrixFile& file) {
  Eigen::MatrixXd m = Eigen::MatrixXd::Zero(file.rows, file.columns);
  for (const MatrixEntry& e : file.entries) {
    m(e.row, e.column) = e.value;
    if (file.symmetric) m(e.column, e.row) = e.value;
  }
  return m;
}

namespace {

std::FILE* OpenForWriting(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "w");
  if (!f) throw InputError(path + ": cannot be written");
  return f;
}

void Close(std::FILE* f, const std::string& path) {
  bool failed = std::ferror(f) != 0;
  if (std::fclose(f) != 0 || failed) throw InputError(path + ": cannot be written");
}

}  // namespace

void WriteSymmetric(const std::string& path, const SparseMatrix& matrix) {
  long long entries = 0;
  for (int c = 0; c < matrix.outerSize(); ++c)
    for (SparseMatrix::InnerIterator it(matrix, c); it; ++it) entries += it.row() >= c;
  std::FILE* f = OpenForWriting(path);
  std::fprintf(f, "%%%%MatrixMarket matrix coordinate real symmetric\n%lld %lld %lld\n",
               static_cast<long long>(matrix.rows()), static_cast<long long>(matrix.cols()),
               entries);
  for (int c = 0; c < matrix.outerSize(); ++c)
    for (SparseMatrix::InnerIterator it(matrix, c); it; ++it)
      if (it.row() >= c)
        std::fprintf(f, "%ld %d %.17g\n", static_cast<long>(it.row()) + 1, c + 1, it.value());
  Close(f, path);
}

void WriteDense(const std::string& path, const Eigen::MatrixXd& matrix) {
  std::FILE* f = OpenForWriting(path);
  std::fprintf(f, "%%%%MatrixMarket matrix array real general\n%lld %lld\n",
               static_cast<long long>(matrix.rows()), static_cast<long long>(matrix.cols()));
  for (Eigen::Index c = 0; c < matrix.cols(); ++c)
    for (Eigen::Index r = 0; r < matrix.rows(); ++r) std::fprintf(f, "%.17g\n", matrix(r, c));
  Close(f, path);
}

}  // namespace reduce
