"""Shared helpers: the C path the module is compared with."""

import os
import subprocess

import numpy as np
import pytest

import kestrl


def unpack_planes(packed: np.ndarray, bits: int, width: int) -> np.ndarray:
    """Planes x lines x row bytes, packed most significant first, as one dot a byte."""
    if bits == 2:
        shifts = np.array([6, 4, 2, 0], dtype=np.uint8)
        dots = (packed[..., None] >> shifts) & 3
    else:
        dots = np.unpackbits(packed[..., None], axis=-1)
    return dots.reshape(packed.shape[:-1] + (-1,))[..., :width]


@pytest.fixture(scope="session")
def c_reference(tmp_path_factory):
    """Halftones a page through the C calls; its dots as planes x lines x width."""
    program = os.environ.get("KESTRL_REFERENCE")
    if not program:
        pytest.skip("KESTRL_REFERENCE names the C reference program (ctest sets it)")
    folder = tmp_path_factory.mktemp("reference")

    def run(image, mode, bits, resolution, ink_set, color_method=0, source_step=0, width=None):
        source = np.ascontiguousarray(image)
        colour = 1 if source.ndim == 3 else 0
        samples = source.shape[1]
        if width is None:
            # Step -1 reads two values a pixel only in one-bit grey jobs.
            pairs = source_step == -1 and colour == 0 and bits == 1
            width = 2 * samples if source_step == 1 else samples // 2 if pairs else samples
        (folder / "source").write_bytes(source.tobytes())
        args = [program, mode, bits, *resolution, colour, ink_set, color_method, source_step,
                width, source.shape[0], folder / "source", folder / "planes"]
        subprocess.run([str(a) for a in args], check=True)
        packed = np.frombuffer((folder / "planes").read_bytes(), dtype=np.uint8)
        planes = 4 if colour else 1
        return unpack_planes(packed.reshape(planes, source.shape[0], -1), bits, width)

    return run


@pytest.fixture(scope="session")
def builtin():
    return kestrl.Pack.builtin()
