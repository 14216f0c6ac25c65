// Interface nodes and held degrees of freedom as an exact change of coordinates of a full model,
// u = T q, made before the reduction (K' = T^T K T, M' = T^T M T, loads T^T f) and undone after
// it, so that the model file still has a row for every original degree of freedom.
// - Rigid: the listed nodes' dofs follow the interface node's six (translations t + theta x
//   (x - x_node), rotations theta); the interface node's dofs replace theirs.
// - Distributing: the interface node's six dofs are the weighted least-squares rigid fit of the
//   listed nodes' translations; six of those translations (chosen by a pivoted QR of the
//   constraint, so that they are well determined) become dependent, the rest stay free: the face
//   stays flexible and no penalty stiffness is added.
// - Held: dofs held at zero, their rows of T zero.
#pragma once

#include <string>
#include <vector>

#include "reduce_FullModel.h"

namespace uma::reduce {

// A row of the reduced model's output that no matrix row is: the mean of some rows.
struct DerivedDof {
  int node = 0;
  int ldof = 0;
  std::vector<int> rows;  // rows of the full model
};

// Local dofs of generalised coordinates (a knot's expansion, incompatible modes): they take no
// part in a rigid-body motion.
constexpr int kFirstGeneralisedDof = 7;

struct InterfaceNode {
  enum class Kind { Rigid, Distributing };
  Kind kind = Kind::Rigid;
  int label = 0;
  bool placed = false;  // a new node at (x, y, z); otherwise a node of the model
  double x = 0.0, y = 0.0, z = 0.0;
  std::vector<int> nodes;       // the listed nodes
  std::vector<double> weights;  // one per listed node (distributing)
  std::string option;           // how the user gave it, for messages ("--rigid 9001")
};

struct HeldDofs {
  int node = 0;
  std::vector<int> ldofs;  // empty: every dof of the node
};

// "NODE:NODES" or, for distributing, "NODE:NODES[:WEIGHTS]": NODE is a label or
// "LABEL@X,Y,Z"; the lists are kept as text for the caller to resolve. Throws InputError
// ("OPTION: ...") for text that cannot be one.
struct InterfaceText {
  InterfaceNode node;  // kind, label, placement and option filled in
  std::string nodes, weights;
};
InterfaceText ParseInterface(InterfaceNode::Kind kind, const std::string& option,
                             const std::string& text);

struct Transformation {
  bool identity = true;   // no interface, nothing held, no derived rows: nothing to do
  bool sameModel = true;  // no interface, nothing held: q is the original dofs, and `model`
                          // is left empty (reduce the original)
  FullModel model;        // over q
  SparseMatrix t;         // original dofs x q
  // The model file's rows: every original dof, the derived rows, then the dofs of q that are
  // no original dof (interface nodes' new dofs); `expansion` gives each from q.
  std::vector<DofRow> outputDofs;
  std::vector<NodeRow> outputNodes;
  SparseMatrix expansion;         // outputDofs x q
  std::vector<int> outputRowOfQ;  // for each dof of q, the output row that is that dof alone
};

// Builds T and the transformed model. Throws InputError when an interface cannot be made (a
// listed node without translations, nodes on a line for a distributing interface, a node in
// two interfaces, a held dof on a tied node, a label taken) and std::runtime_error when the
// transformation fails its check: a rigid motion of the interface nodes must move every node
// rigidly.
Transformation Transform(const FullModel& model, const std::vector<InterfaceNode>& interfaces,
                         const std::vector<HeldDofs>& held,
                         const std::vector<DerivedDof>& derived = {});

// The six rigid motions of the model's dofs, about the origin: translations along x, y, z, then
// rotations about x, y, z (n x 6). Generalised dofs (local dof 7 and above) do not move.
Eigen::MatrixXd RigidMotions(const std::vector<DofRow>& dofs, const std::vector<NodeRow>& nodes);

}  // namespace uma::reduce
