// The rigid-body motions of a full model, built from its nodes' coordinates (three translations,
// three rotations about the nodes' centre; rotational dofs turn with the body), and what they
// tell before anything is factored: whether the stiffness leaves them free (so that coordinates,
// dof order and rotation units agree with it), and whether the boundary holds every one of them
// (so that the interior is not a mechanism). Every measure is scale-free: the stiffness is
// equilibrated by its diagonal and the rotations by the model's size.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "reduce_FullModel.h"

namespace uma::reduce {

// Above this, a rigid motion is not free: ||K r|| against ||K|| ||r||, equilibrated.
constexpr double kRigidTolerance = 1e-6;

struct RigidBodyCheck {
  bool held = false;  // the stiffness restrains the body somewhere (supports, springs)
  int heldNodes = 0;  // nodes where a rigid translation meets stiffness, when held
  // ||K r|| / (||K|| ||r||) per motion: translations along x, y, z, rotations about x, y, z.
  std::array<double, 6> residual{};
};

// Names of the motions in that order: "translation along x", ..., "rotation about z".
const char* MotionName(int motion);

// Checks the stiffness against the rigid motions of the nodes. A model whose input holds dofs
// (FullModel::held), or a body held locally (the translations meet stiffness at no more than
// half of the nodes), is reported as held;
// otherwise a motion that is not free throws InputError saying which and what may be wrong.
// Also refuses a stiffness with a negative diagonal entry.
RigidBodyCheck CheckRigidBodyMotions(const FullModel& model);

// Throws InputError when the boundary rows (of a free body) do not hold every rigid motion:
// the reason names the free motion and the boundary nodes it turns about.
void CheckBoundaryHoldsTheBody(const FullModel& model, const std::vector<int>& boundaryRows);

}  // namespace uma::reduce
