"""Threads sharing systems and matrices: reads and products in some while another closes the
system; every call either answers or raises uma.Error for the closed system, and nothing leaks."""
import threading

import numpy as np

import uma
from conftest import ALL_OPTIONS


def test_reads_and_products_go_on_while_another_thread_closes_the_system(sample):
    for _ in range(10):
        s = uma.System(sample)
        r = s.matrix(uma.RECOVERY, ALL_OPTIONS)
        q = np.linspace(0.0, 1.0, r.shape[1])
        expected, values = r @ q, r.values()
        working = threading.Semaphore(0)
        problems = []

        def work():
            try:
                while True:
                    np.testing.assert_array_equal(r @ q, expected)
                    np.testing.assert_array_equal(r.values(), values)
                    m = s.matrix(uma.RECOVERY, ALL_OPTIONS)  # made and dropped in this thread
                    np.testing.assert_array_equal(m.block(0, 0, 2, 2), values[:3, :3])
                    del m
                    working.release()
            except uma.Error as e:
                if "closed" not in str(e) or e.kind is not None:
                    problems.append(repr(e))
            except Exception as e:  # noqa: BLE001  (any other failure is the test's finding)
                problems.append(repr(e))

        threads = [threading.Thread(target=work) for _ in range(3)]
        for t in threads:
            t.start()
        for _ in range(3 * 5):  # each has been at it for a while, on average
            assert working.acquire(timeout=30)
        s.close()
        for t in threads:
            t.join(timeout=30)
            assert not t.is_alive()
        assert problems == []
        del r
