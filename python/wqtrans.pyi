"""The 21 Standard transitions on NumPy frames (type stub of the extension module)."""

from collections.abc import Iterator, Mapping
from typing import Any, NamedTuple, TypedDict, Union

import numpy as np
import numpy.typing as npt

Frame = npt.NDArray[np.uint8]
"""A uint8 array of shape (height, width, 3) or (height, width, 4)."""

Buffer = Union[bytes, bytearray, memoryview]
SettingValue = Union[bool, int, str, "Field"]

class Transition(NamedTuple):
    name: str
    id: str
    index: int
    block_size: int

class Field(TypedDict, total=False):
    kind: str  # "radio button", "check box", "choice", "track bar", "up-down", "edit box"
    value: Union[bool, int, str, None]
    min: int
    max: int
    choices: list[str]

class FrameIterator(Iterator[Frame]):
    @property
    def times(self) -> list[int]: ...
    def __iter__(self) -> FrameIterator: ...
    def __next__(self) -> Frame: ...
    def __len__(self) -> int: ...

def transitions() -> list[Transition]:
    """The 21 transitions in the module's order: name, ID, index and block size."""

def frame_at(
    name: str,
    old: Frame,
    new: Frame,
    t_ms: int,
    *,
    duration_ms: int = 1000,
    fps: int | None = None,
    settings: Mapping[str, SettingValue] | None = None,
    block: Buffer | None = None,
    seed: int = 1,
    out: Frame | None = None,
    flags: int = 0,
    module_last_step: bool = False,
    ease: str = "linear",
    reverse: bool = False,
) -> Frame:
    """The picture at t_ms of a run from old to new, as `wqtrans render NAME --at T` draws it."""

def frames(
    name: str,
    old: Frame,
    new: Frame,
    *,
    duration_ms: int = 1000,
    fps: int = 30,
    settings: Mapping[str, SettingValue] | None = None,
    block: Buffer | None = None,
    seed: int = 1,
    flags: int = 0,
    module_last_step: bool = False,
    ease: str = "linear",
    reverse: bool = False,
) -> FrameIterator:
    """The frames of a whole run, as `wqtrans render NAME --out DIR/` draws them."""

def settings(name: str, block: Buffer | None = None) -> dict[str, Field]:
    """The fields of the transition's settings panel, by the labels the tool's --set takes."""

def block(name: str, settings: Mapping[str, SettingValue], *, base: Buffer | None = None) -> bytes:
    """The parameter block the panel leaves once the settings are set on it."""

