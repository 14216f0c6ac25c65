// The platform's internals as its own tests reach them: model sessions and the encoding of ids,
// model files and their reasons, and the SQLite owners. Not installed. Tools, benchmarks, the
// fuzzer and examples use the support API (pfm_Support.h, pfm_ModelBuilder.h, pfm_Observe.h)
// and the library's headers instead.
#pragma once

#include "file/pfm_ModelFile.h"
#include "file/pfm_Sqlite.h"
#include "store/pfm_Session.h"
