// How a viewer draws the elements of a stored mesh: the VTK cell type of each element type the
// CalculiX importer keeps, and the order in which VTK takes the element's nodes. Nothing is
// guessed: a type missing here, or an element with another number of nodes, has no cell.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace uma::inspect {

struct VtuCell {
  int vtkType = 0;         // VTKCellType (vtkCellType.h)
  std::vector<int> order;  // VTK's node i is the element's node order[i]
};

// The cell of an element of `type` (CalculiX's name, in any case) with `nodes` nodes; none for a
// type this table does not know or a node count that does not fit it.
std::optional<VtuCell> CellOf(const std::string& type, std::size_t nodes);

// How many nodes an element of `type` has; 0 for a type this table does not know.
int NodesOf(const std::string& type);

}  // namespace uma::inspect
