// Sample models shared by the tests, the benchmarks, the examples and the tools.
#pragma once

#include <memory>
#include <string>

#include "pfm_ModelBuilder.h"

namespace uma::sample {

// Matrix and set type indices that the samples use.
int NodeCoordinatesType();  // (31, 37)
int RecoveryMatrixType();   // (20, 68)
int ASetCSetType();         // (20, 72)
int ASetNodeCSetType();     // (20, 73)
int ModeMatrixType();       // (20, 74)

// A small system: type 7, 2 loads, 1 static mode, four nodes (one internal), no matrices.
pfm::ModelBuilder SmallSystem(const std::string& name);

}  // namespace uma::sample
