// The system record and the degree-of-freedom definition.
#include <string>

#include "QOBFsmShared.h"
#include "pfm_Observe.h"
#include "pfm_Session.h"

namespace {

// The open session of a record's position, when the position is a system's and the stored
// system does not mark itself null.
pfm::Session* SystemSession(const QOBSimPosition& position) {
  pfm::Session* s = pfm::ids::SessionOf(position);
  if (!s || position.w[1] != pfm::ids::kSystem || s->model->recordReportsNull) return nullptr;
  return s;
}

template <class Map, class Key>
QOBSimDistributionID Lookup(const QOBSimPosition& position, const Map& (*table)(pfm::SystemData&),
                            const Key& key) {
  pfm::Session* s = SystemSession(position);
  if (!s) return QOBSimDistributionID();
  const Map& m = table(s->system());
  auto it = m.find(key);
  return it == m.end() ? QOBSimDistributionID() : pfm::ids::Distribution(s->id, it->second);
}

const std::map<int, int>& ByType(pfm::SystemData& s) { return s.distributionByType; }
const std::map<std::string, int>& ByName(pfm::SystemData& s) { return s.distributionByName; }
const std::map<std::string, int>& UserByName(pfm::SystemData& s) { return s.userMatrixByName; }

}  // namespace

QOBFsmSystem::QOBFsmSystem(const QOBSimPosition& position) : m_position(position) {
  PFM_JOURNAL("QOBFsmSystem(" + std::to_string(position.w[0]) + "," +
              std::to_string(position.w[1]) + ")");
}

QOBFsmSystem::~QOBFsmSystem() = default;

bool QOBFsmSystem::IsNull() const { return SystemSession(m_position) == nullptr; }

int QOBFsmSystem::Type() const {
  pfm::Session* s = SystemSession(m_position);
  return s ? s->system().type : 0;
}

QOBSimDistributionID QOBFsmSystem::Distribution(int type) const {
  return Lookup(m_position, ByType, type);
}

QOBSimDistributionID QOBFsmSystem::NodeCoordinates() const {
  pfm::Session* s = SystemSession(m_position);
  if (!s || s->system().nodeCoordinates < 0) return QOBSimDistributionID();
  return pfm::ids::Distribution(s->id, s->system().nodeCoordinates);
}

QOBSimDistributionID QOBFsmSystem::Distribution(const RYMString& name) const {
  return Lookup(m_position, ByName, name.str());
}

QOBSimDistributionID QOBFsmSystem::UserMatrix(const RYMString& name) const {
  return Lookup(m_position, UserByName, name.str());
}

QOBSimCSetID QOBFsmSystem::CSet(int type) const {
  pfm::Session* s = SystemSession(m_position);
  if (!s) return QOBSimCSetID();
  auto it = s->system().setByType.find(type);
  return it == s->system().setByType.end() ? QOBSimCSetID() : pfm::ids::Set(s->id, *s, it->second);
}

QOBSimDSetID QOBFsmSystem::NodalDofTypes() const {
  pfm::Session* s = SystemSession(m_position);
  return s ? QOBSimDSetID(s->id, pfm::ids::kDofSet, 0, 0, 0) : QOBSimDSetID();
}

QOBFsmSystemDofDefinition::QOBFsmSystemDofDefinition(const QOBSimDSetID& dofTypes, int, bool)
    : m_dofTypes(dofTypes) {}

int QOBFsmSystemDofDefinition::NodeOf(int dof) const {
  pfm::Session* s = pfm::ids::SessionOf(m_dofTypes, pfm::ids::kDofSet);
  if (!s || dof < 1 || static_cast<std::size_t>(dof) > s->system().dofs.size()) return 0;
  return s->system().dofs[static_cast<std::size_t>(dof) - 1].node;
}

int QOBFsmSystemDofDefinition::LocalDofOf(int dof) const {
  pfm::Session* s = pfm::ids::SessionOf(m_dofTypes, pfm::ids::kDofSet);
  if (!s || dof < 1 || static_cast<std::size_t>(dof) > s->system().dofs.size()) return 0;
  return s->system().dofs[static_cast<std::size_t>(dof) - 1].ldof;
}
