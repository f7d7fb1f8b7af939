# SPDX-License-Identifier: BSD-2-Clause
import enum
import os
from typing import Any, Iterable, Optional, Sequence, Union

import numpy as np
import numpy.typing as npt

SAMPLE_RATE: int
FRAME_SAMPLES: int
LOOKAHEAD: int
library_version: str
__version__: str

_Bytes = Union[bytes, bytearray, memoryview, npt.NDArray[np.uint8]]
_Audio = Union[npt.NDArray[np.float32], npt.NDArray[np.float64], npt.NDArray[np.int16],
               npt.NDArray[np.int32], Sequence[float]]

class TruncatedStreamError(ValueError):
    result: Any
    def __init__(self, message: str, result: Any = ...) -> None: ...

class Encoder:
    def __init__(self, vad: bool = ..., multiple_sid: bool = ..., highpass: bool = ...) -> None: ...
    def encode(self, pcm: Union[npt.NDArray[np.integer[Any]], Sequence[int]]) -> bytes: ...
    def flush(self) -> bytes: ...
    @property
    def frames(self) -> dict[str, int]: ...
    @property
    def pending(self) -> int: ...

class Decoder:
    def __init__(self, postfilter: bool = ...) -> None: ...
    def decode(self, data: _Bytes, lost: Optional[Union[npt.ArrayLike, Sequence[bool]]] = ...) -> npt.NDArray[np.int16]: ...
    def conceal(self, n: int) -> npt.NDArray[np.int16]: ...
    def flush(self) -> None: ...
    @property
    def frames(self) -> dict[str, int]: ...
    @property
    def pending(self) -> int: ...

def encode(audio: _Audio, rate: int, *, vad: bool = ..., multiple_sid: bool = ..., highpass: bool = ...) -> bytes: ...
def decode(data: _Bytes, *, postfilter: bool = ...) -> npt.NDArray[np.int16]: ...
def roundtrip(audio: _Audio, rate: int, loss: float = ..., seed: Optional[int] = ..., vad: bool = ...,
              postfilter: bool = ..., *, multiple_sid: bool = ..., highpass: bool = ...) -> npt.NDArray[Any]: ...
def info(data: _Bytes) -> dict[str, Any]: ...

class FrameKind(enum.IntEnum):
    SPEECH = 0
    SID = 1
    UNTRANSMITTED = 2
    LOST = 3
    CONCEALED = 4

class CaptureError(ValueError):
    result: Any
    def __init__(self, message: str, result: Any = ...) -> None: ...

class CaptureStream:
    name: str
    source: tuple[str, int]
    destination: tuple[str, int]
    ssrc: int
    payload_type: int
    payload_type_source: str
    report: dict[str, Any]
    samples: npt.NDArray[np.int16]
    frame_kinds: npt.NDArray[np.uint8]
    segment_starts: npt.NDArray[np.int64]
    start: float
    cut: bool
    @property
    def duration(self) -> float: ...

class Capture(list[CaptureStream]):
    counts: dict[str, int]
    path: str

class Call:
    first: list[CaptureStream]
    second: list[CaptureStream]
    samples: npt.NDArray[np.int16]
    start: float

_Path = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]

def read_capture(path: _Path, payload_types: Union[int, Iterable[int]] = ..., postfilter: bool = ...,
                 srtp_keys: Union[str, Iterable[str]] = ...) -> Capture: ...
def read_calls(path: _Path, payload_types: Union[int, Iterable[int]] = ..., postfilter: bool = ...,
               srtp_keys: Union[str, Iterable[str]] = ...) -> list[Call]: ...
