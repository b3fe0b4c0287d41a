"""Pages through Python give the C path's dots, however the page lies in memory.

Each engine's own dots are held by the pinned pages; here one job a memory
layout, between them every source step and source width (grey, RGB, ink
levels) and both dot depths, checks what the binding adds.
"""

import numpy as np
import pytest

import kestrl

# The ways a page can lie in memory: read in place, or gathered line by line.
LAYOUTS = ["contiguous", "rows of a wider array", "reversed columns", "column-major"]


def page(shape, seed):
    """Smooth ramps with noise, white patches and full ink: every engine's paths."""
    rng = np.random.default_rng(seed)
    lines, samples = shape[:2]
    ramp = np.add.outer(np.arange(lines) * 7, np.arange(samples) * 255 // max(samples - 1, 1))
    values = (ramp[..., None] if len(shape) == 3 else ramp) + rng.integers(0, 40, shape)
    values = np.clip(values, 0, 255).astype(np.uint8)
    values[rng.random(shape[:2]) < 0.08] = 255
    values[:, :9] = 0
    return values


def laid_out(image, layout):
    """The same values as `image` in the named memory layout."""
    if layout == "rows of a wider array":
        wider = np.zeros((image.shape[0], image.shape[1] + 13) + image.shape[2:], np.uint8)
        wider[:, 5:5 + image.shape[1]] = image
        return wider[:, 5:5 + image.shape[1]]
    if layout == "reversed columns":
        return np.ascontiguousarray(image[:, ::-1])[:, ::-1]
    if layout == "column-major":
        return np.asfortranarray(image)
    return image


# A job a layout: engine, mode, bits, resolution, source bytes a pixel (1
# grey, 3 RGB, 4 ink levels), colour method, source step.
LAYOUT_JOBS = [
    ("DitherFourLevel", 3, 2, (720, 720), 1, 0, 1),
    ("DiffuseFourLevel", 1, 2, (720, 720), 3, 0, -1),
    ("DiffuseBilevel1440", 1, 1, (1440, 720), 4, 0, 0),
    ("ScreenColorBilevel", 3, 1, (720, 720), 3, 1, 0),
]


@pytest.mark.parametrize("layout", range(len(LAYOUTS)), ids=LAYOUTS)
def test_a_page_in_any_layout_gives_the_c_path_dots(layout, c_reference):
    name, mode, bits, resolution, sample_bytes, method, step = LAYOUT_JOBS[layout]
    shape = (23, 301 - (step == -1)) + ((sample_bytes,) if sample_bytes > 1 else ())
    image = page(shape, layout)
    ink_set = 4 if sample_bytes == 4 else (1 if sample_bytes == 3 else 0)
    expected = c_reference(image, mode, bits, resolution, ink_set, method, step)
    source = laid_out(image, LAYOUTS[layout])
    dots = kestrl.halftone(source, mode=mode, bits=bits, resolution=resolution,
                           color_method=method, source_step=step)
    assert dots.shape == expected.shape
    assert dots.max() <= (3 if bits == 2 else 1)
    assert np.count_nonzero(dots) > 0
    np.testing.assert_array_equal(dots, expected, err_msg=name)
    packed = kestrl.halftone(source, mode=mode, bits=bits, resolution=resolution,
                             color_method=method, source_step=step, packed=True)
    assert packed.shape[:2] == expected.shape[:2]


# Engine, mode, bits, resolution, source bytes a pixel.
RUN_JOBS = [
    ("ScreenFourLevel1440", 1, 2, (1440, 720), 1),
    ("DitherBilevel", 0, 1, (720, 720), 1),
    ("ScreenBilevel", 1, 1, (720, 720), 1),
    ("DiffuseBilevelCached", 1, 1, (720, 720), 3),
]


@pytest.mark.parametrize("engine", RUN_JOBS, ids=lambda e: e[0])
def test_a_context_run_by_run_gives_the_page(engine):
    """Line by line as a driver does: the threshold screens split anywhere;
    the engines that carry an error along the line, a whole line at a time."""
    name, mode, bits, resolution, sample_bytes = engine
    image = page((9, 200) + ((3,) if sample_bytes == 3 else ()), 99)
    expected = kestrl.halftone(image, mode=mode, bits=bits, resolution=resolution)
    context = kestrl.HalftoneContext(200, mode=mode, bits=bits, resolution=resolution,
                                     grey=sample_bytes == 1)
    carries = name.startswith(("ScreenBilevel", "ScreenFourLevel", "DiffuseBilevelCached"))
    splits = [0, 200] if carries else [0, 3, 77, 130, 200]
    for y in range(image.shape[0]):
        assert context.line == y
        for start, end in zip(splits, splits[1:]):
            dots = context.run(image[y, start:end], start_x=start)
            np.testing.assert_array_equal(dots, expected[:, y, start:end], err_msg=name)
