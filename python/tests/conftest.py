"""Shared fixtures: the sample model, a model written with uma.write_model, a matrix as the C++
tools write it, and the leak check."""
import gc
import os
import subprocess

import numpy as np
import pytest

import uma
from uma import _testing

ALL_OPTIONS = uma.FILTER_INTERNAL | uma.TRIM_STATIC_MODES | uma.TRIM_LOADS


def library_values(path, key, options=0):
    """The matrix as the C++ tools write it (uma-inspect --matrix, Matrix Market), read back."""
    key = ("name:" + key) if isinstance(key, str) else str(key)
    out = subprocess.run([os.environ["UMA_INSPECT"], "--matrix", key, "--options", str(options),
                          str(path)], check=True, capture_output=True, text=True).stdout
    lines = [line for line in out.splitlines() if not line.startswith("%")]
    rows, columns = (int(n) for n in lines[0].split())
    return np.array([float(v) for v in lines[1:]]).reshape((rows, columns), order="F")


def bits(array):
    """The values' bit patterns, so that -0.0 and NaN payloads count."""
    return np.ascontiguousarray(array, dtype=np.float64).view(np.uint64)


@pytest.fixture
def sample():
    path = os.environ.get("UMA_SAMPLE_MODEL", "")
    if not os.path.exists(path):
        pytest.skip("the sample model is not built")
    return path


@pytest.fixture(autouse=True)
def no_leak():
    """Every test leaves the platform allocator's live blocks where they were."""
    gc.collect()
    start = _testing.live_blocks()
    yield
    _testing.fail_allocation_at(0)
    gc.collect()
    assert _testing.live_blocks() == start


# A small reduced model with every kind of set: nodes 11..15 (13 internal), two dofs per node,
# one load, two static modes on the A-set (node 11 and 15, dof 1), two dynamic modes, and
# elements 7 and 9. Values hold the awkward doubles (-0.0, NaN, infinities, subnormals).
LOADS, STATIC, DYNAMIC = 1, 2, 2


def tiny_tables():
    rng = np.random.default_rng(7)
    nodes = [11, 12, 13, 14, 15]
    dofs = [[n, l] for n in nodes for l in (1, 2)]
    modes = [[0, 1], [11, 1], [15, 1], [900000001, 0], [900000002, 0]]
    recovery_rows = list(range(1, 11)) + [1, 9]  # all dofs, then one row per static mode
    recovery = rng.standard_normal((len(recovery_rows), len(modes)))
    recovery[0, 0], recovery[1, 1], recovery[2, 2] = -0.0, np.nan, np.inf
    recovery[3, 3], recovery[4, 4] = -np.inf, 5e-324
    stiffness = rng.standard_normal((2, 2))
    coordinates = np.column_stack([np.arange(5.0), np.zeros(5), np.ones(5)])
    return dict(
        system_type=3, num_loads=LOADS, num_static_modes=STATIC,
        attributes={uma.UNIT_LENGTH: "mm", uma.PROGRAM: "a reducer"},
        nodes=nodes, internal=[13], dofs=dofs, modes=modes, elements=[7, 9],
        sets={
            "nodes": ("node", [1, 2, 3, 4, 5]),
            "dofs": ("dof", list(range(1, 11))),
            "recovery rows": ("dof", recovery_rows),
            "modes": ("mode", [1, 2, 3, 4, 5]),
            "modes without loads": ("mode", [2, 3, 4, 5]),
            "a-set": ("dof", [1, 9]),
            "a-set nodes": ("node", [1, 5]),
            "elements": ("element", [2, 1]),
        },
        set_types={uma.A_SET: "a-set", uma.A_SET_NODES: "a-set nodes"},
        matrices=[
            {"type": uma.RECOVERY, "values": recovery, "rows": "recovery rows",
             "columns": "modes"},
            {"type": uma.REDUCED_STIFFNESS, "name": "K", "values": stiffness, "rows": "a-set",
             "columns": "a-set"},
            {"type": uma.NODE_COORDINATES, "values": coordinates, "rows": "nodes"},
            {"type": uma.MODE_MATRIX, "values": np.ones((10, 4)), "rows": "dofs",
             "columns": "modes without loads"},
            {"user_matrix": "forces", "values": np.arange(4.0).reshape(2, 2),
             "rows": "elements"},
        ])


@pytest.fixture
def tiny(tmp_path):
    """A model written with uma.write_model, and the tables it was written from."""
    tables = tiny_tables()
    path = tmp_path / "tiny.uma"
    uma.write_model(path, **tables)
    return path, tables
