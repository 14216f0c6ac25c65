#!/usr/bin/env bash
# Reduces the example steel beam (a free 1 m beam of 20 elements, 40 x 20 mm,
# nodes 1001..1021 along x) to a model file: both ends are the boundary, the interior keeps
# its 8 lowest fixed-interface modes, and all interior nodes but the quarter points are marked
# internal. The load is 1 N along z at mid-span.
# Usage: examples/beam/reduce.sh UMA_REDUCE OUTPUT   (files written by uma-write-beam, main.cpp)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
"$1" --stiffness "$here/K.mtx" --mass "$here/M.mtx" --dofs "$here/dofs.csv" \
     --nodes "$here/nodes.csv" --loads "$here/F.mtx" --units m,kg,s,N \
     --boundary 1001,1021 \
     --internal 1002,1003,1004,1005,1007,1008,1009,1010,1012,1013,1014,1015,1017,1018,1019,1020 \
     --modes 8 -o "$2"
