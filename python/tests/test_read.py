"""Reading models: values bit for bit as the C++ library gives them, labels as the
flexible-body view gives them, what a model stores, products."""
import numpy as np
import pytest

import uma
from conftest import ALL_OPTIONS, bits, library_values

SAMPLE_MATRICES = [
    (uma.RECOVERY, ALL_OPTIONS), (uma.RECOVERY, 0), (uma.RECOVERY, uma.TRIM_LOADS),
    (uma.MODE_MATRIX, 0), (uma.NODE_COORDINATES, uma.FILTER_INTERNAL), (uma.GFAA, 0),
    (uma.LUMPED_MASS, uma.FILTER_INTERNAL),
]


def test_sample_values_blocks_and_submatrices_are_the_library_values(sample):
    with uma.System(sample) as s:
        for key, options in SAMPLE_MATRICES:
            m = s.matrix(key, options)
            expected = library_values(sample, key, options)
            values = m.values()
            assert values.dtype == np.float64 and values.flags.f_contiguous
            assert m.shape == expected.shape
            np.testing.assert_array_equal(bits(values), bits(expected))
            r1, c1 = m.shape[0] - 1, m.shape[1] - 1
            np.testing.assert_array_equal(bits(m.block(r1 // 2, c1 // 2, r1, c1)),
                                          bits(expected[r1 // 2:, c1 // 2:]))
            np.testing.assert_array_equal(bits(m.submatrix(0, 0, r1 // 2, c1).values()),
                                          bits(expected[:r1 // 2 + 1, :]))


def test_sample_as_the_issue_shows_it(sample):
    with uma.System(sample) as s:
        assert (s.type, s.num_loads, s.num_static_modes) == (12, 1, 12)
        assert s.attributes()[uma.UNIT_LENGTH] == "m"
        r = s.matrix(uma.RECOVERY, ALL_OPTIONS)
        assert (r.shape, r.row_kind, r.col_kind) == ((30, 20), "dof", "mode")
        np.testing.assert_array_equal(r.block(0, 5, 2, 9), r.values()[0:3, 5:10])
        buffer = np.zeros((3, 5), order="F")
        assert r.block(0, 5, 2, 9, out=buffer) is buffer
        np.testing.assert_array_equal(buffer, r.values()[0:3, 5:10])
        whole = np.zeros((30, 20), order="F")
        np.testing.assert_array_equal(r.values(out=whole), r.values())
        assert [tuple(i) for i in s.matrices()] == [
            (uma.REDUCED_STIFFNESS, "type", (20, 20), True, "mode", "mode"),
            (uma.REDUCED_MASS, "type", (20, 20), True, "mode", "mode"),
            (uma.RECOVERY, "type", (138, 21), True, "dof", "mode"),
            (uma.MODE_MATRIX, "type", (126, 20), True, "dof", "mode"),
            (uma.NODE_COORDINATES, "type", (21, 3), True, "node", "internal"),
            ("xGFAA", "user_matrix", (12, 12), True, "dof", "dof"),
            ("Loads", "name", (126, 1), True, "dof", "mode"),
            ("LumpedMass", "name", (21, 1), True, "node", "internal"),
            ("ReducedLoads", "name", (20, 1), True, "mode", "mode"),
        ]
        assert s.has_matrix(uma.RECOVERY) and not s.has_matrix(12345)


def test_labels_agree_with_the_flexible_body_view(sample):
    body = uma.FlexibleBody(sample)
    with uma.System(sample) as s:
        r = s.matrix(uma.RECOVERY, ALL_OPTIONS)
        for labels, view in [
            (r.rows("node"), body.recovery_nodes),
            (r.rows("dof"), body.recovery_dofs),
            (s.matrix(uma.NODE_COORDINATES, uma.FILTER_INTERNAL).rows("node"), body.fe_nodes),
            (s.matrix(uma.GFAA).cols("node"), body.gfaa_nodes),
            (s.matrix(uma.GFAA).cols("dof"), body.gfaa_dofs),
            (s.component_set(uma.A_SET, "node"), body.a_set_nodes[:12]),
            (s.component_set(uma.A_SET_NODES, "node"), body.nodes_in_a_set[:2]),
        ]:
            assert labels.dtype == np.int32 and view.dtype == np.int32
            np.testing.assert_array_equal(labels, view)
        np.testing.assert_array_equal(body.fe_nodes, [1001, 1006, 1011, 1016, 1021])
        assert not body.a_set_dofs[12:].any()
        np.testing.assert_array_equal(body.matrix(uma.RECOVERY).values(), r.values())
        # No labels of a kind the set does not have; none for an absent set.
        assert r.rows("element") is None and s.component_set(12345, "node") is None
        assert len(r.rows("internal")) == 30
    body.close()


def test_products_are_those_of_the_values(sample):
    with uma.System(sample) as s:
        r = s.matrix(uma.RECOVERY, ALL_OPTIONS)
        x = r.values()
        q = np.linspace(-1.0, 1.0, 20)
        np.testing.assert_allclose(r @ q, x @ q, rtol=1e-12)
        assert (r @ q).shape == (30,)
        Q = np.arange(60.0).reshape(20, 3)  # C order and integers are converted
        np.testing.assert_allclose(r @ Q, x @ Q, rtol=1e-12)
        np.testing.assert_allclose(r @ np.arange(20), x @ np.arange(20), rtol=1e-12)
        np.testing.assert_allclose(r.transpose_matmul(np.ones((30, 2))), x.T @ np.ones((30, 2)),
                                   rtol=1e-12)
        g = s.matrix(uma.GFAA)
        modes = s.matrix(uma.MODE_MATRIX)
        np.testing.assert_allclose(modes.transpose_matmul(modes), modes.values().T @ modes.values(),
                                   rtol=1e-12)
        np.testing.assert_allclose(g @ g, g.values() @ g.values(), rtol=1e-12)


def test_reads_from_threads_share_the_library_safely(sample):
    import threading
    with uma.System(sample) as s:
        r = s.matrix(uma.RECOVERY, ALL_OPTIONS)
        expected = r.values()
        failures = []

        def work():
            for _ in range(50):
                if not np.array_equal(r.values(), expected) or (r @ np.ones(20)).shape != (30,):
                    failures.append("wrong")
                r.rows("node")
        threads = [threading.Thread(target=work) for _ in range(4)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        assert failures == []
