// A full finite-element model as the reduction takes it: symmetric stiffness and mass over the
// same degrees of freedom, what each degree of freedom is, where the nodes are, and optional
// load vectors. Read from files, or assembled in memory (reduce_Frame.h).
#pragma once

#include <string>
#include <vector>

#include "reduce_MatrixMarket.h"
#include "reduce_Tables.h"

namespace uma::reduce {

// The files a full model is read from; `loads` may be empty.
struct FullModelFiles {
  std::string stiffness, mass, dofs, nodes, loads;
};

struct FullModel {
  SparseMatrix stiffness;  // n x n, both triangles stored
  SparseMatrix mass;
  std::vector<DofRow> dofs;    // one per row of the matrices
  std::vector<NodeRow> nodes;  // every node a dof names, and possibly more
  Eigen::MatrixXd loads;       // n x loads, one load vector per column (may have 0 columns)
  FullModelFiles files;        // where it came from ("" for a model assembled in memory)
  // Some dofs are held at zero and left out of the matrices (supports: a CalculiX *BOUNDARY,
  // --fixed): the stiffness restrains rigid motions where they were, legitimately.
  bool held = false;

  int size() const { return static_cast<int>(dofs.size()); }
};

// Reads and cross-checks the files: both matrices square and symmetric and of one size, one
// dofs row per matrix row, each (node, ldof) once and its node in the nodes table, load vectors
// as long as the matrices. Throws InputError naming the file and line of the first fault.
FullModel ReadFullModel(const FullModelFiles& files);

// The same cross-checks for a model assembled in memory.
void CheckFullModel(const FullModel& model);

// Writes the model as files that ReadFullModel reads back (loads only when it has some).
void WriteFullModel(const FullModel& model, const FullModelFiles& files);

}  // namespace uma::reduce
