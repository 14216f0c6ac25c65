// The extension module uma._uma: the library brought up once per process (and taken down at
// interpreter exit, after every system still open is closed), platform errors as Python
// exceptions, the type and option constants, and the allocator's count for leak tests.
#include <pybind11/pybind11.h>

#include "QOBBasCoreUtils.h"
#include "QOBSspUmaCore.h"
#include "pfm_ModelTypes.h"
#include "pfm_Observe.h"
#include "py_Bindings.h"
#include "py_Library.h"
#include "py_Objects.h"
#include "uma_System.h"

namespace umapy {

namespace {
int g_count = 0;
bool g_finalized = false;
PyObject* g_error = nullptr;  // uma.Error, kept for the life of the process

void Finalize() {
  RunLocked([] {
    if (g_finalized) return 0;
    SystemState::CloseAllLocked();
    QOBSspUmaCore_finalize(g_count);
    g_finalized = true;
    return 0;
  });
}
}  // namespace

std::mutex& LibraryMutex() {
  static std::mutex mutex;
  return mutex;
}

void CheckLibraryUp() {
  if (g_finalized) RaiseError("the library has been shut down (the interpreter is exiting)");
}

void RaiseError(const std::string& message) { throw QOBBasError(message); }

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
      "uma.Error", "An error the library or its platform reported, with its plain message.",
      PyExc_RuntimeError, nullptr);
  if (!g_error) throw py::error_already_set();
  module.attr("Error") = py::handle(g_error);
  py::register_exception_translator([](std::exception_ptr thrown) {
    try {
      if (thrown) std::rethrow_exception(thrown);
    } catch (const QOBBasOutOfMemory& e) {
      PyErr_SetString(PyExc_MemoryError, e.what());
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
      "_live_blocks", [] { return RunLocked([] { return pfm::Allocation().liveBlocks; }); },
      "The platform allocator's live blocks (for leak tests).");
  module.def(
      "_fail_allocation_at",
      [](long long n) {
        RunLocked([n] {
          pfm::FailAllocationAt(n);
          return 0;
        });
      },
      py::arg("n"),
      "Makes the n-th platform allocation from now fail (1: the next; 0: none), for tests.");
}
