// The extension module uma._uma: the library brought up once per process (and taken down at
// interpreter exit, after every system still open is closed, edit sessions discarded with a
// warning), platform errors as Python exceptions with their kind, the store's settings, the
// type and option constants, and the allocator's count for leak tests.
#include <pybind11/pybind11.h>

#include <climits>
#include <cmath>

#include "QOBBasCoreUtils.h"
#include "QOBSspUmaCore.h"
#include "pfm_ModelTypes.h"
#include "pfm_Support.h"
#include "py_Bindings.h"
#include "py_Library.h"
#include "py_Objects.h"
#include "uma_System.h"

namespace umapy {

namespace {
int g_count = 0;
bool g_finalized = false;
PyObject* g_error = nullptr;  // uma.Error, kept for the life of the process

// At interpreter exit: systems left open are closed, and edit sessions left open discarded (a
// script that ends by an exception must not save half its edits), each with a warning.
void Finalize() {
  std::vector<std::string> discarded = RunLocked([] {
    std::vector<std::string> paths;
    if (g_finalized) return paths;
    paths = SystemState::CloseAllLocked();
    QOBSspUmaCore_finalize(g_count);
    g_finalized = true;
    return paths;
  });
  if (discarded.empty()) return;
  py::object stderr_ = py::module_::import("sys").attr("stderr");
  if (stderr_.is_none()) return;
  for (const std::string& path : discarded)
    stderr_.attr("write")("uma: the edits of " + path +
                          " were discarded: its system was still open for editing at exit "
                          "(close() it, or leave its with block, to save them)\n");
  stderr_.attr("flush")();
}

// uma.Error with its kind.
void SetError(pfm::FailureKind kind, const char* message) {
  py::object error = py::reinterpret_borrow<py::object>(g_error);
  py::object instance = error(message);
  const char* name = KindName(kind);
  instance.attr("kind") = name ? py::object(py::str(name)) : py::object(py::none());
  PyErr_SetObject(g_error, instance.ptr());
}

pfm::StoreSettings Settings() {
  return RunLocked([] { return pfm::GetStoreSettings(); });
}

py::dict SettingsDict(const pfm::StoreSettings& s) {
  py::dict out;
  out["busy_timeout"] = s.busyTimeoutMs / 1000.0;
  out["reader_cache_kib"] = s.readerCacheKiB;
  return out;
}

py::dict Configure(const py::object& busyTimeout, const py::object& readerCacheKiB) {
  pfm::StoreSettings s = Settings();
  if (!busyTimeout.is_none()) {
    if (!PyNumber_Check(busyTimeout.ptr()) || PyBool_Check(busyTimeout.ptr()))
      throw py::type_error("busy_timeout: a number of seconds");
    const double seconds = PyFloat_AsDouble(busyTimeout.ptr());
    if (PyErr_Occurred()) throw py::error_already_set();
    if (!(seconds >= 0) || seconds * 1000.0 > INT_MAX)
      throw py::value_error("busy_timeout: a number of seconds from 0 to " +
                            std::to_string(INT_MAX / 1000) + ", not " +
                            py::repr(busyTimeout).cast<std::string>());
    s.busyTimeoutMs = static_cast<int>(std::lround(seconds * 1000.0));
  }
  if (!readerCacheKiB.is_none()) {
    if (!py::isinstance<py::int_>(readerCacheKiB) || py::isinstance<py::bool_>(readerCacheKiB))
      throw py::type_error("reader_cache_kib: an int");
    const long long kib = readerCacheKiB.cast<long long>();
    if (kib < 0 || kib > INT_MAX)
      throw py::value_error("reader_cache_kib: from 0 to " + std::to_string(INT_MAX) + ", not " +
                            std::to_string(kib));
    s.readerCacheKiB = static_cast<int>(kib);
  }
  RunLocked([&] {
    pfm::SetStoreSettings(s);
    return 0;
  });
  return SettingsDict(Settings());
}
}  // namespace

std::mutex& LibraryMutex() {
  static std::mutex mutex;
  return mutex;
}

bool& HoldingLibrary() {
  thread_local bool holding = false;
  return holding;
}

const char* KindName(pfm::FailureKind kind) {
  using K = pfm::FailureKind;
  switch (kind) {
    case K::None:
      return nullptr;
    case K::Other:
      return "other";
    case K::NotInitialised:
      return "not_initialised";
    case K::NoSuchFile:
      return "no_such_file";
    case K::NotAModel:
      return "not_a_model";
    case K::NewerVersion:
      return "newer_version";
    case K::Damaged:
      return "damaged";
    case K::InterruptedEdit:
      return "interrupted_edit";
    case K::Unreadable:
      return "unreadable";
    case K::ReadOnly:
      return "read_only";
    case K::IoError:
      return "io_error";
    case K::DiskFull:
      return "disk_full";
    case K::OutOfMemory:
      return "out_of_memory";
    case K::BeingEdited:
      return "being_edited";
    case K::Locked:
      return "locked";
    case K::Changed:
      return "changed";
  }
  return "other";
}

void CheckLibraryUp() {
  if (g_finalized) RaiseError("the library has been shut down (the interpreter is exiting)");
}

void RaiseError(const std::string& message) { throw QOBBasError(message); }

void RaiseError(pfm::FailureKind kind, const std::string& message) {
  throw pfm::StoreError(kind, message);
}

std::string PathArgument(const py::object& path) {
  std::string text = py::module_::import("os").attr("fspath")(path).cast<std::string>();
  if (text.find('\0') != std::string::npos)
    throw py::value_error("a model path must not contain NUL");
  return text;
}

}  // namespace umapy

PYBIND11_MODULE(_uma, module) {
  namespace py = pybind11;
  using namespace umapy;
  module.doc() = "The uma extension module; use the uma package.";

  g_error = PyErr_NewExceptionWithDoc(
      "uma.Error",
      "An error the library or its platform reported, with its plain message.\n\n"
      "kind: what failed, for a program to act on; None for errors that are no failure of a\n"
      "model file (a closed system, say). One of \"no_such_file\", \"not_a_model\",\n"
      "\"newer_version\", \"damaged\", \"interrupted_edit\", \"unreadable\", \"read_only\",\n"
      "\"io_error\", \"disk_full\", \"out_of_memory\", \"being_edited\", \"locked\",\n"
      "\"changed\", \"not_initialised\", \"other\".",
      PyExc_RuntimeError, nullptr);
  if (!g_error) throw py::error_already_set();
  if (PyObject_SetAttrString(g_error, "kind", Py_None) != 0) throw py::error_already_set();
  module.attr("Error") = py::handle(g_error);
  py::register_exception_translator([](std::exception_ptr thrown) {
    try {
      if (thrown) std::rethrow_exception(thrown);
    } catch (const QOBBasOutOfMemory& e) {
      PyErr_SetString(PyExc_MemoryError, e.what());
    } catch (const pfm::StoreError& e) {
      SetError(e.kind(), e.what());
    } catch (const QOBBasError& e) {
      PyErr_SetString(g_error, e.what());
    }
  });

  QOBSspUmaCore_initialize(g_count);
  py::module_::import("atexit").attr("register")(py::cpp_function(&Finalize));

  BindSystem(module);
  BindMatrix(module);
  BindWriter(module);

  // Retrieval options, as uma_System::Options.
  module.attr("FILTER_INTERNAL") = static_cast<int>(uma_System::OptionFilterInternalNodes);
  module.attr("TRIM_STATIC_MODES") = static_cast<int>(uma_System::OptionTrimStaticModes);
  module.attr("TRIM_LOADS") = static_cast<int>(uma_System::OptionTrimLoads);
  // Type indices a model file gives a meaning to.
  module.attr("NODE_COORDINATES") = pfm::types::NodeCoordinates();
  module.attr("REDUCED_STIFFNESS") = pfm::types::ReducedStiffness();
  module.attr("REDUCED_MASS") = pfm::types::ReducedMass();
  module.attr("RECOVERY") = pfm::types::RecoveryMatrix();
  module.attr("MODE_MATRIX") = pfm::types::ModeMatrix();
  module.attr("A_SET") = pfm::types::ASet();
  module.attr("A_SET_NODES") = pfm::types::ASetNodes();
  module.attr("DOF_POSITION") = pfm::types::DofPosition();
  module.attr("MODE_POSITION") = pfm::types::ModePosition();
  module.attr("NODE_POSITION") = pfm::types::NodePosition();
  module.attr("ELEMENT_POSITION") = pfm::types::ElementPosition();
  // Names of the optional model attributes.
  module.attr("UNIT_LENGTH") = pfm::attributes::kUnitLength;
  module.attr("UNIT_MASS") = pfm::attributes::kUnitMass;
  module.attr("UNIT_TIME") = pfm::attributes::kUnitTime;
  module.attr("UNIT_FORCE") = pfm::attributes::kUnitForce;
  module.attr("PROGRAM") = pfm::attributes::kProgram;
  module.attr("DATE") = pfm::attributes::kDate;
  module.attr("SOURCE") = pfm::attributes::kSource;
  module.attr("LUMPED_MASS") = pfm::types::kLumpedMass;
  module.attr("LOADS") = pfm::types::kLoads;
  module.attr("REDUCED_LOADS") = pfm::types::kReducedLoads;
  module.attr("GFAA") = pfm::types::kGFAA;

  module.def(
      "configure", &Configure, py::kw_only(), py::arg("busy_timeout") = py::none(),
      py::arg("reader_cache_kib") = py::none(),
      R"doc(Sets how the store deals with other processes and how much it caches; answers the settings in
effect as a dict. Arguments left out (None) stay as they are.

busy_timeout      how long an open, a read or a commit waits for a lock another process holds
                  (its commit under way, a reader inside a read), in seconds; 0 fails at once.
                  Default 10.
reader_cache_kib  the most each system opened for reading keeps of the pages it read, in KiB
                  (only pages read take memory). Default 131072 (128 MiB).

They take effect at the next open, read or commit (the cache: at the next open).

    uma.configure(busy_timeout=0.5)          # fail fast instead of waiting 10 s
)doc");
}
