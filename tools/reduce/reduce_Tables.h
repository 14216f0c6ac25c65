// The two tables that describe a full model beside its matrices: which node and local degree of
// freedom each matrix row is (dofs.csv: "node,ldof"), and where each node is (nodes.csv:
// "label,x,y,z"). Comma-separated; a first line that is not numeric is a header; lines starting
// with '#' and blank lines are skipped.
#pragma once

#include <string>
#include <vector>

namespace uma::reduce {

struct DofRow {
  int node = 0;  // node label
  int ldof = 0;  // 1..6: x, y, z translations, then rotations about x, y, z
  long line = 0;
};

struct NodeRow {
  int label = 0;
  double x = 0.0, y = 0.0, z = 0.0;
  long line = 0;
};

// Throw InputError naming the file and line of the first fault (a wrong field count, a
// field that is not a number, a local dof outside 1..6, a node label given twice).
std::vector<DofRow> ReadDofs(const std::string& path);
std::vector<NodeRow> ReadNodes(const std::string& path);

void WriteDofs(const std::string& path, const std::vector<DofRow>& dofs);
void WriteNodes(const std::string& path, const std::vector<NodeRow>& nodes);

}  // namespace uma::reduce
