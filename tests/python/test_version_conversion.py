"""Converting schematics between game versions: every state of every block
table the game data holds, walked up and down, and the schematic API."""
import importlib
import json
import subprocess
import sys
import warnings

import numpy as np
import pytest

import kubic
from kubic import _core
import nbt_util

from block_tables import DATA, ROOT, block_table_files, needs_data, table, tables, versions
from block_tables import states as _states, valid as _valid

# States the game merged: the creaking heart's three 1.21.3 states became
# two in 1.21.4; 1.19.4's grown torchflower crop is 1.20's torchflower.
MERGED_GOING_UP = {("blocks-1.21.3.json", "creaking_heart"), ("blocks-1.19.4.json", "torchflower_crop")}


def _steps():
    if not DATA.is_dir():
        return []
    files = block_table_files(versions())
    return [pytest.param(i, id=f"{a} to {b}") for i, (a, b) in enumerate(zip(files, files[1:]))]


@needs_data
@pytest.mark.parametrize("generator", ["gen_block_tables", "gen_bedrock_tables", "gen_items"])
def test_the_shipped_tables_are_those_the_game_data_generates(generator):
    for target, text in importlib.import_module(generator).generate(DATA).items():
        assert (ROOT / target).read_text() == text, f"{target} is out of date: run scripts/{generator}.py"


@needs_data
@pytest.mark.parametrize("step", _steps())
def test_every_state_crosses_each_table_change_up_and_down(step):
    (old_name, old_dv, old), (_, new_dv, new) = tables()[step], tables()[step + 1]
    blocks, states = zip(*_states(old))
    up, outcomes = _core.convert_states(list(states), old_dv, new_dv)
    wrong = [(s, u, o) for s, u, o in zip(states, up, outcomes) if o not in ("same", "changed") or not _valid(u, new)]
    assert not wrong[:10]
    back, _ = _core.convert_states(up, new_dv, old_dv)
    changed = [(s, b) for block, s, b in zip(blocks, states, back) if s != b and (old_name, block) not in MERGED_GOING_UP]
    assert not changed[:10]

    newer = [s for _, s in _states(new)]
    down, outcomes = _core.convert_states(newer, new_dv, old_dv)
    wrong = [(s, d, o) for s, d, o in zip(newer, down, outcomes)
             if not (o == "none" or (o in ("same", "changed") and _valid(d, old)))]
    assert not wrong[:10]


@needs_data
def test_the_oldest_states_reach_the_newest_version_through_every_change():
    (_, old_dv, old), (_, new_dv, new) = tables()[0], tables()[-1]
    states = [s for _, s in _states(old)]
    up, outcomes = _core.convert_states(states, old_dv, new_dv)
    assert not [(s, u) for s, u, o in zip(states, up, outcomes) if o == "none" or not _valid(u, new)][:10]


@pytest.mark.parametrize("state, source, target, expected, outcome", [
    ("minecraft:wall_sign[facing=east,waterlogged=false]", "1.13.2", "1.20.4",
     "minecraft:oak_wall_sign[facing=east,waterlogged=false]", "changed"),
    ("minecraft:stone_slab[type=top,waterlogged=false]", "1.13.2", "1.14",
     "minecraft:smooth_stone_slab[type=top,waterlogged=false]", "changed"),
    ("minecraft:stone_slab[type=top,waterlogged=false]", "1.14", "1.13.2",
     "minecraft:stone_slab[type=top,waterlogged=false]", "none"),
    ("minecraft:grass_path", "1.16.5", "1.17", "minecraft:dirt_path", "changed"),
    ("minecraft:grass", "1.20.2", "1.20.3", "minecraft:short_grass", "changed"),
    ("minecraft:chain[axis=x,waterlogged=false]", "1.21.8", "1.21.9",
     "minecraft:iron_chain[axis=x,waterlogged=false]", "changed"),
    ("minecraft:oak_leaves[distance=7,persistent=true]", "1.18.2", "1.19",
     "minecraft:oak_leaves[distance=7,persistent=true,waterlogged=false]", "changed"),
    ("minecraft:oak_leaves[distance=7,persistent=true,waterlogged=true]", "1.19", "1.18.2",
     "minecraft:oak_leaves[distance=7,persistent=true]", "changed"),
    ("minecraft:andesite_wall[east=tall,north=low,south=none,up=true,waterlogged=false,west=none]", "1.16", "1.15.2",
     "minecraft:andesite_wall[east=true,north=true,south=false,up=true,waterlogged=false,west=false]", "changed"),
    ("minecraft:note_block[instrument=trumpet,note=3,powered=false]", "26.1", "1.21.11",
     "minecraft:note_block[instrument=harp,note=3,powered=false]", "changed"),
    ("minecraft:cauldron[level=3]", "1.16.5", "1.17", "minecraft:water_cauldron[level=3]", "changed"),
    ("minecraft:lava_cauldron", "1.17", "1.16.5", "minecraft:lava_cauldron", "none"),
    ("minecraft:jigsaw[facing=up]", "1.15.2", "1.16", "minecraft:jigsaw[orientation=up_north]", "changed"),
    ("minecraft:stone", "1.13.2", "26.1", "minecraft:stone", "same"),
    ("mymod:machine[on=true]", "1.13.2", "26.1", "mymod:machine[on=true]", "unknown"),
    # A state the source version would read completed: missing keys take defaults.
    ("minecraft:oak_stairs[facing=east]", "1.20.4", "1.20.4",
     "minecraft:oak_stairs[facing=east,half=bottom,shape=straight,waterlogged=false]", "changed"),
], ids=lambda value: value if isinstance(value, str) and len(value) < 12 else None)
def test_named_changes(state, source, target, expected, outcome):
    texts, outcomes = _core.convert_states([state], _core.game_version(source), _core.game_version(target))
    assert (texts[0], outcomes[0]) == (expected, outcome)


def _old_box():
    s = kubic.Schematic((3, 1, 1), data_version=1631)
    s[0, 0, 0] = "minecraft:wall_sign[facing=north,waterlogged=false]"
    s[1, 0, 0] = "minecraft:grass"
    s[2, 0, 0] = "mymod:thing"
    s.block_entities[(0, 0, 0)] = kubic.nbt.Compound({"id": "minecraft:sign", "Text1": '{"text":"hi"}'})
    return s


def test_to_version_converts_blocks_and_sign_text_and_reports():
    s = _old_box()
    new = s.to_version("1.21.11")
    assert new.data_version == 4671 and s.data_version == 1631
    assert [new[x, 0, 0] for x in range(3)] == [
        "minecraft:oak_wall_sign[facing=north,waterlogged=false]", "minecraft:short_grass", "mymod:thing"]
    sign = new.block_entities[(0, 0, 0)]
    assert list(sign["front_text"]["messages"]) == ['{"text":"hi"}', '""', '""', '""'] and "Text1" not in sign
    assert "Text1" in s.block_entities[(0, 0, 0)]  # the source is left alone
    report = new.report
    assert report.changed["minecraft:grass"] == ("minecraft:short_grass", 1)
    assert report.unknown == {"mymod:thing": 1}
    assert report.nbt == {"signs: Text1..Text4 became front_text": 1,
                          "signs: text kept in the form of its version (1.21.5 changed it)": 1}
    back = new.to_version(1631)
    assert [back[x, 0, 0] for x in range(3)] == [s[x, 0, 0] for x in range(3)]
    assert back.block_entities[(0, 0, 0)]["Text1"] == '{"text":"hi"}'


@pytest.mark.parametrize("missing, expected", [("air", "minecraft:air"), ("keep", "minecraft:pale_oak_log[axis=y]")])
def test_states_the_target_lacks_follow_missing(missing, expected):
    s = kubic.Schematic((2, 1, 1), data_version=4671)
    s[0, 0, 0] = "minecraft:pale_oak_log[axis=y]"
    s[1, 0, 0] = "minecraft:stone"
    s.block_entities[(0, 0, 0)] = kubic.nbt.Compound({"id": "minecraft:x"})
    old = s.to_version("1.20.4", missing=missing)
    assert old[0, 0, 0] == expected and old[1, 0, 0] == "minecraft:stone"
    assert old.report.no_equivalent == {"minecraft:pale_oak_log[axis=y]": (expected, 1)}
    assert ((0, 0, 0) in old.block_entities) == (missing == "keep")
    assert "pale_oak_log" in str(old.report)


def test_missing_error_names_the_states_and_bad_arguments_are_refused():
    s = kubic.Schematic((1, 1, 1), data_version=4671)
    s[0, 0, 0] = "minecraft:pale_oak_log[axis=y]"
    with pytest.raises(ValueError, match=r"no equivalent in 3700 \(1.20.4\) for: minecraft:pale_oak_log"):
        s.to_version("1.20.4", missing="error")
    with pytest.raises(ValueError, match="missing is one of"):
        s.to_version("1.20.4", missing="drop")
    with pytest.raises(ValueError, match="unknown game version '1.99'"):
        s.to_version("1.99")
    with pytest.raises(ValueError, match="game version is unknown"):
        kubic.Schematic((1, 1, 1)).to_version("1.20.4")


@pytest.mark.parametrize("entity, source, target, expected", [
    ({"id": "minecraft:zombie_pigman"}, 1631, 3700, {"id": "minecraft:zombified_piglin"}),
    ({"id": "minecraft:zombified_piglin"}, 3700, 1631, {"id": "minecraft:zombie_pigman"}),
    ({"id": "minecraft:boat", "Type": "spruce"}, 3700, 4671, {"id": "minecraft:spruce_boat"}),
    ({"id": "minecraft:chest_boat", "Type": "bamboo"}, 3700, 4671, {"id": "minecraft:bamboo_chest_raft"}),
    ({"id": "minecraft:cherry_boat"}, 4671, 3700, {"id": "minecraft:boat", "Type": "cherry"}),
    ({"id": "minecraft:potion", "Item": {"id": "minecraft:lingering_potion"}}, 3700, 4671,
     {"id": "minecraft:lingering_potion", "Item": {"id": "minecraft:lingering_potion"}}),
])
def test_entities_renamed_across_versions(entity, source, target, expected):
    _, [converted], _ = _core.convert_nbt([], [kubic.nbt.Compound(entity)], source, target)
    assert dict(converted) == expected


def test_a_sign_going_below_1_20_loses_only_its_back_text_and_says_so():
    sign = kubic.nbt.Compound({"id": "minecraft:sign", "is_waxed": kubic.nbt.Byte(0),
                               "front_text": {"messages": ['"a"', '"b"', '""', '""'], "color": "red",
                                              "has_glowing_text": kubic.nbt.Byte(1)},
                               "back_text": {"messages": ['"back"', '""', '""', '""']}})
    [old], _, notes = _core.convert_nbt([sign], [], 3700, 1631)
    assert dict(old) == {"id": "minecraft:sign", "Text1": '"a"', "Text2": '"b"', "Text3": '""', "Text4": '""',
                         "Color": "red", "GlowingText": 1}
    assert notes == {"signs: front_text became Text1..Text4": 1,
                     "signs: back text dropped (one side before 1.20)": 1}


def test_remap_counts_every_index_once():
    blocks = np.array([[[0, 1], [1, 2]]], dtype=np.uint16)
    out, counts = _core.remap(blocks, [0, 0, 70000])
    assert out.dtype == np.uint32 and out.tolist() == [[[0, 0], [0, 70000]]] and counts == [1, 2, 1]
    with pytest.raises(ValueError):
        _core.remap(blocks, [0, 1])


def _mcedit_corpus():
    folder = ROOT.parent / "shared" / "corpus" / "mcedit"
    return sorted(folder.glob("*.schematic")) if folder.is_dir() else []


@needs_data
@pytest.mark.skipif(not _mcedit_corpus(), reason="the corpus is absent")
def test_the_mcedit_corpus_reaches_1_21_11_with_valid_states_and_1_13_ids():
    _, _, target = table("blocks-1.21.11.json")
    renamed = {"block entities": 0, "entities": 0}
    for path in _mcedit_corpus():
        try:
            with warnings.catch_warnings():
                warnings.simplefilter("ignore")
                s = kubic.load(path)
        except kubic.KubicError:
            continue
        new = s.to_version("1.21.11")
        known = [state for state in new.palette if state.startswith("minecraft:")]
        assert [state for state in known if not _valid(state, target)] == [], path.name
        counts = s.counts()
        # A block is air afterwards only when it was, or the report says why.
        gone = {old for old, (became, n) in new.report.no_equivalent.items() if became == "minecraft:air"}
        assert sum(new.counts().values()) == sum(n for state, n in counts.items() if state not in gone)
        ids = [d["id"] for d in new.block_entities.values()] + [e.nbt["id"] for e in new.entities]
        assert not [i for i in ids if i[:1].isupper()], path.name
        renamed["block entities"] += len(new.block_entities)
        renamed["entities"] += len(new.entities)
    # 394 block entities and 170 entities, every one by its namespaced id.
    assert renamed == {"block entities": 394, "entities": 170}


@needs_data
def test_every_1_12_entity_is_named_as_1_21_11_names_it():
    names = [e["name"] for e in json.loads((DATA / "entities" / "entities-1.12.2.json").read_text())]
    newest = {e["name"] for e in json.loads((DATA / "entities" / "entities-1.21.11.json").read_text())}
    # Named ids of 1.11 and 1.12, and the CamelCase ids before them.
    camel = ["EntityHorse", "PigZombie", "XPOrb", "SnowMan", "VillagerGolem", "LavaSlime", "Ozelot", "MushroomCow",
             "EnderCrystal", "ThrownExpBottle", "FireworksRocketEntity", "MinecartRideable", "ItemFrame"]
    pos = nbt_util.Tagged(nbt_util.LIST, [0.5] * 3, nbt_util.DOUBLE)
    entities = [{"id": f"minecraft:{name}", "Pos": pos} for name in names] + [{"id": name, "Pos": pos} for name in camel]
    root = {"Width": nbt_util.short(1), "Height": nbt_util.short(1), "Length": nbt_util.short(1),
            "Materials": "Alpha", "Blocks": bytes([0]), "Data": bytes([0]), "Entities": entities}
    new = kubic.load(nbt_util.gzipped(root, "Schematic")).to_version("1.21.11")
    # "Fishing Hook" is the collectors' name of an entity the game never saves.
    unknown = [e.nbt["id"] for e in new.entities if e.nbt["id"].removeprefix("minecraft:") not in newest
               and " " not in e.nbt["id"]]
    assert unknown == []


@pytest.mark.parametrize("extra, code, said", [
    ([], 0, "game version 1631 (1.13.2) to 4671 (1.21.11)"),
    (["--data-version", "3700"], 2, "leave out --data-version"),
], ids=["converts", "not with relabelling"])
def test_the_command_line_converts_game_versions(tmp_path, extra, code, said):
    source = tmp_path / "old.kub"
    _old_box().save(source)
    run = subprocess.run([sys.executable, "-m", "kubic", "convert", source, tmp_path / "new.schem", "--game-version",
                          "1.21.11", *extra], capture_output=True, text=True, timeout=60)
    assert run.returncode == code and said in run.stderr
    if code == 0:
        new = kubic.load(tmp_path / "new.schem")
        assert new.data_version == 4671 and "minecraft:short_grass" in new.palette


def test_the_command_line_refuses_an_unknown_game_version_before_reading(tmp_path):
    run = subprocess.run([sys.executable, "-m", "kubic", "convert", tmp_path / "absent.kub", tmp_path / "new.schem",
                          "--game-version", "1.12"], capture_output=True, text=True, timeout=60)
    assert run.returncode == 2 and "unknown game version '1.12'" in run.stderr
