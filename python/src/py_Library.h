// What every part of the Python binding shares: the one lock under which the library runs, and
// the module's errors.
#pragma once

#include <pybind11/pybind11.h>

#include <mutex>
#include <string>

namespace umapy {

namespace py = pybind11;

// The library and its platform keep process-wide state without locks of their own, so every
// call into them holds this mutex. Callers release the GIL first and take the mutex second
// (RunLocked does both), never the other way round, so that a thread waiting for the library
// never holds the GIL that the thread inside needs to come back.
std::mutex& LibraryMutex();

// Runs `work` without the GIL and under the library mutex. `work` must not touch Python
// objects; platform exceptions pass through and are translated once the GIL is back.
template <class Work>
auto RunLocked(Work&& work) {
  py::gil_scoped_release unlocked;
  std::lock_guard<std::mutex> lock(LibraryMutex());
  return work();
}

// Raises uma.Error once the module has taken the library down (at interpreter exit).
void CheckLibraryUp();

// Raises uma.Error, the Python type of every platform error (QOBBasError), with `message`.
[[noreturn]] void RaiseError(const std::string& message);

// A model path from str or os.PathLike; ValueError for an embedded NUL.
std::string PathArgument(const py::object& path);

}  // namespace umapy
