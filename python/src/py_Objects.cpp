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
  std::string failure = RunLocked([&]() -> std::string {
    std::unique_ptr<uma_System> system;
    if (flexibleBody)
      system = std::make_unique<uma_FlexibleBodyX>(path.c_str());
    else
      system = std::make_unique<uma_System>(path.c_str(), editable);
    if (system->IsNull()) {
      std::string reason = pfm::LastOpenFailure();
      return reason.empty() ? path + ": the model holds no system" : reason;
    }
    m_system = std::move(system);
    OpenSystems().insert(this);
    return "";
  });
  if (!failure.empty()) RaiseError(failure);
}

SystemState::~SystemState() {
  if (!m_system) return;  // closed already: no need for the lock
  RunLocked([this] { return CloseLocked(); });
}

std::string SystemState::CloseLocked() {
  if (!m_system) return "";
  for (MatrixHandle* matrix : std::set<MatrixHandle*>(m_matrices)) matrix->ReleaseLocked();
  m_matrices.clear();
  m_system.reset();  // an edit session writes its changes here
  OpenSystems().erase(this);
  return m_editable ? pfm::LastCloseFailure() : std::string();
}

uma_System& SystemState::Open() const {
  if (!m_system) throw QOBBasError(m_path + ": the system is closed");
  return *m_system;
}

uma_FlexibleBodyX& SystemState::Facade() const {
  return static_cast<uma_FlexibleBodyX&>(Open());  // only flexible bodies call this
}

void SystemState::CloseAllLocked() {
  for (SystemState* system : std::set<SystemState*>(OpenSystems())) system->CloseLocked();
}

MatrixHandle::MatrixHandle(std::shared_ptr<SystemState> owner,
                           std::unique_ptr<const uma_Matrix> matrix, uma_Matrix* writable)
    : m_owner(std::move(owner)), m_matrix(std::move(matrix)), m_writable(writable) {
  rows = m_matrix->NumRows();
  columns = m_matrix->NumColumns();
  m_owner->Attach(this);
}

MatrixHandle::~MatrixHandle() {
  if (!m_matrix) return;
  RunLocked([this] {
    ReleaseLocked();
    return 0;
  });
}

void MatrixHandle::ReleaseLocked() {
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
