// What uma-check finds in a model: it reads every value and every set a host can reach through
// the library, checks the layout the retrieval options and the flexible body rely on, and
// measures the reduced matrices' physics. Errors make the model unfit for hosts (exit status 1);
// warnings are physical findings a model author should look at and never fail the check.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common_Pencil.h"
#include "check_Math.h"

namespace uma::check {

struct Finding {
  bool error = true;  // otherwise a warning
  std::string check;  // a short name of the rule or the check: "load-columns-first", ...
  std::string message;
};

struct MatrixRead {
  std::string key;   // as uma-inspect lists and takes it: "20061", "xGFAA", "LumpedMass"
  std::string what;  // a known meaning, or ""
  bool dense = true;
  int rows = 0, columns = 0;
  long long valuesRead = 0;
};

// Thresholds above which a physical finding is reported; every one is relative.
constexpr double kAsymmetryTolerance = 1e-8;      // against the largest entry
constexpr double kNormalisationTolerance = 1e-6;  // Phi^T M Phi against the identity
constexpr double kCouplingTolerance = 1e-6;       // |k(i,j)| against sqrt(k(i,i) k(j,j))
constexpr double kRigidTolerance = 1e-6;          // ||K r|| against ||K|| ||r||, equilibrated
constexpr double kLayoutTolerance = 1e-9;         // values a layout fixes, against their column
constexpr double kMassTolerance = 1e-6;           // lumped mass total against the rigid-body mass
constexpr double kLoadTolerance = 1e-8;           // reduced loads against |Phi|^T |F|

struct Physics {
  std::optional<double> stiffnessAsymmetry, massAsymmetry;
  std::optional<int> rigidBodyModes;       // eigenvalues of (K, M) negligible against the first
                                           // elastic one
  std::optional<int> infiniteFrequencies;  // massless coordinates
  std::optional<int> indeterminate;        // directions of neither stiffness nor mass
  std::optional<double> smallestMassEigenvalue;  // over the largest, the mass equilibrated by
                                                 // its diagonal
  std::optional<double> modeNormalisation;       // largest |Phi^T M Phi - I| of the dynamic modes
  std::optional<double> dynamicCoupling;  // largest off-diagonal of the dynamic modes' K block
  std::optional<double> staticDynamicCoupling;  // largest coupling of static and dynamic ones
  std::optional<double> rigidMotionResidual;    // largest ||K r|| / (||K|| ||r||), A-set motions
  std::optional<double> lumpedMassTotal;
  std::optional<double> reducedLoadError;          // largest |P - Phi^T F| against |Phi|^T |F|
  std::optional<std::vector<double>> frequencies;  // cycles per time unit, ascending; finite ones
  std::optional<MassProperties> rigidBody;
};

struct Report {
  std::string model;
  bool opened = false;
  std::string failure;
  std::map<std::string, std::string> attributes;
  int type = 0, loads = 0, staticModes = 0, dynamicModes = 0;
  std::vector<MatrixRead> matrices;
  int setsRead = 0;
  std::vector<Finding> findings;
  Physics physics;

  int Errors() const;
  int Warnings() const;
};

// Checks `model`, opened for reading; the library must be initialised. A model that cannot be
// opened gives a report with `opened` false and one error.
Report Check(const std::string& model);

std::string AsText(const Report& report);
std::string AsJson(const Report& report);

}  // namespace uma::check
