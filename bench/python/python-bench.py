#!/usr/bin/python3
"""The Python module against pokopen-convert: one text, two threads, and the
Dask recipe on many files.

    bench/python/python-bench.py [BUILD_DIR]

BUILD_DIR (default build-release) is a Release build with pokopen-convert,
pokopen-bench-text and the module (PYTHONPATH is set to BUILD_DIR/python).
Environment: SIZE (MiB of each text, default 32), RUNS (default 5, the
median is shown), FILES (default 64) and FILE_SIZE (MiB, default 1) for Dask.
Texts: generated prose and technical text, and real documents (Debian's
Japanese manual pages and message catalogues, repeated to the size).
"""

import gzip
import os
import pathlib
import statistics
import subprocess
import sys
import tempfile
import threading
import time

root = pathlib.Path(__file__).resolve().parents[2]
build = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else root / "build-release").resolve()
sys.path.insert(0, str(build / "python"))
sys.path.insert(0, str(root / "examples"))
sys.path.insert(0, str(root / "tests" / "python"))
import pokopen  # noqa: E402
import dask_convert  # noqa: E402
from conftest import _catalogue_text  # noqa: E402
from dask.distributed import Client, LocalCluster  # noqa: E402

CONVERT = str(build / "cli" / "pokopen-convert")
GENERATE = str(build / "bench" / "texts" / "pokopen-bench-text")
SIZE = int(os.environ.get("SIZE", "32")) << 20
RUNS = int(os.environ.get("RUNS", "5"))
FILES = int(os.environ.get("FILES", "64"))
FILE_SIZE = int(os.environ.get("FILE_SIZE", "1")) << 20
SETTINGS = {"style": pokopen.Style.CHEERFUL, "pokoru": True, "force": True}
FLAGS = ["-s", "1", "--pokoru", "--force"]


def median_seconds(work, runs=RUNS):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        work()
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def real_documents():
    """Debian's Japanese manual pages and UTF-8 message catalogues, joined."""
    parts = [gzip.decompress(p.read_bytes()).decode("utf-8", "replace")
             for p in sorted(pathlib.Path("/usr/share/man/ja").glob("man*/*.gz"))]
    parts += [_catalogue_text(path)
              for path in sorted(pathlib.Path("/usr/share/locale/ja/LC_MESSAGES").glob("*.mo"))]
    return "".join(parts)


def sized(text, size):
    """text repeated and cut at a line's end to at most size bytes of UTF-8."""
    data = (text.encode() * (size // max(1, len(text.encode())) + 1))[:size]
    return data[:data.rfind(b"\n") + 1].decode()


def texts(size):
    made = {}
    for kind in ("prose", "technical"):
        made[kind] = subprocess.run([GENERATE, kind, str(size)], check=True,
                                    capture_output=True).stdout.decode()
    made["documents"] = sized(real_documents(), size)
    return made


def run(command):
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL)


def one_text(work):
    print(f"## One text of {SIZE >> 20} MiB, {' '.join(FLAGS)}, median of {RUNS}\n")
    print("| text | pokopen-convert -j 1 -o | convert() | convert_file() | "
          "convert() / -j 1 | convert_file() / -j 1 |")
    print("|---|---|---|---|---|---|")
    for kind, text in texts(SIZE).items():
        source, target = work / f"{kind}.txt", work / f"{kind}-out.txt"
        source.write_text(text, encoding="utf-8", newline="")
        native = median_seconds(lambda: run([CONVERT, *FLAGS, "-j", "1", "-o", target, source]))
        module = median_seconds(lambda: pokopen.convert(text, **SETTINGS))
        whole = median_seconds(lambda: pokopen.convert_file(source, target, **SETTINGS))
        print(f"| {kind} | {native:.3f} s | {module:.3f} s | {whole:.3f} s | "
              f"{module / native:.2f}x | {whole / native:.2f}x |")


def two_threads():
    print(f"\n## Two threads, each converting its own {SIZE >> 20} MiB, median of {RUNS}\n")
    print("| text | one thread, one text | two threads, two texts | speed-up |")
    print("|---|---|---|---|")
    for kind, text in texts(SIZE).items():
        copy = text[:-1] + text[-1]  # a second str, not the same object

        def both():
            threads = [threading.Thread(target=pokopen.convert, args=(t,), kwargs=SETTINGS)
                       for t in (text, copy)]
            for thread in threads:
                thread.start()
            for thread in threads:
                thread.join()

        one = median_seconds(lambda: pokopen.convert(text, **SETTINGS))
        two = median_seconds(both)
        print(f"| {kind} | {one:.3f} s | {two:.3f} s | {2 * one / two:.2f}x |")


def dask_files(work):
    print(f"\n## {FILES} files of {FILE_SIZE >> 20} MiB: the Dask recipe on a local cluster of "
          f"2 worker processes against pokopen-convert -j 2, median of {RUNS}\n")
    print("| files | pokopen-convert -j 2 -d | Dask recipe | Dask / native | cluster start |")
    print("|---|---|---|---|---|")
    started = time.perf_counter()
    cluster = LocalCluster(n_workers=2, threads_per_worker=1, dashboard_address=":0")
    client = Client(cluster)
    client.run(lambda: __import__("pokopen"))
    start_seconds = time.perf_counter() - started
    with cluster, client:
        for kind, text in texts(FILE_SIZE).items():
            source, native_out, dask_out = (work / kind / name for name in ("in", "native", "dask"))
            source.mkdir(parents=True)
            native_out.mkdir()
            for i in range(FILES):
                (source / f"{i:03d}.txt").write_text(text, encoding="utf-8", newline="")
            files = sorted(str(p) for p in source.iterdir())
            native = median_seconds(lambda: run([CONVERT, *FLAGS, "-q", "-j", "2", "-d",
                                                 native_out, *files]))
            # A new target each run: the same one would give the same task
            # keys, which the scheduler may answer from its memory.
            targets = iter(range(RUNS))
            recipe = median_seconds(lambda: dask_convert.convert_tree(
                client, source, dask_out / str(next(targets)), SETTINGS))
            assert all((dask_out / "0" / p.name).read_bytes() == (native_out / p.name).read_bytes()
                       for p in source.iterdir())
            print(f"| {kind} | {native:.3f} s | {recipe:.3f} s | {recipe / native:.2f}x | "
                  f"{start_seconds:.1f} s |")


def main():
    print(f"load average at start: {os.getloadavg()[0]:.2f} on {os.cpu_count()} cores\n")
    with tempfile.TemporaryDirectory(prefix="pokopen-python-bench-") as folder:
        work = pathlib.Path(folder)
        one_text(work)
        two_threads()
        dask_files(work)


if __name__ == "__main__":
    main()
