"""ぽこぺん: rewrite Japanese text into playful character speech.

Six styles (see Style): the persona language ぽこる語 of ぽこりゅん, who ends her
sentences in りゅん, in three variants, and three character dialects whose
sentences end in にゅ, にょ and ぴょ.

    convert(text, style, *, pokoru, first, second, force) -> str
    Converter(style, ...).push(piece) / .finish()   a text in pieces
    decode(data, encoding='auto') -> (str, encoding found)
    encode(text, encoding='utf-8', crlf=False) -> bytes
    read_text(path, encoding='auto') / write_text(path, text, ...)
    convert_file(source, target, style, ...)   as pokopen-convert -o does
    next_safe_cut(data, start, style, ...)   where a long text may be split

Files are read with the detection of the ぽこぺん window and pokopen-convert
(UTF-8, UTF-16 with a byte-order mark, or code page 932), and refused with a
DecodeError, a UnicodeDecodeError, that names the likely encoding and the byte
where the bytes stop being valid in it. Code page 932 cannot hold every
character: encode() and write_text() raise EncodeError, a UnicodeEncodeError,
at the first such character.

Long texts are converted, decoded and encoded without the interpreter lock,
so threads work in parallel. Converters and styles pickle, for worker
processes (see examples/dask_convert.py in the source for a Dask cluster).
"""

from ._style import Style
from ._pokopen import (
    Converter,
    DecodeError,
    EncodeError,
    __version__,
    convert,
    convert_file,
    decode,
    encode,
    next_safe_cut,
    read_text,
    write_text,
)

__all__ = [
    "Converter",
    "DecodeError",
    "EncodeError",
    "Style",
    "__version__",
    "convert",
    "convert_file",
    "decode",
    "encode",
    "next_safe_cut",
    "read_text",
    "write_text",
]
