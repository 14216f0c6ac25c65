// Handle to one stored substructure system. Constructed from a model name, it opens the model
// for reading or for editing; destroying it closes the model. A handle whose model does not
// open is null: every operation then answers null, false or 0 (pfm::LastOpenFailure() of the
// platform's support API says why; "the library is not initialised" when the host has not
// called QOBSspUmaCore_initialize). Matrices handed out by a system must be deleted before it.
//
// Errors. Nothing is caught: platform exceptions reach the caller after the operation's
// temporaries are released, and the handle stays usable.
//  - QOBBasOutOfMemory (a QOBBasError) from every operation that allocates: the constructor,
//    GetMatrix, Matrix, MapCSet.
//  - QOBBasError from MapCSet, for a kind other than uma_MapInternal, when the set id belongs to
//    another open system (an id of a closed model is an absent set: null).
//  - No operation of this class aborts the process; the arrays it returns assert their indices
//    (uma_ArrayInt.h).
//
// Threads: one thread at a time, as for the whole library (QOBSspUmaCore.h); a handle may be
// made, used and destroyed in different threads.
#pragma once

#include "QOBBasCoreUtils.h"
#include "QOBFsmShared.h"
#include "QOBSimAPI.h"
#include "uma_Enum.h"
#include "uma_Export.h"

class uma_ArrayInt;
class uma_Matrix;

class UMA_EXPORT uma_System : public mem_AllocationOperators {
 public:
  // Retrieval options of Matrix, a bit set; other bits have no effect.
  enum Options {
    OptionFilterInternalNodes = 1,  // drop the rows and columns of internal nodes
    OptionTrimStaticModes = 2,      // drop the static-mode rows of degree-of-freedom rows
    OptionTrimLoads = 4,            // drop the load columns of mode columns
  };

  // Opens the model `name` (a null name is the empty name) for reading, or for editing: edits
  // through GetMatrix reach the model when the handle is destroyed.
  uma_System(const char* name, bool editable);
  // Closes the model; an edit session's changes are saved then (a failed save writes one line on
  // the error stream and leaves its reason in pfm::LastCloseFailure(), its kind in
  // pfm::LastCloseFailureKind()), unless pfm::DiscardEdits ended the session before. Never
  // throws.
  virtual ~uma_System();
  uma_System(const uma_System&) = delete;
  uma_System& operator=(const uma_System&) = delete;

  // True when the model did not open, has no system, or its system reports itself null.
  bool IsNull() const;
  // The system's type, numbers of loads and of static modes; 0 for a null handle.
  int Type() const;
  int NumLoads() const;
  int NumStaticModes() const;

  // Whether the matrix of a type index, or of a name (user matrix, else distribution), exists.
  bool HasMatrix(int type) const;
  bool HasMatrix(const char* name) const;
  // The stored matrix unchanged and writable; null unless opened for editing. Owned by the
  // caller.
  uma_Matrix* GetMatrix(int type);
  uma_Matrix* GetMatrix(const char* name);
  // The stored dense matrix, read-only, trimmed and filtered as the options ask; null when
  // there is none or it is not dense. Owned by the caller. A matrix derived by the options is a
  // copy: later edits of the stored matrix do not show in it. Unknown option bits are ignored.
  const uma_Matrix* Matrix(int type, int options) const;
  const uma_Matrix* Matrix(const char* name, int options) const;

  // The members of a component set (by id, or the system's set of a set type) as the integers
  // asked for; null when the set is absent or empty or the kinds do not fit. Owned by the
  // caller. uma_MapInternal answers the member numbers, even on a null handle; the other kinds
  // fit these sets: dofs and modes -> uma_MapNode, uma_MapDof; nodes -> uma_MapNode; elements ->
  // uma_MapElement.
  uma_ArrayInt* MapCSet(QOBSimCSetID set, uma_Enum::uma_MapTypeEnum type) const;
  uma_ArrayInt* MapCSet(int setType, uma_Enum::uma_MapTypeEnum type) const;

 private:
  friend class uma_TestAccess;

  UMA_HIDDEN omi_BlkBitVect InternalNodeSet() const;
  UMA_HIDDEN const uma_Matrix* MakeMatrix(QOBSimDistributionID id, int options) const;

  QOBFsmSystem* m_fsmSystem;
  bool m_editable;
};
