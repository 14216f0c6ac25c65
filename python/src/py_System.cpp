// uma.System and uma.FlexibleBody: a stored system opened by path, its counts, what it stores,
// its matrices with retrieval options, and the flexible-body view's label arrays.
#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "pfm_Support.h"
#include "py_Bindings.h"
#include "py_Library.h"
#include "py_Objects.h"
#include "uma_ArrayInt.h"

namespace umapy {

// A system opened as a flexible body.
class FlexibleBodyState : public SystemState {
 public:
  explicit FlexibleBodyState(const std::string& path) : SystemState(path, false, true) {}
};

namespace {

const int kAllOptions = uma_System::OptionFilterInternalNodes | uma_System::OptionTrimStaticModes |
                        uma_System::OptionTrimLoads;

// A matrix key: a type index (int) or a name (str).
struct Key {
  bool byName = false;
  int type = 0;
  std::string name;
  std::string Text() const {
    return byName ? "\"" + name + "\"" : "of type " + std::to_string(type);
  }
};

Key KeyArgument(const py::object& key) {
  Key k;
  if (py::isinstance<py::str>(key)) {
    k.byName = true;
    k.name = key.cast<std::string>();
    if (k.name.find('\0') != std::string::npos)
      throw py::value_error("a matrix name must not contain NUL");
  } else if (py::isinstance<py::int_>(key) && !py::isinstance<py::bool_>(key)) {
    int overflow = 0;
    const long long type = PyLong_AsLongLongAndOverflow(key.ptr(), &overflow);
    if (overflow != 0 || type < INT32_MIN || type > INT32_MAX)
      throw py::value_error("a type index fits in 32 bits, not " +
                            py::str(key).cast<std::string>());
    k.type = static_cast<int>(type);
  } else {
    throw py::type_error("a matrix key is a type index (int) or a name (str)");
  }
  return k;
}

// Copies a library array out and releases it (library mutex held).
std::vector<std::int32_t> TakeArray(uma_ArrayInt* array) {
  std::unique_ptr<uma_ArrayInt> owned(array);
  std::vector<std::int32_t> out;
  if (!owned) return out;
  out.resize(static_cast<std::size_t>(owned->Size()));
  for (int i = 0; i < owned->Size(); ++i) out[static_cast<std::size_t>(i)] = (*owned)[i];
  return out;
}

py::object ToNumpy(const std::vector<std::int32_t>& labels, bool found) {
  if (!found) return py::none();
  py::array_t<std::int32_t> out(static_cast<py::ssize_t>(labels.size()));
  std::copy(labels.begin(), labels.end(), out.mutable_data());
  return std::move(out);
}

// Runs `map` (which answers a new array or null) on the open system and gives its labels.
template <class Map>
py::object LabelArray(const SystemState& state, Map map) {
  std::vector<std::int32_t> labels;
  bool found = RunLocked([&] {
    uma_ArrayInt* array = map(state);
    labels = TakeArray(array);
    return array != nullptr;
  });
  return ToNumpy(labels, found);
}

py::object Wrap(std::unique_ptr<MatrixHandle> handle) { return py::cast(std::move(handle)); }

std::unique_ptr<MatrixHandle> Retrieve(SystemState& state, const Key& key, int options) {
  return RunLocked([&]() -> std::unique_ptr<MatrixHandle> {
    const uma_System& system = state.Open();
    std::unique_ptr<const uma_Matrix> matrix(key.byName ? system.Matrix(key.name.c_str(), options)
                                                        : system.Matrix(key.type, options));
    if (!matrix) return nullptr;
    return std::make_unique<MatrixHandle>(state.shared_from_this(), std::move(matrix), nullptr);
  });
}

py::object MatrixOf(SystemState& state, const py::object& keyObject, int options) {
  Key key = KeyArgument(keyObject);
  if (options & ~kAllOptions)
    throw py::value_error(
        "options are a combination of FILTER_INTERNAL, TRIM_STATIC_MODES and "
        "TRIM_LOADS, not " +
        std::to_string(options));
  std::unique_ptr<MatrixHandle> handle = Retrieve(state, key, options);
  if (!handle) throw py::key_error("no dense matrix " + key.Text() + " in " + state.Path());
  return Wrap(std::move(handle));
}

py::object WritableMatrix(SystemState& state, const py::object& keyObject) {
  Key key = KeyArgument(keyObject);
  if (!state.Editable())
    throw py::value_error(state.Path() + " is open for reading: open it with edit=True to write");
  std::unique_ptr<MatrixHandle> handle = RunLocked([&]() -> std::unique_ptr<MatrixHandle> {
    uma_System& system = state.Open();
    uma_Matrix* matrix =
        key.byName ? system.GetMatrix(key.name.c_str()) : system.GetMatrix(key.type);
    if (!matrix) return nullptr;
    std::unique_ptr<const uma_Matrix> owned(matrix);
    return std::make_unique<MatrixHandle>(state.shared_from_this(), std::move(owned), matrix);
  });
  if (!handle)
    throw py::key_error("no stored matrix " + key.Text() + " (a type index or a user matrix) in " +
                        state.Path());
  return Wrap(std::move(handle));
}

// What the model stores, for System.matrices and System.attributes: a list of tuples (the
// package turns them into MatrixInfo) and the attributes as a dict.
py::tuple Contents(SystemState& state) {
  struct Entry {
    pfm::StoredMatrix stored;
    std::string rowKind, columnKind;
  };
  std::vector<Entry> entries;
  std::map<std::string, std::string> attributes;
  std::string failure;
  pfm::FailureKind kind = pfm::FailureKind::Other;
  RunLocked([&] {
    const uma_System& system = state.Open();
    pfm::ModelContents contents;
    if (!pfm::ReadContents(state.Path(), contents)) {
      failure = pfm::LastOpenFailure();
      kind = pfm::LastOpenFailureKind();
      if (failure.empty()) {
        failure = state.Path() + ": the model holds no system";
        kind = pfm::FailureKind::Other;
      }
      return 0;
    }
    attributes = contents.attributes;
    for (const pfm::StoredMatrix& stored : contents.matrices) {
      Entry e{stored, "", ""};
      // The kinds are those of the stored matrix as the system hands it out.
      std::unique_ptr<const uma_Matrix> matrix(stored.key == pfm::StoredMatrix::Key::Type
                                                   ? system.Matrix(stored.type, 0)
                                                   : system.Matrix(stored.name.c_str(), 0));
      if (matrix) {
        const uma_Enum::uma_MapTypeEnum kinds[] = {matrix->TypeRows(), matrix->TypeColumns()};
        const char* names[] = {"dof", "mode", "node", "element", "internal"};
        e.rowKind = names[kinds[0] >= 0 && kinds[0] <= 4 ? kinds[0] : 4];
        e.columnKind = names[kinds[1] >= 0 && kinds[1] <= 4 ? kinds[1] : 4];
      }
      entries.push_back(std::move(e));
    }
    return 0;
  });
  if (!failure.empty()) RaiseError(kind, failure);
  py::list out;
  for (const Entry& e : entries) {
    const pfm::StoredMatrix& s = e.stored;
    const char* how = s.key == pfm::StoredMatrix::Key::Type         ? "type"
                      : s.key == pfm::StoredMatrix::Key::UserMatrix ? "user_matrix"
                                                                    : "name";
    py::object key = s.key == pfm::StoredMatrix::Key::Type ? py::object(py::int_(s.type))
                                                           : py::object(py::str(s.name));
    auto kind = [](const std::string& k) {
      return k.empty() ? py::object(py::none()) : py::str(k);
    };
    out.append(py::make_tuple(key, how, py::make_tuple(s.rows, s.columns), s.dense, kind(e.rowKind),
                              kind(e.columnKind)));
  }
  return py::make_tuple(out, py::cast(attributes));
}

void Close(SystemState& state) {
  pfm::FailureKind kind = pfm::FailureKind::None;
  std::string failure = RunLocked([&] {
    state.Open();  // closing twice raises
    std::string why = state.CloseLocked();
    kind = pfm::LastCloseFailureKind();
    return why;
  });
  if (!failure.empty()) RaiseError(kind, failure);
}

void Discard(SystemState& state) {
  RunLocked([&] {
    state.Open();  // closing twice raises
    state.DiscardLocked();
    return 0;
  });
}

template <class Answer>
Answer Ask(const SystemState& state, Answer (uma_System::*question)() const) {
  return RunLocked([&] { return (state.Open().*question)(); });
}

py::object FacadeMatrix(FlexibleBodyState& body, const py::object& keyObject) {
  Key key = KeyArgument(keyObject);
  std::unique_ptr<MatrixHandle> handle = RunLocked([&]() -> std::unique_ptr<MatrixHandle> {
    uma_FlexibleBodyX& facade = body.Facade();
    std::unique_ptr<const uma_Matrix> matrix(key.byName ? facade.Matrix(key.name.c_str())
                                                        : facade.Matrix(key.type));
    if (!matrix) return nullptr;
    return std::make_unique<MatrixHandle>(body.shared_from_this(), std::move(matrix), nullptr);
  });
  if (!handle) throw py::key_error("no dense matrix " + key.Text() + " in " + body.Path());
  return Wrap(std::move(handle));
}

// A property of the flexible-body view: one of the facade's label arrays.
template <class Class>
void ViewProperty(Class& cls, const char* name, uma_ArrayInt* (uma_FlexibleBodyX::*view)(),
                  const char* doc) {
  cls.def_property_readonly(
      name,
      [view](const FlexibleBodyState& body) {
        return LabelArray(body, [view](const SystemState& s) { return (s.Facade().*view)(); });
      },
      doc);
}

}  // namespace

void BindSystem(py::module_& module) {
  py::class_<SystemState, std::shared_ptr<SystemState>> system(
      module, "System", R"doc(A stored system, opened from its model file.

    with uma.System("beam.uma") as s:            # for reading
        r = s.matrix(uma.RECOVERY, uma.FILTER_INTERNAL | uma.TRIM_STATIC_MODES | uma.TRIM_LOADS)

System(path, edit=False) opens the model file at `path` (str or os.PathLike); with edit=True,
the stored matrices can be written (get_matrix) and the changes reach the file, in one
transaction, when the system is closed. A model that cannot be opened raises uma.Error with
the reason ("no such file: PATH", "not a model file: PATH", ...).

Edits follow the sqlite3 convention: leaving a `with` block normally closes the system and
commits its edits; leaving it by an exception discards them (the file stays exactly as it was)
and the exception goes on. close() commits, discard() closes without saving; both raise when
the system is closed already. An editing system still open when the interpreter exits is
discarded, with a warning on stderr. A system that is garbage-collected while open is closed
as close() closes it. Matrices taken from the system keep it alive, but raise uma.Error once
it is closed.

A system may be used from several threads; the library runs one call at a time. Closing it
in one thread makes the next call of another on it, or on its matrices, raise uma.Error.
)doc");
  system
      .def(py::init([](const py::object& path, bool edit) {
             return std::make_shared<SystemState>(PathArgument(path), edit, false);
           }),
           py::arg("path"), py::arg("edit") = false)
      .def_property_readonly(
          "type", [](const SystemState& s) { return Ask(s, &uma_System::Type); },
          "The system's type.")
      .def_property_readonly(
          "num_loads", [](const SystemState& s) { return Ask(s, &uma_System::NumLoads); },
          "The number of loads: the leading mode columns that TRIM_LOADS drops.")
      .def_property_readonly(
          "num_static_modes",
          [](const SystemState& s) { return Ask(s, &uma_System::NumStaticModes); },
          "The number of static modes: the trailing dof rows that TRIM_STATIC_MODES drops.")
      .def_property_readonly("path", &SystemState::Path, "The model file's path.")
      .def_property_readonly("editable", &SystemState::Editable, "True when opened with edit=True.")
      .def_property_readonly(
          "closed", [](const SystemState& s) { return RunLocked([&] { return s.IsClosed(); }); },
          "True once the system is closed.")
      .def("_contents", &Contents)
      .def(
          "has_matrix",
          [](const SystemState& s, const py::object& keyObject) {
            Key key = KeyArgument(keyObject);
            return RunLocked([&] {
              const uma_System& system = s.Open();
              return key.byName ? system.HasMatrix(key.name.c_str()) : system.HasMatrix(key.type);
            });
          },
          py::arg("key"),
          R"doc(Whether the system stores a matrix of the type index (int) or the name (str: a user matrix,
else a named matrix), dense or not.)doc")
      .def(
          "matrix", &MatrixOf, py::arg("key"), py::arg("options") = 0,
          R"doc(The matrix of a type index (int) or a name (str), read-only, trimmed and filtered as `options`
asks: a combination of FILTER_INTERNAL (drop the rows and columns of internal nodes),
TRIM_STATIC_MODES (drop the static-mode rows of dof rows) and TRIM_LOADS (drop the load
columns of mode columns). KeyError when there is no such dense matrix; ValueError for other
option bits.)doc")
      .def(
          "get_matrix", &WritableMatrix, py::arg("key"),
          R"doc(The stored matrix of a type index (int) or a user matrix's name (str), unchanged and writable
with Matrix.set_block. Only for a system opened with edit=True (ValueError otherwise); KeyError
when there is no such matrix.)doc")
      .def(
          "component_set",
          [](const SystemState& s, int setType, const std::string& kind) {
            uma_Enum::uma_MapTypeEnum type = MapKindOf(kind);
            return LabelArray(
                s, [&](const SystemState& st) { return st.Open().MapCSet(setType, type); });
          },
          py::arg("set_type"), py::arg("kind"),
          R"doc(The members of the system's component set of a set type (e.g. A_SET) as int32 labels of
`kind` ("dof", "node", "element" or "internal"); None when the set is absent or empty or has no
labels of that kind.)doc")
      .def(
          "close", &Close,
          R"doc(Closes the system: its matrices become unusable and an edit session writes its changes.
uma.Error when the changes could not be saved (with the reason, and its kind: "io_error",
"disk_full", "locked", "read_only", "changed", ...) or when already closed.)doc")
      .def(
          "discard", &Discard,
          R"doc(Closes the system without saving an edit session's changes: the file stays exactly as it was
and other editors may open it at once. For a system opened for reading, the same as close().
uma.Error when already closed.)doc")
      .def("__enter__", [](py::object self) { return self; })
      .def(
          "__exit__",
          [](SystemState& s, const py::object& type, const py::object&, const py::object&) {
            if (RunLocked([&] { return s.IsClosed(); })) return false;
            if (!type.is_none() && s.Editable())
              Discard(s);
            else
              Close(s);
            return false;  // an exception goes on
          },
          py::arg("type"), py::arg("value"), py::arg("traceback"),
          "Closes the system unless it is closed already: commits an edit session (see close()), "
          "or discards it when the block raised (see discard()).")
      .def("__repr__", [](const SystemState& s) {
        bool closed = RunLocked([&] { return s.IsClosed(); });
        return "<uma." + std::string(s.IsFlexibleBody() ? "FlexibleBody" : "System") + " " +
               py::repr(py::str(s.Path())).cast<std::string>() +
               (s.Editable() ? ", editable" : "") + (closed ? ", closed" : "") + ">";
      });

  py::class_<FlexibleBodyState, SystemState, std::shared_ptr<FlexibleBodyState>> body(
      module, "FlexibleBody",
      R"doc(A system opened for reading as a flexible body: the label arrays a flexible-body host needs,
one property each (an int32 array, or None when the model has no answer), and matrices with
fixed options (matrix()). Everything else is as for System.

    body = uma.FlexibleBody("beam.uma")
    body.fe_nodes, body.a_set_nodes, body.recovery_dofs
)doc");
  body.def(py::init([](const py::object& path) {
             return std::make_shared<FlexibleBodyState>(PathArgument(path));
           }),
           py::arg("path"))
      .def(
          "matrix", &FacadeMatrix, py::arg("key"),
          R"doc(The matrix of a type index or a name with the view's own options: node coordinates filtered of
internal nodes, the recovery matrix trimmed of loads and static modes and filtered,
"LumpedMass" filtered, others as stored. KeyError when there is none.)doc");
  ViewProperty(body, "fe_nodes", &uma_FlexibleBodyX::FENodes,
               "External node labels, in the order of the node-coordinate rows.");
  ViewProperty(body, "nodes_in_a_set", &uma_FlexibleBodyX::NodesInASet,
               "The A-set's nodes, then one label per dynamic mode.");
  ViewProperty(body, "a_set_nodes", &uma_FlexibleBodyX::ASetNodes,
               "The node of each A-set degree of freedom, then one label per dynamic mode.");
  ViewProperty(body, "a_set_dofs", &uma_FlexibleBodyX::ASetDofs,
               "The local dof of each A-set degree of freedom, then 0 per dynamic mode.");
  ViewProperty(body, "recovery_nodes", &uma_FlexibleBodyX::RecoverySetNodes,
               "The node of each row of the trimmed, filtered recovery matrix.");
  ViewProperty(body, "recovery_dofs", &uma_FlexibleBodyX::RecoverySetDofs,
               "The local dof of each row of the trimmed, filtered recovery matrix.");
  ViewProperty(body, "gfaa_nodes", &uma_FlexibleBodyX::GFAASetNodes,
               "The node of each column of the user matrix \"xGFAA\".");
  ViewProperty(body, "gfaa_dofs", &uma_FlexibleBodyX::GFAASetDofs,
               "The local dof of each column of the user matrix \"xGFAA\".");
}

}  // namespace umapy
