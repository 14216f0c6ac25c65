// The substructure filters: a dense matrix without the rows or columns of internal nodes.
#include <string>
#include <vector>

#include "QOBSspSubCore.h"
#include "pfm_Dense.h"
#include "pfm_Observe.h"

namespace {

enum class Side { Rows, Columns };

// The set labelling one side of `matrix`, when its members are of `kind`; null otherwise
// (an unlabelled side, or members of another kind, which the filter leaves alone).
const pfm::ComponentSet* SetOfKind(const QOBSrvDenseMatrix& matrix, Side side,
                                   pfm::MemberKind kind) {
  const QOBSrvDenseMatrix::Impl& m = matrix.impl();
  pfm::Session* s = m.Session();
  const pfm::ComponentSet* set = s ? s->Set(side == Side::Rows ? m.rowSet : m.columnSet) : nullptr;
  if (!set) return nullptr;
  const auto& collections = s->system().collections;
  if (set->collection < 0 || static_cast<std::size_t>(set->collection) >= collections.size())
    return nullptr;
  int positionType = collections[static_cast<std::size_t>(set->collection)].positionType;
  return pfm::KindOfPositionType(positionType) == kind ? set : nullptr;
}

// Keeps the rows (columns) whose member `internal` does not reject. Null when the side is not
// of `kind` or nothing would be removed.
template <class Internal>
QOBSrvDenseMatrix* Filter(const char* name, const QOBSrvDenseMatrix* matrix, Side side,
                          pfm::MemberKind kind, Internal internal) {
  PFM_JOURNAL(name);
  switch (pfm::hooks().filterAnswer) {
    case pfm::Forced::Null:
      return nullptr;
    case pfm::Forced::Self:
      return const_cast<QOBSrvDenseMatrix*>(matrix);
    case pfm::Forced::Normal:
      break;
  }
  if (matrix == nullptr || matrix->IsNull()) return nullptr;
  const pfm::ComponentSet* set = SetOfKind(*matrix, side, kind);
  if (!set) return nullptr;
  int count = side == Side::Rows ? matrix->NumberOfRows() : matrix->NumberOfColumns();
  if (set->members.size() != static_cast<std::size_t>(count))
    throw QOBBasError(std::string(name) + ": the set does not label the matrix");
  std::vector<int> kept;
  for (int i = 0; i < count; ++i)
    if (!internal(set->members[static_cast<std::size_t>(i)])) kept.push_back(i);
  if (kept.size() == static_cast<std::size_t>(count)) return nullptr;
  if (side == Side::Rows)
    return pfm::DeriveDense(*matrix, pfm::Selection::Of(std::move(kept)),
                            pfm::Selection::Leading(matrix->NumberOfColumns()));
  return pfm::DeriveDense(*matrix, pfm::Selection::Leading(matrix->NumberOfRows()),
                          pfm::Selection::Of(std::move(kept)));
}

}  // namespace

QOBSrvDenseMatrix* sub_Utilities::FilterColNodes(const QOBSrvDenseMatrix* matrix,
                                                 const omi_BlkBitVect& internalNodes) {
  return Filter("FilterColNodes", matrix, Side::Columns, pfm::MemberKind::Node,
                [&](int node) { return internalNodes.Test(node); });
}

QOBSrvDenseMatrix* sub_Utilities::FilterRowNodes(const QOBSrvDenseMatrix* matrix,
                                                 const omi_BlkBitVect& internalNodes) {
  return Filter("FilterRowNodes", matrix, Side::Rows, pfm::MemberKind::Node,
                [&](int node) { return internalNodes.Test(node); });
}

QOBSrvDenseMatrix* sub_Utilities::FilterRowDofs(const QOBSrvDenseMatrix* matrix,
                                                const omi_BlkBitVect& internalNodes,
                                                const QOBFsmSystemDofDefinition& dofs) {
  // A degree of freedom of no known node (0) is kept.
  return Filter("FilterRowDofs", matrix, Side::Rows, pfm::MemberKind::Dof, [&](int dof) {
    int node = dofs.NodeOf(dof);
    return node > 0 && internalNodes.Test(node);
  });
}
