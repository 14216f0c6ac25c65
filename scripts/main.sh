#!/usr/bin/env bash
# Sets the machine up, builds the project and runs the example host program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DUMA_BUILD_TESTS=OFF -DUMA_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build -j"$(nproc)" >/dev/null
./build/examples/open_system
./build/examples/flexible_body
