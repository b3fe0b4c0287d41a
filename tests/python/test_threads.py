"""Threads halftoning at once give what they give one after the other."""

import threading

import numpy as np

import kestrl

JOBS = [
    ({"mode": 1, "bits": 1, "resolution": (720, 720)}, (40, 900, 3)),  # colour diffusion
    ({"mode": 1, "bits": 2}, (40, 1200)),                              # four-level screen
    ({"mode": 3, "bits": 2, "resolution": (720, 720)}, (40, 700, 3)),  # four-level dither
    ({"mode": 1, "bits": 1, "resolution": (1440, 720)}, (40, 800, 4)),  # ink levels
]


def test_threads_at_once_match_one_after_the_other():
    rng = np.random.default_rng(11)
    pages = [rng.integers(0, 256, shape, dtype=np.uint8) for _, shape in JOBS]
    alone = [kestrl.halftone(page, **settings) for (settings, _), page in zip(JOBS, pages)]
    start = threading.Barrier(2 * len(JOBS))
    results = {}

    def work(index):
        settings, _ = JOBS[index % len(JOBS)]
        start.wait()
        results[index] = kestrl.halftone(pages[index % len(JOBS)], **settings)

    threads = [threading.Thread(target=work, args=(i,)) for i in range(2 * len(JOBS))]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    for index, dots in results.items():
        np.testing.assert_array_equal(dots, alone[index % len(JOBS)])
    assert len(results) == 2 * len(JOBS)
