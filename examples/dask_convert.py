#!/usr/bin/python3
"""Convert a folder tree, or one large text, with ぽこぺん on a Dask cluster.

    dask_convert.py tree SOURCE_DIR TARGET_DIR [options]   one output per file
    dask_convert.py lines BIG.txt OUT.txt [options]        one large UTF-8 text

Each file of the tree is converted as pokopen-convert converts it, into the
same place under TARGET_DIR; a file that cannot be read is reported and the
others are still converted. A large text is cut into blocks of whole lines
at the places where converting the blocks apart changes nothing, the workers
convert the blocks, and OUT.txt is joined from their results.

Without --scheduler a cluster of worker processes on this machine is
started. On a real cluster every worker needs python3-pokopen and the files
on a path it can read (a shared file system).
"""

import argparse
import functools
import os
import pathlib
import shutil
import sys
import tempfile

import dask.bag as db
from dask.distributed import Client, LocalCluster

import pokopen


def convert_file(paths, settings, encoding="utf-8", crlf=False):
    """Convert one file into another; return (source, None) or (source, error)."""
    source, target = paths
    try:
        os.makedirs(os.path.dirname(target), exist_ok=True)
        # One thread each: the cluster already runs a task on every core.
        pokopen.convert_file(source, target, **settings, output_encoding=encoding, crlf=crlf,
                             jobs=1)
        return source, None
    except (UnicodeError, OSError) as error:
        return source, f"{type(error).__name__}: {error}"


def convert_tree(client, source, target, settings, encoding="utf-8", crlf=False):
    """Convert every file under source into the same place under target.

    settings are convert()'s keyword arguments, such as
    {"style": pokopen.Style.CHEERFUL, "force": True}; encoding and crlf are
    those of the output. Returns a list of (source file, error or None).
    """
    source, target = pathlib.Path(source), pathlib.Path(target)
    pairs = [(str(path), str(target / path.relative_to(source)))
             for path in sorted(source.rglob("*")) if path.is_file()]
    if not pairs:
        return []
    # Two partitions for each worker thread: each task costs the scheduler
    # milliseconds, so many small ones cost more than they balance.
    threads = sum(client.nthreads().values())
    bag = db.from_sequence(pairs, npartitions=min(len(pairs), 2 * threads))
    work = functools.partial(convert_file, settings=settings, encoding=encoding, crlf=crlf)
    return client.compute(bag.map(work)).result()


def block_ends(path, block_size, settings):
    """The offsets that cut a UTF-8 file into blocks of about block_size bytes
    of whole lines, each converted apart as it would be within the whole."""
    size = os.path.getsize(path)
    context = 64  # bytes before a cut that the search may look back over
    ends = []
    with open(path, "rb") as file:
        start = 0
        while start + block_size < size:
            offset = start + block_size
            window = 1 << 16
            while True:
                file.seek(offset - context)
                data = file.read(context + window)
                cut = pokopen.next_safe_cut(data, context, **settings)
                if cut < len(data) or offset - context + len(data) >= size:
                    break
                window *= 2
            start = min(offset - context + cut, size)
            ends.append(start)
    if not ends or ends[-1] < size:
        ends.append(size)
    return ends


def convert_block(block, settings):
    """Convert bytes start to end of a UTF-8 file into the file part."""
    source, start, end, part = block
    with open(source, "rb") as file:
        file.seek(start)
        data = file.read(end - start)
    text, _ = pokopen.decode(data, "utf-8")
    pokopen.write_text(part, pokopen.convert(text, **settings))
    return part


def convert_lines(client, source, target, settings, block_size=64 << 20):
    """Convert one large UTF-8 text into target, block by block on the cluster."""
    ends = block_ends(source, block_size, settings)
    parts = tempfile.mkdtemp(prefix=".pokopen-parts-", dir=os.path.dirname(os.path.abspath(target)))
    try:
        blocks = [(str(source), start, end, os.path.join(parts, f"{i:08d}"))
                  for i, (start, end) in enumerate(zip([0] + ends[:-1], ends))]
        bag = db.from_sequence(blocks, npartitions=len(blocks))
        done = client.compute(bag.map(functools.partial(convert_block, settings=settings)))
        with open(target, "wb") as out:
            for part in done.result():
                with open(part, "rb") as piece:
                    shutil.copyfileobj(piece, out, 1 << 20)
    finally:
        shutil.rmtree(parts, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("mode", choices=["tree", "lines"])
    parser.add_argument("source")
    parser.add_argument("target")
    parser.add_argument("-s", "--style", default="STANDARD", help="0 to 5 or a name")
    for flag, default in (("pokoru", False), ("first", True), ("second", True), ("force", False)):
        parser.add_argument(f"--{flag}", action=argparse.BooleanOptionalAction, default=default)
    parser.add_argument("--output-encoding", default="utf-8", help="tree: utf-8 or cp932")
    parser.add_argument("--crlf", action="store_true", help="tree: end lines with CR LF")
    parser.add_argument("--block-size", type=int, default=64 << 20, help="lines: bytes per block")
    parser.add_argument("--scheduler", help="address of a running Dask scheduler")
    parser.add_argument("--workers", type=int, default=os.cpu_count(), help="local worker processes")
    args = parser.parse_args()
    style = int(args.style) if args.style.isdigit() else args.style
    settings = {"style": pokopen.Converter(style).style, "pokoru": args.pokoru,
                "first": args.first, "second": args.second, "force": args.force}

    cluster = None if args.scheduler else LocalCluster(
        n_workers=args.workers, threads_per_worker=1, dashboard_address=":0")
    try:
        with Client(args.scheduler or cluster) as client:
            if args.mode == "lines":
                convert_lines(client, args.source, args.target, settings, args.block_size)
                return 0
            failed = [(source, error) for source, error in convert_tree(
                client, args.source, args.target, settings, args.output_encoding, args.crlf)
                if error]
    finally:
        if cluster is not None:
            cluster.close()
    for source, error in failed:
        print(f"dask_convert: {source}: {error}", file=sys.stderr)
    return 1 if failed else 0


if __name__ == "__main__":
    raise SystemExit(main())
