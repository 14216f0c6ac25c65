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
# The installed platform headers are its declarations and its public face, nothing for tests:
# no pfm_ header but those of platform/include (pfm_Observe.h, pfm_Model.h, pfm_TestAccess.h and
# the store's internals stay behind).
installed=$(find "$prefix/install/include" -name 'pfm_*.h' -printf '%f\n' | sort)
public=$(find platform/include -name 'pfm_*.h' -printf '%f\n' | sort)
for internal in pfm_Observe.h pfm_Model.h pfm_TestAccess.h; do
  if grep -qx "$internal" <<<"$installed"; then
    echo "installed headers: FAILED ($internal is installed)" >&2
    exit 1
  fi
done
if [ "$installed" != "$public" ]; then
  echo "installed headers: FAILED (installed: $(echo $installed); public: $(echo $public))" >&2
  exit 1
fi
echo "installed headers: ok"
cmake -S examples/host_project -B "$prefix/host" -DCMAKE_PREFIX_PATH="$prefix/install" >/dev/null
cmake --build "$prefix/host" -j"$jobs" >/dev/null
# An unknown model opens as a null handle: the host reports why through the support API and
# exits with 1.
answer=$("$prefix/host/uma_host" no-such-model || true)
if [ "$answer" = "null system: no such file: no-such-model" ]; then
  echo "host project: ok"
else
  echo "host project: FAILED ($answer)" >&2
  exit 1
fi
# The installed builder is usable from outside: the host builds a tiny model, saves and opens it.
answer=$("$prefix/host/uma_host" --write "$prefix/tiny.uma" || true)
if [ "$answer" = $'type 7, 1 loads, 0 static modes\nstiffness 2 x 2, k11 4 k12 -4' ]; then
  echo "host project's model: ok"
else
  echo "host project's model: FAILED ($answer)" >&2
  exit 1
fi

echo "== the installed programs, run from the prefix without a library path"
report=$(env -u LD_LIBRARY_PATH "$prefix/install/bin/uma-inspect" build-test/sample/beam.uma 2>&1 || true)
if grep -q "open for reading, type 12" <<<"$report"; then
  echo "installed uma-inspect: ok"
else
  echo "installed uma-inspect: FAILED" >&2
  echo "$report" >&2
  exit 1
fi
# Every installed program finds the package's libraries (whatever it answers on the sample).
for program in "$prefix"/install/bin/*; do
  output=$(env -u LD_LIBRARY_PATH "$program" build-test/sample/beam.uma 2>&1 || true)
  if grep -q "error while loading shared libraries" <<<"$output"; then
    echo "installed $(basename "$program"): FAILED to load its libraries" >&2
    exit 1
  fi
done
echo "installed programs: ok"

echo "== the installed Python package"
PYTHONPATH="$prefix/install/lib/python3/dist-packages" env -u LD_LIBRARY_PATH /usr/bin/python3 -c '
import sys, uma
with uma.System(sys.argv[1]) as s:
    assert s.matrix(uma.RECOVERY, uma.FILTER_INTERNAL | uma.TRIM_STATIC_MODES | uma.TRIM_LOADS).shape == (30, 20)
print("python package: ok")' build-test/sample/beam.uma
