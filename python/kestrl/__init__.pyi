import os
from typing import Mapping, Optional, Sequence, Tuple, Union

import numpy as np
import numpy.typing as npt
from typing_extensions import TypedDict, Unpack

__all__: list[str]

class KestrlError(Exception):
    status: int
    meaning: str
    call: str
    def __init__(self, status: int, meaning: str, call: str) -> None: ...

class LibraryMemoryError(KestrlError, MemoryError): ...
class UnsupportedModeError(KestrlError): ...
class ParameterError(KestrlError, ValueError): ...
class ResourceError(KestrlError): ...
class KestrlWarning(UserWarning): ...

def status_meaning(status: int) -> str: ...

class Pack:
    @classmethod
    def builtin(cls) -> Pack: ...
    @classmethod
    def open(cls, folder: Union[str, os.PathLike[str]]) -> Pack: ...
    def export(self, folder: Union[str, os.PathLike[str]]) -> None: ...
    def ids(self) -> list[int]: ...
    def __getitem__(self, resource_id: int) -> bytes: ...
    def __contains__(self, resource_id: int) -> bool: ...
    def replace(self, changes: Mapping[int, Union[bytes, str, None]]) -> Pack: ...

# The colour settings a ColourTable takes, and that HalftoneContext and
# halftone hand on to the table they make.
class _ColourSettings(TypedDict, total=False):
    brightness: int
    contrast: int
    saturation: int
    gamma: Optional[float]
    balance: Tuple[int, int, int]
    calibration: Optional[Sequence[int]]
    calibration_key: int
    curves: Optional[npt.ArrayLike]
    select_number: int
    select_name: int
    class_override: int
    colour_class: int
    grey_style: int

class ColourTable:
    pack: Pack
    def __init__(
        self,
        pack: Optional[Pack] = ...,
        mode: int = ...,
        resolution: Tuple[int, int] = ...,
        bits: int = ...,
        *,
        grey: bool = ...,
        color_method: int = ...,
        ink_set: Optional[int] = ...,
        **settings: Unpack[_ColourSettings],
    ) -> None: ...
    @property
    def grid(self) -> npt.NDArray[np.uint8]: ...
    @property
    def grey_ramp(self) -> npt.NDArray[np.uint8]: ...
    @property
    def breakpoints(self) -> npt.NDArray[np.uint8]: ...
    @property
    def channels(self) -> int: ...
    @property
    def adjust_status(self) -> int: ...
    def lookup(self, rgb: npt.NDArray[np.uint8]) -> npt.NDArray[np.uint8]: ...

class HalftoneContext:
    pack: Pack
    table: ColourTable
    width: int
    planes: int
    line: int
    def __init__(
        self,
        width: int,
        pack: Optional[Pack] = ...,
        mode: int = ...,
        bits: int = ...,
        resolution: Tuple[int, int] = ...,
        grey: bool = ...,
        source_step: int = ...,
        *,
        ink_set: Optional[int] = ...,
        color_method: int = ...,
        table: Optional[ColourTable] = ...,
        **colour_settings: Unpack[_ColourSettings],
    ) -> None: ...
    def run(
        self,
        line: npt.NDArray[np.uint8],
        start_x: int = ...,
        line_number: Optional[int] = ...,
        count: Optional[int] = ...,
    ) -> npt.NDArray[np.uint8]: ...

def halftone(
    image: npt.NDArray[np.uint8],
    pack: Optional[Pack] = ...,
    mode: int = ...,
    bits: int = ...,
    resolution: Tuple[int, int] = ...,
    grey: Optional[bool] = ...,
    source_step: int = ...,
    *,
    width: Optional[int] = ...,
    ink_set: Optional[int] = ...,
    color_method: int = ...,
    table: Optional[ColourTable] = ...,
    packed: bool = ...,
    **colour_settings: Unpack[_ColourSettings],
) -> npt.NDArray[np.uint8]: ...
