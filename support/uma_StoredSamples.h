// Sample models for the model files: one that uses every part of the format.
#pragma once

#include <string>

#include "pfm_ModelBuilder.h"

namespace uma::sample {

// Matrix and set type indices that EveryFeature uses beyond those of uma_SampleModels.h.
int StiffnessType();    // (20, 61)
int ElementCSetType();  // (20, 75)
int OtherCSetType();    // (20, 76)

// A system with every kind of table, set and distribution the store knows: nodes (one
// internal), degrees of freedom, modes, elements, a set of each member kind and one of opaque
// members, dense matrices with values of every IEEE-754 class (NaN with a payload, signed zeros,
// infinities, subnormals), a matrix that is not dense, empty matrices, and every lookup table.
pfm::ModelBuilder EveryFeature(const std::string& name);

}  // namespace uma::sample
