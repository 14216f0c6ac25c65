// Readers of the files CalculiX's matrix storage step writes (*FREQUENCY, SOLVER=MATRIXSTORAGE):
// JOB.dof, one "node.direction" line per matrix row, and JOB.sti and JOB.mas, the stiffness and
// mass as "row column value" lines (1-based, one triangle, explicit zeros kept, no header).
// Each refuses anything else with an InputError naming the file and line.
#pragma once

#include <istream>
#include <string>
#include <vector>

#include "reduce_MatrixMarket.h"

namespace uma::reduce {

struct CalculixRow {
  int node = 0;       // as CalculiX writes it: the deck's node for rows of expanded elements
  int direction = 0;  // 1..3
  long line = 0;
};

std::vector<CalculixRow> ReadCalculixDofs(const std::string& path);
std::vector<CalculixRow> ReadCalculixDofs(const std::string& name, std::istream& in);

// A symmetric matrix of `size` rows, both triangles stored. Each cell may be given once, in
// either triangle; `what` ("stiffness", "mass") names it in messages.
SparseMatrix ReadCalculixMatrix(const std::string& path, int size, const std::string& what);
SparseMatrix ReadCalculixMatrix(const std::string& name, std::istream& in, int size,
                                const std::string& what);

}  // namespace uma::reduce
