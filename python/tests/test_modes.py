"""System.modes: the mode matrix split by the layout rules, with each dynamic mode's frequency;
and the documentation's plot of the sample beam's bending modes."""
import importlib.util
import os

import numpy as np
import pytest

import uma
from conftest import bits

ROOT = os.path.join(os.path.dirname(__file__), "..", "..")


def test_modes_are_the_mode_matrix_split_with_frequencies_from_the_reduced_matrices(sample):
    with uma.System(sample) as s:
        m = s.modes()
        phi = s.matrix(uma.MODE_MATRIX)
        values, statics = phi.values(), s.num_static_modes
        np.testing.assert_array_equal(bits(m.static_shapes), bits(values[:, :statics]))
        np.testing.assert_array_equal(bits(m.shapes), bits(values[:, statics:]))
        np.testing.assert_array_equal(m.nodes, phi.rows("node"))
        np.testing.assert_array_equal(m.dofs, phi.rows("dof"))
        # A static mode belongs to its A-set dof, in the A-set's order.
        np.testing.assert_array_equal(m.static_nodes, s.component_set(uma.A_SET, "node"))
        np.testing.assert_array_equal(m.static_dofs, s.component_set(uma.A_SET, "dof"))
        k, mass = s.matrix(uma.REDUCED_STIFFNESS).values(), s.matrix(uma.REDUCED_MASS).values()
        expected = np.sqrt(np.diag(k)[statics:] / np.diag(mass)[statics:]) / (2 * np.pi)
        np.testing.assert_allclose(m.frequencies, expected, rtol=1e-15)
        assert m.frequencies[0] == pytest.approx(106.33, abs=0.01)

        external = s.modes(internal=False)
        np.testing.assert_array_equal(
            external.shapes, s.matrix(uma.MODE_MATRIX, uma.FILTER_INTERNAL).values()[:, statics:])
        assert set(external.nodes) == {1001, 1006, 1011, 1016, 1021}


def test_models_without_matching_reduced_matrices_have_unknown_frequencies(tiny):
    path, tables = tiny
    with uma.System(path) as s:
        # Its stiffness lies over the A-set only, not over the four mode columns.
        m = s.modes()
        assert m.shapes.shape == (10, 2) and m.static_shapes.shape == (10, 2)
        assert np.isnan(m.frequencies).all() and len(m.frequencies) == 2
        np.testing.assert_array_equal(m.static_nodes, [11, 15])


def test_negative_and_massless_modes_and_a_model_without_modes(tmp_path):
    path = tmp_path / "spring.uma"
    uma.write_model(path, nodes=[1], dofs=[[1, 1]], modes=[[900000001, 0], [900000002, 0]],
                    sets={"d": ("dof", [1]), "m": ("mode", [1, 2])},
                    matrices=[{"type": uma.MODE_MATRIX, "values": [[1.0, 2.0]], "rows": "d",
                               "columns": "m"},
                              {"type": uma.REDUCED_STIFFNESS, "values": np.diag([-4.0, 1.0]),
                               "rows": "m", "columns": "m"},
                              {"type": uma.REDUCED_MASS, "values": np.diag([1.0, 0.0]),
                               "rows": "m", "columns": "m"}])
    with uma.System(path) as s:
        f = s.modes().frequencies
        assert f[0] == pytest.approx(-2 / (2 * np.pi)) and np.isnan(f[1])
    bare = tmp_path / "bare.uma"
    uma.write_model(bare, nodes=[1])
    with uma.System(bare) as s:
        with pytest.raises(KeyError, match="no mode matrix"):
            s.modes()


def test_the_documented_plot_draws_the_sample_beams_bending_modes(tmp_path, sample):
    pytest.importorskip("matplotlib")
    spec = importlib.util.spec_from_file_location(
        "plot_modes", os.path.join(ROOT, "docs", "examples", "plot_modes.py"))
    example = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(example)
    png = tmp_path / "modes.png"
    assert example.plot(sample, str(png)) == 4  # the first four bending modes; torsion skipped
    assert png.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
