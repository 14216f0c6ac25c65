// The fixed-interface modes of a reduction: the lowest eigenpairs of K_ii phi = lambda M_ii phi
// with the boundary held, found by an iterative shift-invert method on the factor of K_ii, or
// by a dense solve when many modes of a small interior are wanted. Every mode is checked after
// it is computed (its residual against the pencil, the M-orthogonality of the set); modes that
// miss the tolerance are refused, never returned.
#pragma once

#include <Eigen/Dense>
#include <string>

#include "reduce_Cholesky.h"

namespace uma::reduce {

// The largest residual ||K phi - lambda M phi|| / (lambda ||M phi||) (both sides equilibrated by
// the stiffness's diagonal, so that no unit system is preferred) and the largest deviation of
// Phi^T M Phi from the identity that a returned set of modes may have.
constexpr double kModeTolerance = 1e-8;

// The largest interior solved densely (LAPACK) when an iterative method would need a basis of
// a sizeable fraction of it.
constexpr int kLargestDenseInterior = 4000;

struct Eigenpairs {
  Eigen::VectorXd values;   // lambda = omega^2, ascending
  Eigen::MatrixXd vectors;  // mass-normalised, one per column
};

// A mode's residual may also reach what round-off leaves of K phi - lambda M phi: this factor
// times machine epsilon times the size of the terms that cancel there (an ill-conditioned
// stiffness, such as thin beams expanded into solids, cannot give less).
constexpr double kRoundOffFactor = 100;

struct ModeQuality {
  double residual = 0;       // the worst over the modes
  double tolerance = 0;      // the largest tolerance any mode was held to
  int residualMode = -1;     // the mode nearest its tolerance (from 0), -1 for no mode
  double modeResidual = 0;   // its residual
  double modeTolerance = 0;  // its tolerance: kModeTolerance or its round-off floor
  double orthogonality = 0;
};

// How the modes are found, decided before any is computed.
struct ModePlan {
  int count = 0;          // modes to compute
  bool dense = false;     // a dense solve of the whole interior
  double bytes = 0;       // the memory the solve's basis takes
  long belowCutoff = -1;  // modes below the cutoff, counted exactly; -1 without a cutoff
};

// Plans the solve of `count` modes, or of every mode below `cutoffHz` (cycles per time unit)
// when it is above 0, counting them first from the inertia of K_ii - sigma M_ii. Throws
// InputError when the request cannot be met within this machine's means, with the count and
// the memory it would need.
ModePlan PlanModes(const SparseMatrix& kii, const SparseMatrix& mii, int count, double cutoffHz);

// The modes the plan asks for, mass-normalised, each with a sign of its own choosing (its
// largest entry positive). Throws InputError when the mass gives a mode no positive mass, and
// std::runtime_error when the method fails.
Eigenpairs ComputeModes(const SparseCholesky& factor, const SparseMatrix& kii,
                        const SparseMatrix& mii, const ModePlan& plan);

// The residuals and orthogonality of `pairs` against the pencil (kii, mii).
ModeQuality CheckModes(const SparseMatrix& kii, const SparseMatrix& mii, const Eigenpairs& pairs);

// Why `quality` refuses the modes ("" when every mode passes its tolerance and the set is
// M-orthonormal to kModeTolerance).
std::string ModeFailure(const ModeQuality& quality, const Eigenpairs& pairs);

}  // namespace uma::reduce
