// Facade for flexible bodies: a system opened for reading that answers, one call each, the
// label arrays a flexible-body host needs, and hands out matrices with fixed options. Every
// array and matrix returned is new and owned by the caller; null means no answer (and every
// operation answers null on a null system). The operations keep nothing between calls. The
// other operations of uma_System are inherited; GetMatrix answers null, as for any system open
// for reading.
//
// Errors: those of uma_System and uma_Matrix (QOBBasOutOfMemory when an allocation fails; the
// temporaries of the operation are released first). No operation aborts or writes a message.
//
// Threads: one thread at a time, as for the whole library (QOBSspUmaCore.h).
//
// Dynamic modes: the mode matrix's column count less NumStaticModes(), or none when there are
// more static modes than columns (a negative count of static modes counts none).
#pragma once

#include "uma_Export.h"
#include "uma_System.h"

class UMA_EXPORT uma_FlexibleBodyX : public uma_System {
 public:
  // Opens the model `name` for reading (uma_System(name, false)).
  explicit uma_FlexibleBodyX(const char* name);
  // Closes the model (uma_System's destructor).
  ~uma_FlexibleBodyX() override;

  // The matrix of a type or name with this facade's options: node coordinates filtered of
  // internal nodes, the recovery matrix trimmed and filtered (options 7), "LumpedMass" (exact,
  // case-sensitive name) filtered, others as stored (options 0). A null name matches nothing
  // and is asked for as the empty name. Null when there is no such dense matrix.
  const uma_Matrix* Matrix(int type);
  const uma_Matrix* Matrix(const char* name);

  // Node label of each row of the node coordinates filtered of internal nodes.
  uma_ArrayInt* FENodes();
  // Node labels of the A-set's node set, then one MapDynamicMode(k) label per dynamic mode.
  uma_ArrayInt* NodesInASet();
  // Node of each A-set degree of freedom, then one MapDynamicMode(k) label per dynamic mode.
  uma_ArrayInt* ASetNodes();
  // Local degree of freedom of each A-set degree of freedom, then a 0 per dynamic mode; lines
  // up with ASetNodes().
  uma_ArrayInt* ASetDofs();
  // Node of each row of the recovery matrix, trimmed and filtered as Matrix() gives it.
  uma_ArrayInt* RecoverySetNodes();
  // Local degree of freedom of each of those rows.
  uma_ArrayInt* RecoverySetDofs();
  // Node of each column of the user matrix "xGFAA" (its columns, not its rows).
  uma_ArrayInt* GFAASetNodes();
  // Local degree of freedom of each column of "xGFAA".
  uma_ArrayInt* GFAASetDofs();

 private:
  UMA_HIDDEN uma_ArrayInt* SetWithDynamicModes(int setType, uma_Enum::uma_MapTypeEnum type,
                                               bool modeLabels);
};
