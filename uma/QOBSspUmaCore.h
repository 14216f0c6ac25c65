// Lifecycle of the QOBSspUmaCore module. A host calls QOBSspUmaCore_initialize before it uses
// any class of the library and QOBSspUmaCore_finalize after it has destroyed the last object it
// received from it, passing the same counter to both. Calls nest: only the first initialise
// brings the platform modules up, and only the finalise that balances it takes them down.
// Taking them down closes every model still open. A system constructed outside the pair is a
// null handle (pfm::LastOpenFailure(): "the library is not initialised"). Neither function
// throws or aborts.
//
// Threads. The library and its platform keep process-wide state without locks of their own: a
// host may use them from several threads, but one thread at a time. Every call of every class
// of the library (constructors and destructors included), these two functions and the
// platform's support API (pfm_Support.h) must be serialised by the host, e.g. by one mutex held
// around each call. Objects are not tied to the thread that made them. Separate processes need
// nothing of the kind (docs/host-guide.md, "Threads").
#pragma once

#include "uma_Export.h"

UMA_EXPORT void QOBSspUmaCore_initialize(int& count);
UMA_EXPORT void QOBSspUmaCore_finalize(int& count);

// The library's own layer, counted on its own.
UMA_EXPORT void uma_initialize(int& count);
UMA_EXPORT void uma_finalize(int& count);
