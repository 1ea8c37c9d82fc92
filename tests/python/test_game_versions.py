"""Game versions: what DataVersion a schematic's states belong to, said
truthfully in every format."""
import io
import json
import subprocess
import sys

import pytest

import kubic
import nbt_util

WRITABLE = ["kub", "sponge", "structure", "litematica"]
MCEDIT = {"Width": nbt_util.short(2), "Height": nbt_util.short(1), "Length": nbt_util.short(1),
          "Materials": "Alpha", "Blocks": bytes([1, 35]), "Data": bytes([0, 14])}


def _sponge_v1():
    return nbt_util.gzipped({"Width": nbt_util.short(2), "Height": nbt_util.short(1), "Length": nbt_util.short(1),
                             "Version": 1, "Palette": {"minecraft:air": 0, "minecraft:stone": 1},
                             "BlockData": nbt_util.varints([1, 0])}, "Schematic")


def _round_trip(s, fmt):
    out = io.BytesIO()
    s.save(out, fmt)
    return kubic.load(out.getvalue())


@pytest.mark.parametrize("fmt", WRITABLE)
@pytest.mark.parametrize("source", [lambda: nbt_util.gzipped(MCEDIT, "Schematic"), _sponge_v1],
                         ids=["mcedit", "sponge 1"])
def test_states_from_before_the_data_version_tag_are_labelled_1_13_2(source, fmt):
    loaded = kubic.load(source())
    assert loaded.data_version == 1631
    assert _round_trip(loaded, fmt).data_version == 1631


def test_a_schematic_of_no_known_version_stays_unknown_where_the_format_can_say_so():
    s = kubic.Schematic((1, 1, 1))
    s[0, 0, 0] = "minecraft:stone"
    back = {fmt: _round_trip(s, fmt).data_version for fmt in WRITABLE}
    assert back["kub"] is None and back["litematica"] is None
    # Sponge and structure files must hold one: the same default in both.
    assert back["sponge"] == back["structure"] and back["sponge"] >= 4790


def test_info_names_the_release_of_a_data_version(tmp_path):
    labelled = kubic.Schematic((1, 1, 1), data_version=3465)
    labelled.save(tmp_path / "labelled.kub")
    kubic.Schematic((1, 1, 1)).save(tmp_path / "unknown.kub")
    run = subprocess.run([sys.executable, "-m", "kubic", "info", tmp_path / "labelled.kub", tmp_path / "unknown.kub"],
                         capture_output=True, text=True, timeout=60)
    assert "data version 3465 (1.20.1)" in run.stdout and "data version unknown" in run.stdout
    report = json.loads(subprocess.run([sys.executable, "-m", "kubic", "info", "--json", tmp_path / "labelled.kub"],
                                       capture_output=True, text=True, timeout=60).stdout)
    assert report["data_version"] == 3465
