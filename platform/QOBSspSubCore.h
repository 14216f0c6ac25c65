// Substructure helpers: counts, internal nodes and label mappings of a system, and the
// filters that drop the rows or columns of internal nodes from a dense matrix.
#pragma once

#include "QOBBasCoreUtils.h"
#include "QOBFsmShared.h"
#include "QOBMtxLinearAlgebra.h"
#include "QOBSimAPI.h"

void QOBSspSubCore_initialize(int& count);
void QOBSspSubCore_finalize(int& count);

class sub_System {
 public:
  explicit sub_System(QOBFsmSystem system);

  int NumSLoads() const;
  int NumStaticModes() const;
  // Bit n is set when node number n (from 1) is internal.
  omi_BlkBitVect InternalNodes() const;

  // Each writes one integer per member of `set`, in the set's order, into `out` and answers
  // `out`. A member that does not belong to the table of the mapping throws QOBBasError.
  int* MapGdof2Node(QOBSimCSetID set, int* out) const;
  int* MapGdof2Ldof(QOBSimCSetID set, int* out) const;
  int* MapMode2Node(QOBSimCSetID set, int* out) const;
  int* MapMode2Ldof(QOBSimCSetID set, int* out) const;
  int* MapNode2Node(QOBSimCSetID set, int* out) const;
  int* MapElement2Element(QOBSimCSetID set, int* out) const;

  // Label of dynamic mode `mode` (from 1): the pseudo-node label DynamicModeLabelBase + mode.
  static int MapDynamicMode(int mode);
  static const int DynamicModeLabelBase = 900000000;

 private:
  QOBFsmSystem m_system;
};

// The filters answer a new matrix owned by the caller that keeps exactly the rows (columns)
// of external nodes, with row and column sets that label what it keeps, or null when nothing
// would be removed. A degree of freedom belongs to the node that `dofs` gives it (kept when
// it gives none). A side that is unlabelled or labelled by members of another kind (node rows
// given to FilterRowDofs, say) is not filtered: the answer is null. The input is never freed.
class sub_Utilities {
 public:
  static QOBSrvDenseMatrix* FilterColNodes(const QOBSrvDenseMatrix* matrix,
                                           const omi_BlkBitVect& internalNodes);
  static QOBSrvDenseMatrix* FilterRowNodes(const QOBSrvDenseMatrix* matrix,
                                           const omi_BlkBitVect& internalNodes);
  static QOBSrvDenseMatrix* FilterRowDofs(const QOBSrvDenseMatrix* matrix,
                                          const omi_BlkBitVect& internalNodes,
                                          const QOBFsmSystemDofDefinition& dofs);
};
