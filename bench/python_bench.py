#!/usr/bin/env python3
"""Halftoning a 12,240 x 1,000 grey page through the Python module against
the same job through the C calls (the C reference program of the Python
tests), interleaved, medians of whole jobs (stages, every line, release).

    PYTHONPATH=build/python /usr/bin/python3 bench/python_bench.py \\
        build/python/tests/kestrl_python_reference [ROUNDS]
"""

import statistics
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

import numpy as np

import kestrl

WIDTH, LINES = 12240, 1000  # a letter-width line at 1440 dpi
JOB = {"mode": 1, "bits": 2, "resolution": (1440, 720)}


def c_job(program, folder):
    """Seconds of one whole job through the C calls (timed inside the program)."""
    out = subprocess.run([program, "1", "2", "1440", "720", "0", "0", "0", "0", str(WIDTH),
                          str(LINES), folder / "page", folder / "planes", "1"],
                         check=True, capture_output=True, text=True)
    return float(out.stdout)


def python_job(page, **options):
    start = time.perf_counter()
    kestrl.halftone(page, **JOB, **options)
    return time.perf_counter() - start


def two_pages(page, threaded):
    """Seconds for two pages, in two threads at once or one after the other."""
    start = time.perf_counter()
    if threaded:
        threads = [threading.Thread(target=kestrl.halftone, args=(page,), kwargs=JOB)
                   for _ in range(2)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
    else:
        for _ in range(2):
            kestrl.halftone(page, **JOB)
    return time.perf_counter() - start


def main():
    program = sys.argv[1]
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 15
    ramp = np.linspace(0, 255, WIDTH).astype(np.uint8)
    page = np.ascontiguousarray(np.broadcast_to(ramp, (LINES, WIDTH)))
    times = {"C calls": [], "Python, packed rows": [], "Python, one byte a dot": []}
    with tempfile.TemporaryDirectory() as name:
        folder = Path(name)
        (folder / "page").write_bytes(page.tobytes())
        python_job(page)  # warm up: the built-in pack, page faults
        for _ in range(rounds):
            times["C calls"].append(c_job(program, folder))
            times["Python, packed rows"].append(python_job(page, packed=True))
            times["Python, one byte a dot"].append(python_job(page))
    c = statistics.median(times["C calls"])
    for what, seconds in times.items():
        median = statistics.median(seconds)
        print(f"{what:24s} {median * 1e3:8.2f} ms  {WIDTH * LINES / median / 1e6:7.1f} Mpixel/s"
              f"  {100 * (median / c - 1):+6.1f}% against the C calls")
    # The engines run without the interpreter lock: two threads overlap.
    pairs = {threaded: statistics.median(two_pages(page, threaded) for _ in range(3))
             for threaded in (False, True)}
    print(f"two pages: {pairs[False] * 1e3:.0f} ms one after the other, "
          f"{pairs[True] * 1e3:.0f} ms in two threads")


if __name__ == "__main__":
    main()
