// Database access: opens stored models by name and closes them.
#pragma once

#include "QOBBasCoreUtils.h"
#include "QOBBasRymel.h"
#include "QOBSimAPI.h"

void DDB_AnalysisSupport_initialize(int& count);
// Taking the module down closes every model session still open.
void DDB_AnalysisSupport_finalize(int& count);

// Process-wide instance of T, made on first use.
template <class T>
class thr_GlobalSingleton {
 public:
  static T& Instance() {
    static T instance;
    return instance;
  }
};

// Opens models by name. Each open starts a model session and answers the model's position;
// an unknown or unreadable model answers a null position (the reason is kept for tools).
class asu_SimAccess {
 public:
  QOBSimPosition OpenRead(cow_String name, RYMString options, bool exclusive);
  QOBSimPosition OpenEdit(cow_String name, cow_String options, cow_String scratch);
  // Ends the session that `position` belongs to; edits are written to the model first.
  // A null position or one of a session already closed does nothing.
  void Close(QOBSimPosition position);
};
