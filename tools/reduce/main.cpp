// uma-reduce: a reduced model file from a full finite-element model (see --help).
#include <cstdio>

#include "reduce_Command.h"

int main(int argc, char** argv) { return uma::reduce::RunCommand(argc, argv, stdout, stderr); }
