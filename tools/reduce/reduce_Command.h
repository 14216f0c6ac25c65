// The uma-reduce command: reads a full model from files, reduces it and writes the model file,
// reporting progress on `err` and a summary on `out`. The program's main() and the tests call it.
#pragma once

#include <cstdio>

namespace uma::reduce {

// Answers the exit status: 0 written, 1 refused input or a failure (one line on `err` saying
// why; nothing is written), 2 a usage error.
int RunCommand(int argc, const char* const* argv, std::FILE* out, std::FILE* err);

}  // namespace uma::reduce
