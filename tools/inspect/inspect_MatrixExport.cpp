// One matrix of a model written out for other programs (see inspect_MatrixExport.h).
#include "inspect_MatrixExport.h"

#include <charconv>
#include <memory>
#include <new>
#include <optional>
#include <vector>

#include "pfm_Support.h"
#include "uma_ArrayInt.h"
#include "uma_IncoreMatrix.h"
#include "uma_Matrix.h"
#include "uma_System.h"
#include "common_MatrixKey.h"
#include "common_Model.h"

namespace uma::inspect {

namespace {

// One label per row (or column): "node 1001 dof 3", "node 1001", "element 7", "member 12" (an
// opaque set), or "row 5" / "column 5" (from 1) when nothing labels them.
std::vector<std::string> Labels(const uma_Matrix& m, bool rows, int count) {
  auto map = [&](uma_Enum::uma_MapTypeEnum kind) {
    return uma::common::TakeLabels(rows ? m.MapRows(kind) : m.MapColumns(kind));
  };
  auto fits = [&](const std::optional<std::vector<int>>& v) {
    return v && static_cast<int>(v->size()) == count;
  };
  std::vector<std::string> out(static_cast<std::size_t>(count));
  uma_Enum::uma_MapTypeEnum kind = rows ? m.TypeRows() : m.TypeColumns();
  auto nodes = map(uma_Enum::uma_MapNode);
  if (kind == uma_Enum::uma_MapDof || kind == uma_Enum::uma_MapMode) {
    auto dofs = map(uma_Enum::uma_MapDof);
    if (fits(nodes) && fits(dofs)) {
      for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = "node " + std::to_string((*nodes)[i]) + " dof " + std::to_string((*dofs)[i]);
      return out;
    }
  }
  const char* word = rows ? "row " : "column ";
  std::optional<std::vector<int>> members;
  if (kind == uma_Enum::uma_MapNode && fits(nodes)) {
    word = "node ";
    members = nodes;
  } else if (auto elements = map(uma_Enum::uma_MapElement);
             kind == uma_Enum::uma_MapElement && fits(elements)) {
    word = "element ";
    members = elements;
  } else if (auto internal = map(uma_Enum::uma_MapInternal); fits(internal)) {
    word = "member ";
    members = internal;
  }
  for (std::size_t i = 0; i < out.size(); ++i)
    out[i] = word + std::to_string(members ? (*members)[i] : static_cast<int>(i) + 1);
  return out;
}

// A comment line ends at the first line break: the key and the path keep to one line.
std::string OneLine(std::string s) {
  for (char& c : s)
    if (c == '\n' || c == '\r') c = ' ';
  return s;
}

// The shortest text that reads back as the same double.
std::string Value(double v) {
  char buf[40];
  auto [end, error] = std::to_chars(buf, buf + sizeof buf, v);
  return error == std::errc() ? std::string(buf, end) : std::string("nan");
}

}  // namespace

std::string WriteMatrix(const std::string& model, const MatrixRequest& request, std::ostream& out) {
  uma_System system(model.c_str(), false);
  if (system.IsNull()) return common::OpenFailure();
  const common::MatrixKey key = common::MatrixKey::Parse(request.key);
  std::unique_ptr<const uma_Matrix> m(key.type ? system.Matrix(*key.type, request.options)
                                               : system.Matrix(key.name.c_str(), request.options));
  if (!m) {
    bool exists = key.type ? system.HasMatrix(*key.type) : system.HasMatrix(key.name.c_str());
    return model + ": " +
           (exists ? "the matrix " + request.key + " is not a dense matrix"
                   : "no matrix " + request.key);
  }
  const int rows = m->NumRows(), columns = m->NumColumns();
  std::vector<double> values;
  try {
    values.resize(static_cast<std::size_t>(rows) * static_cast<std::size_t>(columns));
    if (!values.empty()) {
      uma_IncoreMatrix block(rows, columns, values.data());
      m->GetValues(0, rows - 1, 0, columns - 1, block);
    }
  } catch (const QOBBasError& e) {
    return e.what();
  } catch (const std::bad_alloc&) {
    return model + ": the matrix " + request.key + " does not fit in memory";
  }
  std::vector<std::string> rowLabels = Labels(*m, true, rows),
                           columnLabels = Labels(*m, false, columns);
  auto at = [&](int r, int c) {
    return values[static_cast<std::size_t>(r) +
                  static_cast<std::size_t>(c) * static_cast<std::size_t>(rows)];
  };

  if (request.format == MatrixFormat::Csv) {
    out << "\"\"";
    for (const std::string& label : columnLabels) out << ",\"" << label << '"';
    out << '\n';
    for (int r = 0; r < rows; ++r) {
      out << '"' << rowLabels[static_cast<std::size_t>(r)] << '"';
      for (int c = 0; c < columns; ++c) out << ',' << Value(at(r, c));
      out << '\n';
    }
    return "";
  }
  // Matrix Market's array format lists the values column by column.
  out << "%%MatrixMarket matrix array real general\n";
  out << "% model: " << OneLine(model) << "\n% matrix: " << OneLine(request.key) << ", options "
      << request.options << '\n';
  for (int r = 0; r < rows; ++r)
    out << "% row " << r + 1 << ": " << rowLabels[static_cast<std::size_t>(r)] << '\n';
  for (int c = 0; c < columns; ++c)
    out << "% column " << c + 1 << ": " << columnLabels[static_cast<std::size_t>(c)] << '\n';
  out << rows << ' ' << columns << '\n';
  for (int c = 0; c < columns; ++c)
    for (int r = 0; r < rows; ++r) out << Value(at(r, c)) << '\n';
  return "";
}

}  // namespace uma::inspect
