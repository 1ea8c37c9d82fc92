"""Our readers against decodings of the same corpus files written here, with
Python's gzip and a few-line NBT walk."""
import re

import pytest

import kubic_rs
from conftest import AIR, corpus_params, state_text
import nbt_util


def split_state(text):
    """'ns:type[k=v,...]' into (name, [(k, v), ...]) in written order; a
    name without a namespace is in "minecraft"."""
    if ":" not in text.split("[", 1)[0]:
        text = "minecraft:" + text
    if "[" not in text:
        return text, []
    name, rest = text.split("[", 1)
    pairs = [p.split("=", 1) for p in rest[:-1].split(",") if p]
    return name, [(k.strip(), v.strip()) for k, v in pairs]


def ours(path, capfd=None):
    with kubic_rs.open(path.read_bytes()) as r:
        blocks = r.read_full()
    out = capfd.readouterr().out if capfd else ""
    return [(b.position().x(), b.position().y(), b.position().z(), str(b.state())) for b in blocks], out


@pytest.mark.parametrize("path", corpus_params("sponge", ".schem"))
def test_sponge_files_match(path):
    _, root = nbt_util.decode(nbt_util.gunzip_member(path.read_bytes()))
    schematic = root.get("Schematic", root)
    container = schematic.get("Blocks", schematic)
    palette = {index: split_state(name) for name, index in container["Palette"].items()}
    data = container["Data"] if "Blocks" in schematic else container["BlockData"]
    width, height, length = (schematic[k] & 0xFFFF for k in ("Width", "Height", "Length"))
    expected = []
    for n, index in enumerate(nbt_util.read_varints(data)):
        name, props = palette[index]
        if name in AIR:
            continue
        x, z, y = n % width, (n // width) % length, n // (width * length)
        expected.append((x, y, z, state_text(name, props)))
    expected.sort()
    assert ours(path)[0] == expected


@pytest.mark.parametrize("path", corpus_params("structure", ".nbt"))
def test_structure_files_match(path):
    _, root = nbt_util.decode(nbt_util.gunzip_member(path.read_bytes()))
    entries = root["palette"] if "palette" in root else root["palettes"][0]
    palette = [(e["Name"], [(k, v) for k, v in e.get("Properties", {}).items()]) for e in entries]
    cells = {}
    for block in root["blocks"]:
        cells[tuple(block["pos"])] = palette[block["state"]]
    expected = sorted((x, y, z, state_text(*state)) for (x, y, z), state in cells.items()
                      if state[0] not in AIR)
    assert ours(path)[0] == expected


KNOWN = {(1, 0): "minecraft:stone[]", (2, 0): "minecraft:grass_block[snowy=false]", (3, 0): "minecraft:dirt[]",
         (4, 0): "minecraft:cobblestone[]", (5, 0): "minecraft:oak_planks[]", (20, 0): "minecraft:glass[]",
         (35, 14): "minecraft:red_wool[]", (98, 0): "minecraft:stone_bricks[]", (89, 0): "minecraft:glowstone[]"}


@pytest.mark.parametrize("path", corpus_params("mcedit", ".schematic"))
def test_mcedit_files_match(path, capfd):
    _, root = nbt_util.decode(nbt_util.gunzip_member(path.read_bytes()))
    try:
        blocks, notices = ours(path, capfd)
    except RuntimeError as error:
        assert path.name in {"mceditunified_CreativeInABox.schematic", "fawe_mcedit_degenerate.schematic"}, error
        return
    width, length = root["Width"], root["Length"]
    raw, data, add = root["Blocks"], root["Data"], root.get("AddBlocks", b"")
    warned = {(int(i), int(d)) for i, d in re.findall(r"Unrecognized block ID (\d+) with data (\d+)", notices)}
    expected_positions, samples = [], {}
    for n, low in enumerate(raw):
        high = (add[n // 2] >> (4 if n % 2 == 0 else 0)) & 0xF if n // 2 < len(add) else 0
        block_id, value = low + 256 * high, data[n] & 0xF
        if block_id == 0 or (block_id, value) in warned:
            continue
        x, z, y = n % width, (n // width) % length, n // (width * length)
        expected_positions.append((x, y, z))
        if (block_id, value) in KNOWN and "BlockIds" not in root:
            samples[(x, y, z)] = KNOWN[(block_id, value)]
    by_position = {(x, y, z): s for x, y, z, s in blocks}
    air_states = sum(1 for p in expected_positions if p not in by_position)
    assert len(blocks) + air_states == len(expected_positions)
    assert set(by_position) <= set(expected_positions)
    for position, state in samples.items():
        assert by_position[position] == state


@pytest.mark.parametrize("path", [p for p in corpus_params("mcedit", ".schematic")
                                  if p.values[0] is None or p.values[0].name.startswith("minecolonies_")])
def test_add_blocks_nibbles_give_the_ids_the_file_maps(path):
    # Schematica lists every id it wrote in SchematicaMapping: read with the
    # high nibble for even positions, every id of these files lies there.
    _, root = nbt_util.decode(nbt_util.gunzip_member(path.read_bytes()))
    if "SchematicaMapping" not in root or "AddBlocks" not in root:
        pytest.skip("no id mapping beside AddBlocks")
    raw, add = root["Blocks"], root["AddBlocks"]
    ids = {low + 256 * ((add[n // 2] >> (4 if n % 2 == 0 else 0)) & 0xF if n // 2 < len(add) else 0)
           for n, low in enumerate(raw)}
    assert ids <= set(root["SchematicaMapping"].values())
