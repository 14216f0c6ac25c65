// The substructure view of a system: counts, internal nodes and the label mappings.
#include <string>

#include "QOBSspSubCore.h"
#include "pfm_Observe.h"
#include "pfm_Session.h"

namespace {

pfm::Session* SessionOfRecord(const QOBFsmSystem& system) {
  return system.IsNull() ? nullptr : pfm::ids::SessionOf(system.MyPosition());
}

// Runs `label` over the members of `set`, which must be a set of `kind` of this system.
template <class Label>
int* MapMembers(const QOBFsmSystem& system, const QOBSimCSetID& set, int* out, pfm::MemberKind kind,
                const char* mapping, std::size_t tableSize, Label label) {
  PFM_JOURNAL(std::string(mapping));
  pfm::Session* s = SessionOfRecord(system);
  if (!s) throw QOBBasError(std::string(mapping) + ": the system is null");
  pfm::Session* owner = pfm::ids::SessionOf(set, pfm::ids::kSet);
  const pfm::ComponentSet* cs = owner == s ? s->SetOf(set) : nullptr;
  if (!cs) throw QOBBasError(std::string(mapping) + ": the set does not belong to the system");
  const auto& collections = s->system().collections;
  if (pfm::KindOfPositionType(collections[static_cast<std::size_t>(cs->collection)].positionType) !=
      kind)
    throw QOBBasError(std::string(mapping) + ": the set's members are of another kind");
  for (std::size_t i = 0; i < cs->members.size(); ++i) {
    int m = cs->members[i];
    if (m < 1 || static_cast<std::size_t>(m) > tableSize)
      throw QOBBasError(std::string(mapping) + ": a member is outside the system's table");
    out[i] = label(static_cast<std::size_t>(m) - 1);
  }
  return out;
}

}  // namespace

sub_System::sub_System(QOBFsmSystem system) : m_system(std::move(system)) {}

int sub_System::NumSLoads() const {
  PFM_JOURNAL("NumSLoads");
  pfm::Session* s = SessionOfRecord(m_system);
  return s ? s->system().numLoads : 0;
}

int sub_System::NumStaticModes() const {
  PFM_JOURNAL("NumStaticModes");
  pfm::Session* s = SessionOfRecord(m_system);
  return s ? s->system().numStaticModes : 0;
}

omi_BlkBitVect sub_System::InternalNodes() const {
  PFM_JOURNAL("InternalNodes");
  pfm::Session* s = SessionOfRecord(m_system);
  if (!s) return omi_BlkBitVect();
  const auto& nodes = s->system().nodes;
  omi_BlkBitVect bits(static_cast<int>(nodes.size()) + 1);
  for (std::size_t i = 0; i < nodes.size(); ++i)
    if (nodes[i].internal) bits.Set(static_cast<int>(i) + 1);
  return bits;
}

int* sub_System::MapGdof2Node(QOBSimCSetID set, int* out) const {
  pfm::Session* s = SessionOfRecord(m_system);
  const pfm::SystemData* d = s ? &s->system() : nullptr;
  return MapMembers(
      m_system, set, out, pfm::MemberKind::Dof, "MapGdof2Node", d ? d->dofs.size() : 0,
      [d](std::size_t i) { return d->nodes[static_cast<std::size_t>(d->dofs[i].node) - 1].label; });
}

int* sub_System::MapGdof2Ldof(QOBSimCSetID set, int* out) const {
  pfm::Session* s = SessionOfRecord(m_system);
  const pfm::SystemData* d = s ? &s->system() : nullptr;
  return MapMembers(m_system, set, out, pfm::MemberKind::Dof, "MapGdof2Ldof",
                    d ? d->dofs.size() : 0, [d](std::size_t i) { return d->dofs[i].ldof; });
}

int* sub_System::MapMode2Node(QOBSimCSetID set, int* out) const {
  pfm::Session* s = SessionOfRecord(m_system);
  const pfm::SystemData* d = s ? &s->system() : nullptr;
  return MapMembers(m_system, set, out, pfm::MemberKind::Mode, "MapMode2Node",
                    d ? d->modes.size() : 0, [d](std::size_t i) { return d->modes[i].nodeLabel; });
}

int* sub_System::MapMode2Ldof(QOBSimCSetID set, int* out) const {
  pfm::Session* s = SessionOfRecord(m_system);
  const pfm::SystemData* d = s ? &s->system() : nullptr;
  return MapMembers(m_system, set, out, pfm::MemberKind::Mode, "MapMode2Ldof",
                    d ? d->modes.size() : 0, [d](std::size_t i) { return d->modes[i].ldof; });
}

int* sub_System::MapNode2Node(QOBSimCSetID set, int* out) const {
  pfm::Session* s = SessionOfRecord(m_system);
  const pfm::SystemData* d = s ? &s->system() : nullptr;
  return MapMembers(m_system, set, out, pfm::MemberKind::Node, "MapNode2Node",
                    d ? d->nodes.size() : 0, [d](std::size_t i) { return d->nodes[i].label; });
}

int* sub_System::MapElement2Element(QOBSimCSetID set, int* out) const {
  pfm::Session* s = SessionOfRecord(m_system);
  const pfm::SystemData* d = s ? &s->system() : nullptr;
  return MapMembers(m_system, set, out, pfm::MemberKind::Element, "MapElement2Element",
                    d ? d->elements.size() : 0, [d](std::size_t i) { return d->elements[i]; });
}

int sub_System::MapDynamicMode(int mode) { return DynamicModeLabelBase + mode; }
