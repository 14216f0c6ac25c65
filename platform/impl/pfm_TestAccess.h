// The platform's internals as its own tests reach them: the store's model data, what tests
// observe and force (pfm_Observe.h), model sessions and the encoding of ids, model files and
// their reasons, and the SQLite owners. Not installed. Tools, benchmarks and examples use the
// platform's public face (platform/include) and the library's headers instead; only targets that
// link QOBPlatformTestSupport, which puts the implementation's folders on the include path, can
// include it.
#pragma once

#include "pfm_Model.h"
#include "pfm_ModelFile.h"
#include "pfm_Observe.h"
#include "pfm_Session.h"
#include "pfm_Sqlite.h"
