"""Bedrock .mcstructure files: the corpus read and converted, every Java
1.21.1 state there and back, what the game's loader demands of every file
kubic writes, and malformed files."""
import functools
import io
import json
import pathlib
import warnings

import numpy as np
import pytest

import kubic
import kubic_rs
import nbt_util
from block_tables import DATA, needs_data, table
from block_tables import states as all_states
from conftest import corpus_files

BEDROCK = DATA / "bedrock"
JAVA_FORMATS = ["sponge", "structure", "litematica", "kub"]


@functools.cache
def _bedrock_states():
    """Every Bedrock 1.21.0 state: name -> list of {key: (type, value)}."""
    states = {}
    for entry in json.loads((BEDROCK / "blockStates-bedrock1.21.0.json").read_text()):
        typed = {k: (v["type"], v["value"]) for k, v in entry["states"].items()}
        states.setdefault("minecraft:" + entry["name"], []).append(typed)
    return states


TYPES = {"byte": nbt_util.BYTE, "int": nbt_util.INT, "string": nbt_util.STRING}


def check_loadable(raw):
    """The game's loader's rules, checked on a written file; its decoded root."""
    name, (root_type, root), used = nbt_util.decode_typed(raw, "<")
    assert (name, root_type, used) == ("", nbt_util.COMPOUND, len(raw))
    assert root["format_version"] == (nbt_util.INT, 1)
    for key in ("size", "structure_world_origin"):
        kind, values = root[key]
        assert kind == nbt_util.LIST and [t for t, _ in values] == [nbt_util.INT] * 3
    x, y, z = (v for _, v in root["size"][1])
    structure = root["structure"][1]
    layers = structure["block_indices"][1]
    assert len(layers) == 2 and all(kind == nbt_util.LIST and len(layer) == x * y * z for kind, layer in layers)
    palette = structure["palette"][1]["default"][1]
    entries = palette["block_palette"][1]
    for _, layer in layers:
        assert all(t == nbt_util.INT and -1 <= i < len(entries) for t, i in layer)
    known = _bedrock_states()
    for _, entry in entries:
        assert entry["version"] == (nbt_util.INT, 18153475)
        typed = {k: ({nbt_util.BYTE: "byte", nbt_util.INT: "int", nbt_util.STRING: "string"}[t], v)
                 for k, (t, v) in entry["states"][1].items()}
        assert typed in known[entry["name"][1]], entry
    assert palette["block_position_data"][0] == nbt_util.COMPOUND
    assert structure["entities"][0] == nbt_util.LIST
    return root


def _saved(schematic, fmt, **options):
    out = io.BytesIO()
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", kubic.NotWrittenWarning)
        schematic.save(out, fmt, **options)
    return out.getvalue()


def _by_position(s):
    return {p: s[p] for p in np.ndindex(*s.size)}


CORPUS = {
    "mcstructure_barrel.mcstructure": dict(
        size=(1, 1, 1), origin=(1037, -60, 729), blocks={(0, 0, 0): "minecraft:barrel[facing=up,open=false]"},
        block_entities={(0, 0, 0): "minecraft:barrel"}, entities=[]),
    "mcstructure_caged_villager.mcstructure": dict(
        size=(3, 2, 3), origin=(1036, -60, 740),
        blocks={(1, 0, 1): "minecraft:air", (0, 0, 0): "minecraft:iron_bars[east=false,north=false,south=false,"
                                                       "waterlogged=false,west=false]"},
        block_entities={}, entities=[("minecraft:villager", (1.5, 0.0, 1.5))]),
    "mcstructure_dirt_house.mcstructure": dict(
        size=(5, 4, 5), origin=(1035, -60, 718),
        blocks={(0, 0, 0): "minecraft:dirt",
                (0, 1, 2): "minecraft:oak_door[facing=east,half=upper,hinge=left,open=false,powered=false]"},
        block_entities={}, entities=[]),
    "mcstructure_waterlogged.mcstructure": dict(
        size=(2, 1, 1), origin=(735, 66, 589),
        blocks={(0, 0, 0): "minecraft:birch_stairs[facing=south,half=bottom,shape=outer_right,waterlogged=false]",
                (1, 0, 0): "minecraft:birch_stairs[facing=south,half=bottom,shape=outer_right,waterlogged=true]"},
        block_entities={}, entities=[]),
}


@pytest.mark.parametrize("path", corpus_files("bedrock", ".mcstructure"), ids=lambda p: p.name)
def test_the_corpus_reads_and_converts_to_every_format_and_back(path):
    s = kubic.load(path)
    expected = CORPUS[path.name]
    assert (s.format, s.size, s.origin, s.data_version) == ("mcstructure", expected["size"], expected["origin"], 3955)
    assert all(s[p] == state for p, state in expected["blocks"].items())
    assert {p: d["id"] for p, d in s.block_entities.items()} == expected["block_entities"]
    assert [(e.nbt["id"], e.pos) for e in s.entities] == expected["entities"]
    assert s.report.no_equivalent == {}
    # The streaming module reads it and writes it under its type name.
    out = io.BytesIO()
    with kubic_rs.open(str(path)) as reader:
        blocks = len(reader.read_full())
    with kubic_rs.open(str(path)) as reader:
        reader.save(out, "MCSTRUCTURE")
    assert blocks == sum(1 for state in _by_position(s).values() if state != "minecraft:air")
    assert _by_position(kubic.load(check_loadable_bytes(out.getvalue()))) == _by_position(s)
    for fmt in JAVA_FORMATS:
        java = kubic.load(_saved(s, fmt))
        back = kubic.load(check_loadable_bytes(_saved(java, "mcstructure")))
        assert _by_position(back) == _by_position(s), fmt
        assert back.origin == java.origin and len(back.entities) == len(s.entities)
        assert {p: d["id"] for p, d in back.block_entities.items()} == expected["block_entities"]


def check_loadable_bytes(raw):
    check_loadable(raw)
    return raw


def test_older_bedrock_spellings_read_as_today_s_states():
    s = kubic.load(CORPUS_DIR / "mcstructure_dirt_house.mcstructure") if CORPUS_DIR.is_dir() else None
    if s is None:
        pytest.skip("the corpus is absent")
    # "grass" and "stained_glass" with a "color" state, as older games wrote them.
    assert {"minecraft:grass_block[snowy=false]", "minecraft:brown_stained_glass"} <= set(s.palette)


CORPUS_DIR = pathlib.Path(__file__).resolve().parents[2].parent / "shared" / "corpus" / "bedrock"


@needs_data
def test_every_java_1_21_1_state_comes_back_but_those_the_tables_merge():
    _, _, props = table("blocks-1.21.1.json")
    states = [s for _, s in all_states(props)]
    s = kubic.Schematic.from_numpy(np.arange(len(states), dtype=np.uint16).reshape(-1, 1, 1), states,
                                   data_version=3955)
    raw = _saved(s, "mcstructure")
    check_loadable(raw)
    back = kubic.load(raw)
    read = [back.palette[i] for i in back.blocks[:, 0, 0]]
    to_bedrock = json.loads((BEDROCK / "blocksJ2B-java1.21.1-bedrock1.21.0.json").read_text())
    to_java = json.loads((BEDROCK / "blocksB2J-bedrock1.21.0-java1.21.1.json").read_text())

    def through_the_tables(state):
        name, _, inner = to_bedrock[state.replace("[]", "") + ("" if "[" in state else "[]")].partition("[")
        items = sorted(i.replace("=true", "=1").replace("=false", "=0") for i in inner.rstrip("]").split(",") if i)
        java = to_java[f"{name}[{','.join(items)}]"].removesuffix("[]")
        return java.replace("waterlogged=false", "waterlogged=true") if "waterlogged=true" in state else java

    expected = [through_the_tables(state) for state in states]
    assert [(a, b, c) for a, b, c in zip(states, read, expected) if b != c][:10] == []
    merged = sorted({a.split("[")[0] for a, b in zip(states, read) if a != b})
    # The tables merge what Bedrock computes or keeps elsewhere: stairs' shapes,
    # fences' and panes' sides, doors' and beds' halves, colours held by
    # block entities (banners, beds), the airs, ...
    assert "minecraft:oak_stairs" in merged and "minecraft:stone" not in merged and len(merged) == 308


def test_a_state_bedrock_lacks_is_air_or_refused():
    s = kubic.Schematic((2, 1, 1), data_version=3955)
    s[0, 0, 0] = "mymod:machine[on=true]"
    s[1, 0, 0] = "minecraft:stone"
    out = io.BytesIO()
    with pytest.warns(kubic.NotWrittenWarning, match=r"no Bedrock state for mymod:machine\[on=true\]: 1 blocks"):
        s.save(out, "mcstructure")
    back = kubic.load(out.getvalue())
    assert [back[x, 0, 0] for x in range(2)] == ["minecraft:air", "minecraft:stone"]
    with pytest.raises(kubic.KubicError, match=r"Bedrock: no Bedrock state for mymod:machine"):
        s.save(io.BytesIO(), "mcstructure", missing="error")


def test_other_game_versions_go_through_1_21_1_and_voids_stay_voids():
    s = kubic.Schematic((3, 1, 1), data_version=1631)
    s[0, 0, 0] = "minecraft:grass_path"
    s[1, 0, 0] = "minecraft:structure_void"
    s[2, 0, 0] = "minecraft:oak_slab[type=bottom,waterlogged=true]"
    raw = _saved(s, "mcstructure")
    root = check_loadable(raw)
    layers = [[v for _, v in layer] for _, layer in root["structure"][1]["block_indices"][1]]
    assert layers[0][1] == -1 and layers[1][0] == -1 and layers[1][2] >= 0
    back = kubic.load(raw)
    assert [back[x, 0, 0] for x in range(3)] == ["minecraft:dirt_path", "minecraft:structure_void",
                                                 "minecraft:oak_slab[type=bottom,waterlogged=true]"]


def test_block_entities_and_entities_cross_both_ways():
    s = kubic.Schematic((2, 1, 1), origin=(100, 64, 0), data_version=3955)
    s[0, 0, 0] = "minecraft:chest[facing=north,type=single,waterlogged=false]"
    s[1, 0, 0] = "minecraft:oak_sign[rotation=0,waterlogged=false]"
    s.block_entities[(0, 0, 0)] = kubic.nbt.Compound({"id": "minecraft:chest", "Items": [
        {"id": "minecraft:diamond", "count": kubic.nbt.Int(5), "Slot": kubic.nbt.Byte(3)}]})
    s.block_entities[(1, 0, 0)] = kubic.nbt.Compound({"id": "minecraft:sign", "front_text": {
        "messages": ['"hello"', '{"text":"there"}', '""', '""'], "color": "black",
        "has_glowing_text": kubic.nbt.Byte(0)}})
    s.entities.append(kubic.Entity((0.5, 1.0, 0.5), kubic.nbt.Compound({"id": "minecraft:villager"})))
    raw = _saved(s, "mcstructure")
    root = check_loadable(raw)
    structure = root["structure"][1]
    data = structure["palette"][1]["default"][1]["block_position_data"][1]
    chest = data["0"][1]["block_entity_data"][1]
    assert chest["id"] == (nbt_util.STRING, "Chest") and chest["x"] == (nbt_util.INT, 100)
    item = chest["Items"][1][0][1]
    assert (item["Name"], item["Count"]) == ((nbt_util.STRING, "minecraft:diamond"), (nbt_util.BYTE, 5))
    sign = data["1"][1]["block_entity_data"][1]
    assert sign["FrontText"][1]["Text"] == (nbt_util.STRING, "hello\nthere")
    [(_, entity)] = structure["entities"][1]
    assert entity["identifier"] == (nbt_util.STRING, "minecraft:villager_v2")
    assert [v for _, v in entity["Pos"][1]] == [100.5, 65.0, 0.5]
    back = kubic.load(raw)
    assert back.block_entities[(0, 0, 0)]["Items"][0] == {"id": "minecraft:diamond", "count": 5, "Slot": 3}
    assert list(back.block_entities[(1, 0, 0)]["front_text"]["messages"]) == ['"hello"', '"there"', '""', '""']
    assert [(e.nbt["id"], e.pos) for e in back.entities] == [("minecraft:villager", (0.5, 1.0, 0.5))]


L = nbt_util.Tagged


def _document(**changes):
    """A small valid .mcstructure, with parts replaced or removed (None)."""
    root = {"format_version": 1, "size": L(nbt_util.LIST, [2, 1, 1], nbt_util.INT),
            "structure": {"block_indices": L(nbt_util.LIST, [L(nbt_util.LIST, [0, 1], nbt_util.INT),
                                                             L(nbt_util.LIST, [-1, -1], nbt_util.INT)], nbt_util.LIST),
                          "entities": L(nbt_util.LIST, [], nbt_util.COMPOUND),
                          "palette": {"default": {"block_palette": [
                              {"name": "minecraft:stone", "states": {}, "version": 18153475},
                              {"name": "minecraft:dirt", "states": {}, "version": 18153475}],
                              "block_position_data": {}}}},
            "structure_world_origin": L(nbt_util.LIST, [0, 0, 0], nbt_util.INT)}
    for path, value in changes.items():
        *parents, last = path.split("__")
        holder = root
        for key in parents:
            holder = holder[key]
        if value is None:
            del holder[last]
        else:
            holder[last] = value
    return nbt_util.encode(root, "", "<")


def test_a_minimal_document_reads_and_water_java_cannot_hold_is_counted():
    s = kubic.load(_document())
    assert [s[x, 0, 0] for x in range(2)] == ["minecraft:stone", "minecraft:dirt"]
    # Water on stone, which Java cannot waterlog.
    wet = _document(**{"structure__block_indices": L(nbt_util.LIST, [L(nbt_util.LIST, [0, 1], nbt_util.INT),
                                                                     L(nbt_util.LIST, [2, -1], nbt_util.INT)],
                                                     nbt_util.LIST),
                       "structure__palette__default__block_palette": [
                           {"name": "minecraft:stone", "states": {}, "version": 18153475},
                           {"name": "minecraft:dirt", "states": {}, "version": 18153475},
                           {"name": "minecraft:water", "states": {"liquid_depth": 0}, "version": 18153475}]})
    s = kubic.load(wet)
    assert s[0, 0, 0] == "minecraft:stone"
    assert s.report.untranslated == {"second-layer blocks Java cannot hold": 1}




@pytest.mark.parametrize("raw, message", [
    (_document()[:40], "Bedrock: unexpected end of NBT data"),
    (_document(size=L(nbt_util.LIST, [2, 1], nbt_util.INT)), "Bedrock: 'size' is not three Ints"),
    (_document(size=None), "Bedrock: no 'size'"),
    (_document(structure__block_indices=L(nbt_util.LIST, [L(nbt_util.LIST, [0, 1], nbt_util.INT)], nbt_util.LIST)),
     "Bedrock: 'block_indices' has 1 layers, not 2"),
    (_document(structure__block_indices=L(nbt_util.LIST, [L(nbt_util.LIST, [0], nbt_util.INT),
                                                          L(nbt_util.LIST, [-1], nbt_util.INT)], nbt_util.LIST)),
     "Bedrock: a layer of 1 indices in a structure of 2 positions"),
    (_document(structure__block_indices=L(nbt_util.LIST, [L(nbt_util.LIST, [0, 7], nbt_util.INT),
                                                          L(nbt_util.LIST, [-1, -1], nbt_util.INT)], nbt_util.LIST)),
     "Bedrock: block index 7 outside the palette of 2 states"),
    (_document(structure__palette=None), "Bedrock: no 'palette'"),
    (_document(size=L(nbt_util.LIST, [70000, 70000, 70000], nbt_util.INT)), "Bedrock: a structure of 343000000000000 positions"),
    (_document(structure__block_indices="text"), "Bedrock: 'block_indices' is a String"),
], ids=["cut", "short size", "no size", "one layer", "short layers", "index past the palette", "no palette",
        "huge size", "wrong type"])
def test_malformed_files_fail_with_bedrock_errors(raw, message):
    with pytest.raises(kubic.CorruptFileError, match=message.replace("(", r"\(").replace("[", r"\[")):
        kubic.load(raw, "mcstructure")
