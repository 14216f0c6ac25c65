"""Misuse raises the right Python exception, never aborts; lifetimes are safe; nothing leaks."""
import gc

import numpy as np
import pytest

import uma
from uma import _testing
from conftest import ALL_OPTIONS


def test_blocks_labels_and_keys_are_checked_before_the_library_sees_them(sample):
    with uma.System(sample) as s:
        r = s.matrix(uma.RECOVERY, ALL_OPTIONS)  # 30 x 20
        for args in [(0, 0, 30, 0), (0, 0, 0, 20), (-1, 0, 0, 0), (0, -1, 0, 0),
                     (0, 0, 2**40, 0)]:
            with pytest.raises(IndexError):
                r.block(*args)
            with pytest.raises(IndexError):
                r.submatrix(*args)
        for args in [(3, 0, 2, 0), (0, 3, 0, 2)]:
            with pytest.raises(ValueError, match="empty or reversed"):
                r.block(*args)
        with pytest.raises(TypeError):
            r.block(0.5, 0, 1, 1)
        readonly = np.zeros((30, 20), order="F")
        readonly.flags.writeable = False
        for out in [np.zeros((30, 20)), np.zeros((20, 30), order="F"), readonly, [[0.0]],
                    np.zeros((30, 20), dtype=np.float32, order="F")]:
            with pytest.raises(ValueError, match="out"):
                r.values(out=out)
        with pytest.raises(ValueError, match="label kind"):
            r.rows("mode")
        with pytest.raises(KeyError):
            s.matrix(12345)
        with pytest.raises(KeyError):
            s.matrix("no such name")
        with pytest.raises(TypeError):
            s.matrix(1.5)
        with pytest.raises(ValueError, match="NUL"):
            s.matrix("xGFAA\0")
        with pytest.raises(ValueError, match="32 bits"):
            s.matrix(2**40)
        with pytest.raises(ValueError, match="32 bits"):
            s.has_matrix(-2**70)
        with pytest.raises(ValueError, match="options"):
            s.matrix(uma.RECOVERY, 8)
        with pytest.raises(ValueError, match="label kind"):
            s.component_set(uma.A_SET, "nodes")


def test_products_and_writes_refuse_what_does_not_fit(sample):
    with uma.System(sample) as s:
        r = s.matrix(uma.RECOVERY, ALL_OPTIONS)  # 30 x 20
        for operand in [np.ones(19), np.ones((30, 2)), s.matrix(uma.GFAA)]:
            with pytest.raises(ValueError, match="operand has"):
                r @ operand
        with pytest.raises(ValueError, match="3-D"):
            r @ np.ones((20, 1, 1))
        with pytest.raises(TypeError):
            r @ np.array(["a"] * 20)
        with pytest.raises(TypeError):
            np.ones(30) @ r  # numpy leaves it to the matrix, which refuses
        with pytest.raises(ValueError, match="read-only"):
            r.set_block(0, 0, np.ones((1, 1)))
        with pytest.raises(ValueError, match="edit=True"):
            s.get_matrix(uma.RECOVERY)


def test_writes_of_an_edit_session_are_checked(tiny):
    path, _ = tiny
    with uma.System(path, edit=True) as s:
        k = s.get_matrix(uma.REDUCED_STIFFNESS)  # 2 x 2
        for r0, c0, values, error in [(1, 0, np.ones((2, 1)), IndexError),
                                      (0, -1, np.ones((1, 1)), IndexError),
                                      (2**63 - 1, 0, np.ones((2, 1)), IndexError),
                                      (0, 0, np.ones(2), ValueError),
                                      (0, 0, np.ones((0, 2)), ValueError)]:
            with pytest.raises(error):
                k.set_block(r0, c0, values)
        with pytest.raises(KeyError):
            s.get_matrix("K")  # a named matrix, not a user matrix: not writable
        with pytest.raises(KeyError):
            s.get_matrix(uma.REDUCED_MASS)


def test_closed_systems_and_their_matrices_raise(sample):
    s = uma.System(sample)
    r = s.matrix(uma.RECOVERY, ALL_OPTIONS)
    body = uma.FlexibleBody(sample)
    g = body.matrix(uma.GFAA)
    s.close()
    body.close()
    assert s.closed and "closed" in repr(r)
    for use in [r.values, lambda: r.block(0, 0, 1, 1), lambda: r.rows("node"),
                lambda: r @ np.ones(20), lambda: r.row_kind, lambda: r.submatrix(0, 0, 1, 1),
                g.values, lambda: s.matrix(uma.RECOVERY), lambda: s.type, s.matrices, s.close,
                lambda: body.fe_nodes]:
        with pytest.raises(uma.Error, match="closed"):
            use()
    assert r.shape == (30, 20)  # what never changes stays readable
    with s:  # leaving the block of a closed system is not a second close
        pass


def test_a_matrix_keeps_its_system_alive(sample):
    r = uma.System(sample).matrix(uma.RECOVERY, ALL_OPTIONS)
    gc.collect()
    assert r.values().shape == (30, 20)
    with uma.System(sample) as s:
        m = s.matrix(uma.MODE_MATRIX)
    del s
    with pytest.raises(uma.Error):
        m.values()


def test_models_that_do_not_open_raise_with_the_reason_and_its_kind(tmp_path, tiny):
    with pytest.raises(uma.Error, match="no such file: .*missing.uma") as failure:
        uma.System(tmp_path / "missing.uma")
    assert failure.value.kind == "no_such_file"
    junk = tmp_path / "junk.uma"
    junk.write_bytes(b"not a model" * 100)
    with pytest.raises(uma.Error, match="junk.uma") as failure:
        uma.FlexibleBody(junk)
    assert failure.value.kind == "not_a_model"
    path, _ = tiny
    with uma.System(path, edit=True) as s:
        with pytest.raises(uma.Error, match="being edited") as failure:
            uma.System(path, edit=True)
        assert failure.value.kind == "being_edited"
        r = s.matrix(uma.RECOVERY)
        path.write_bytes(path.read_bytes())  # rewritten by a program that ignores the locks
        with pytest.raises(uma.Error, match="changed since it was opened") as failure:
            r.values()
        assert failure.value.kind == "changed"
    with pytest.raises(uma.Error, match="closed") as failure:
        r.values()
    assert failure.value.kind is None  # a misuse, no failure of the file
    with pytest.raises(ValueError, match="NUL"):
        uma.System("a\0b")
    with pytest.raises(TypeError):
        uma.System(3)


def test_allocation_failures_raise_memory_error_and_leak_nothing(sample):
    with uma.System(sample) as s:
        r = s.matrix(uma.RECOVERY, ALL_OPTIONS)
        expected = (r.values(), r.rows("node"), r @ np.ones(20))
        for operation in [r.values, lambda: r.rows("node"), lambda: r @ np.ones(20),
                          lambda: s.matrix(uma.RECOVERY, ALL_OPTIONS).values()]:
            for n in range(1, 100):
                _testing.fail_allocation_at(n)
                try:
                    operation()
                except MemoryError:
                    continue
                finally:
                    _testing.fail_allocation_at(0)
                break
            else:
                pytest.fail("the operation never completed")
        np.testing.assert_array_equal(r.values(), expected[0])
        np.testing.assert_array_equal(r.rows("node"), expected[1])
