import enum
import os
from typing import Literal, Union

__version__: str

_Path = Union[str, bytes, os.PathLike[str], os.PathLike[bytes]]
_Buffer = Union[bytes, bytearray, memoryview]
_StyleLike = Union["Style", int, str]

class Style(enum.IntEnum):
    STANDARD = 0
    CHEERFUL = 1
    TROUBLED = 2
    NYU = 3
    NYO = 4
    PYO = 5
    @property
    def label(self) -> str: ...

class DecodeError(UnicodeDecodeError):
    code: str
    guessed: bool
    filename: str | bytes | None

class EncodeError(UnicodeEncodeError):
    code: str
    line: int
    column: int
    count: int
    filename: str | bytes | None

class Converter:
    def __init__(
        self,
        style: _StyleLike = ...,
        *,
        pokoru: bool = ...,
        first: bool = ...,
        second: bool = ...,
        force: bool = ...,
    ) -> None: ...
    def push(self, text: str, /) -> str: ...
    def finish(self) -> str: ...
    @property
    def style(self) -> Style: ...
    @property
    def pokoru(self) -> bool: ...
    @property
    def first(self) -> bool: ...
    @property
    def second(self) -> bool: ...
    @property
    def force(self) -> bool: ...

def convert(
    text: str,
    style: _StyleLike = ...,
    *,
    pokoru: bool = ...,
    first: bool = ...,
    second: bool = ...,
    force: bool = ...,
) -> str: ...
def convert_file(
    source: _Path,
    target: _Path,
    style: _StyleLike = ...,
    *,
    pokoru: bool = ...,
    first: bool = ...,
    second: bool = ...,
    force: bool = ...,
    encoding: str = ...,
    output_encoding: str = ...,
    crlf: bool = ...,
    jobs: int = ...,
) -> None: ...
def decode(data: _Buffer, encoding: str = ...) -> tuple[str, str]: ...
def encode(text: str, encoding: str = ..., crlf: bool = ...) -> bytes: ...
def read_text(path: _Path, encoding: str = ..., *, newline: Literal["", None] = ...) -> str: ...
def write_text(path: _Path, text: str, encoding: str = ..., crlf: bool = ...) -> None: ...
def next_safe_cut(
    data: _Buffer,
    start: int = ...,
    style: _StyleLike = ...,
    *,
    pokoru: bool = ...,
    first: bool = ...,
    second: bool = ...,
    force: bool = ...,
) -> int: ...
