// Sample models for matrix retrieval: a small system with every shape of matrix that trimming
// and filtering tell apart, and a large recovery-like system for the benchmarks.
#pragma once

#include <string>
#include <vector>

#include "pfm_ModelBuilder.h"

namespace uma::sample {

// Matrix types of the small system besides the recovery matrix and the node coordinates.
int NodeMatrixType();     // (20, 80): node rows, node columns
int ElementMatrixType();  // (20, 81): element rows, node columns
int OtherKindType();      // (20, 82): a distribution not stored as a dense matrix

// Value of row r and column c of the small system's matrix stored with `base`.
double SampleValue(int base, int r, int c);

// A system of type 9 with six nodes (labels 101..106; nodes 2 and 5 internal), two degrees of
// freedom per node (node n has dofs 2n-1 and 2n, local dofs 1 and 2), five modes (labels
// 900000001.., local dof 0) and three elements (labels 501..503). Its matrices, each with the
// values SampleValue(base, r, c):
// - recovery matrix (RecoveryMatrixType, base 1000): rows dofs 11 1 3 4 9 10 6 7 2 12,
//   columns modes 1..5;
// - NodeMatrixType (base 2000): rows nodes 6..1, columns nodes 1..6;
// - ElementMatrixType (base 3000): rows elements 1..3, columns nodes 1..6;
// - node coordinates (base 4000): rows nodes 1..6, 3 unlabelled columns; the distribution
//   registered for the node-coordinate type index is a decoy of 1 x 1;
// - OtherKindType: 2 x 2, not dense;
// - "xShared": user matrix 2 x 3 (base 5000), also the name of a distribution 4 x 4 (base 6000);
// - "xDistOnly": only the name of a distribution 3 x 2 (base 7000).
pfm::ModelBuilder RetrievalSystem(const std::string& name, int loads = 2, int staticModes = 2);

// A recovery-like system: `nodes` nodes of `dofsPerNode` dofs each, every `internalEvery`-th
// node internal, and the recovery matrix (RecoveryMatrixType) with one row per dof, in order,
// and one column per mode.
pfm::ModelBuilder RecoverySystem(const std::string& name, int nodes, int dofsPerNode, int modes,
                                 int loads, int staticModes, int internalEvery);

}  // namespace uma::sample
