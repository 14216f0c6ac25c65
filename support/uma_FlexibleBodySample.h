// A sample flexible body: a straight beam of six nodes with six degrees of freedom each, reduced
// to its two end nodes. What a host should see through the facade is given alongside, so that
// tests and examples can check it.
#pragma once

#include <string>
#include <vector>

#include "pfm_ModelBuilder.h"

namespace uma::sample {

struct BeamExpectations {
  std::vector<int> feNodes;        // external node labels, in node-coordinate row order
  std::vector<int> aSetNodes;      // node of each A-set degree of freedom, then dynamic modes
  std::vector<int> aSetDofs;       // local degree of freedom of each, then 0 per dynamic mode
  std::vector<int> nodesInASet;    // the A-set's nodes, then dynamic modes
  std::vector<int> recoveryNodes;  // node of each kept row of the recovery matrix
  std::vector<int> recoveryDofs;
  std::vector<int> gfaaNodes;  // node of each column of "xGFAA"
  std::vector<int> gfaaDofs;
  std::vector<int> gfaaRowNodes;  // node of each row of "xGFAA": the columns' in reverse
  std::vector<int> gfaaRowDofs;
  int loads = 0;
  int staticModes = 0;
  int dynamicModes = 0;
};

// Node labels 1001..1006 along x, 1.0 apart; 1003 and 1004 are internal. A-set: the twelve
// degrees of freedom of the end nodes 1001 and 1006; twelve static modes, four dynamic modes,
// two loads. Matrices: node coordinates (node rows, 3 columns), the mode matrix (dof rows, 16
// mode columns), the recovery matrix (36 dof rows followed by 12 static-mode rows; 2 load
// columns then 16 mode columns), "LumpedMass" (node rows, one column) and the user matrix
// "xGFAA" (12 x 12: A-set degrees of freedom on its columns, the same in reverse order on its
// rows, so that rows and columns are told apart).
pfm::ModelBuilder FlexibleBeam(const std::string& name);
BeamExpectations FlexibleBeamExpectations();

}  // namespace uma::sample
