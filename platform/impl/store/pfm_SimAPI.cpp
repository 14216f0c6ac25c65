// Ids, positions and component sets of the simulation database API.
#include <cstring>
#include <string>

#include "QOBSimAPI.h"
#include "pfm_Observe.h"
#include "pfm_Session.h"

using pfm::ids::Position;

namespace {

// The set an id names, or null when the id is null, stale or inconsistent.
const pfm::ComponentSet* SetOf(const QOBSimCSetID& id) {
  pfm::Session* s = pfm::ids::SessionOf(id, pfm::ids::kSet);
  if (!s) return nullptr;
  return s->SetOf(id);
}

}  // namespace

QOBSimCollectionID::QOBSimCollectionID(const QOBSimCSetID& set) : QOBSimIdWords() {
  if (!set.IsNull()) *this = QOBSimCollectionID(set.w[0], pfm::ids::kCollection, set.w[3], 0, 0);
}

QOBSimDynamicID::QOBSimDynamicID(const QOBSimCollectionID& collection) : QOBSimIdWords() {
  if (collection.w[0] != 0)
    *this = QOBSimDynamicID(collection.w[0], collection.w[1], collection.w[2], collection.w[3],
                            collection.w[4]);
}

QOBSimPosition::QOBSimPosition(const QOBSimDynamicID& object) : QOBSimPosition() {
  if (!object.IsNull() && object.w[1] == pfm::ids::kCollection)
    *this = Position(object.w[0], pfm::ids::kCollectionPos, object.w[2]);
}

QOBSimPosition QOBSimPosition::Follow(int type, int which) const {
  PFM_JOURNAL("Follow(" + std::to_string(type) + "," + std::to_string(which) + ")");
  pfm::Session* s = pfm::ids::SessionOf(*this);
  if (!s || which != 1) return QOBSimPosition();
  if (w[1] == pfm::ids::kModel && type == ads_CoreFragmentTypeIndex(24, 9) &&
      s->model->hasSubstructure)
    return Position(w[0], pfm::ids::kSubstructure);
  if (w[1] == pfm::ids::kSubstructure && type == ads_CoreFragmentTypeIndex(20, 8) &&
      s->model->hasSystem)
    return Position(w[0], pfm::ids::kSystem);
  return QOBSimPosition();
}

QOBSimPosition QOBSimPosition::Focus() const {
  if (IsNull()) return QOBSimPosition();
  return Position(w[0], pfm::ids::kFocus);
}

int QOBSimPosition::TypePosition() const {
  pfm::Session* s = pfm::ids::SessionOf(*this);
  if (!s) return 0;
  switch (w[1]) {
    case pfm::ids::kCollectionPos: {
      const auto& collections = s->system().collections;
      if (w[2] < 0 || static_cast<std::size_t>(w[2]) >= collections.size()) return 0;
      return collections[static_cast<std::size_t>(w[2])].positionType;
    }
    case pfm::ids::kModel:
    case pfm::ids::kFocus:
      return ads_CoreFragmentTypeIndex(24, 1);
    case pfm::ids::kSubstructure:
      return ads_CoreFragmentTypeIndex(24, 9);
    case pfm::ids::kSystem:
      return ads_CoreFragmentTypeIndex(20, 8);
    default:
      return 0;
  }
}

QOBSimCSet::QOBSimCSet(const QOBSimCSetID& id) : m_id(id) {}

int QOBSimCSet::Size() const {
  const pfm::ComponentSet* set = SetOf(m_id);
  return set ? static_cast<int>(set->members.size()) : 0;
}

void QOBSimCSet::OrderedMembers(int* members) const {
  const pfm::ComponentSet* set = SetOf(m_id);
  if (set && !set->members.empty())
    std::memcpy(members, set->members.data(), set->members.size() * sizeof(int));
}
