#!/usr/bin/env bash
# Sets the machine up, builds the project, then follows a part from CalculiX to a host: reduces
# the shipped CalculiX deck of a steel plate with a hole (examples/calculix/plate.inp) to one
# rigid joint at the hole (CalculiX writes the matrices on the way), shows what a host sees of
# the model, checks it and runs the flexible-body host on it. Then the same for the example
# beam's Matrix Market files (examples/beam), and both written for a viewer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DUMA_BUILD_TESTS=OFF -DUMA_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build -j"$(nproc)" >/dev/null

echo "== reduce the CalculiX plate to a rigid joint at its hole (uma-reduce --calculix)"
./build/tools/uma-reduce --calculix examples/calculix/plate.inp --rigid 9001@60,30,4:HOLE \
  --boundary 9001 --modes 20 --units mm,t,s,N -o build/plate-joint.uma
echo
echo "== what a host sees of it (uma-inspect)"
./build/tools/uma-inspect build/plate-joint.uma
echo
echo "== the model check (uma-check)"
./build/tools/uma-check build/plate-joint.uma
echo
echo "== the flexible-body host on it"
./build/examples/flexible_body build/plate-joint.uma | cut -c1-160
echo
echo "== the example beam from Matrix Market files (examples/beam/reduce.sh)"
bash examples/beam/reduce.sh build/tools/uma-reduce build/beam.uma
./build/tools/uma-check build/beam.uma
echo
echo "== the beam and the plate for a viewer (uma-inspect --vtu; open them in ParaView)"
./build/tools/uma-inspect --vtu build/beam.vtu build/beam.uma
./build/tools/uma-inspect --vtu build/plate-joint.vtu build/plate-joint.uma
