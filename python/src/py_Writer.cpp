// uma._write_model: a model file from numpy arrays, through the platform's model builder. The
// package's write_model turns labels and set names into the numbers used here.
#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <cstdint>
#include <string>
#include <vector>

#include "pfm_ModelBuilder.h"
#include "pfm_ModelTypes.h"
#include "pfm_Support.h"
#include "py_Bindings.h"
#include "py_Library.h"

namespace umapy {

namespace {

using IntArray = py::array_t<std::int32_t, py::array::c_style | py::array::forcecast>;
using ValueArray = py::array_t<double, py::array::f_style | py::array::forcecast>;

// A table of `width` integers per row (width 1: a flat array), as rows of ints.
std::vector<std::vector<int>> Table(const py::object& object, int width, const char* what) {
  IntArray array = IntArray::ensure(object);
  if (!array) throw py::type_error(std::string(what) + ": not an array of integers");
  bool flat = width == 1 && array.ndim() == 1;
  if (!flat && (array.ndim() != 2 || array.shape(1) != width))
    throw py::value_error(std::string(what) + ": expected " +
                          (width == 1 ? std::string("a 1-D array")
                                      : "an array of shape (n, " + std::to_string(width) + ")"));
  std::vector<std::vector<int>> rows(static_cast<std::size_t>(array.shape(0)));
  const std::int32_t* data = array.data();
  for (std::size_t i = 0; i < rows.size(); ++i)
    rows[i].assign(data + i * static_cast<std::size_t>(width),
                   data + (i + 1) * static_cast<std::size_t>(width));
  return rows;
}

pfm::MemberKind MemberKindOf(const std::string& kind) {
  if (kind == "dof") return pfm::MemberKind::Dof;
  if (kind == "mode") return pfm::MemberKind::Mode;
  if (kind == "node") return pfm::MemberKind::Node;
  if (kind == "element") return pfm::MemberKind::Element;
  throw py::value_error("a set's kind is \"dof\", \"mode\", \"node\" or \"element\", not \"" +
                        kind + "\"");
}

// One matrix: its values and where it is filed.
struct MatrixEntry {
  std::vector<double> values;  // column by column
  int rows = 0, columns = 0, rowSet = -1, columnSet = -1;
  bool dense = true;
  std::vector<int> types;
  std::vector<std::string> names, userMatrices;
};

MatrixEntry Matrix(const py::tuple& spec) {
  if (spec.size() != 7) throw py::value_error("a matrix entry has 7 fields");
  MatrixEntry m;
  ValueArray values = ValueArray::ensure(spec[0]);
  if (!values || values.ndim() != 2)
    throw py::value_error("a matrix's values must be a 2-D numeric array");
  if (values.shape(0) > INT32_MAX || values.shape(1) > INT32_MAX)
    throw py::value_error("a matrix has more rows or columns than a model holds");
  m.rows = static_cast<int>(values.shape(0));
  m.columns = static_cast<int>(values.shape(1));
  m.values.assign(values.data(), values.data() + values.size());
  m.rowSet = spec[1].cast<int>();
  m.columnSet = spec[2].cast<int>();
  m.types = spec[3].cast<std::vector<int>>();
  m.names = spec[4].cast<std::vector<std::string>>();
  m.userMatrices = spec[5].cast<std::vector<std::string>>();
  m.dense = spec[6].cast<bool>();
  return m;
}

void WriteModel(const py::object& pathObject, int systemType, int loads, int staticModes,
                const py::object& nodeLabels, const py::object& internal, const py::object& dofs,
                const py::object& modes, const py::object& elements, const py::list& sets,
                const std::vector<std::pair<int, int>>& setTypes, const py::list& matrices,
                const std::map<std::string, std::string>& attributes) {
  CheckLibraryUp();
  const std::string path = PathArgument(pathObject);
  auto labels = Table(nodeLabels, 1, "nodes");
  auto internalFlags = Table(internal, 1, "internal");
  if (internalFlags.size() != labels.size()) throw py::value_error("internal: one flag per node");
  auto dofTable = Table(dofs, 2, "dofs");
  auto modeTable = Table(modes, 2, "modes");
  auto elementTable = Table(elements, 1, "elements");
  std::vector<std::pair<pfm::MemberKind, std::vector<int>>> setTable;
  for (const py::handle& set : sets) {
    auto entry = set.cast<py::tuple>();
    if (entry.size() != 2) throw py::value_error("a set entry is (kind, members)");
    auto members = Table(entry[1], 1, "set members");
    std::vector<int> flat;
    for (const auto& m : members) flat.push_back(m[0]);
    setTable.emplace_back(MemberKindOf(entry[0].cast<std::string>()), std::move(flat));
  }
  std::vector<MatrixEntry> matrixTable;
  for (const py::handle& spec : matrices) matrixTable.push_back(Matrix(spec.cast<py::tuple>()));
  for (const auto& [name, value] : attributes)
    if (name.empty() || name.find('\0') != std::string::npos ||
        value.find('\0') != std::string::npos)
      throw py::value_error("attributes: a name must be non-empty and neither may contain NUL");

  RunLocked([&] {
    pfm::ModelBuilder builder(path);
    builder.SystemType(systemType).Loads(loads).StaticModes(staticModes);
    for (std::size_t i = 0; i < labels.size(); ++i)
      builder.AddNode(labels[i][0], internalFlags[i][0] != 0);
    for (const auto& d : dofTable) builder.AddDof(d[0], d[1]);
    for (const auto& m : modeTable) builder.AddMode(m[0], m[1]);
    for (const auto& e : elementTable) builder.AddElement(e[0]);
    for (auto& [kind, members] : setTable) builder.AddSet(kind, std::move(members));
    for (const auto& [type, set] : setTypes) builder.SetForType(type, set);
    for (const auto& [name, value] : attributes) builder.Attribute(name, value);
    for (MatrixEntry& m : matrixTable) {
      int d = builder.AddDistribution(m.rows, m.columns, m.rowSet, m.columnSet, std::move(m.values),
                                      m.dense);
      for (int type : m.types) {
        if (type == pfm::types::NodeCoordinates())
          builder.NodeCoordinates(d);  // node coordinates have a place of their own
        else
          builder.DistributionForType(type, d);
      }
      for (const std::string& name : m.names) builder.DistributionName(name, d);
      for (const std::string& name : m.userMatrices) builder.UserMatrix(name, d);
    }
    pfm::SaveModel(builder, path);
    return 0;
  });
}

}  // namespace

void BindWriter(py::module_& module) {
  module.def("_write_model", &WriteModel, py::arg("path"), py::arg("system_type"),
             py::arg("num_loads"), py::arg("num_static_modes"), py::arg("nodes"),
             py::arg("internal"), py::arg("dofs"), py::arg("modes"), py::arg("elements"),
             py::arg("sets"), py::arg("set_types"), py::arg("matrices"), py::arg("attributes"),
             "The builder behind uma.write_model; use that.");
}

}  // namespace umapy
