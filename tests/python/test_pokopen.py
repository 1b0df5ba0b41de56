"""The module pokopen against pokopen-convert, its errors, pieces, threads
and pickling."""

import copy
import os
import pathlib
import pickle
import random
import re
import subprocess
import sys
import threading
import time

import pytest

import pokopen
from conftest import SETTINGS, cli_convert, documents, generated_text, run_cli, settings_id


@pytest.mark.parametrize("setting", SETTINGS, ids=settings_id)
def test_convert_equals_the_converter(setting, texts):
    style, flags = setting
    for name, text in texts:
        expected = cli_convert(text.encode(), style, "--input-encoding=utf-8", **flags).decode()
        assert pokopen.convert(text, style, **flags) == expected, name


@pytest.mark.parametrize("setting", SETTINGS[:3], ids=settings_id)
def test_pieces_at_random_cuts_equal_the_whole(setting, texts):
    style, flags = setting
    rng = random.Random(style)
    for name, text in texts:
        whole = pokopen.convert(text, style, **flags)
        converter = pokopen.Converter(style, **flags)
        for _ in range(2):  # the converter is ready for a new text after finish()
            cuts = sorted(rng.randrange(len(text) + 1) for _ in range(rng.randrange(1, 40)))
            pieces = [text[a:b] for a, b in zip([0] + cuts, cuts + [len(text)])]
            assert "".join(map(converter.push, pieces)) + converter.finish() == whole, name


def test_every_cut_of_a_short_text():
    text = "わたしです\r\n「あなたです」\rぽこるなのだ。😀でした"
    whole = pokopen.convert(text, 1, pokoru=True, force=True)
    converter = pokopen.Converter("CHEERFUL", pokoru=True, force=True)
    for cut in range(len(text) + 1):
        assert converter.push(text[:cut]) + converter.push(text[cut:]) + converter.finish() == whole


@pytest.mark.parametrize("style", [pokopen.Style.TROUBLED, 2, "TROUBLED", "troubled", "お悩みぽこる語"])
def test_a_style_by_member_number_name_or_label(style):
    assert pokopen.convert("わたしです。", style) == pokopen.convert("わたしです。", 2)
    assert pokopen.Converter(style).style is pokopen.Style.TROUBLED


@pytest.mark.parametrize("call, error", [
    (lambda: pokopen.convert("x", 6), ValueError),
    (lambda: pokopen.convert("x", -1), ValueError),
    (lambda: pokopen.convert("x", "LOUD"), ValueError),
    (lambda: pokopen.convert("x", 1.0), TypeError),
    (lambda: pokopen.convert("x", True), TypeError),
    (lambda: pokopen.convert("x", force="yes"), TypeError),
    (lambda: pokopen.convert("x", first=2), ValueError),
    (lambda: pokopen.convert("x", 0, True), TypeError),
    (lambda: pokopen.convert(b"x"), TypeError),
    (lambda: pokopen.Converter(7), ValueError),
    (lambda: pokopen.Converter().push(b"x"), TypeError),
    (lambda: pokopen.decode("text"), TypeError),
    (lambda: pokopen.decode(b"x", "latin-1"), LookupError),
    (lambda: pokopen.encode("x", "auto"), ValueError),
    (lambda: pokopen.encode("x", 932), TypeError),
    (lambda: pokopen.encode("x", crlf=None), TypeError),
    (lambda: pokopen.read_text("x", newline="\n"), ValueError),
    (lambda: pokopen.read_text("bad\0path"), ValueError),
    (lambda: pokopen.write_text(3.5, "x"), TypeError),
    (lambda: pokopen.next_safe_cut(b"x", -1), ValueError),
])
def test_bad_arguments(call, error):
    with pytest.raises(error):
        call()


# Bytes in each encoding the detection reads, and the name it finds.
ENCODED = [
    (lambda t: t.encode(), "utf-8"),
    (lambda t: b"\xef\xbb\xbf" + t.encode(), "utf-8"),
    (lambda t: t.encode("utf-16"), "utf-16-le"),
    (lambda t: b"\xfe\xff" + t.encode("utf-16-be"), "utf-16-be"),
    (lambda t: t.replace("\n", "\r\n").encode("cp932"), "cp932"),
]


@pytest.mark.parametrize("make, found", ENCODED, ids=[found for _, found in ENCODED])
def test_decode_and_read_text_detect_as_the_converter(make, found, tmp_path):
    name, text = documents()[0]
    text = "".join(ch for ch in text if ch.encode("cp932", "ignore"))  # what code page 932 holds
    data = make(text)
    decoded, encoding = pokopen.decode(data)
    assert encoding == found
    assert pokopen.convert(decoded, 1) == cli_convert(data, 1).decode()
    path = tmp_path / "in.txt"
    path.write_bytes(data)
    assert pokopen.read_text(path, newline="") == decoded
    assert pokopen.read_text(str(path)) == decoded.replace("\r\n", "\n").replace("\r", "\n")


@pytest.mark.parametrize("encoding, crlf", [("utf-8", False), ("cp932", True), ("cp932", False)])
def test_encode_and_write_text_equal_the_converter(encoding, crlf, tmp_path):
    text = "".join(ch for _, t in documents()[:3] for ch in t if ch.encode("cp932", "ignore"))
    text += "〜‖−¢£¬—\u00a0～\r\nend"  # look-alikes code page 932 writes as its own
    options = [f"--output-encoding={encoding}"] + (["--crlf"] if crlf else [])
    expected = cli_convert(text.encode(), 0, "--input-encoding=utf-8", *options)
    converted = pokopen.convert(text)
    assert pokopen.encode(converted, encoding, crlf) == expected
    path = tmp_path / "out.txt"
    pokopen.write_text(path, converted, encoding=encoding, crlf=crlf)
    assert path.read_bytes() == expected


@pytest.mark.parametrize("output, crlf", [("utf-8", False), ("utf-8", True), ("cp932", True)])
def test_convert_file_writes_what_the_converter_writes(output, crlf, tmp_path):
    # In code page 932 a lone LF stays inside its line, so です before it and
    # a 「 after it are within the guarded rule's reach.
    inputs = {
        "cp932-lf": "わたしですか\n（あなた）です\r\nそうです\r「はい」".encode("cp932"),
        "utf-8-lf": "わたしですか\n（あなた）です\r\nそうです\r「はい」".encode(),
        "utf-16": documents()[1][1].encode("utf-16"),
    }
    options = [f"--output-encoding={output}"] + (["--crlf"] if crlf else [])
    for name, data in inputs.items():
        source, target = tmp_path / f"{name}.txt", tmp_path / f"{name}-out.txt"
        source.write_bytes(data)
        pokopen.convert_file(source, target, 1, force=True, output_encoding=output, crlf=crlf)
        assert target.read_bytes() == cli_convert(data, 1, *options, force=True), name
    pokopen.convert_file(source, source, "NYO")
    assert source.read_bytes() == cli_convert(data, 4)


@pytest.mark.parametrize("encoding, prefix", [
    ("utf-16", b"\xff\xfe"), ("utf-16-le", b""), ("utf-16-be", b"")])
def test_encode_utf16(encoding, prefix):
    text = "わたし😀\r\nです\r"
    python = "utf-16-le" if encoding == "utf-16" else encoding
    assert pokopen.encode(text, encoding) == prefix + "わたし😀\nです\n".encode(python)


def _cli_offset(message):
    found = re.search(r"byte offset (\d+)", message)
    return int(found.group(1)) if found else 0


# Refused bytes: the encoding asked, the code, and the encoding the error names.
REFUSED = [
    ("あいうえお".encode() * 20 + b"\xff" + "かきくけこ".encode() * 20, "auto", "invalid_text", "utf-8"),
    ("日本語の文章です。".encode("cp932") * 20 + b"\x82\xff", "auto", "invalid_text", "cp932"),
    ("あいう".encode() + b"\x82", "utf-8", "invalid_text", "utf-8"),
    (b"abc\0def", "auto", "nul_byte", "auto"),
    ("テキスト".encode("utf-16-le"), "utf-16", "no_byte_order_mark", "utf-16"),
    ("これは日本語の文章です。漢字とかなが混じっています。".encode("euc-jp") * 10, "auto", "euc_jp",
     "euc-jp"),
]


@pytest.mark.parametrize("data, asked, code, encoding", REFUSED, ids=[r[2] + "-" + r[1] for r in REFUSED])
def test_refused_bytes_raise_decode_error_where_the_converter_says(data, asked, code, encoding,
                                                                     tmp_path):
    status, _, message = run_cli(data, f"--input-encoding={asked}")
    assert status == 1
    path = tmp_path / "refused.txt"
    path.write_bytes(data)
    for read, filename in ((lambda: pokopen.decode(bytearray(data), asked), None),
                          (lambda: pokopen.read_text(path, asked), str(path))):
        with pytest.raises(pokopen.DecodeError) as caught:
            read()
        error = caught.value
        assert isinstance(error, UnicodeDecodeError)
        assert (error.code, error.encoding, error.filename) == (code, encoding, filename)
        assert error.start == _cli_offset(message) and error.object == data
        assert error.end == min(error.start + 1, len(data))
        if error.guessed:
            assert "most likely" in error.reason


def test_unencodable_characters_raise_encode_error_at_their_place(tmp_path):
    text = "一行目\r\n二行目の😀と\n三行目の𠮷と♯"
    status, _, message = run_cli(text.encode(), "--output-encoding=cp932", "--style=3")
    assert status == 1
    line, column = map(int, re.search(r"line (\d+), column (\d+)", message).groups())
    path = tmp_path / "kept.txt"
    path.write_bytes(b"old")
    for write in (lambda: pokopen.encode(text, "cp932"),
                  lambda: pokopen.write_text(path, text, "cp932")):
        with pytest.raises(pokopen.EncodeError) as caught:
            write()
        error = caught.value
        assert isinstance(error, UnicodeEncodeError) and error.object == text
        assert (error.start, error.end) == (text.index("😀"), text.index("😀") + 1)
        assert (error.line, error.column, error.count, error.encoding) == (line, column, 2, "cp932")
    assert path.read_bytes() == b"old"
    with pytest.raises(pokopen.EncodeError) as caught:
        pokopen.encode("ab\udc80", "utf-8")
    assert caught.value.start == 2


def test_file_errors_are_os_errors(tmp_path):
    with pytest.raises(FileNotFoundError) as caught:
        pokopen.read_text(tmp_path / "missing.txt")
    assert caught.value.filename == str(tmp_path / "missing.txt")
    with pytest.raises(IsADirectoryError):
        pokopen.read_text(tmp_path)
    with pytest.raises(FileNotFoundError):
        pokopen.write_text(tmp_path / "no" / "such.txt", "x")


def test_convert_file_failures_name_their_file_and_keep_the_target(tmp_path):
    kept = tmp_path / "kept.txt"
    kept.write_bytes(b"old")
    (tmp_path / "nul.txt").write_bytes(b"a\0b")
    (tmp_path / "copyright.txt").write_text("本です ©\n" * 50000)
    cases = [
        ("missing.txt", kept, {}, FileNotFoundError, "missing.txt"),
        ("nul.txt", kept, {}, pokopen.DecodeError, "nul.txt"),
        ("copyright.txt", tmp_path / "no" / "such.txt", {}, FileNotFoundError, "no/such.txt"),
        ("copyright.txt", kept, {"output_encoding": "cp932", "jobs": 2}, pokopen.EncodeError,
         "kept.txt"),
    ]
    for source, target, options, error, named in cases:
        with pytest.raises(error) as caught:
            pokopen.convert_file(tmp_path / source, target, **options)
        assert str(caught.value.filename).endswith(named), source
    assert caught.value.count == 50000
    assert kept.read_bytes() == b"old"


def test_write_text_replaces_the_file_and_keeps_its_mode(tmp_path):
    path = tmp_path / "text.txt"
    path.write_bytes(b"old")
    path.chmod(0o640)
    pokopen.write_text(path, "新しい\n")
    assert path.read_bytes() == "新しい\n".encode() and path.stat().st_mode & 0o777 == 0o640
    assert sorted(p.name for p in tmp_path.iterdir()) == ["text.txt"]


def test_next_safe_cut_splits_where_the_parts_convert_as_the_whole():
    text = "".join(t for _, t in documents()[:4]) + "これです\n「あ」です\n" * 50
    data = text.encode()
    for style, flags in SETTINGS:
        whole = pokopen.convert(text, style, **flags)
        cuts, at = [0], 0
        while (at := pokopen.next_safe_cut(data, at + 300, style, **flags)) < len(data):
            assert data[at - 1] in b"\r\n"
            cuts.append(at)
        assert len(cuts) > 10
        parts = [data[a:b].decode() for a, b in zip(cuts, cuts[1:] + [len(data)])]
        assert "".join(pokopen.convert(part, style, **flags) for part in parts) == whole
    # The line break after です before 「 is rewritten away, so no cut there.
    assert pokopen.next_safe_cut("これです\n「あ」".encode(), 1) == len("これです\n「あ」".encode())


def test_pickling_and_copying_keep_the_settings():
    converter = pokopen.Converter(pokopen.Style.PYO, force=True, first=False)
    text = "わたしです。なのだ"
    for other in (pickle.loads(pickle.dumps(converter)), copy.deepcopy(converter)):
        assert repr(other) == repr(converter)
        assert other.push(text) + other.finish() == pokopen.convert(text, 5, force=True)
    assert pickle.loads(pickle.dumps(pokopen.Style.NYO)) is pokopen.Style.NYO
    converter.push("わたし")
    with pytest.raises(TypeError, match="middle of a text"):
        pickle.dumps(converter)
    converter.finish()
    assert pickle.loads(pickle.dumps(converter)).force


def test_two_threads_at_once_give_each_its_own_result():
    texts = [generated_text(seed, 60000) for seed in (10, 11)]
    expected = [pokopen.convert(text, 1, force=True) for text in texts]
    results = [None, None]

    def work(i):
        for _ in range(3):
            results[i] = pokopen.convert(texts[i], 1, force=True)
            decoded, _ = pokopen.decode(pokopen.encode(results[i], "utf-16"))
            assert decoded == results[i]

    threads = [threading.Thread(target=work, args=(i,)) for i in range(2)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert results == expected


def test_the_interpreter_runs_other_threads_while_converting():
    # Another thread reads the clock all through one long call: had the call
    # kept the interpreter lock, the readings would stop for its length.
    text = generated_text(1, 50000) * 200
    readings, done = [], threading.Event()

    def read_clock():
        while not done.is_set():
            readings.append(time.perf_counter())

    reader = threading.Thread(target=read_clock)
    reader.start()
    while not readings:
        time.sleep(0.001)
    start = time.perf_counter()
    pokopen.convert(text)
    end = time.perf_counter()
    done.set()
    reader.join()
    inside = [start] + [t for t in readings if start < t < end] + [end]
    longest = max(b - a for a, b in zip(inside, inside[1:]))
    assert end - start > 0.05 and longest < 0.6 * (end - start)


def test_running_out_of_memory_raises_memory_error():
    # The text is made before the limit, so that only the call runs short.
    script = (
        "import resource, pokopen\n"
        "text = 'わたしはあなたです。' * 8_000_000\n"
        "with open('/proc/self/statm') as f: used = int(f.read().split()[0]) * resource.getpagesize()\n"
        "resource.setrlimit(resource.RLIMIT_AS, (used + (64 << 20),) * 2)\n"
        "for call in (pokopen.convert, lambda t: pokopen.encode(t, 'cp932'),\n"
        "             lambda t: pokopen.Converter().push(t)):\n"
        "    try:\n"
        "        call(text)\n"
        "    except MemoryError:\n"
        "        print('MemoryError', pokopen.convert('わたし'))\n"
    )
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                          env={**os.environ, "MALLOC_ARENA_MAX": "1"})
    assert (done.returncode, done.stdout) == (0, "MemoryError ぽこりゅん\n" * 3), done.stderr


def test_the_package_has_its_types_and_help():
    package = pathlib.Path(pokopen.__file__).parent
    assert (package / "py.typed").exists() and (package / "__init__.pyi").exists()
    status, out, _ = run_cli(b"", "--version")
    assert [int(n) for n in pokopen.__version__.split(".")] == [
        int(n) for n in out.decode().split()[1].split(".")]
    assert "Rewrite text into character speech" in pokopen.convert.__doc__
