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
import statistics
import tempfile
import time
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
    # The machine may be shared: both sides are timed in CPU time, the median of repetitions.
    cpp = {}
    for b in json.loads(out)["benchmarks"]:
        if b.get("run_type") == "aggregate" and b.get("aggregate_name") == "median":
            cpp["/".join(b["name"].split("/")[:2])] = b["cpu_time"]  # milliseconds

    def median_ms(work, number):
        runs = timeit.repeat(work, number=number, repeat=7, timer=time.process_time)
        return statistics.median(runs) / number * 1e3

    with uma.System(model) as s:
        m = s.matrix(uma.REDUCED_STIFFNESS)
        r1, c1 = BLOCK[0] - 1, BLOCK[1] - 1
        whole = median_ms(m.values, 3)
        block = median_ms(lambda: m.block(0, 0, r1, c1), 50)
        buffer = np.ones((ROWS, COLUMNS), order="F")
        whole_out = median_ms(lambda: m.values(out=buffer), 3)
        buffer = np.ones(BLOCK, order="F")
        block_out = median_ms(lambda: m.block(0, 0, r1, c1, out=buffer), 50)
        assert np.array_equal(m.block(0, 0, 9, 9), m.values()[:10, :10])

    # Into a new buffer per copy (values() and block()) and into one buffer reused (out=), on
    # both sides: the ratios are the binding's own cost over the library's.
    print("CPU ms, median of repetitions")
    print("%-32s %10s %10s %8s" % ("", "Python", "C++", "ratio"))
    for name, py_ms, key in [("values() 20000 x 1000", whole, "BM_GetValuesWhole/1"),
                             ("values(out=) 20000 x 1000", whole_out, "BM_GetValuesWhole/0"),
                             ("block() 4000 x 400", block, "BM_GetValuesBlock/1"),
                             ("block(out=) 4000 x 400", block_out, "BM_GetValuesBlock/0")]:
        print("%-32s %10.3f %10.3f %8.2f" % (name, py_ms, cpp[key], py_ms / cpp[key]))

if __name__ == "__main__":
    main()
