import json
import pathlib
import subprocess
import sys

import pytest

from conftest import corpus_params, sponge_file

EXAMPLE = pathlib.Path(__file__).resolve().parents[2] / "examples" / "house.schem"


def sorted_properties(listing):
    lines = []
    for line in listing.decode().splitlines():
        head, _, props = line.partition("[")
        lines.append(head + "[" + ", ".join(sorted(props.rstrip("]").split(", "))) + "]")
    return lines


def kubic(*args, stdin=None):
    return subprocess.run([sys.executable, "-m", "kubic", *map(str, args)], input=stdin,
                          capture_output=True, timeout=120)


def test_info_text_and_json():
    text = kubic("info", EXAMPLE)
    assert text.returncode == 0
    assert b"sponge" in text.stdout and b"266 in 8 distinct states" in text.stdout
    report = json.loads(kubic("info", EXAMPLE, "--json").stdout)
    assert report["format"] == "sponge" and report["blocks"] == 266 and report["states"] == 8
    assert report["boundary"] == {"min": [0, 0, 0], "size": [9, 7, 8]}
    both = json.loads(kubic("info", EXAMPLE, EXAMPLE, "--json").stdout)
    assert len(both) == 2


@pytest.mark.parametrize("path", corpus_params("mcedit", ".schematic")[:1] + corpus_params("structure", ".nbt")[:1])
def test_info_names_detected_formats(path):
    report = json.loads(kubic("info", path, "--json").stdout)
    assert report["format"] == {".schematic": "mcedit", ".nbt": "mojang"}[path.suffix]


@pytest.mark.parametrize("suffix, fmt", [(".kub", "kub"), (".schem", "sponge"), (".nbt", "mojang")])
def test_convert_by_extension_and_back(tmp_path, suffix, fmt):
    out = tmp_path / ("house" + suffix)
    result = kubic("convert", EXAMPLE, out)
    assert result.returncode == 0, result.stderr
    assert b"266 blocks" in result.stderr
    assert json.loads(kubic("info", out, "--json").stdout)["format"] == fmt
    listed, original = kubic("blocks", out).stdout, kubic("blocks", EXAMPLE).stdout
    if fmt == "sponge":
        # Sponge palettes hold states in their sorted text form.
        listed, original = sorted_properties(listed), sorted_properties(original)
    assert listed == original


def test_standard_input_and_output():
    piped = kubic("convert", "-", "-", "--to", "kub", stdin=EXAMPLE.read_bytes())
    assert piped.returncode == 0
    listed = kubic("blocks", "-", "--limit", "2", stdin=piped.stdout)
    assert listed.stdout.decode().splitlines() == [
        "Block at (0, 0, 0) with state minecraft:cobblestone[]",
        "Block at (0, 0, 1) with state minecraft:cobblestone[]"]
    forced = kubic("convert", "-", "-", "--from", "kub", "--to", "sponge", stdin=piped.stdout)
    assert forced.returncode == 0


@pytest.mark.parametrize("args, status, message", [
    (["convert", EXAMPLE, "out.unknown"], 2, b"use --to kub|sponge|mojang"),
    (["convert", EXAMPLE], 2, b"usage:"),
    (["nonsense"], 2, b"usage:"),
    (["info", "/no/such/file.schem"], 1, b"/no/such/file.schem: No such file or directory"),
    (["blocks", "-"], 1, b"-: No matching format found"),
    (["convert", "-", "x.kub", "--from", "sponge"], 1, b"-: Sponge: Failed to read NBT data"),
])
def test_exit_statuses(args, status, message, tmp_path):
    result = subprocess.run([sys.executable, "-m", "kubic", *map(str, args)], input=b"",
                            capture_output=True, cwd=tmp_path, timeout=60)
    assert result.returncode == status
    assert message in result.stderr
    assert b"Traceback" not in result.stderr


def test_unwritable_output(tmp_path):
    target = tmp_path / "missing" / "out.kub"
    result = kubic("convert", EXAMPLE, target)
    assert result.returncode == 1
    assert str(target).encode() + b": No such file or directory" in result.stderr


def test_generated_file_round_trip(tmp_path):
    source = tmp_path / "generated.schem"
    source.write_bytes(sponge_file(3, 2, 2, {(1, 1, 1): "minecraft:stone", (2, 0, 1): "minecraft:dirt"}))
    assert kubic("blocks", source).stdout.decode().splitlines() == [
        "Block at (1, 1, 1) with state minecraft:stone[]", "Block at (2, 0, 1) with state minecraft:dirt[]"]
