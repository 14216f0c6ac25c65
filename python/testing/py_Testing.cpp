// uma._testing: the platform allocator's accounting and failure injection for the package's own
// tests. Built beside the package in the build tree only, never installed. It takes none of the
// package's locks: call it only while no other thread is inside the library.
#include <pybind11/pybind11.h>

#include "pfm_Observe.h"

namespace py = pybind11;

PYBIND11_MODULE(_testing, module) {
  module.doc() = "What the package's tests observe and force in the platform (not installed).";
  module.def(
      "live_blocks", [] { return pfm::Allocation().liveBlocks; },
      "The platform allocator's live blocks (for leak tests).");
  module.def(
      "fail_allocation_at", [](long long n) { pfm::FailAllocationAt(n); }, py::arg("n"),
      "Makes the n-th platform allocation from now fail (1: the next; 0: none).");
}
