#!/usr/bin/env python3
"""Times the Python binding's values() of a stored 20000 x 1000 matrix and block() of a
4000 x 400 block beside the C++ library's GetValues of the same blocks, in one run.

Usage: python_values.py BUILD_DIR [MODEL]
  BUILD_DIR  a Release build with the benchmarks and the Python package
  MODEL      the model file to use (written here, 160 MB, when it does not exist)
"""
import json
import os
import subprocess
import sys
import tempfile
import timeit

ROWS, COLUMNS = 20000, 1000
BLOCK = (4000, 400)


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    build = os.path.abspath(sys.argv[1])
    sys.path.insert(0, os.path.join(build, "python"))
    import numpy as np
    import uma

    model = sys.argv[2] if len(sys.argv) == 3 else os.path.join(tempfile.gettempdir(),
                                                                "uma_python_values.uma")
    if not os.path.exists(model):
        rng = np.random.default_rng(1)
        uma.write_model(model, nodes=[1], matrices=[
            {"type": uma.REDUCED_STIFFNESS, "values": rng.standard_normal((ROWS, COLUMNS))}])

    env = dict(os.environ, UMA_BENCH_MODEL=model)
    out = subprocess.run([os.path.join(build, "bench", "python_values_bench"),
                          "--benchmark_format=json", "--benchmark_repetitions=5"], env=env,
                         check=True, capture_output=True, text=True).stdout
    cpp = {}  # the fastest repetition, in milliseconds, as timeit's minimum below
    for b in json.loads(out)["benchmarks"]:
        if b.get("run_type") == "iteration":
            name = b["name"].split("/")[0]
            cpp[name] = min(cpp.get(name, float("inf")), b["real_time"])

    with uma.System(model) as s:
        m = s.matrix(uma.REDUCED_STIFFNESS)
        whole = min(timeit.repeat(m.values, number=1, repeat=20)) * 1e3
        block = min(timeit.repeat(lambda: m.block(0, 0, BLOCK[0] - 1, BLOCK[1] - 1), number=1,
                                  repeat=50)) * 1e3
        assert np.array_equal(m.block(0, 0, 9, 9), m.values()[:10, :10])

    print("%-28s %12s %12s %8s" % ("", "Python ms", "C++ ms", "ratio"))
    for name, py_ms, cpp_ms in [("values() 20000 x 1000", whole, cpp["BM_GetValuesWhole"]),
                                ("block() 4000 x 400", block, cpp["BM_GetValuesBlock"])]:
        print("%-28s %12.3f %12.3f %8.2f" % (name, py_ms, cpp_ms, py_ms / cpp_ms))


if __name__ == "__main__":
    main()
