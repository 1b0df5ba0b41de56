"""The Dask recipe of examples/dask_convert.py on a local cluster of two
worker processes: every output equal to pokopen-convert's."""

import importlib.util
import pathlib

import pytest
from dask.distributed import Client, LocalCluster

import pokopen
from conftest import cli_convert, documents, generated_text, run_cli

_EXAMPLE = pathlib.Path(__file__).resolve().parents[2] / "examples" / "dask_convert.py"
_spec = importlib.util.spec_from_file_location("dask_convert", _EXAMPLE)
recipe = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(recipe)

pytestmark = pytest.mark.filterwarnings("ignore::DeprecationWarning")

SETTINGS = {"style": pokopen.Style.CHEERFUL, "pokoru": True, "force": True}
CLI_OPTIONS = ["--pokoru", "--force"]


@pytest.fixture(scope="module")
def client():
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                      dashboard_address=":0") as cluster, Client(cluster) as client:
        yield client


def test_a_folder_tree_converts_file_by_file_as_the_converter_does(client, tmp_path):
    source, target = tmp_path / "in", tmp_path / "out"
    files = {}
    for i, (name, text) in enumerate(documents()):
        text = "".join(ch for ch in text if ch.encode("cp932", "ignore"))
        data = text.encode("cp932") if i % 3 == 1 else text.encode("utf-16") if i % 3 == 2 \
            else text.encode()
        files[pathlib.Path(f"part{i % 4}", "sub" * (i % 2), name + ".txt")] = data
    files[pathlib.Path("refused.txt")] = b"abc\0def"
    for relative, data in files.items():
        (source / relative).parent.mkdir(parents=True, exist_ok=True)
        (source / relative).write_bytes(data)

    results = dict(recipe.convert_tree(client, source, target, SETTINGS))

    assert set(results) == {str(source / relative) for relative in files}
    for relative, data in files.items():
        status, expected, message = run_cli(data, "--style=1", *CLI_OPTIONS)
        error = results[str(source / relative)]
        if status:
            assert error and message.split(": ", 2)[2].split(" at ")[0] in error
            assert not (target / relative).exists()
        else:
            assert error is None and (target / relative).read_bytes() == expected, relative


def test_a_large_text_converts_block_by_block_as_the_converter_does(client, tmp_path):
    # Seams that are not safe to cut at (です at a line's end before 「) recur.
    text = "".join(t + "これです\n「はい」\n" + generated_text(seed, 2000)
                   for seed, (_, t) in enumerate(documents() * 3))
    source, target = tmp_path / "big.txt", tmp_path / "big-out.txt"
    source.write_bytes(text.encode())

    recipe.convert_lines(client, source, target, SETTINGS, block_size=32 << 10)

    assert len(recipe.block_ends(source, 32 << 10, SETTINGS)) > 8
    assert target.read_bytes() == cli_convert(source.read_bytes(), 1, *CLI_OPTIONS)
    assert [p.name for p in tmp_path.iterdir()] == ["big.txt", "big-out.txt"] or \
        sorted(p.name for p in tmp_path.iterdir()) == ["big-out.txt", "big.txt"]
