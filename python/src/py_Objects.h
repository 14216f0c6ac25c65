// The C++ objects behind uma.System, uma.FlexibleBody and uma.Matrix. A system's state is
// shared by its Python object and by every matrix it handed out, so a matrix keeps its system
// alive; the state deletes the library's matrices before the system, as the library requires,
// and marks them closed so that later use raises instead of reaching a closed model.
#pragma once

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "uma_FlexibleBodyX.h"
#include "uma_Matrix.h"
#include "uma_System.h"

namespace umapy {

// The map kind a label kind names ("dof", "node", "element", "internal"); ValueError otherwise.
uma_Enum::uma_MapTypeEnum MapKindOf(const std::string& kind);

class MatrixHandle;

class SystemState : public std::enable_shared_from_this<SystemState> {
 public:
  // Opens `path` (a plain system or the flexible-body facade); raises uma.Error with the
  // platform's reason and its kind when it yields no system. Runs with the GIL held.
  SystemState(const std::string& path, bool editable, bool flexibleBody);
  // Closes the system if it is still open (an edit session commits, as close() does). Runs
  // with the GIL held or during interpreter exit; takes the library mutex.
  virtual ~SystemState();
  SystemState(const SystemState&) = delete;
  SystemState& operator=(const SystemState&) = delete;

  // Deletes the system's matrices, then the system (an edit session writes its changes). The
  // library mutex must be held. Answers why the changes were not saved, or "".
  std::string CloseLocked();
  // The same without saving an edit session's changes: the file stays as it was.
  void DiscardLocked();

  // The open system; raises uma.Error when it is closed. The library mutex must be held.
  uma_System& Open() const;
  uma_FlexibleBodyX& Facade() const;
  bool IsClosed() const { return !m_system; }
  bool Editable() const { return m_editable; }
  bool IsFlexibleBody() const { return m_flexibleBody; }
  const std::string& Path() const { return m_path; }

  // Matrices register while they hold a library handle (library mutex held).
  void Attach(MatrixHandle* matrix) { m_matrices.insert(matrix); }
  void Detach(MatrixHandle* matrix) { m_matrices.erase(matrix); }

  // Closes every system still open, for the module's exit hook (library mutex held): systems
  // opened for reading are closed, edit sessions discarded. Answers the paths of those.
  static std::vector<std::string> CloseAllLocked();

 private:
  std::unique_ptr<uma_System> m_system;
  std::set<MatrixHandle*> m_matrices;
  std::string m_path;
  bool m_editable;
  bool m_flexibleBody;
};

// One library matrix of a system, as uma.Matrix holds it.
class MatrixHandle {
 public:
  // Takes over `matrix` (non-null); `writable` is the same handle, for the stored matrices of
  // an edit session, or null. The library mutex must be held.
  MatrixHandle(std::shared_ptr<SystemState> owner, std::unique_ptr<const uma_Matrix> matrix,
               uma_Matrix* writable);
  ~MatrixHandle();  // GIL held (or interpreter exit); takes the library mutex
  MatrixHandle(const MatrixHandle&) = delete;
  MatrixHandle& operator=(const MatrixHandle&) = delete;

  // The library handle; raises uma.Error once the system is closed (library mutex held).
  const uma_Matrix& Get() const;
  uma_Matrix& GetWritable() const;
  bool Writable() const { return m_writable != nullptr; }
  const std::shared_ptr<SystemState>& Owner() const { return m_owner; }

  // Called by the system as it closes (library mutex held).
  void ReleaseLocked();

  int rows = 0;  // fixed at creation: a handle never changes shape
  int columns = 0;

 private:
  std::shared_ptr<SystemState> m_owner;
  std::unique_ptr<const uma_Matrix> m_matrix;
  uma_Matrix* m_writable;
};

}  // namespace umapy
