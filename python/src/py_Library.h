// What every part of the Python binding shares: the one lock under which the library runs, and
// the module's errors.
#pragma once

#include <pybind11/pybind11.h>

#include <mutex>
#include <string>

#include "pfm_Support.h"

namespace umapy {

namespace py = pybind11;

// The library and its platform keep process-wide state without locks of their own (one thread
// at a time, pfm_Support.h), so every call into them holds this mutex, destructors included.
// The thread inside never takes the GIL while it holds the mutex, so a thread that waits for
// the mutex may hold the GIL (as destructors do) without a deadlock.
std::mutex& LibraryMutex();

// Whether this thread holds the library mutex now (a destructor run inside a locked call).
bool& HoldingLibrary();

// Runs `work` without the GIL and under the library mutex. `work` must not touch Python
// objects; platform exceptions pass through and are translated once the GIL is back.
template <class Work>
auto RunLocked(Work&& work) {
  if (HoldingLibrary()) return work();
  py::gil_scoped_release unlocked;
  std::lock_guard<std::mutex> lock(LibraryMutex());
  struct Holding {
    Holding() { HoldingLibrary() = true; }
    ~Holding() { HoldingLibrary() = false; }
  } holding;
  return work();
}

// Runs `work` under the library mutex keeping the GIL (or without one, during interpreter
// exit): for destructors, which Python calls at any moment, its finalisation included.
template <class Work>
void RunLockedKeepingGil(Work&& work) {
  if (HoldingLibrary()) {
    work();
    return;
  }
  std::lock_guard<std::mutex> lock(LibraryMutex());
  HoldingLibrary() = true;
  try {
    work();
  } catch (...) {
    HoldingLibrary() = false;
    throw;
  }
  HoldingLibrary() = false;
}

// Raises uma.Error once the module has taken the library down (at interpreter exit).
void CheckLibraryUp();

// Raises uma.Error, the Python type of every platform error (QOBBasError), with `message`; with
// a kind, uma.Error's attribute `kind` names it (KindName), None otherwise.
[[noreturn]] void RaiseError(const std::string& message);
[[noreturn]] void RaiseError(pfm::FailureKind kind, const std::string& message);

// The name of a kind as uma.Error.kind gives it ("damaged", "io_error", ...); null for None.
const char* KindName(pfm::FailureKind kind);

// A model path from str or os.PathLike; ValueError for an embedded NUL.
std::string PathArgument(const py::object& path);

}  // namespace umapy
