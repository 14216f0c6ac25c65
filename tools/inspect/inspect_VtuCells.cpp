// The VTK cell type and node order of each element type of a stored mesh.
#include "inspect_VtuCells.h"

#include <vtkCellType.h>

#include <cctype>
#include <numeric>

namespace uma::inspect {

namespace {

enum class Order { Same, Wedge, QuadraticWedge, QuadraticEdge };

struct TypeRow {
  const char* name;
  int nodes;
  int vtkType;
  Order order;
};

// CalculiX numbers a wedge's base counter-clockwise seen from its top; VTK's wedge wants it
// clockwise, so the second and third corners of each triangle swap (and the midside nodes
// follow their edges). A 3-node beam lists its middle node second, VTK's quadratic edge last.
// Every other type takes the nodes in CalculiX's order.
constexpr TypeRow kTypes[] = {
    {"C3D4", 4, VTK_TETRA, Order::Same},
    {"C3D6", 6, VTK_WEDGE, Order::Wedge},
    {"C3D8", 8, VTK_HEXAHEDRON, Order::Same},
    {"C3D8R", 8, VTK_HEXAHEDRON, Order::Same},
    {"C3D8I", 8, VTK_HEXAHEDRON, Order::Same},
    {"C3D10", 10, VTK_QUADRATIC_TETRA, Order::Same},
    {"C3D10T", 10, VTK_QUADRATIC_TETRA, Order::Same},
    {"C3D15", 15, VTK_QUADRATIC_WEDGE, Order::QuadraticWedge},
    {"C3D20", 20, VTK_QUADRATIC_HEXAHEDRON, Order::Same},
    {"C3D20R", 20, VTK_QUADRATIC_HEXAHEDRON, Order::Same},
    {"S3", 3, VTK_TRIANGLE, Order::Same},
    {"S4", 4, VTK_QUAD, Order::Same},
    {"S4R", 4, VTK_QUAD, Order::Same},
    {"S6", 6, VTK_QUADRATIC_TRIANGLE, Order::Same},
    {"S8", 8, VTK_QUADRATIC_QUAD, Order::Same},
    {"S8R", 8, VTK_QUADRATIC_QUAD, Order::Same},
    {"M3D3", 3, VTK_TRIANGLE, Order::Same},
    {"M3D4", 4, VTK_QUAD, Order::Same},
    {"M3D4R", 4, VTK_QUAD, Order::Same},
    {"M3D6", 6, VTK_QUADRATIC_TRIANGLE, Order::Same},
    {"M3D8", 8, VTK_QUADRATIC_QUAD, Order::Same},
    {"M3D8R", 8, VTK_QUADRATIC_QUAD, Order::Same},
    {"CPS3", 3, VTK_TRIANGLE, Order::Same},
    {"CPS4", 4, VTK_QUAD, Order::Same},
    {"CPS4R", 4, VTK_QUAD, Order::Same},
    {"CPS6", 6, VTK_QUADRATIC_TRIANGLE, Order::Same},
    {"CPS8", 8, VTK_QUADRATIC_QUAD, Order::Same},
    {"CPS8R", 8, VTK_QUADRATIC_QUAD, Order::Same},
    {"CPE3", 3, VTK_TRIANGLE, Order::Same},
    {"CPE4", 4, VTK_QUAD, Order::Same},
    {"CPE4R", 4, VTK_QUAD, Order::Same},
    {"CPE6", 6, VTK_QUADRATIC_TRIANGLE, Order::Same},
    {"CPE8", 8, VTK_QUADRATIC_QUAD, Order::Same},
    {"CPE8R", 8, VTK_QUADRATIC_QUAD, Order::Same},
    {"CAX3", 3, VTK_TRIANGLE, Order::Same},
    {"CAX4", 4, VTK_QUAD, Order::Same},
    {"CAX4R", 4, VTK_QUAD, Order::Same},
    {"CAX6", 6, VTK_QUADRATIC_TRIANGLE, Order::Same},
    {"CAX8", 8, VTK_QUADRATIC_QUAD, Order::Same},
    {"CAX8R", 8, VTK_QUADRATIC_QUAD, Order::Same},
    {"B31", 2, VTK_LINE, Order::Same},
    {"B31R", 2, VTK_LINE, Order::Same},
    {"B32", 3, VTK_QUADRATIC_EDGE, Order::QuadraticEdge},
    {"B32R", 3, VTK_QUADRATIC_EDGE, Order::QuadraticEdge},
    {"T3D2", 2, VTK_LINE, Order::Same},
    {"T3D3", 3, VTK_QUADRATIC_EDGE, Order::QuadraticEdge},
    {"SPRINGA", 2, VTK_LINE, Order::Same},
    {"SPRING2", 2, VTK_LINE, Order::Same},
    {"DASHPOTA", 2, VTK_LINE, Order::Same},
    {"GAPUNI", 2, VTK_LINE, Order::Same},
    {"SPRING1", 1, VTK_VERTEX, Order::Same},
    {"MASS", 1, VTK_VERTEX, Order::Same},
    {"DCOUP3D", 1, VTK_VERTEX, Order::Same},
};

std::vector<int> OrderOf(Order order, int nodes) {
  switch (order) {
    case Order::Wedge:
      return {0, 2, 1, 3, 5, 4};
    case Order::QuadraticWedge:
      return {0, 2, 1, 3, 5, 4, 8, 7, 6, 11, 10, 9, 12, 14, 13};
    case Order::QuadraticEdge:
      return {0, 2, 1};
    case Order::Same:
      break;
  }
  std::vector<int> same(static_cast<std::size_t>(nodes));
  std::iota(same.begin(), same.end(), 0);
  return same;
}

const TypeRow* Find(const std::string& type) {
  std::string upper = type;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (const TypeRow& row : kTypes)
    if (upper == row.name) return &row;
  return nullptr;
}

}  // namespace

std::optional<VtuCell> CellOf(const std::string& type, std::size_t nodes) {
  const TypeRow* row = Find(type);
  if (!row || nodes != static_cast<std::size_t>(row->nodes)) return std::nullopt;
  return VtuCell{row->vtkType, OrderOf(row->order, row->nodes)};
}

int NodesOf(const std::string& type) {
  const TypeRow* row = Find(type);
  return row ? row->nodes : 0;
}

}  // namespace uma::inspect
