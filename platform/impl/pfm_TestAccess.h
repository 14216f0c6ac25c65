// The platform's internals as its own tests reach them: model sessions and the encoding of ids,
// model files and their reasons, and the SQLite owners. Not installed. Tools, benchmarks, the
// fuzzer and examples use the support API (pfm_Support.h, pfm_ModelBuilder.h, pfm_Observe.h)
// and the library's headers instead; only targets that link QOBPlatformInternals, which puts
// the module folders on the include path, can include it.
#pragma once

#include "pfm_ModelFile.h"
#include "pfm_Session.h"
#include "pfm_Sqlite.h"
