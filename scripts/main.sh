#!/usr/bin/env bash
# Sets the machine up, builds the project (which writes the sample flexible body to
# build/sample/beam.uma), shows what a host sees of that stored model and checks it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DUMA_BUILD_TESTS=OFF -DUMA_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build -j"$(nproc)" >/dev/null
./build/tools/uma-inspect build/sample/beam.uma
./build/tools/uma-check build/sample/beam.uma
