// Facade for flexible bodies: a system opened for reading that answers, one call each, the
// label arrays a flexible-body host needs, and hands out matrices with fixed options. Every
// array and matrix returned is new and owned by the caller; null means no answer.
#pragma once

#include "uma_Export.h"
#include "uma_System.h"

class UMA_EXPORT uma_FlexibleBodyX : public uma_System {
 public:
  explicit uma_FlexibleBodyX(const char* name);
  ~uma_FlexibleBodyX() override;

  // The matrix of a type or name with this facade's options: node coordinates filtered of
  // internal nodes, the recovery matrix trimmed and filtered, "LumpedMass" filtered, others as
  // stored.
  const uma_Matrix* Matrix(int type);
  const uma_Matrix* Matrix(const char* name);

  uma_ArrayInt* FENodes();
  uma_ArrayInt* NodesInASet();
  uma_ArrayInt* ASetNodes();
  uma_ArrayInt* ASetDofs();
  uma_ArrayInt* RecoverySetNodes();
  uma_ArrayInt* RecoverySetDofs();
  uma_ArrayInt* GFAASetNodes();
  uma_ArrayInt* GFAASetDofs();

 private:
  UMA_HIDDEN uma_ArrayInt* SetWithDynamicModes(int setType, uma_Enum::uma_MapTypeEnum type,
                                               bool modeLabels);
};
