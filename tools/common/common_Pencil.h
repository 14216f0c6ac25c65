// The natural frequencies of a small dense pencil (K, M), as both uma-reduce and uma-check
// report them: equilibrated by K's diagonal so that no unit system is preferred, solved as
// M x = mu (K + sigma M) x so that a semi-definite mass is handled (massless coordinates give
// mu = 0, an infinite frequency; a direction of neither stiffness nor mass has no eigenvalue and
// is set aside), with sigma moved close to the first elastic eigenvalue so that rigid-body modes
// stand apart from it by many orders of magnitude.
#pragma once

#include <string>
#include <vector>

namespace uma::common {

// Larger pencils are not solved by the tools (a dense solve of O(n^3) work).
constexpr int kLargestPencil = 4000;

struct PencilSpectrum {
  bool solved = false;
  std::string failure;              // why not, when not solved
  std::vector<double> eigenvalues;  // the finite omega^2, ascending (rigid-body ones near 0)
  int rigidBodyModes = 0;           // eigenvalues negligible against the first elastic one
  int infinite = 0;                 // massless directions
  int indeterminate = 0;            // directions of neither stiffness nor mass: no eigenvalue
  int negative = 0;                 // eigenvalues below 0 beyond round-off (K not semi-definite)
  double shift = 0;                 // sigma: the first elastic eigenvalue, or a typical one
};

// The spectrum of k x = lambda m x for n x n matrices stored column by column; only their
// symmetric parts are used.
PencilSpectrum SolvePencil(const std::vector<double>& k, const std::vector<double>& m, int n);

// Cycles per time unit of each finite eigenvalue: 0 for the rigid-body ones, negative (the
// square root of |lambda| with its sign) for a negative one.
std::vector<double> Frequencies(const PencilSpectrum& spectrum);

// Eigenvalues, ascending, of the symmetric part of the n x n matrix `a`; false when LAPACK fails.
bool SymmetricEigenvalues(const std::vector<double>& a, int n, std::vector<double>& out);

}  // namespace uma::common
