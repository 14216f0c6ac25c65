"""Writing models from numpy arrays, and editing them: what is written comes back bit for bit,
through the binding and through the C++ library alike."""
import os
import sqlite3
import subprocess
import sys
import time

import numpy as np
import pytest

import uma
from conftest import ALL_OPTIONS, LOADS, STATIC, bits, library_values


def test_a_written_model_reads_back_bit_for_bit_with_its_labels(tiny):
    path, tables = tiny
    recovery, stiffness, coordinates, _, forces = (m["values"] for m in tables["matrices"])
    with uma.System(path) as s:
        assert (s.type, s.num_loads, s.num_static_modes) == (3, LOADS, STATIC)
        assert s.attributes() == {"unit.length": "mm", "provenance.program": "a reducer"}
        for key, options, written in [(uma.RECOVERY, 0, recovery), (uma.REDUCED_STIFFNESS, 0, stiffness),
                                      ("K", 0, stiffness), (uma.NODE_COORDINATES, 0, coordinates),
                                      ("forces", 0, forces)]:
            values = s.matrix(key, options).values()
            np.testing.assert_array_equal(bits(values), bits(written))
            np.testing.assert_array_equal(bits(values), bits(library_values(path, key, options)))
        # Loads first and static-mode rows last: the options cut exactly those, and the internal
        # node 13 (dofs 5 and 6).
        r = s.matrix(uma.RECOVERY, ALL_OPTIONS)
        kept_rows = [0, 1, 2, 3, 6, 7, 8, 9]
        np.testing.assert_array_equal(bits(r.values()), bits(recovery[kept_rows, LOADS:]))
        np.testing.assert_array_equal(r.rows("node"), [11, 11, 12, 12, 14, 14, 15, 15])
        np.testing.assert_array_equal(r.rows("dof"), [1, 2] * 4)
        np.testing.assert_array_equal(r.cols("node"), [11, 15, 900000001, 900000002])
        np.testing.assert_array_equal(s.matrix("forces").rows("element"), [9, 7])
        np.testing.assert_array_equal(s.matrix(uma.NODE_COORDINATES, uma.FILTER_INTERNAL).rows("node"),
                                      [11, 12, 14, 15])
        assert [(i.key, i.kind) for i in s.matrices()] == [
            (uma.REDUCED_STIFFNESS, "type"), (uma.RECOVERY, "type"), (uma.MODE_MATRIX, "type"),
            (uma.NODE_COORDINATES, "type"),
            ("forces", "user_matrix"), ("K", "name")]
    body = uma.FlexibleBody(path)
    np.testing.assert_array_equal(body.a_set_nodes, [11, 15, 900000001, 900000002])
    np.testing.assert_array_equal(body.a_set_dofs, [1, 1, 0, 0])
    body.close()


def test_edits_reach_the_file_when_the_system_closes(tiny):
    path, tables = tiny
    recovery = tables["matrices"][0]["values"]
    block = np.array([[1.5, -2.0], [np.pi, -0.0]])
    with uma.System(path, edit=True) as s:
        r = s.get_matrix(uma.RECOVERY)
        assert r.writable and r.shape == recovery.shape
        r.set_block(3, 2, block)
        np.testing.assert_array_equal(r.block(3, 2, 4, 3), block)  # the session sees its edit
        s.get_matrix("forces").set_block(0, 0, np.full((1, 2), 7.0))
    expected = recovery.copy()
    expected[3:5, 2:4] = block
    np.testing.assert_array_equal(bits(library_values(path, uma.RECOVERY)), bits(expected))
    with uma.System(path) as s:
        np.testing.assert_array_equal(s.matrix("forces").values(), [[7.0, 7.0], [2.0, 3.0]])


def test_a_commit_that_fails_raises_with_its_reason_and_kind(tiny):
    path, tables = tiny
    defaults = uma.configure()
    assert defaults == {"busy_timeout": 10.0, "reader_cache_kib": 131072}
    # The commit waits for the reader below only this long, not 10 s.
    assert uma.configure(busy_timeout=0.05)["busy_timeout"] == 0.05
    s = uma.System(path, edit=True)
    s.get_matrix(uma.RECOVERY).set_block(0, 0, np.ones((2, 2)))
    other = sqlite3.connect(str(path), timeout=0, isolation_level=None)
    other.execute("BEGIN")
    other.execute("SELECT count(*) FROM model").fetchall()  # a reader that never finishes
    start = time.monotonic()
    try:
        with pytest.raises(uma.Error, match="were not saved") as failure:
            s.close()
    finally:
        other.execute("ROLLBACK")
        other.close()
        uma.configure(**defaults)
    assert failure.value.kind == "locked"
    assert time.monotonic() - start < 1.0
    assert s.closed
    np.testing.assert_array_equal(bits(library_values(path, uma.RECOVERY)),
                                  bits(tables["matrices"][0]["values"]))


def test_settings_are_checked():
    for arguments, error in [(dict(busy_timeout=-1), ValueError), (dict(busy_timeout="1"), TypeError),
                             (dict(reader_cache_kib=-1), ValueError),
                             (dict(reader_cache_kib=1.5), TypeError),
                             (dict(reader_cache_kib=2**40), ValueError)]:
        with pytest.raises(error):
            uma.configure(**arguments)
    assert uma.configure() == {"busy_timeout": 10.0, "reader_cache_kib": 131072}


def test_a_with_block_that_raises_discards_its_edits(tiny):
    path, _ = tiny
    before = path.read_bytes()
    with pytest.raises(ZeroDivisionError):
        with uma.System(path, edit=True) as s:
            s.get_matrix(uma.RECOVERY).set_block(0, 0, np.ones((2, 2)))
            1 / 0
    assert s.closed
    assert path.read_bytes() == before
    with uma.System(path, edit=True) as s:  # the lock went with the edits
        s.get_matrix(uma.RECOVERY).set_block(0, 0, np.ones((2, 2)))
        s.discard()
    assert path.read_bytes() == before


def test_a_script_that_exits_with_an_editing_system_open_saves_nothing(tiny):
    path, _ = tiny
    before = path.read_bytes()
    script = ("import numpy, uma\n"
              "s = uma.System(%r, edit=True)\n"
              "m = s.get_matrix(uma.REDUCED_STIFFNESS)\n"
              "m.set_block(0, 0, numpy.full((2, 2), 4.25))\n"
              "raise RuntimeError('the script failed half-way')\n" % str(path))
    run = subprocess.run([sys.executable, "-c", script], env=os.environ, capture_output=True,
                         text=True)
    assert run.returncode == 1
    assert "the script failed half-way" in run.stderr
    assert ("uma: the edits of %s were discarded: its system was still open for editing at exit"
            % path) in run.stderr
    assert path.read_bytes() == before


def test_bad_model_tables_are_refused_and_write_nothing(tmp_path):
    path = tmp_path / "bad.uma"
    good = dict(nodes=[1, 2], dofs=[[1, 1], [2, 1]], sets={"d": ("dof", [1, 2])},
                matrices=[{"type": uma.REDUCED_STIFFNESS, "values": np.eye(2), "rows": "d"}])
    for change, error, message in [
        (dict(dofs=[[1, 1], [3, 1]]), ValueError, "node label 3"),
        (dict(nodes=[1, 1]), ValueError, "twice"),
        (dict(internal=[5]), ValueError, "not a node label"),
        (dict(nodes=[1.5, 2]), TypeError, "integers"),
        (dict(nodes=[1, 2**40]), ValueError, "32 bits"),
        (dict(dofs=[1, 2]), ValueError, r"shape \(n, 2\)"),
        (dict(sets={"d": ("face", [1])}), ValueError, "kind"),
        (dict(matrices=[{"type": 1, "values": np.eye(2), "rows": "e"}]), ValueError, "no set"),
        (dict(matrices=[{"values": np.eye(2)}]), ValueError, "file it under"),
        (dict(matrices=[{"type": 1, "values": np.ones(3)}]), ValueError, "2-D"),
        (dict(matrices=[{"type": 1, "values": np.eye(2), "colums": "d"}]), ValueError, "unknown"),
        (dict(attributes={"": "m"}), ValueError, "attributes"),
        # References the builder checks: a set member outside its table, a row set too short.
        (dict(sets={"d": ("dof", [1, 5])}), uma.Error,
         "the row set of matrix 0 holds degree of freedom number 5 of 2"),
        (dict(matrices=[{"type": 1, "values": np.eye(3), "rows": "d"}]), uma.Error, "one member per row"),
    ]:
        with pytest.raises(error, match=message):
            uma.write_model(path, **{**good, **change})
        assert not path.exists()
    uma.write_model(path, **good)
    with uma.System(path) as s:
        np.testing.assert_array_equal(s.matrix(uma.REDUCED_STIFFNESS).values(), np.eye(2))
