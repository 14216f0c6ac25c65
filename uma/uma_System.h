// Handle to one stored substructure system. Constructed from a model name, it opens the model
// for reading or for editing; destroying it closes the model. A handle whose model does not
// open is null: every operation then answers null, false or 0. Matrices handed out by a system
// must be deleted before it.
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

  uma_System(const char* name, bool editable);
  virtual ~uma_System();
  uma_System(const uma_System&) = delete;
  uma_System& operator=(const uma_System&) = delete;

  bool IsNull() const;
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
  // there is none or it is not dense. Owned by the caller.
  const uma_Matrix* Matrix(int type, int options) const;
  const uma_Matrix* Matrix(const char* name, int options) const;

  // The members of a component set (by id, or the system's set of a set type) as the integers
  // asked for; null when the set is absent or empty or the kinds do not fit. Owned by the
  // caller.
  uma_ArrayInt* MapCSet(QOBSimCSetID set, uma_Enum::uma_MapTypeEnum type) const;
  uma_ArrayInt* MapCSet(int setType, uma_Enum::uma_MapTypeEnum type) const;

 private:
  friend class uma_TestAccess;

  UMA_HIDDEN omi_BlkBitVect InternalNodeSet() const;
  UMA_HIDDEN const uma_Matrix* MakeMatrix(QOBSimDistributionID id, int options) const;

  QOBFsmSystem* m_fsmSystem;
  bool m_editable;
};
