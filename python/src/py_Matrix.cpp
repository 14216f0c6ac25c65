// uma.Matrix: a matrix of a system, read into numpy arrays, labelled, multiplied and (for the
// stored matrices of an edit session) written block by block.
#include <pybind11/numpy.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "py_Bindings.h"
#include "py_Library.h"
#include "py_Objects.h"
#include "uma_ArrayInt.h"
#include "uma_IncoreMatrix.h"

namespace umapy {

namespace {

using FortranArray = py::array_t<double, py::array::f_style | py::array::forcecast>;

const char* KindName(uma_Enum::uma_MapTypeEnum kind) {
  switch (kind) {
    case uma_Enum::uma_MapDof:
      return "dof";
    case uma_Enum::uma_MapMode:
      return "mode";
    case uma_Enum::uma_MapNode:
      return "node";
    case uma_Enum::uma_MapElement:
      return "element";
    default:
      return "internal";
  }
}

// A block (both ends included) must lie inside the matrix and hold at least one value: the
// library would abort or throw on anything else.
void CheckBlock(const MatrixHandle& m, std::int64_t r0, std::int64_t c0, std::int64_t r1,
                std::int64_t c1) {
  if (r1 < r0 || c1 < c0)
    throw py::value_error("the block (" + std::to_string(r0) + ", " + std::to_string(c0) +
                          ") .. (" + std::to_string(r1) + ", " + std::to_string(c1) +
                          ") is empty or reversed");
  if (r0 < 0 || c0 < 0 || r1 >= m.rows || c1 >= m.columns)
    throw py::index_error("the block (" + std::to_string(r0) + ", " + std::to_string(c0) +
                          ") .. (" + std::to_string(r1) + ", " + std::to_string(c1) +
                          ") lies outside the " + std::to_string(m.rows) + " x " +
                          std::to_string(m.columns) + " matrix");
}

// Where a block's values go: a new Fortran-ordered array, or the caller's `out`, which must be
// a writable, Fortran-contiguous float64 array of the block's shape (ValueError otherwise).
py::array Destination(const py::object& out, py::ssize_t rows, py::ssize_t columns) {
  if (out.is_none()) return py::array_t<double, py::array::f_style>({rows, columns});
  if (!py::isinstance<py::array>(out)) throw py::value_error("out must be a numpy array");
  auto array = py::reinterpret_borrow<py::array>(out);
  if (!array.dtype().is(py::dtype::of<double>()) || array.ndim() != 2 || array.shape(0) != rows ||
      array.shape(1) != columns || !(array.flags() & py::array::f_style) || !array.writeable())
    throw py::value_error("out must be a writable, Fortran-ordered float64 array of shape (" +
                          std::to_string(rows) + ", " + std::to_string(columns) + ")");
  return array;
}

// The block's values, copied by the library straight into the destination array.
py::array ReadBlock(const MatrixHandle& m, int r0, int c0, int r1, int c1, const py::object& out) {
  py::array destination = Destination(out, r1 - r0 + 1, c1 - c0 + 1);
  double* values = static_cast<double*>(destination.mutable_data());
  RunLocked([&] {
    uma_IncoreMatrix block(r1 - r0 + 1, c1 - c0 + 1, values);
    m.Get().GetValues(r0, r1, c0, c1, block);
    return 0;
  });
  return destination;
}

py::array Values(const MatrixHandle& m, const py::object& out) {
  if (m.rows == 0 || m.columns == 0) {
    py::array destination = Destination(out, m.rows, m.columns);
    RunLocked([&] { return &m.Get(); });  // a closed system still raises
    return destination;
  }
  return ReadBlock(m, 0, 0, m.rows - 1, m.columns - 1, out);
}

py::array Block(const MatrixHandle& m, std::int64_t r0, std::int64_t c0, std::int64_t r1,
                std::int64_t c1, const py::object& out) {
  CheckBlock(m, r0, c0, r1, c1);
  return ReadBlock(m, static_cast<int>(r0), static_cast<int>(c0), static_cast<int>(r1),
                   static_cast<int>(c1), out);
}

// The labels of the rows or columns as an int32 array, or None when the library has none of
// that kind for them.
py::object Labels(const MatrixHandle& m, bool rows, const std::string& kind) {
  uma_Enum::uma_MapTypeEnum type = MapKindOf(kind);
  std::vector<std::int32_t> labels;
  bool found = RunLocked([&] {
    const uma_Matrix& matrix = m.Get();
    std::unique_ptr<uma_ArrayInt> mapped(rows ? matrix.MapRows(type) : matrix.MapColumns(type));
    if (!mapped) return false;
    labels.resize(static_cast<std::size_t>(mapped->Size()));
    for (int i = 0; i < mapped->Size(); ++i) labels[static_cast<std::size_t>(i)] = (*mapped)[i];
    return true;
  });
  if (!found) return py::none();
  py::array_t<std::int32_t> out(static_cast<py::ssize_t>(labels.size()));
  std::copy(labels.begin(), labels.end(), out.mutable_data());
  return std::move(out);
}

std::string Kind(const MatrixHandle& m, bool rows) {
  return RunLocked([&] {
    const uma_Matrix& matrix = m.Get();
    return std::string(KindName(rows ? matrix.TypeRows() : matrix.TypeColumns()));
  });
}

// A·B (or Aᵀ·B) through the library's product, for B a uma.Matrix or anything numpy makes a
// vector or a 2-D array of; a vector B gives a vector.
py::array Product(const MatrixHandle& a, const py::object& operand, bool transpose) {
  const int outer = transpose ? a.columns : a.rows;
  const int inner = transpose ? a.rows : a.columns;
  const char* op = transpose ? "transpose_matmul" : "matmul";
  auto mismatch = [&](std::int64_t rows) {
    return py::value_error(std::string(op) + ": the matrix is " + std::to_string(a.rows) + " x " +
                           std::to_string(a.columns) + ", the operand has " + std::to_string(rows) +
                           " rows");
  };
  if (py::isinstance<MatrixHandle>(operand)) {
    const MatrixHandle& b = operand.cast<const MatrixHandle&>();
    if (b.rows != inner) throw mismatch(b.rows);
    py::array_t<double, py::array::f_style> out({outer, b.columns});
    if (outer == 0 || b.columns == 0 || inner == 0) {
      std::fill_n(out.mutable_data(), out.size(), 0.0);
      RunLocked([&] { return &a.Get() == &b.Get(); });  // closed systems still raise
      return std::move(out);
    }
    double* values = out.mutable_data();
    RunLocked([&] {
      uma_IncoreMatrix result(outer, b.columns, values);
      if (transpose)
        a.Get().TransposeMultiply(&b.Get(), &result);
      else
        a.Get().Multiply(&b.Get(), &result);
      return 0;
    });
    return std::move(out);
  }

  FortranArray b = FortranArray::ensure(operand);
  if (!b)
    throw py::type_error(std::string(op) + ": the operand is neither a uma.Matrix nor numeric");
  if (b.ndim() != 1 && b.ndim() != 2)
    throw py::value_error(std::string(op) + ": the operand must be a vector or a 2-D array, not " +
                          std::to_string(b.ndim()) + "-D");
  const py::ssize_t rows = b.shape(0), columns = b.ndim() == 2 ? b.shape(1) : 1;
  if (rows != inner) throw mismatch(rows);
  if (columns > INT32_MAX) throw py::value_error(std::string(op) + ": the operand is too wide");
  std::vector<py::ssize_t> shape{outer};
  if (b.ndim() == 2) shape.push_back(columns);
  py::array_t<double, py::array::f_style> out(shape);
  if (outer == 0 || columns == 0 || inner == 0) {
    std::fill_n(out.mutable_data(), out.size(), 0.0);
    RunLocked([&] { return &a.Get(); });
    return std::move(out);
  }
  double* values = out.mutable_data();
  double* operandValues = const_cast<double*>(b.data());  // read only by the product
  RunLocked([&] {
    uma_IncoreMatrix right(static_cast<int>(rows), static_cast<int>(columns), operandValues);
    uma_IncoreMatrix result(outer, static_cast<int>(columns), values);
    if (transpose)
      a.Get().TransposeMultiply(&right, &result);
    else
      a.Get().Multiply(&right, &result);
    return 0;
  });
  return std::move(out);
}

// Writes `array` into the block whose first element is (r0, c0).
void SetBlock(const MatrixHandle& m, std::int64_t r0, std::int64_t c0, const py::object& values) {
  if (!m.Writable())
    throw py::value_error(
        "the matrix is read-only: take it with System.get_matrix of a system "
        "opened with edit=True");
  FortranArray block = FortranArray::ensure(values);
  if (!block) throw py::type_error("set_block: the values are not numeric");
  if (block.ndim() != 2)
    throw py::value_error("set_block: the values must be a 2-D array, not " +
                          std::to_string(block.ndim()) + "-D");
  const std::int64_t rows = block.shape(0), columns = block.shape(1);
  if (rows == 0 || columns == 0) throw py::value_error("set_block: the values are empty");
  // The first element inside the matrix first, so that the far end cannot overflow.
  if (r0 < 0 || c0 < 0 || r0 >= m.rows || c0 >= m.columns)
    throw py::index_error("set_block: (" + std::to_string(r0) + ", " + std::to_string(c0) +
                          ") lies outside the " + std::to_string(m.rows) + " x " +
                          std::to_string(m.columns) + " matrix");
  CheckBlock(m, r0, c0, r0 + rows - 1, c0 + columns - 1);
  double* data = const_cast<double*>(block.data());  // read only by SetValues
  RunLocked([&] {
    uma_IncoreMatrix source(static_cast<int>(rows), static_cast<int>(columns), data);
    m.GetWritable().SetValues(static_cast<int>(r0), static_cast<int>(r0 + rows - 1),
                              static_cast<int>(c0), static_cast<int>(c0 + columns - 1), source);
    return 0;
  });
}

std::unique_ptr<MatrixHandle> Submatrix(const MatrixHandle& m, std::int64_t r0, std::int64_t c0,
                                        std::int64_t r1, std::int64_t c1) {
  CheckBlock(m, r0, c0, r1, c1);
  return RunLocked([&] {
    std::unique_ptr<const uma_Matrix> block(m.Get().Submatrix(
        static_cast<int>(r0), static_cast<int>(r1), static_cast<int>(c0), static_cast<int>(c1)));
    if (!block || block->IsNull()) throw QOBBasError("submatrix: the library gave no block");
    return std::make_unique<MatrixHandle>(m.Owner(), std::move(block), nullptr);
  });
}

std::string Repr(const MatrixHandle& m) {
  std::string state;
  RunLocked([&] {
    state = m.Owner()->IsClosed() ? ", closed" : "";
    return 0;
  });
  return "<uma.Matrix " + std::to_string(m.rows) + " x " + std::to_string(m.columns) +
         (m.Writable() ? ", writable" : "") + state + ">";
}

}  // namespace

void BindMatrix(py::module_& module) {
  py::class_<MatrixHandle>(
      module, "Matrix",
      R"doc(A matrix of a system: a stored matrix, or one derived from it (trimmed, filtered, cut out).

Rows and columns are numbered from 0. m[r0:r1, c0:c1] reads a block as numpy slices an array
(half-open, integers drop their axis); block(r0, c0, r1, c1) gives both ends, included. Values
come out as float64 numpy arrays in Fortran (column) order, copied once, straight from the
library. A matrix keeps its system alive, but once the system is closed every use raises uma.Error.
Matrices are made by System.matrix, System.get_matrix and FlexibleBody.matrix, never directly.
)doc")
      .def_property_readonly(
          "shape", [](const MatrixHandle& m) { return py::make_tuple(m.rows, m.columns); },
          "(rows, columns)")
      .def_property_readonly(
          "row_kind", [](const MatrixHandle& m) { return Kind(m, true); },
          "What the rows are: \"dof\", \"mode\", \"node\", \"element\", or \"internal\" for rows "
          "without labels of those kinds.")
      .def_property_readonly(
          "col_kind", [](const MatrixHandle& m) { return Kind(m, false); },
          "What the columns are, as row_kind.")
      .def_property_readonly("writable", &MatrixHandle::Writable,
                             "True for a stored matrix of an edit session (System.get_matrix).")
      .def(
          "values", &Values, py::arg("out") = py::none(),
          R"doc(All values as a new float64 array of the matrix's shape, in Fortran order; or written
into `out`, a writable Fortran-ordered float64 array of that shape, which is returned (no
allocation: for reading many times into one buffer). ValueError when `out` does not fit.)doc")
      .def(
          "block", &Block, py::arg("r0"), py::arg("c0"), py::arg("r1"), py::arg("c1"),
          py::arg("out") = py::none(),
          R"doc(block(r0, c0, r1, c1): the values of rows r0..r1 and columns c0..c1, both ends included, as a
new Fortran-ordered float64 array (or in `out`, as for values()).

The bounds are the block's first corner, then its last corner: first row, first column, last
row, last column. This is not the order of the C++ GetValues (first row, last row, first
column, last column), and the ends are included, unlike numpy's slices: m.block(r0, c0, r1, c1)
is m[r0:r1 + 1, c0:c1 + 1]. IndexError when the block leaves the matrix, ValueError when it is
empty or reversed (r1 < r0 or c1 < c0) or `out` does not fit.)doc")
      .def(
          "rows",
          [](const MatrixHandle& m, const std::string& kind) { return Labels(m, true, kind); },
          py::arg("kind"),
          R"doc(One int32 label per row, of the kind asked for: "dof" (local degree of freedom), "node" (node
label), "element" (element label) or "internal" (the set's member numbers). None when the rows
have no labels of that kind (or there are no rows). ValueError for another kind.)doc")
      .def(
          "cols",
          [](const MatrixHandle& m, const std::string& kind) { return Labels(m, false, kind); },
          py::arg("kind"), "One int32 label per column, as rows().")
      .def(
          "__matmul__",
          [](const MatrixHandle& m, const py::object& b) { return Product(m, b, false); },
          py::arg("b"),
          R"doc(self @ b through the library's product: b is a uma.Matrix, a vector or a 2-D array (converted
to float64). The result is a new numpy array (a vector for a vector b). ValueError when the
inner dimensions differ.)doc")
      .def(
          "transpose_matmul",
          [](const MatrixHandle& m, const py::object& b) { return Product(m, b, true); },
          py::arg("b"), "selfᵀ @ b through the library's transposed product, as __matmul__.")
      .def(
          "set_block", &SetBlock, py::arg("r0"), py::arg("c0"), py::arg("values"),
          R"doc(Writes the 2-D array `values` into the block whose first element is (r0, c0). Only for the
writable matrices of an edit session (ValueError otherwise); the change reaches the model file
when the system is closed. IndexError when the block leaves the matrix, ValueError for empty
values.)doc")
      .def(
          "submatrix", &Submatrix, py::arg("r0"), py::arg("c0"), py::arg("r1"), py::arg("c1"),
          R"doc(A new read-only matrix of rows r0..r1 and columns c0..c1 (both ends included), labelled as
this one's rows and columns. Errors as block().)doc")
      .def("__repr__", &Repr)
      // numpy leaves `array @ matrix` to this class, which refuses it: use transpose_matmul.
      .attr("__array_ufunc__") = py::none();
}

}  // namespace umapy
