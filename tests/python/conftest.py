"""What the Python module's tests share: pokopen-convert as the reference,
real Japanese documents and generated texts in which every rule fires.

The module tested is the one `import pokopen` finds (the installed package,
or build/python on PYTHONPATH); the converter is POKOPEN_CONVERT or the
pokopen-convert on the PATH.
"""

import functools
import gzip
import os
import random
import shutil
import struct
import subprocess
from pathlib import Path

import pytest

CONVERTER = os.environ.get("POKOPEN_CONVERT") or shutil.which("pokopen-convert")

# Settings as convert() takes them: every style, and the flags on and off.
SETTINGS = [
    (0, {}),
    (1, {"pokoru": True, "force": True}),
    (2, {"first": False, "second": False, "force": True}),
    (0, {"pokoru": True, "first": False}),
    (1, {"second": False}),
    (3, {}),
    (4, {"force": True}),
    (5, {"force": True}),
]


def settings_id(setting):
    style, flags = setting
    return f"{style}-" + ("-".join(f"{k}={int(v)}" for k, v in sorted(flags.items())) or "default")


def cli_options(style, pokoru=False, first=True, second=True, force=False):
    return [f"--style={int(style)}"] + [
        f"--{'' if on else 'no-'}{name}"
        for name, on in (("pokoru", pokoru), ("first", first), ("second", second), ("force", force))
    ]


def run_cli(data, *options):
    """pokopen-convert with options on data: (exit status, stdout, stderr)."""
    assert CONVERTER, "pokopen-convert is neither on the PATH nor in POKOPEN_CONVERT"
    done = subprocess.run([CONVERTER, "-q", *options], input=data, capture_output=True)
    return done.returncode, done.stdout, done.stderr.decode()


def cli_convert(data, style=0, *options, **flags):
    """pokopen-convert's result for bytes, checked to succeed."""
    status, out, err = run_cli(data, *cli_options(style, **flags), *options)
    assert status == 0, err
    return out


# Words of every rule, in the forms the matching folds together, and what
# stands around them: punctuation of the guarded rule, line breaks of all
# three kinds, half-width forms and characters past U+FFFF.
_WORDS = (
    "わたし ワタシ ﾜﾀｼ 私 わたくし あたし 拙者 自分 当方 あっし うち こちら 手前 "
    "あなた アナタ ｱﾅﾀ あんた きみ 君 貴殿 おぬし お主 そちら ダーリン だーりん ダ～リン "
    "ください します なんだ なのだ でした です デス ﾃﾞｽ ない ぽこる ポコル ﾎﾟｺﾙ "
    "。 、 ， ． （ ） 「 」 『 』 , . ( ) ｡ ､ ｢ ｣ ！ ？ ! ? … ～ ー よ ね から "
    "好き 元気 行か そう 𠮷野家 😀 ABC abc"
).split()
_BREAKS = ["\n", "\r\n", "\r"]


def generated_text(seed, words=400):
    """A text of rule words and line breaks, the same for the same seed."""
    rng = random.Random(seed)
    parts = []
    for _ in range(words):
        parts.append(rng.choice(_WORDS))
        if rng.random() < 0.08:
            parts.append(rng.choice(_BREAKS))
    return "".join(parts)


def _catalogue_text(path):
    """The translations of a GNU message catalogue, a message a line."""
    data = path.read_bytes()
    if data[:4] != b"\xde\x12\x04\x95" or b"charset=UTF-8" not in data:
        return ""
    count, _, table = struct.unpack_from("<III", data, 8)
    lines = []
    for i in range(count):
        length, offset = struct.unpack_from("<II", data, table + 8 * i)
        message = data[offset:offset + length].decode("utf-8", "replace")
        if "Content-Type:" not in message:
            lines.append(message.replace("\0", "\n"))
    return "\n".join(lines) + "\n"


@functools.lru_cache(maxsize=None)
def documents(count=8):
    """Real Japanese documents: manual pages and message catalogues that
    Debian installs for Japanese, as (name, text) pairs; a few of each."""
    found = []
    pages = sorted(Path("/usr/share/man/ja").glob("man*/*.gz"))
    for page in pages[:: max(1, len(pages) // count)][:count]:
        found.append((page.name, gzip.decompress(page.read_bytes()).decode("utf-8", "replace")))
    catalogues = sorted(Path("/usr/share/locale/ja/LC_MESSAGES").glob("*.mo"))
    texts = [(path.name, _catalogue_text(path)) for path in catalogues]
    texts = [(name, text) for name, text in texts if len(text) > 2000]
    found += texts[:: max(1, len(texts) // count)][:count]
    return tuple(found)


def all_texts():
    """The documents and a few generated texts, as (name, text) pairs."""
    return list(documents()) + [(f"generated-{seed}", generated_text(seed)) for seed in range(6)]


@pytest.fixture(scope="session")
def texts():
    found = all_texts()
    assert len(found) > 6, "no Japanese documents found (scripts/setup.sh test installs them)"
    return found
