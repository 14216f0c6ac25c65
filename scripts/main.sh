#!/usr/bin/env bash
# Sets the machine up, builds the project, then follows a model from finite elements to a host:
# reduces the shipped example matrices of a steel beam (examples/beam) to a model file, shows
# what a host sees of it, checks it, and runs the flexible-body host on it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DUMA_BUILD_TESTS=OFF -DUMA_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build -j"$(nproc)" >/dev/null

echo "== reduce the example beam (examples/beam/reduce.sh)"
bash examples/beam/reduce.sh build/tools/uma-reduce build/beam.uma
echo
echo "== what a host sees of it (uma-inspect)"
./build/tools/uma-inspect build/beam.uma
echo
echo "== the model check (uma-check)"
./build/tools/uma-check build/beam.uma
echo
echo "== the flexible-body host on it"
./build/examples/flexible_body build/beam.uma
