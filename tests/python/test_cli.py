"""The kubic command line, through subprocesses and a pseudo-terminal."""
import json
import os
import pathlib
import pty
import signal
import subprocess
import sys
import time

import numpy as np
import pytest

import kubic
from conftest import corpus_params, sponge_file

EXAMPLE = pathlib.Path(__file__).resolve().parents[2] / "examples" / "house.schem"
KEYS = {"file", "format", "format_version", "data_version", "origin", "size", "volume", "blocks", "air", "voids", "states",
        "block_entities",
        "entities", "name", "author", "most_common"}


def kubic_cli(*args, stdin=None, cwd=None):
    return subprocess.run([sys.executable, "-m", "kubic", *map(str, args)], input=stdin, capture_output=True,
                          timeout=120, cwd=cwd)


def test_info_reports_every_file_even_when_one_fails(tmp_path):
    bad = tmp_path / "bad.schem"
    bad.write_bytes(b"not a schematic")
    result = kubic_cli("info", EXAMPLE, bad, EXAMPLE, "--json")
    assert result.returncode == 1
    lines = [json.loads(line) for line in result.stdout.decode().splitlines()]
    assert len(lines) == 2 and all(set(line) == KEYS for line in lines)
    assert lines[0]["format"] == "sponge" and lines[0]["blocks"] == 266 and lines[0]["size"] == [9, 7, 8]
    assert lines[0]["format_version"] == 3
    assert lines[0]["volume"] == 504 and lines[0]["air"] == 504 - 266
    assert f"{bad}: no reader recognises this input".encode() in result.stderr
    text = kubic_cli("info", EXAMPLE)
    assert text.returncode == 0 and b"266 in 8 distinct states" in text.stdout


def test_info_counts_structure_voids_on_their_own(tmp_path):
    s = kubic.Schematic.from_numpy(np.arange(4, dtype=np.uint16).reshape(4, 1, 1),
                                   ["minecraft:air", "minecraft:structure_void", "minecraft:stone", "minecraft:cave_air"])
    s.save(tmp_path / "voids.nbt")
    report = json.loads(kubic_cli("info", tmp_path / "voids.nbt", "--json").stdout)
    assert (report["blocks"], report["voids"], report["air"], report["states"]) == (1, 1, 2, 1)


@pytest.mark.parametrize("path", corpus_params("mcedit", ".schematic")[:1] + corpus_params("structure", ".nbt")[:1]
                         + corpus_params("litematica", ".litematic")[:1])
def test_info_names_detected_formats(path):
    report = json.loads(kubic_cli("info", path, "--json").stdout)
    assert report["format"] == {".schematic": "mcedit", ".nbt": "structure", ".litematic": "litematica"}[path.suffix]


def test_one_region_of_a_litematica_file_converts(tmp_path):
    source = tmp_path / "in.litematic"
    kubic.load(EXAMPLE).save(source)
    name = kubic.load(source).metadata["regions"][0]["name"]
    out = tmp_path / "out.schem"
    result = kubic_cli("convert", source, out, "--region", name)
    assert result.returncode == 0, result.stderr
    assert kubic.load(out).counts() == kubic.load(EXAMPLE).counts()
    missing = kubic_cli("convert", source, out, "--region", "nope")
    assert missing.returncode == 1 and b"No region named 'nope'" in missing.stderr


@pytest.mark.parametrize("alias, fmt", [("kub", "kub"), ("sponge", "sponge"), ("schem", "sponge"),
                                        ("structure", "structure"), ("mojang", "structure"), ("nbt", "structure"),
                                        ("litematica", "litematica"), ("litematic", "litematica")])
def test_every_alias_converts_losslessly(tmp_path, alias, fmt):
    out = tmp_path / "out.bin"
    result = kubic_cli("convert", EXAMPLE, out, "--to", alias, "--from", "schem")
    assert result.returncode == 0, result.stderr
    assert b"266 blocks" in result.stderr
    back = kubic.load(out)
    assert back.format == fmt and back.counts() == kubic.load(EXAMPLE).counts()
    assert back.block_entities == kubic.load(EXAMPLE).block_entities


def test_sponge_version_two_and_data_version(tmp_path):
    out = tmp_path / "out.schem"
    assert kubic_cli("convert", EXAMPLE, out, "--sponge-version", "2", "--data-version", "2586").returncode == 0
    back = kubic.load(out)
    assert back.data_version == 2586 and back.counts() == kubic.load(EXAMPLE).counts()


def test_blocks_formats_and_standard_streams(tmp_path):
    piped = kubic_cli("convert", "-", "-", "--to", "kub", stdin=EXAMPLE.read_bytes())
    assert piped.returncode == 0
    text = kubic_cli("blocks", "-", "--limit", "2", stdin=piped.stdout).stdout.decode().splitlines()
    assert text == ["0 0 0 minecraft:cobblestone", "0 0 1 minecraft:cobblestone"]
    tsv = kubic_cli("blocks", EXAMPLE, "--limit", "1", "--format", "tsv").stdout.decode()
    assert tsv == "0\t0\t0\tminecraft:cobblestone\n"
    jsonl = json.loads(kubic_cli("blocks", EXAMPLE, "--limit", "1", "--format", "jsonl").stdout)
    assert jsonl == {"x": 0, "y": 0, "z": 0, "state": "minecraft:cobblestone"}


@pytest.mark.parametrize("args, status, message", [
    (["convert", EXAMPLE, "out.unknown"], 2, b"use --to kub|sponge|structure"),
    (["convert", EXAMPLE, "out.kub", "--to", "mcedit"], 2, b"read-only"),
    (["convert", EXAMPLE], 2, b"usage:"),
    (["blocks", EXAMPLE, "--limit", "-1"], 2, b"must not be negative"),
    (["info", EXAMPLE, "--top", "-2"], 2, b"must not be negative"),
    (["nonsense"], 2, b"usage:"),
    (["info", "/no/such/file.schem"], 1, b"/no/such/file.schem: No such file or directory"),
    (["blocks", "-"], 1, b"-: no reader recognises this input"),
    (["convert", "-", "x.kub", "--from", "sponge"], 1, b"-: Sponge: Failed to read NBT data"),
])
def test_exit_statuses(args, status, message, tmp_path):
    result = kubic_cli(*args, stdin=b"", cwd=tmp_path)
    assert result.returncode == status
    assert message in result.stderr
    assert b"Traceback" not in result.stderr


def test_version():
    result = kubic_cli("--version")
    assert result.returncode == 0 and result.stdout.decode().strip() == f"kubic {kubic.__version__}"


def test_unwritable_output(tmp_path):
    target = tmp_path / "missing" / "out.kub"
    result = kubic_cli("convert", EXAMPLE, target)
    assert result.returncode == 1
    assert str(target).encode() + b": No such file or directory" in result.stderr


def test_large_structures_warn(tmp_path):
    source = tmp_path / "long.schem"
    source.write_bytes(sponge_file(60, 1, 1, {(59, 0, 0): "minecraft:stone"}))
    result = kubic_cli("convert", source, tmp_path / "long.nbt")
    assert result.returncode == 0 and b"load at most 48" in result.stderr
    assert (tmp_path / "long.nbt").exists()


def test_a_closed_pipe_ends_quietly():
    blocks = subprocess.Popen([sys.executable, "-m", "kubic", "blocks", EXAMPLE], stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE)
    head = subprocess.run(["head", "-n", "1"], stdin=blocks.stdout, capture_output=True)
    blocks.stdout.close()
    assert blocks.wait(timeout=60) == 0
    assert head.stdout == b"0 0 0 minecraft:cobblestone\n" and blocks.stderr.read() == b""


def run_on_pty(*args, interrupt_after=None):
    """Runs the command with standard error on a terminal; (status, stderr)."""
    controller, terminal = pty.openpty()
    process = subprocess.Popen([sys.executable, "-m", "kubic", *map(str, args)], stdout=subprocess.DEVNULL,
                               stderr=terminal, stdin=subprocess.DEVNULL)
    os.close(terminal)
    if interrupt_after is not None:
        time.sleep(interrupt_after)
        process.send_signal(signal.SIGINT)
    output = b""
    while True:
        try:
            chunk = os.read(controller, 4096)
        except OSError:
            break
        if not chunk:
            break
        output += chunk
    os.close(controller)
    return process.wait(timeout=60), output


@pytest.fixture(scope="module")
def large_file(tmp_path_factory):
    import numpy as np
    rng = np.random.default_rng(3)
    blocks = rng.integers(0, 200, (192, 192, 192), dtype=np.uint16)
    path = tmp_path_factory.mktemp("large") / "large.kub"
    kubic.Schematic.from_numpy(blocks, ["minecraft:air"] + [f"minecraft:b{i}" for i in range(199)]).save(path)
    return path


def test_progress_shows_on_a_terminal_only(tmp_path):
    import numpy as np
    blocks = np.random.default_rng(4).integers(0, 50, (160, 160, 160), dtype=np.uint16)
    source = tmp_path / "medium.kub"
    kubic.Schematic.from_numpy(blocks, ["minecraft:air"] + [f"minecraft:b{i}" for i in range(49)]).save(source)
    # A structure of four million positions takes seconds to write, well
    # past the half second after which progress shows.
    status, shown = run_on_pty("convert", source, tmp_path / "out.nbt")
    assert status == 0 and b"kubic: writing" in shown
    piped = kubic_cli("convert", source, tmp_path / "again.nbt")
    assert piped.returncode == 0 and b"kubic: writing" not in piped.stderr


def test_ctrl_c_keeps_the_old_output(large_file, tmp_path):
    target = tmp_path / "out.nbt"
    target.write_bytes(b"the old file")
    status, shown = run_on_pty("convert", large_file, target, interrupt_after=1.0)
    assert status == 130 and b"kubic: interrupted" in shown and b"Traceback" not in shown
    assert target.read_bytes() == b"the old file"
    assert sorted(os.listdir(tmp_path)) == ["out.nbt"]


def test_compressed_output_is_not_written_to_a_terminal(tmp_path):
    controller, terminal = pty.openpty()
    result = subprocess.run([sys.executable, "-m", "kubic", "convert", str(EXAMPLE), "-", "--to", "kub"],
                            stdout=terminal, stderr=subprocess.PIPE, timeout=60)
    os.close(terminal)
    os.close(controller)
    assert result.returncode == 2 and b"refusing to write compressed data to a terminal" in result.stderr
