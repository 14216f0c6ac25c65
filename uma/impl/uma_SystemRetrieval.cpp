// Matrix retrieval of the system handle: whether a matrix exists, the stored matrix writable
// (editing only), or read-only and trimmed of load columns and static-mode rows and filtered
// of internal nodes.
#include <cstdint>
#include <limits>
#include <memory>

#include "QOBMtxLinearAlgebra.h"
#include "QOBSspSubCore.h"
#include "uma_Matrix.h"
#include "uma_SetAccess.h"
#include "uma_System.h"
#include "uma_TypeIndex.h"

namespace {

// The node coordinates have a lookup of their own; every other type is a distribution.
QOBSimDistributionID DistributionOfType(const QOBFsmSystem& record, int type) {
  return type == uma_TypeIndex::NodeCoordinates() ? record.NodeCoordinates()
                                                  : record.Distribution(type);
}

// The user matrix of the name, else the distribution of that name. A null name is "".
QOBSimDistributionID DistributionOfName(const QOBFsmSystem& record, const char* name) {
  QOBSimDistributionID id = record.UserMatrix(RYMString(name));
  return id.IsNull() ? record.Distribution(RYMString(name)) : id;
}

// Takes the answer of a trim or filter: a new matrix replaces the current one, which is
// deleted at once; null or the current matrix itself leaves the current one in place.
void Replace(std::unique_ptr<QOBSrvDenseMatrix>& current, QOBSrvDenseMatrix* answer) {
  if (answer != nullptr && answer != current.get()) current.reset(answer);
}

// Index of the last of `count` items once the last `dropped` are gone, computed in 64 bits so
// that no count can wrap around; a value beyond int makes a block the platform refuses.
int LastKept(int count, int dropped) {
  std::int64_t last = std::int64_t{count} - 1 - dropped;
  if (last < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
  if (last > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  return static_cast<int>(last);
}

// Hands `dense` to the handle that `wrap` makes of it; if making the handle throws, the dense
// matrix is released.
template <class Wrap>
auto Adopt(std::unique_ptr<QOBSrvDenseMatrix> dense, Wrap wrap) {
  auto* handle = wrap(dense.get());
  dense.release();
  return handle;
}

}  // namespace

bool uma_System::HasMatrix(int type) const {
  if (IsNull()) return false;
  return !DistributionOfType(*m_fsmSystem, type).IsNull();
}

bool uma_System::HasMatrix(const char* name) const {
  if (IsNull()) return false;
  return !DistributionOfName(*m_fsmSystem, name).IsNull();
}

uma_Matrix* uma_System::GetMatrix(int type) {
  if (!m_editable || IsNull()) return nullptr;
  QOBSimDistributionID id = DistributionOfType(*m_fsmSystem, type);
  if (id.IsNull()) return nullptr;
  // Neither the kind nor any option applies: the stored matrix as it is, writable.
  return Adopt(std::make_unique<QOBSrvDenseMatrix>(id),
               [this](QOBSrvDenseMatrix* dense) { return new uma_Matrix(dense, this); });
}

uma_Matrix* uma_System::GetMatrix(const char* name) {
  if (!m_editable || IsNull()) return nullptr;
  // User matrices only: no fallback to the distribution of the name.
  QOBSimDistributionID id = m_fsmSystem->UserMatrix(RYMString(name));
  if (id.IsNull()) return nullptr;
  return Adopt(std::make_unique<QOBSrvDenseMatrix>(id),
               [this](QOBSrvDenseMatrix* dense) { return new uma_Matrix(dense, this); });
}

const uma_Matrix* uma_System::Matrix(int type, int options) const {
  if (IsNull()) return nullptr;
  return MakeMatrix(DistributionOfType(*m_fsmSystem, type), options);
}

const uma_Matrix* uma_System::Matrix(const char* name, int options) const {
  if (IsNull()) return nullptr;
  return MakeMatrix(DistributionOfName(*m_fsmSystem, name), options);
}

const uma_Matrix* uma_System::MakeMatrix(QOBSimDistributionID id, int options) const {
  if (IsNull() || id.IsNull()) return nullptr;
  if (!QOBSrvUtilities::IsDenseMatrix(QOBSimDistribution(id))) return nullptr;
  // The current matrix; each trim or filter may replace it. `this` is const here, so the
  // handle made of it is read-only.
  std::unique_ptr<QOBSrvDenseMatrix> current = std::make_unique<QOBSrvDenseMatrix>(id);
  auto readOnly = [this](QOBSrvDenseMatrix* dense) { return new uma_Matrix(dense, this); };
  if (options == 0) return Adopt(std::move(current), readOnly);

  // What the columns are is asked once, before anything changes.
  int columnType = uma_SetAccess::PositionType(current->ColumnCSet());
  if (columnType == uma_TypeIndex::ModePosition() && (options & OptionTrimLoads)) {
    int lastRow = current->NumberOfRows() - 1;
    Replace(current, current->Restrict(0, lastRow, NumLoads(), current->NumberOfColumns() - 1));
  }
  if (columnType == uma_TypeIndex::NodePosition() && (options & OptionFilterInternalNodes))
    Replace(current, sub_Utilities::FilterColNodes(current.get(), InternalNodeSet()));

  // What the rows are is asked of the matrix as the column steps left it.
  int rowType = uma_SetAccess::PositionType(current->RowCSet());
  if (rowType == uma_TypeIndex::DofPosition() && (options & OptionTrimStaticModes)) {
    int lastRow = LastKept(current->NumberOfRows(), NumStaticModes());
    Replace(current, current->Restrict(0, lastRow, 0, current->NumberOfColumns() - 1));
  }
  if (options & OptionFilterInternalNodes) {
    if (rowType == uma_TypeIndex::NodePosition()) {
      Replace(current, sub_Utilities::FilterRowNodes(current.get(), InternalNodeSet()));
    } else if (rowType == uma_TypeIndex::DofPosition()) {
      QOBFsmSystemDofDefinition dofs(m_fsmSystem->NodalDofTypes(), 0, false);
      Replace(current, sub_Utilities::FilterRowDofs(current.get(), InternalNodeSet(), dofs));
    }
  }
  return Adopt(std::move(current), readOnly);
}
