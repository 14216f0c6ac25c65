// The system handle: opening and closing a stored system, its counts, and set mapping.
#include "uma_System.h"

#include <memory>

#include "DDB_AnalysisSupport.h"
#include "QOBSspSubCore.h"
#include "uma_ArrayInt.h"
#include "uma_SetAccess.h"
#include "uma_TypeIndex.h"

uma_System::uma_System(const char* name, bool editable)
    : m_fsmSystem(nullptr), m_editable(editable) {
  asu_SimAccess& access = thr_GlobalSingleton<asu_SimAccess>::Instance();
  QOBSimPosition model = editable
                             ? access.OpenEdit(cow_String(name), cow_String(""), cow_String(""))
                             : access.OpenRead(cow_String(name), RYMString(""), false);
  if (model.IsNull()) return;
  // Until the record exists the open model is the constructor's own: a step or the record that
  // throws must not leave it open (an edit session would keep other editors out).
  struct CloseUnlessKept {
    asu_SimAccess& access;
    QOBSimPosition model;
    bool kept = false;
    ~CloseUnlessKept() {
      if (!kept) access.Close(model);
    }
  } guard{access, model};
  QOBSimPosition substructure = model.Follow(uma_TypeIndex::SubstructureStep(), 1);
  if (substructure.IsNull()) {
    guard.kept = true;  // a model whose first step yields nothing is left to the module
    return;
  }
  // The second step is not tested: a null position gives a record that reports itself null.
  QOBSimPosition system = substructure.Follow(uma_TypeIndex::SystemStep(), 1);
  m_fsmSystem = new QOBFsmSystem(system);
  guard.kept = true;
}

uma_System::~uma_System() {
  // The position closed is the one the record reports now, not the one the open returned.
  if (!IsNull())
    thr_GlobalSingleton<asu_SimAccess>::Instance().Close(m_fsmSystem->MyPosition().Focus());
  // A record that reports itself null closes nothing but is released all the same.
  delete m_fsmSystem;
  m_fsmSystem = nullptr;
}

bool uma_System::IsNull() const { return m_fsmSystem == nullptr || m_fsmSystem->IsNull(); }

int uma_System::Type() const { return IsNull() ? 0 : m_fsmSystem->Type(); }

int uma_System::NumLoads() const {
  if (IsNull()) return 0;
  return sub_System(*m_fsmSystem).NumSLoads();
}

int uma_System::NumStaticModes() const {
  if (IsNull()) return 0;
  return sub_System(*m_fsmSystem).NumStaticModes();
}

omi_BlkBitVect uma_System::InternalNodeSet() const {
  if (IsNull()) return omi_BlkBitVect();
  return sub_System(*m_fsmSystem).InternalNodes();
}

uma_ArrayInt* uma_System::MapCSet(QOBSimCSetID set, uma_Enum::uma_MapTypeEnum type) const {
  if (set.IsNull()) return nullptr;
  int size = uma_SetAccess::Size(set);
  if (size <= 0) return nullptr;
  // Internal member numbers need no system.
  if (type == uma_Enum::uma_MapInternal) return uma_SetAccess::Members(set, size);
  if (IsNull()) return nullptr;

  sub_System sub(*m_fsmSystem);
  std::unique_ptr<uma_ArrayInt> array(uma_SetAccess::NewArray(size));
  int* out = uma_SetAccess::Buffer(*array);
  int positionType = uma_SetAccess::PositionType(set);
  bool node = type == uma_Enum::uma_MapNode;
  bool dof = type == uma_Enum::uma_MapDof;
  if (positionType == uma_TypeIndex::DofPosition() && node) {
    sub.MapGdof2Node(set, out);
  } else if (positionType == uma_TypeIndex::DofPosition() && dof) {
    sub.MapGdof2Ldof(set, out);
  } else if (positionType == uma_TypeIndex::ModePosition() && node) {
    sub.MapMode2Node(set, out);
  } else if (positionType == uma_TypeIndex::ModePosition() && dof) {
    sub.MapMode2Ldof(set, out);
  } else if (positionType == uma_TypeIndex::NodePosition() && node) {
    sub.MapNode2Node(set, out);
  } else if (positionType == uma_TypeIndex::ElementPosition() && type == uma_Enum::uma_MapElement) {
    sub.MapElement2Element(set, out);
  } else {
    return nullptr;  // no mapping for this pair: the array is released
  }
  return array.release();
}

uma_ArrayInt* uma_System::MapCSet(int setType, uma_Enum::uma_MapTypeEnum type) const {
  if (IsNull()) return nullptr;
  return MapCSet(m_fsmSystem->CSet(setType), type);
}
