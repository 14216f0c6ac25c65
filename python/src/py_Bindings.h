// The parts of the uma extension module, each adding its classes and functions.
#pragma once

#include <pybind11/pybind11.h>

namespace umapy {

void BindSystem(pybind11::module_& module);
void BindMatrix(pybind11::module_& module);
void BindWriter(pybind11::module_& module);

}  // namespace umapy
