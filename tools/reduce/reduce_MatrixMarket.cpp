// A strict reader and a plain writer of Matrix Market files.
#include "reduce_MatrixMarket.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string_view>
#include <utility>

#include "reduce_InputError.h"

namespace uma::reduce {

namespace {

// What isspace() answers in the C locale, by table: this runs for every byte of the file.
struct SpaceTable {
  bool space[256] = {};
  constexpr SpaceTable() {
    for (unsigned char c : {' ', '\t', '\n', '\v', '\f', '\r'}) space[c] = true;
  }
};
constexpr SpaceTable kSpaces;

bool IsSpace(char c) { return kSpaces.space[static_cast<unsigned char>(c)]; }

// The whitespace-separated fields of a line: the first kMax of them, and how many there are.
struct Fields {
  static constexpr int kMax = 5;
  std::string_view at[kMax];
  int count = 0;

  explicit Fields(std::string_view line) {
    const char* p = line.data();
    const char* const end = p + line.size();
    while (true) {
      while (p != end && IsSpace(*p)) ++p;
      if (p == end) return;
      const char* start = p;
      while (p != end && !IsSpace(*p)) ++p;
      if (count < kMax) at[count] = std::string_view(start, static_cast<std::size_t>(p - start));
      ++count;
    }
  }
};

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// Asks the system to back a large array with huge pages, which spares most of the page faults
// of touching it the first time (they cost as much as the copying here).
void AdviseHugePages(void* data, std::size_t bytes) {
  constexpr std::uintptr_t kHuge = 2u << 20;
  const auto first = (reinterpret_cast<std::uintptr_t>(data) + kHuge - 1) & ~(kHuge - 1);
  const auto last = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(kHuge - 1);
  if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

bool Blank(std::string_view line) { return std::all_of(line.begin(), line.end(), IsSpace); }

// The lines of a file, read a block at a time; a line is valid until the next one is asked for.
class Lines {
 public:
  explicit Lines(const std::string& path) : m_path(path) {
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0) throw InputError(path + ": cannot be read");
    m_buffer.resize(kBlock);
  }
  ~Lines() { ::close(m_fd); }
  Lines(const Lines&) = delete;
  Lines& operator=(const Lines&) = delete;

  // The next line without its end ('\n', and a '\r' before it); false at the end of the file.
  bool Next(std::string_view& line) {
    while (true) {
      const char* begin = m_buffer.data() + m_begin;
      const void* end = std::memchr(begin, '\n', m_end - m_begin);
      if (end || (m_eof && m_begin < m_end)) {
        const std::size_t length =
            end ? static_cast<std::size_t>(static_cast<const char*>(end) - begin) : m_end - m_begin;
        m_begin += end ? length + 1 : length;
        line = std::string_view(begin, length);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        ++m_line;
        return true;
      }
      if (m_eof) return false;
      Refill();
    }
  }

  long line() const { return m_line; }
  // The file's size in bytes (0 when the system cannot tell).
  long long bytes() const {
    struct stat st {};
    return ::fstat(m_fd, &st) == 0 ? static_cast<long long>(st.st_size) : 0;
  }

 private:
  static constexpr std::size_t kBlock = 1 << 20;

  // Keeps the unfinished line at the front and reads what follows it.
  void Refill() {
    std::memmove(m_buffer.data(), m_buffer.data() + m_begin, m_end - m_begin);
    m_end -= m_begin;
    m_begin = 0;
    if (m_buffer.size() - m_end < kBlock / 2) m_buffer.resize(m_buffer.size() * 2);
    ssize_t got;
    do {
      got = ::read(m_fd, m_buffer.data() + m_end, m_buffer.size() - m_end);
    } while (got < 0 && errno == EINTR);
    if (got < 0) throw InputError(m_path + ": cannot be read (" + std::strerror(errno) + ")");
    m_end += static_cast<std::size_t>(got);
    m_eof = got == 0;
  }

  std::string m_path;
  int m_fd = -1;
  std::vector<char> m_buffer;
  std::size_t m_begin = 0, m_end = 0;
  bool m_eof = false;
  long m_line = 0;
};

class Reader {
 public:
  explicit Reader(const std::string& path) : m_path(path), m_lines(path) {}

  [[noreturn]] void Fail(const std::string& reason) const {
    throw InputError(Where(m_path, m_lines.line()) + reason);
  }

  // The next line that is neither a comment nor blank; false at the end of the file.
  bool NextDataLine(std::string_view& line) {
    while (m_lines.Next(line))
      if (!line.empty() && line[0] != '%' && !Blank(line)) return true;
    return false;
  }

  bool FirstLine(std::string_view& line) { return m_lines.Next(line); }

  // Plain decimal digits, the usual form, are read here; anything else as strtoll reads it.
  long Integer(std::string_view token, long low, long high, const char* what) const {
    if (!token.empty() && token.size() <= 18) {
      long v = 0;
      bool digits = true;
      for (char c : token) {
        const unsigned digit = static_cast<unsigned char>(c) - unsigned{'0'};
        digits = digits && digit <= 9;
        v = v * 10 + static_cast<long>(digit);
      }
      if (digits && v >= low && v <= high) return v;
    }
    return IntegerAsWritten(std::string(token), low, high, what);
  }

  // Reads a value with from_chars; what it does not read exactly as strtod would (signs,
  // hexadecimal, infinities, zeros and values out of range) goes to strtod.
  double Real(std::string_view token, bool integerField) const {
    if (integerField)
      return static_cast<double>(Integer(token, std::numeric_limits<long>::min(),
                                         std::numeric_limits<long>::max(), "value"));
    double v = 0.0;
    const char* end = token.data() + token.size();
    auto [at, error] = std::from_chars(token.data(), end, v);
    if (error == std::errc() && at == end && std::isnormal(v)) return v;
    return RealAsWritten(std::string(token));
  }

  long line() const { return m_lines.line(); }
  long long bytes() const { return m_lines.bytes(); }
  const std::string& path() const { return m_path; }

 private:
  long IntegerAsWritten(const std::string& token, long low, long high, const char* what) const {
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

  double RealAsWritten(const std::string& token) const {
    errno = 0;
    char* end = nullptr;
    double v = std::strtod(token.c_str(), &end);
    if (end == token.c_str() || *end != '\0') Fail("value \"" + token + "\" is not a number");
    if (!std::isfinite(v) || errno == ERANGE) Fail("value " + token + " is not finite");
    return v;
  }

  std::string m_path;
  Lines m_lines;
};

constexpr long kMaxDimension = std::numeric_limits<int>::max();

struct Header {
  int rows = 0, columns = 0;
  bool symmetric = false, array = false, integer = false;
  long long expected = 0;  // entries the file gives (every cell of an array file)
};

// Reads the banner and the size line. Throws InputError at the first fault.
Header ReadHeader(Reader& in) {
  Header out;
  std::string_view line;
  if (!in.FirstLine(line)) in.Fail("empty file, not a Matrix Market file");
  Fields banner(line);
  if (banner.count != 5 || Lower(banner.at[0]) != "%%matrixmarket" ||
      Lower(banner.at[1]) != "matrix")
    in.Fail("not a Matrix Market matrix (the first line must be \"%%MatrixMarket matrix ...\")");
  const std::string format = Lower(banner.at[2]), field = Lower(banner.at[3]),
                    symmetry = Lower(banner.at[4]);
  if (format != "coordinate" && format != "array")
    in.Fail("format \"" + std::string(banner.at[2]) + "\" is neither coordinate nor array");
  if (field != "real" && field != "integer" && field != "double")
    in.Fail("field \"" + std::string(banner.at[3]) +
            "\" is not read: only real or integer matrices");
  if (symmetry != "general" && symmetry != "symmetric")
    in.Fail("symmetry \"" + std::string(banner.at[4]) +
            "\" is not read: only general or symmetric matrices");
  const bool coordinate = format == "coordinate";
  out.integer = field == "integer";
  out.symmetric = symmetry == "symmetric";
  out.array = !coordinate;

  if (!in.NextDataLine(line)) in.Fail("no size line");
  Fields size(line);
  if (size.count != (coordinate ? 3 : 2))
    in.Fail(coordinate ? "the size line must be \"ROWS COLUMNS ENTRIES\""
                       : "the size line must be \"ROWS COLUMNS\"");
  out.rows = static_cast<int>(in.Integer(size.at[0], 0, kMaxDimension, "row count"));
  out.columns = static_cast<int>(in.Integer(size.at[1], 0, kMaxDimension, "column count"));
  if (out.symmetric && out.rows != out.columns)
    in.Fail("a symmetric matrix must be square, not " + std::string(size.at[0]) + " x " +
            std::string(size.at[1]));

  if (coordinate) {
    out.expected = in.Integer(size.at[2], 0, std::numeric_limits<long>::max(), "entry count");
    long long cells = static_cast<long long>(out.rows) * out.columns;
    if (out.expected > cells)
      in.Fail("more entries (" + std::string(size.at[2]) + ") than the matrix has cells");
  } else if (out.symmetric) {
    out.expected = static_cast<long long>(out.rows) * (out.rows + 1) / 2;
  } else {
    out.expected = static_cast<long long>(out.rows) * out.columns;
  }
  return out;
}

// Hands each entry after the header to `visit(row, column, value)` (from 0, as the file gives
// them) until it answers false or the entries end; the reader's line() is the entry's line
// meanwhile. Throws InputError at the first fault of the file.
template <class Visit>
void ScanEntries(Reader& in, const Header& h, Visit visit) {
  const bool coordinate = !h.array;
  std::string_view line;
  // Array files run column by column (the lower triangle of each column when symmetric).
  long long row = 0, column = 0;
  for (long long k = 0; k < h.expected; ++k) {
    if (!in.NextDataLine(line))
      throw InputError(Where(in.path(), in.line()) + "the file ends after " + std::to_string(k) +
                       " of " + std::to_string(h.expected) + " entries");
    Fields t(line);
    int r = 0, c = 0;
    double value = 0.0;
    if (coordinate) {
      if (t.count != 3) in.Fail("an entry must be \"ROW COLUMN VALUE\"");
      r = static_cast<int>(in.Integer(t.at[0], 1, h.rows, "row")) - 1;
      c = static_cast<int>(in.Integer(t.at[1], 1, h.columns, "column")) - 1;
      value = in.Real(t.at[2], h.integer);
    } else {
      if (t.count != 1) in.Fail("an entry of an array file must be one value");
      r = static_cast<int>(row);
      c = static_cast<int>(column);
      value = in.Real(t.at[0], h.integer);
      if (++row == h.rows) row = h.symmetric ? ++column : (++column, 0);
    }
    if (!visit(r, c, value)) return;
  }
  if (in.NextDataLine(line))
    in.Fail("data after the " + std::to_string(h.expected) + " entries the size line announced");
}

// Reads the whole file again, handing each entry to `visit` as ScanEntries does.
template <class Visit>
void Rescan(Reader& in, Visit visit) {
  ScanEntries(in, ReadHeader(in), visit);
}

// A cell of a symmetric file counts once, whichever triangle gives it: as its lower-triangle
// (row >= column) position.
std::pair<int, int> Cell(int r, int c, bool symmetric) {
  return symmetric && r < c ? std::pair<int, int>(c, r) : std::pair<int, int>(r, c);
}

// Refuses the second entry the file gives for the cell (r, c) (a lower-triangle position of a
// symmetric file), naming both lines.
[[noreturn]] void GivenTwice(const MatrixFile& file, int r, int c) {
  Reader in(file.path);
  long first = 0;
  Rescan(in, [&](int row, int column, double) {
    if (Cell(row, column, file.symmetric) != std::pair<int, int>(r, c)) return true;
    if (first == 0) {
      first = in.line();
      return true;
    }
    throw InputError(Where(file.path, in.line()) + "entry (" + std::to_string(row + 1) + ", " +
                     std::to_string(column + 1) + ") is given again (first on line " +
                     std::to_string(first) + ")");
  });
  throw InputError(Where(file.path, 0) + "entry (" + std::to_string(r + 1) + ", " +
                   std::to_string(c + 1) + ") is given twice");
}

// The entries as compressed columns, rows sorted in each column, each cell once. `columnOf`
// holds each entry's column and is released.
void Compress(MatrixFile& file, std::vector<int>& columnOf) {
  const std::size_t count = file.values.size();
  bool sorted = true;
  for (std::size_t i = 1; i < count && sorted; ++i)
    sorted = columnOf[i - 1] < columnOf[i] ||
             (columnOf[i - 1] == columnOf[i] && file.rowIndex[i - 1] <= file.rowIndex[i]);
  std::vector<long long> start(static_cast<std::size_t>(file.columns) + 1, 0);
  for (int c : columnOf) ++start[static_cast<std::size_t>(c) + 1];
  for (std::size_t c = 0; c < static_cast<std::size_t>(file.columns); ++c) start[c + 1] += start[c];
  if (!sorted) {
    // Placed by column, then each column sorted by row.
    std::vector<int> rows(count);
    std::vector<double> values(count);
    std::vector<long long> next(start.begin(), start.end() - 1);
    for (std::size_t i = 0; i < count; ++i) {
      const auto at = static_cast<std::size_t>(next[static_cast<std::size_t>(columnOf[i])]++);
      rows[at] = file.rowIndex[i];
      values[at] = file.values[i];
    }
    file.rowIndex.swap(rows);
    file.values.swap(values);
    std::vector<std::pair<int, double>> column;
    for (std::size_t c = 0; c < static_cast<std::size_t>(file.columns); ++c) {
      const auto first = static_cast<std::size_t>(start[c]),
                 last = static_cast<std::size_t>(start[c + 1]);
      column.clear();
      for (std::size_t k = first; k < last; ++k)
        column.emplace_back(file.rowIndex[k], file.values[k]);
      std::stable_sort(column.begin(), column.end(),
                       [](const auto& a, const auto& b) { return a.first < b.first; });
      for (std::size_t k = first; k < last; ++k)
        std::tie(file.rowIndex[k], file.values[k]) = column[k - first];
    }
  }
  std::vector<int>().swap(columnOf);
  file.columnStart.assign(start.begin(), start.end());
  for (int c = 0; c < file.columns; ++c)
    for (long long k = start[static_cast<std::size_t>(c)] + 1;
         k < start[static_cast<std::size_t>(c) + 1]; ++k)
      if (file.rowIndex[static_cast<std::size_t>(k)] ==
          file.rowIndex[static_cast<std::size_t>(k) - 1])
        GivenTwice(file, file.rowIndex[static_cast<std::size_t>(k)], c);
}

}  // namespace

MatrixFile ReadMatrixMarket(const std::string& path) {
  Reader in(path);
  const Header h = ReadHeader(in);
  MatrixFile out;
  out.path = path;
  out.rows = h.rows;
  out.columns = h.columns;
  out.symmetric = h.symmetric;
  out.array = h.array;
  std::vector<int> columnOf;
  if (!h.array) {
    // As many entries as announced, but never more than the file's lines can hold ("1 1 1").
    const auto room = static_cast<std::size_t>(std::min(h.expected, in.bytes() / 5 + 1));
    out.rowIndex.reserve(room);
    columnOf.reserve(room);
    out.values.reserve(room);
    AdviseHugePages(out.rowIndex.data(), room * sizeof(int));
    AdviseHugePages(columnOf.data(), room * sizeof(int));
    AdviseHugePages(out.values.data(), room * sizeof(double));
  }
  ScanEntries(in, h, [&](int r, int c, double value) {
    if (value == 0.0 && h.array) return true;
    std::tie(r, c) = Cell(r, c, h.symmetric);
    out.rowIndex.push_back(r);
    columnOf.push_back(c);
    out.values.push_back(value);
    return true;
  });
  Compress(out, columnOf);
  return out;
}

namespace {

// Where the entry (r, c), as a general file gives it, lies.
long LineOfEntry(const MatrixFile& file, int r, int c) {
  Reader in(file.path);
  long found = 0;
  Rescan(in, [&](int row, int column, double) {
    if (row == r && column == c) found = in.line();
    return found == 0;
  });
  return found;
}

// Refuses a general file whose matrix is not symmetric, at the first entry in row order that
// differs from its mirror image.
void CheckSymmetric(const MatrixFile& file, const std::string& what) {
  // One triangle under a "general" header is how some programs write a symmetric matrix.
  std::int64_t upper = 0, lower = 0;
  for (int c = 0; c < file.columns; ++c)
    for (std::int64_t k = file.columnStart[static_cast<std::size_t>(c)];
         k < file.columnStart[static_cast<std::size_t>(c) + 1]; ++k) {
      const int r = file.rowIndex[static_cast<std::size_t>(k)];
      (r < c ? upper : lower) += r != c && file.values[static_cast<std::size_t>(k)] != 0.0;
    }
  if ((upper == 0) != (lower == 0))
    throw InputError(Where(file.path, 1) + "the " + what + " matrix holds only its " +
                     (upper ? "upper" : "lower") +
                     " triangle under a \"general\" header: if it is symmetric, declare it so "
                     "(%%MatrixMarket matrix coordinate real symmetric)");
  double largest = 0.0;
  for (double v : file.values) largest = std::max(largest, std::abs(v));
  auto at = [&](int r, int c) {
    const int* first = file.rowIndex.data() + file.columnStart[static_cast<std::size_t>(c)];
    const int* last = file.rowIndex.data() + file.columnStart[static_cast<std::size_t>(c) + 1];
    const int* it = std::lower_bound(first, last, r);
    return it != last && *it == r ? file.values[static_cast<std::size_t>(it - file.rowIndex.data())]
                                  : 0.0;
  };
  std::pair<int, int> worst(-1, -1);  // the first (row, column) that differs
  for (int c = 0; c < file.columns; ++c) {
    for (std::int64_t k = file.columnStart[static_cast<std::size_t>(c)];
         k < file.columnStart[static_cast<std::size_t>(c) + 1]; ++k) {
      const int r = file.rowIndex[static_cast<std::size_t>(k)];
      if (r == c || (worst.first >= 0 && std::make_pair(r, c) >= worst)) continue;
      const double value = file.values[static_cast<std::size_t>(k)], mirror = at(c, r);
      const double gap = std::abs(value - mirror);
      const double scale = std::max(std::abs(value), std::abs(mirror));
      if (gap > 1e-9 * scale && gap > 1e-14 * largest) worst = {r, c};
    }
  }
  if (worst.first < 0) return;
  const auto [r, c] = worst;
  char values[96];
  std::snprintf(values, sizeof values, "%.17g but (%d, %d) is %.17g", at(r, c), c + 1, r + 1,
                at(c, r));
  throw InputError(Where(file.path, LineOfEntry(file, r, c)) + "the " + what +
                   " matrix is not symmetric: (" + std::to_string(r + 1) + ", " +
                   std::to_string(c + 1) + ") is " + values);
}

// Room for `count` entries of a matrix of int indices, or a refusal.
void CheckCount(const MatrixFile& file, const std::string& what, std::int64_t count) {
  if (count > std::numeric_limits<int>::max())
    throw InputError(Where(file.path, 0) + "the " + what + " matrix has " + std::to_string(count) +
                     " entries in its two triangles; at most " +
                     std::to_string(std::numeric_limits<int>::max()) + " are read");
}

template <class T>
void Release(std::vector<T>& v) {
  std::vector<T>().swap(v);
}

}  // namespace

SparseMatrix ToSymmetric(MatrixFile&& file, const std::string& what) {
  if (file.rows != file.columns)
    throw InputError(Where(file.path, 0) + "the " + what + " matrix must be square, not " +
                     std::to_string(file.rows) + " x " + std::to_string(file.columns));
  const int n = file.rows;
  const auto columns = static_cast<std::size_t>(n);
  SparseMatrix m(n, n);
  if (!file.symmetric) {
    CheckSymmetric(file, what);
    CheckCount(file, what, static_cast<std::int64_t>(file.values.size()));
    m.resizeNonZeros(static_cast<Eigen::Index>(file.values.size()));
    for (std::size_t c = 0; c <= columns; ++c)
      m.outerIndexPtr()[c] = static_cast<int>(file.columnStart[c]);
    std::copy(file.rowIndex.begin(), file.rowIndex.end(), m.innerIndexPtr());
    std::copy(file.values.begin(), file.values.end(), m.valuePtr());
    Release(file.rowIndex);
    Release(file.values);
    return m;
  }
  // Column j is the mirror of row j of the lower triangle (rows above j, in the order of the
  // columns they come from), then column j of the lower triangle itself.
  std::vector<int> above(columns, 0);
  for (std::size_t k = 0; k < file.rowIndex.size(); ++k)
    ++above[static_cast<std::size_t>(file.rowIndex[k])];
  for (std::size_t c = 0; c < columns; ++c)
    if (file.columnStart[c] < file.columnStart[c + 1] &&
        file.rowIndex[static_cast<std::size_t>(file.columnStart[c])] == static_cast<int>(c))
      --above[c];
  std::int64_t total = 0;
  for (std::size_t c = 0; c < columns; ++c)
    total += above[c] + file.columnStart[c + 1] - file.columnStart[c];
  CheckCount(file, what, total);
  m.resizeNonZeros(static_cast<Eigen::Index>(total));
  AdviseHugePages(m.innerIndexPtr(), sizeof(int) * static_cast<std::size_t>(total));
  AdviseHugePages(m.valuePtr(), sizeof(double) * static_cast<std::size_t>(total));
  int* start = m.outerIndexPtr();
  int* rows = m.innerIndexPtr();
  double* values = m.valuePtr();
  start[0] = 0;
  for (std::size_t c = 0; c < columns; ++c)
    start[c + 1] =
        start[c] + above[c] + static_cast<int>(file.columnStart[c + 1] - file.columnStart[c]);
  std::vector<int>& next = above;  // where the next mirrored entry of each column goes
  for (std::size_t c = 0; c < columns; ++c) next[c] = start[c];
  for (std::size_t c = 0; c < columns; ++c) {
    auto k = static_cast<std::size_t>(file.columnStart[c]);
    const auto last = static_cast<std::size_t>(file.columnStart[c + 1]);
    int own = start[c + 1] - static_cast<int>(last - k);
    for (; k < last; ++k, ++own) {
      const int r = file.rowIndex[k];
      rows[own] = r;
      values[own] = file.values[k];
      if (r == static_cast<int>(c)) continue;
      const int mirrored = next[static_cast<std::size_t>(r)]++;
      rows[mirrored] = static_cast<int>(c);
      values[mirrored] = file.values[k];
    }
  }
  Release(file.rowIndex);
  Release(file.values);
  Release(file.columnStart);
  return m;
}

SparseMatrix ToSymmetric(const MatrixFile& file, const std::string& what) {
  return ToSymmetric(MatrixFile(file), what);
}

Eigen::MatrixXd ToDense(const MatrixFile& file) {
  Eigen::MatrixXd m = Eigen::MatrixXd::Zero(file.rows, file.columns);
  for (int c = 0; c < file.columns; ++c)
    for (std::int64_t k = file.columnStart[static_cast<std::size_t>(c)];
         k < file.columnStart[static_cast<std::size_t>(c) + 1]; ++k) {
      const int r = file.rowIndex[static_cast<std::size_t>(k)];
      m(r, c) = file.values[static_cast<std::size_t>(k)];
      if (file.symmetric) m(c, r) = m(r, c);
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

}  // namespace uma::reduce
