"""Matrix[rows, columns] selects as numpy indexes the same values, reading only that block."""
import numpy as np
import pytest

import uma
from conftest import bits


def test_indices_and_slices_select_what_numpy_selects(sample):
    with uma.System(sample) as s:
        r = s.matrix(uma.RECOVERY)  # 138 x 21
        x = r.values()
        keys = [
            (slice(0, 3), slice(5, 10)), (slice(None), slice(None)), 7, -1, (2, slice(None)),
            (slice(None), 4), (-1, -21), (5, 6), (slice(-4, None), slice(None, 3)),
            (slice(130, 500), slice(19, 40)),           # slices stop at the end, as numpy's
            (slice(None, None, -3), slice(1, 17, 4)),   # steps, both ways
            (slice(9, 2, -2), 0), (slice(5, 2), 1), (slice(3, 3), slice(0, 2)),
            (np.int64(3), np.int32(2)),
        ]
        for key in keys:
            got, expected = r[key], x[key]
            assert np.shape(got) == np.shape(expected), key
            np.testing.assert_array_equal(bits(got), bits(expected), err_msg=str(key))
        assert isinstance(r[3, 2], float)
        np.testing.assert_array_equal(r[10:20, 3:8], r.block(10, 3, 19, 7))


def test_misused_indices_raise_before_the_library_is_called(tiny):
    path, _ = tiny
    with uma.System(path) as s:
        r = s.matrix(uma.RECOVERY)  # 12 x 5
        for key in [12, -13, (0, 5), (0, -6)]:
            with pytest.raises(IndexError, match="out of bounds"):
                r[key]
        with pytest.raises(IndexError, match="2 axes"):
            r[0, 0, 0]
        for key in [(True, 0), [0, 1], (None, 0), (Ellipsis, 0), (0.5, 0), (0, "a")]:
            with pytest.raises(TypeError, match="integers or slices"):
                r[key]
        with pytest.raises(ValueError, match="slice step cannot be zero"):
            r[::0, 0]
    with pytest.raises(uma.Error):
        r[0:0, 0:1]  # even an empty selection of a closed system raises
