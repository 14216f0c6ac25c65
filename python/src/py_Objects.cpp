// Lifetimes of the binding's systems and matrices.
#include "py_Objects.h"

#include "QOBBasCoreUtils.h"
#include "pfm_Support.h"
#include "py_Library.h"

namespace umapy {

uma_Enum::uma_MapTypeEnum MapKindOf(const std::string& kind) {
  if (kind == "dof") return uma_Enum::uma_MapDof;
  if (kind == "node") return uma_Enum::uma_MapNode;
  if (kind == "element") return uma_Enum::uma_MapElement;
  if (kind == "internal") return uma_Enum::uma_MapInternal;
  throw py::value_error(
      "label kind must be \"dof\", \"node\", \"element\" or \"internal\", not \"" + kind + "\"");
}

namespace {
// Every system still open, so that the exit hook can close them before the library goes down.
std::set<SystemState*>& OpenSystems() {
  static std::set<SystemState*> systems;
  return systems;
}
}  // namespace

SystemState::SystemState(const std::string& path, bool editable, bool flexibleBody)
    : m_path(path), m_editable(editable), m_flexibleBody(flexibleBody) {
  CheckLibraryUp();
  pfm::FailureKind kind = pfm::FailureKind::None;
  std::string failure = RunLocked([&]() -> std::string {
    std::unique_ptr<uma_System> system;
    if (flexibleBody)
      system = std::make_unique<uma_FlexibleBodyX>(path.c_str());
    else
      system = std::make_unique<uma_System>(path.c_str(), editable);
    if (system->IsNull()) {
      std::string reason = pfm::LastOpenFailure();
      kind = reason.empty() ? pfm::FailureKind::Other : pfm::LastOpenFailureKind();
      return reason.empty() ? path + ": the model holds no system" : reason;
    }
    m_system = std::move(system);
    OpenSystems().insert(this);
    return "";
  });
  if (!failure.empty()) RaiseError(kind, failure);
}

SystemState::~SystemState() {
  RunLockedKeepingGil([this] { CloseLocked(); });
}

std::string SystemState::CloseLocked() {
  if (!m_system) return "";
  for (MatrixHandle* matrix : std::set<MatrixHandle*>(m_matrices)) matrix->ReleaseLocked();
  m_matrices.clear();
  m_system.reset();  // an edit session writes its changes here
  OpenSystems().erase(this);
  return m_editable ? pfm::LastCloseFailure() : std::string();
}

void SystemState::DiscardLocked() {
  if (!m_system) return;
  for (MatrixHandle* matrix : std::set<MatrixHandle*>(m_matrices)) matrix->ReleaseLocked();
  m_matrices.clear();
  // The model's name is the path it was opened with; a model file has one edit session at most.
  if (m_editable) pfm::DiscardEdits(m_path);
  m_system.reset();  // the session is gone: nothing is saved
  OpenSystems().erase(this);
}

uma_System& SystemState::Open() const {
  if (!m_system) throw QOBBasError(m_path + ": the system is closed");
  return *m_system;
}

uma_FlexibleBodyX& SystemState::Facade() const {
  return static_cast<uma_FlexibleBodyX&>(Open());  // only flexible bodies call this
}

std::vector<std::string> SystemState::CloseAllLocked() {
  std::vector<std::string> discarded;
  for (SystemState* system : std::set<SystemState*>(OpenSystems())) {
    if (system->Editable()) {
      system->DiscardLocked();
      discarded.push_back(system->Path());
    } else {
      system->CloseLocked();
    }
  }
  return discarded;
}

MatrixHandle::MatrixHandle(std::shared_ptr<SystemState> owner,
                           std::unique_ptr<const uma_Matrix> matrix, uma_Matrix* writable)
    : m_owner(std::move(owner)), m_matrix(std::move(matrix)), m_writable(writable) {
  rows = m_matrix->NumRows();
  columns = m_matrix->NumColumns();
  m_owner->Attach(this);
}

MatrixHandle::~MatrixHandle() {
  RunLockedKeepingGil([this] { ReleaseLocked(); });
}

void MatrixHandle::ReleaseLocked() {
  if (!m_matrix) return;
  m_matrix.reset();
  m_writable = nullptr;
  m_owner->Detach(this);
}

const uma_Matrix& MatrixHandle::Get() const {
  if (!m_matrix) throw QOBBasError(m_owner->Path() + ": the matrix's system is closed");
  return *m_matrix;
}

uma_Matrix& MatrixHandle::GetWritable() const {
  Get();
  return *m_writable;
}

}  // namespace umapy
