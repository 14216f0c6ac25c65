// The fixed-interface reduction of a full model: the boundary nodes' degrees of freedom are
// kept, each with its constraint mode (the static shape of a unit displacement of that dof with
// the other boundary dofs held), and the interior is represented by its lowest fixed-interface
// modes, mass-normalised. Sparse throughout: the interior stiffness is factored once and every
// solve of the constraint modes, the load responses and the eigensolver uses that factor. Every
// result is checked after it is computed and refused when it misses its tolerance.
#pragma once

#include <string>
#include <vector>

#include "reduce_Cholesky.h"
#include "reduce_Eigensolver.h"
#include "reduce_FullModel.h"
#include "reduce_RigidBody.h"

namespace uma::reduce {

struct ReductionOptions {
  std::vector<int> boundary;  // node labels; all their dofs are boundary dofs
  int modes = 10;             // fixed-interface modes to keep, when cutoffHz is 0
  double cutoffHz = 0.0;      // when above 0: every fixed-interface mode below this frequency
};

// Told when a stage starts and ends, for progress reports and the stage times.
class StageObserver {
 public:
  virtual ~StageObserver() = default;
  virtual void Begin(const std::string& stage) = 0;
  virtual void End() = 0;
  // Something the user should know as soon as it is known (a count, a choice of method).
  virtual void Note(const std::string&) {}
};

// One stage for an observer (which may be null): begun here, ended on every path out.
class Stage {
 public:
  Stage(StageObserver* observer, const char* name) : m_observer(observer) {
    if (m_observer) m_observer->Begin(name);
  }
  ~Stage() {
    if (m_observer) m_observer->End();
  }
  Stage(const Stage&) = delete;
  Stage& operator=(const Stage&) = delete;

 private:
  StageObserver* m_observer;
};

struct Reduction {
  std::vector<int> boundary;  // rows of the full model that are boundary dofs, in model order
  std::vector<int> interior;  // the other rows, in model order
  // n x (boundary + dynamic): the constraint modes (one per boundary dof, 1 at that dof, 0 at
  // the other boundary dofs), then the fixed-interface modes (0 at every boundary dof).
  Eigen::MatrixXd modes;
  Eigen::VectorXd eigenvalues;    // omega^2 of the fixed-interface modes, ascending
  Eigen::MatrixXd loadResponse;   // n x loads: static response to each load, boundary held
  Eigen::MatrixXd reducedLoads;   // (boundary + dynamic) x loads: modes^T loads
  Eigen::MatrixXd stiffness;      // reduced: modes^T K modes
  Eigen::MatrixXd mass;           // reduced: modes^T M modes
  FactorSize factor;              // of the interior stiffness
  ModePlan plan;                  // how the fixed-interface modes were found
  ModeQuality quality;            // their residuals and orthogonality
  double constraintResidual = 0;  // the worst backward error of the constraint modes
  RigidBodyCheck rigidBody;       // the full stiffness against the nodes' rigid motions

  int staticModes() const { return static_cast<int>(boundary.size()); }
  int dynamicModes() const { return static_cast<int>(eigenvalues.size()); }
};

// Reduces `model`. Throws InputError when the options do not fit the model (a boundary node
// that does not exist or has no dof, more modes than the interior has), when the model
// contradicts itself (coordinates, dof order or rotation units against the stiffness), when the
// boundary leaves a rigid motion free, or when the interior stiffness is not positive definite
// once the boundary is held (naming the dof where it breaks down); std::runtime_error when the
// numerics fail otherwise or a result misses its tolerance (nothing is returned then).
Reduction Reduce(const FullModel& model, const ReductionOptions& options,
                 StageObserver* observer = nullptr);

// Natural frequencies in Hz of omega^2 values (negative round-off counts as 0).
std::vector<double> ToHertz(const Eigen::VectorXd& omegaSquared);

}  // namespace uma::reduce
