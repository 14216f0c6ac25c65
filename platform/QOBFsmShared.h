// The system record: what a stored substructure system holds, reached from its position.
#pragma once

#include "QOBBasCoreUtils.h"
#include "QOBBasRymel.h"
#include "QOBSimAPI.h"

void QOBFsmShared_initialize(int& count);
void QOBFsmShared_finalize(int& count);

// The record of one system. It is null when its position is null, when the model session it
// belongs to is closed, or when the stored system marks itself null. Lookups on a null record
// answer null ids and 0.
class QOBFsmSystem : public mem_AllocationOperators {
 public:
  explicit QOBFsmSystem(const QOBSimPosition& position);
  QOBFsmSystem(const QOBFsmSystem&) = default;
  QOBFsmSystem& operator=(const QOBFsmSystem&) = default;
  virtual ~QOBFsmSystem();

  bool IsNull() const;
  int Type() const;
  QOBSimPosition MyPosition() const { return m_position; }

  // Distribution ids, null when there is none.
  QOBSimDistributionID Distribution(int type) const;
  QOBSimDistributionID NodeCoordinates() const;
  QOBSimDistributionID Distribution(const RYMString& name) const;
  QOBSimDistributionID UserMatrix(const RYMString& name) const;
  // The system's component set of a component-set type; null when there is none.
  QOBSimCSetID CSet(int type) const;
  // The set of nodal degree-of-freedom types (the system's degree-of-freedom table).
  QOBSimDSetID NodalDofTypes() const;

 private:
  QOBSimPosition m_position;
};

// Degree-of-freedom definition of a system: which node each global degree of freedom belongs
// to, and its local degree of freedom.
class QOBFsmSystemDofDefinition {
 public:
  QOBFsmSystemDofDefinition(const QOBSimDSetID& dofTypes, int variant, bool extended);
  // The node number of global degree of freedom `dof` (from 1); 0 when it is unknown.
  int NodeOf(int dof) const;
  // Its local degree of freedom; 0 when it is unknown.
  int LocalDofOf(int dof) const;

 private:
  QOBSimDSetID m_dofTypes;
};
