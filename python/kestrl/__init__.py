"""Kestrl's colour tables and halftone engines on NumPy arrays.

Every job runs through the library's C calls exactly as a printer driver
runs it: the colour stages, the halftone stages, then one Halftone call per
line. See docs/python.md.
"""

from __future__ import annotations

import warnings
from typing import Iterable, Mapping, Optional, Sequence, Tuple, Union

import numpy as np

from ._errors import (
    KestrlError,
    LibraryMemoryError,
    ParameterError,
    ResourceError,
    UnsupportedModeError,
)
from . import _kestrl

__all__ = [
    "Pack",
    "ColourTable",
    "HalftoneContext",
    "halftone",
    "status_meaning",
    "KestrlError",
    "KestrlWarning",
    "LibraryMemoryError",
    "ParameterError",
    "ResourceError",
    "UnsupportedModeError",
]

INK_LEVELS = 4  # the ink set whose source pixels carry four ink levels


class KestrlWarning(UserWarning):
    """The library went on but did not do all that was asked (the colour
    adjustments were not applied)."""


def status_meaning(status: int) -> str:
    """The library's description of a status code."""
    return _kestrl.status_meaning(status)


class Pack:
    """A resource pack: the numbered blocks a job's stages ask for."""

    def __init__(self, handle: "_kestrl._Pack"):
        self._handle = handle

    @classmethod
    def builtin(cls) -> "Pack":
        """The built-in default pack (every mode, resolution class and depth)."""
        return cls(_kestrl._Pack.builtin())

    @classmethod
    def open(cls, folder: str) -> "Pack":
        """A pack folder of numbered files (<id>.txt, <id>.bin), read as asked for."""
        return cls(_kestrl._Pack.open(str(folder)))

    def export(self, folder: str) -> None:
        """Writes every resource as <id>.txt or <id>.bin, creating the folder."""
        self._handle.export(str(folder))

    def ids(self) -> list:
        """Every resource id the pack holds, in order."""
        return self._handle.ids()

    def __getitem__(self, resource_id: int) -> bytes:
        return self._handle.resource(resource_id)

    def __contains__(self, resource_id: int) -> bool:
        return resource_id in self._handle.ids()

    def replace(self, changes: Mapping[int, Union[bytes, str, None]]) -> "Pack":
        """A copy with resources replaced (bytes; str for a text directory)
        or removed (None)."""
        return Pack(self._handle.with_resources(dict(changes)))


_builtin: Optional[Pack] = None


def _pack_or_builtin(pack: Optional[Pack]) -> Pack:
    global _builtin
    if pack is not None:
        if not isinstance(pack, Pack):
            raise TypeError(f"pack must be a kestrl.Pack or None, not {type(pack).__name__}")
        return pack
    if _builtin is None:
        _builtin = Pack.builtin()
    return _builtin


def _calibration_record(values: Optional[Sequence[int]], key: int) -> bytes:
    if values is None:
        return b""
    values = [int(v) for v in values]
    if not 1 <= len(values) <= 20 or not all(0 <= v <= 253 for v in values):
        raise ValueError("calibration takes 1 to 20 values from 0 to 253 (30 to 70 apply)")
    if not 0 <= key <= 253:
        raise ValueError("calibration_key must be 0 to 253")
    return b"CW:" + bytes([key] + values) + b"\xfe\xff"


def _curves(curves) -> bytes:
    if curves is None:
        return b""
    array = np.asarray(curves)
    if array.dtype != np.uint8 or array.shape != (3, 256):
        raise ValueError(f"curves must be a uint8 array of shape (3, 256), got {array.dtype} {array.shape}")
    return array.tobytes()


def _colour_settings(brightness, contrast, saturation, balance, select_number, select_name,
                     class_override, colour_class, grey_style):
    red, green, blue = balance
    return _kestrl._ColorSettings(brightness, contrast, saturation, red, green, blue,
                                  select_number, select_name, class_override, colour_class,
                                  grey_style)


def _print_mode(mode, bits, resolution, colour, ink_set, color_method, source_step, width):
    x_resolution, y_resolution = resolution
    if source_step not in (-1, 0, 1):
        raise ValueError("source_step must be 0 (a value a pixel), 1 (one per two pixels) or -1 (two per pixel)")
    if ink_set is None:
        ink_set = 1 if colour else 0
    return _kestrl._PrintMode(mode, color_method, ink_set, 1 if colour else 0, x_resolution,
                              y_resolution, bits, source_step, width)


class ColourTable:
    """A job's colour table, built by the colour stages from the pack.

    ``grid`` is the RGB-to-ink grid (points x points x points x channels, a
    read-only view), ``grey_ramp`` the 256 ink levels of the grey axis, and
    ``lookup`` maps RGB pixels through the grid. Adjustments range from -50 to
    50, ``gamma`` from 1.0 to 3.0, ``balance`` is the (red, green, blue)
    offset, ``calibration`` the measured values of the calibration record.
    """

    def __init__(self, pack: Optional[Pack] = None, mode: int = 1,
                 resolution: Tuple[int, int] = (1440, 720), bits: int = 2, *,
                 grey: bool = False, brightness: int = 0, contrast: int = 0,
                 saturation: int = 0, gamma: Optional[float] = None,
                 balance: Tuple[int, int, int] = (0, 0, 0),
                 calibration: Optional[Sequence[int]] = None, calibration_key: int = 0,
                 curves=None, color_method: int = 0, ink_set: Optional[int] = None,
                 select_number: int = 0, select_name: int = 0, class_override: int = 0,
                 colour_class: int = 0, grey_style: int = 0):
        self.pack = _pack_or_builtin(pack)
        self.print_mode = _print_mode(mode, bits, resolution, not grey, ink_set, color_method, 0, 0)
        settings = _colour_settings(brightness, contrast, saturation, balance, select_number,
                                    select_name, class_override, colour_class, grey_style)
        hundredths = None if gamma is None else int(round(gamma * 100))
        self._job = _kestrl._ColourJob(self.pack._handle, self.print_mode, settings, hundredths,
                                       _calibration_record(calibration, calibration_key),
                                       _curves(curves))
        if self._job.adjust_status != 0:
            status = self._job.adjust_status
            warnings.warn(f"the colour adjustments were not applied: status {status} "
                          f"({status_meaning(status)})", KestrlWarning, stacklevel=2)

    @property
    def grid(self) -> np.ndarray:
        return self._job.grid

    @property
    def grey_ramp(self) -> np.ndarray:
        return self._job.grey_ramp

    @property
    def breakpoints(self) -> np.ndarray:
        """The grid's levels on each axis (red, green, blue): 3 x points."""
        return self._job.breakpoints

    @property
    def channels(self) -> int:
        return self._job.channels

    @property
    def adjust_status(self) -> int:
        """0 when the adjustments were applied, else the status that stopped them."""
        return self._job.adjust_status

    def lookup(self, rgb: np.ndarray) -> np.ndarray:
        """The ink levels of RGB pixels (uint8, shape (..., 3)): (..., channels)."""
        return self._job.lookup(rgb)


def _input_kind(image, grey: Optional[bool], ink_set: Optional[int]):
    """Whether the job takes colour input, and the image as the job reads it."""
    if not isinstance(image, np.ndarray):
        raise TypeError(f"image must be a NumPy uint8 array of shape (H, W), (H, W, 3) or "
                        f"(H, W, 4), not {type(image).__name__}")
    if image.dtype != np.uint8:
        raise TypeError(f"image must be a NumPy uint8 array of shape (H, W), (H, W, 3) or "
                        f"(H, W, 4), not {image.dtype}")
    channels = 1 if image.ndim == 2 else image.shape[2] if image.ndim == 3 else 0
    if channels not in (1, 3, 4) or (image.ndim == 3 and channels == 1):
        raise ValueError(f"expected an array of shape (H, W) grey, (H, W, 3) RGB or (H, W, 4) "
                         f"ink levels, got {image.shape}")
    if channels == 4:
        if grey:
            raise ValueError("an (H, W, 4) image holds ink levels and cannot print as grey")
        return True, image, INK_LEVELS if ink_set is None else ink_set
    if grey is None:
        return channels == 3, image, ink_set
    if grey and channels == 3:
        # ITU-R BT.601 luma, rounded.
        wide = image.astype(np.uint32)
        luma = (wide[..., 0] * 299 + wide[..., 1] * 587 + wide[..., 2] * 114 + 500) // 1000
        return False, luma.astype(np.uint8), ink_set
    if not grey and channels == 1:
        return True, np.repeat(image[:, :, None], 3, axis=2), ink_set
    return not grey, image, ink_set


def _line_width(samples: int, print_mode, width: Optional[int]) -> int:
    if width is not None:
        return int(width)
    if print_mode.source_step == 1:
        return 2 * samples
    if print_mode.combines_pairs:
        if samples % 2:
            raise ValueError(f"source_step -1 reads two values a pixel: {samples} values per line "
                             f"is odd")
        return samples // 2
    return samples


class HalftoneContext:
    """A halftone context for line-by-line use, as a driver drives one.

    ``run(line, start_x=...)`` halftones one run of a raster line and returns
    its dots (planes x pixels, codes 0 to 3). Runs of a line go left to right;
    the line number defaults to ``self.line``, which moves on to the next line
    when a run reaches the end of the line.
    """

    def __init__(self, width: int, pack: Optional[Pack] = None, mode: int = 1, bits: int = 2,
                 resolution: Tuple[int, int] = (1440, 720), grey: bool = True,
                 source_step: int = 0, *, ink_set: Optional[int] = None, color_method: int = 0,
                 table: Optional[ColourTable] = None, **colour_settings):
        self.pack = _pack_or_builtin(pack)
        colour = not grey
        self.print_mode = _print_mode(mode, bits, resolution, colour, ink_set, color_method,
                                      source_step, width)
        if table is None:
            table = ColourTable(self.pack, mode, resolution, bits, grey=grey, ink_set=ink_set,
                                color_method=color_method, **colour_settings)
        elif colour_settings:
            raise TypeError("colour settings go to the ColourTable when a table is given")
        self.table = table
        self._job = _kestrl._HalftoneJob(self.pack._handle, self.print_mode, table._job)
        self.width = int(width)
        self.planes = self._job.planes
        self.line = 0

    def run(self, line: np.ndarray, start_x: int = 0, line_number: Optional[int] = None,
            count: Optional[int] = None) -> np.ndarray:
        """Halftones the run of ``count`` pixels (by default all that ``line``
        holds, up to the end of the line) from ``start_x``; ``line`` holds the
        run's source values only."""
        if line_number is None:
            line_number = self.line
        if count is None:
            samples = line.shape[0] if isinstance(line, np.ndarray) and line.ndim else 0
            step = self.print_mode.source_step
            pairs = self.print_mode.combines_pairs
            count = 2 * samples if step == 1 else samples // 2 if pairs else samples
            count = max(0, min(count, self.width - start_x))
        dots = self._job.run(line, count, start_x, line_number)
        if start_x + count == self.width:
            self.line = line_number + 1
        return dots


def halftone(image: np.ndarray, pack: Optional[Pack] = None, mode: int = 1, bits: int = 2,
             resolution: Tuple[int, int] = (1440, 720), grey: Optional[bool] = None,
             source_step: int = 0, *, width: Optional[int] = None, ink_set: Optional[int] = None,
             color_method: int = 0, table: Optional[ColourTable] = None, packed: bool = False,
             **colour_settings) -> np.ndarray:
    """Halftones a page, one Halftone call a line (line numbers from 0).

    ``image`` is a uint8 array: (H, W) grey, (H, W, 3) RGB or (H, W, 4) ink
    levels (ink set 4). ``grey`` None takes the job's input from the shape;
    True prints RGB as grey (BT.601 luma), False prints grey through the
    colour grid. Returns the ink planes, planes x H x width, one dot code
    (0 to 3; 0 or 1 for one-bit output) a byte; with ``packed`` the
    library's own packed rows (planes x H x bytes a row). The image is read
    in place when each line's pixels lie side by side; the interpreter lock
    is released while the engine runs.
    """
    colour, source, ink_set = _input_kind(image, grey, ink_set)
    shape_mode = _print_mode(mode, bits, resolution, colour, ink_set, color_method, source_step, 0)
    line_width = _line_width(source.shape[1], shape_mode, width)
    context = HalftoneContext(line_width, pack, mode, bits, resolution, not colour, source_step,
                              ink_set=ink_set, color_method=color_method, table=table,
                              **colour_settings)
    return context._job.page(source, packed)
