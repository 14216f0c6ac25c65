#!/usr/bin/env bash
# Sets the machine up, builds and runs the whole test suite twice: in a normal build and under
# AddressSanitizer and UndefinedBehaviorSanitizer. Fails when any test fails.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
jobs=$(nproc)

echo "== normal build"
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-test -j"$jobs"
(cd build-test && ctest --output-on-failure -j"$jobs")

echo "== sanitizer build (ASan + UBSan)"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DUMA_SANITIZE=ON -DUMA_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build-asan -j"$jobs"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j"$jobs")

echo "== a host project built against the installed package"
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install build-test --prefix "$prefix/install" >/dev/null
cmake -S examples/host_project -B "$prefix/host" -DCMAKE_PREFIX_PATH="$prefix/install" >/dev/null
cmake --build "$prefix/host" -j"$jobs" >/dev/null
# An unknown model opens as a null handle: the host reports it and exits with 1.
answer=$(LD_LIBRARY_PATH="$prefix/install/lib" "$prefix/host/uma_host" no-such-model || true)
if [ "$answer" = "null system" ]; then
  echo "host project: ok"
else
  echo "host project: FAILED" >&2
  exit 1
fi

echo "== the installed Python package"
PYTHONPATH="$prefix/install/lib/python3/dist-packages" /usr/bin/python3 -c '
import sys, uma
with uma.System(sys.argv[1]) as s:
    assert s.matrix(uma.RECOVERY, uma.FILTER_INTERNAL | uma.TRIM_STATIC_MODES | uma.TRIM_LOADS).shape == (24, 16)
print("python package: ok")' build-test/sample/beam.uma
