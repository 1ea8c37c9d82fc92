"""Turns and mirrors right for every block state of the newest game
versions, named cases, and the edits of whole schematics."""
import warnings

import numpy as np
import pytest

import kubic
from kubic import _core

import nbt_util
from block_tables import DATA, needs_data, table
from block_tables import states as all_states, valid

TABLES = ["blocks-1.21.11.json", "blocks-26.1.json"]
TURN = {axis: _core.axis_map("turn", n, 1) for n, axis in enumerate("xyz")}
FLIP = {axis: _core.axis_map("flip", n, 0) for n, axis in enumerate("xyz")}
# A mirror across a plane holding the turn's axis reverses the turn.
PERPENDICULAR = {"x": "y", "y": "x", "z": "x"}


def _through(texts, axis_map, data_version):
    """Each state after the map, as the core turns a palette, and whether
    its block could show the result (a kept state could not)."""
    blocks = np.arange(len(texts), dtype=np.uint32).reshape(len(texts), 1, 1)
    out, palette, kept = _core.transform_blocks(blocks, texts, axis_map, data_version)
    cells = _core.map_cells(axis_map, (len(texts), 1, 1), [(i, 0, 0) for i in range(len(texts))])
    kept = set(kept)
    return [palette[out[c]] for c in cells], [i not in kept for i in range(len(texts))]


def _maps():
    return [pytest.param(m, id=f"turn {axis}") for axis, m in TURN.items()] + [
        pytest.param(m, id=f"flip {axis}") for axis, m in FLIP.items()]


@needs_data
@pytest.mark.parametrize("name", TABLES)
@pytest.mark.parametrize("axis_map", _maps())
def test_every_state_turns_into_a_state_of_its_version(name, axis_map):
    _, data_version, props = table(name)
    texts = [s for _, s in all_states(props)]
    out, _ = _through(texts, axis_map, data_version)
    assert [(s, o) for s, o in zip(texts, out) if not valid(o, props)][:10] == []


@needs_data
@pytest.mark.parametrize("name", TABLES)
@pytest.mark.parametrize("axis", "xyz")
def test_turns_and_mirrors_compose_as_they_should(name, axis):
    _, data_version, props = table(name)
    texts = [s for _, s in all_states(props)]

    def apply(*maps):
        """The states after the maps, and whether every step could be shown."""
        out, shown = texts, [True] * len(texts)
        for m in maps:
            out, step = _through(out, m, data_version)
            shown = [a and b for a, b in zip(shown, step)]
        return out, shown

    def differences(left, right):
        (a, shown_a), (b, shown_b) = left, right
        return [(x, y) for x, y, p, q in zip(a, b, shown_a, shown_b) if p and q and x != y][:10]

    # A state a block cannot show on the way (a jigsaw upside down) breaks
    # the chain: the others must come back.
    turn, flip = TURN[axis], FLIP[PERPENDICULAR[axis]]
    unchanged = (texts, [True] * len(texts))
    assert differences(unchanged, apply(turn, turn, turn, turn)) == []
    assert differences(unchanged, apply(FLIP[axis], FLIP[axis])) == []
    assert differences(apply(turn, turn, turn), apply(flip, turn, flip)) == []


CASES = [
    # (state, transform, expected; None: the block cannot show it)
    ("oak_stairs[facing=north,half=bottom,shape=straight,waterlogged=false]", "turn y",
     "oak_stairs[facing=east,half=bottom,shape=straight,waterlogged=false]"),
    ("oak_stairs[facing=north,half=bottom,shape=inner_left,waterlogged=false]", "flip x",
     "oak_stairs[facing=north,half=bottom,shape=inner_right,waterlogged=false]"),
    ("oak_stairs[facing=east,half=bottom,shape=outer_right,waterlogged=false]", "flip x",
     "oak_stairs[facing=west,half=bottom,shape=outer_left,waterlogged=false]"),
    ("oak_stairs[facing=north,half=bottom,shape=outer_left,waterlogged=false]", "flip z",
     "oak_stairs[facing=south,half=bottom,shape=outer_right,waterlogged=false]"),
    ("oak_stairs[facing=north,half=bottom,shape=inner_left,waterlogged=false]", "flip y",
     "oak_stairs[facing=north,half=top,shape=inner_left,waterlogged=false]"),
    ("oak_stairs[facing=north,half=bottom,shape=straight,waterlogged=false]", "turn x", None),
    ("rail[shape=ascending_north,waterlogged=false]", "turn y", "rail[shape=ascending_east,waterlogged=false]"),
    ("rail[shape=ascending_east,waterlogged=false]", "flip x", "rail[shape=ascending_west,waterlogged=false]"),
    ("rail[shape=ascending_east,waterlogged=false]", "flip y", "rail[shape=ascending_west,waterlogged=false]"),
    ("rail[shape=south_east,waterlogged=false]", "turn y", "rail[shape=south_west,waterlogged=false]"),
    ("rail[shape=north_east,waterlogged=false]", "flip z", "rail[shape=south_east,waterlogged=false]"),
    ("rail[shape=north_south,waterlogged=false]", "turn y", "rail[shape=east_west,waterlogged=false]"),
    ("powered_rail[powered=false,shape=north_south,waterlogged=false]", "turn x", None),
    ("cobblestone_wall[east=tall,north=low,south=none,up=true,waterlogged=false,west=none]", "turn y",
     "cobblestone_wall[east=low,north=none,south=tall,up=true,waterlogged=false,west=none]"),
    ("cobblestone_wall[east=tall,north=low,south=none,up=true,waterlogged=false,west=none]", "flip y",
     "cobblestone_wall[east=tall,north=low,south=none,up=true,waterlogged=false,west=none]"),
    ("oak_fence[east=true,north=false,south=false,waterlogged=false,west=false]", "flip x",
     "oak_fence[east=false,north=false,south=false,waterlogged=false,west=true]"),
    ("glass_pane[east=false,north=true,south=false,waterlogged=false,west=false]", "turn y",
     "glass_pane[east=true,north=false,south=false,waterlogged=false,west=false]"),
    ("redstone_wire[east=up,north=side,power=3,south=none,west=none]", "turn y",
     "redstone_wire[east=side,north=none,power=3,south=up,west=none]"),
    ("vine[east=false,north=true,south=false,up=true,west=false]", "turn y",
     "vine[east=true,north=false,south=false,up=true,west=false]"),
    ("glow_lichen[down=false,east=false,north=true,south=false,up=true,waterlogged=false,west=false]", "turn x",
     "glow_lichen[down=true,east=false,north=true,south=false,up=false,waterlogged=false,west=false]"),
    ("oak_door[facing=north,half=lower,hinge=left,open=false,powered=false]", "flip x",
     "oak_door[facing=north,half=lower,hinge=right,open=false,powered=false]"),
    ("oak_door[facing=north,half=lower,hinge=left,open=false,powered=false]", "flip y",
     "oak_door[facing=north,half=upper,hinge=left,open=false,powered=false]"),
    ("red_bed[facing=north,occupied=false,part=head]", "turn y", "red_bed[facing=east,occupied=false,part=head]"),
    ("red_bed[facing=east,occupied=false,part=head]", "turn x", None),
    ("chest[facing=north,type=left,waterlogged=false]", "flip x", "chest[facing=north,type=right,waterlogged=false]"),
    ("chest[facing=north,type=left,waterlogged=false]", "turn y", "chest[facing=east,type=left,waterlogged=false]"),
    ("chest[facing=north,type=left,waterlogged=false]", "flip y", "chest[facing=north,type=left,waterlogged=false]"),
    ("bell[attachment=floor,facing=north,powered=false]", "flip y", "bell[attachment=ceiling,facing=north,powered=false]"),
    ("bell[attachment=single_wall,facing=north,powered=false]", "flip y", None),
    ("bell[attachment=double_wall,facing=north,powered=false]", "flip z",
     "bell[attachment=double_wall,facing=south,powered=false]"),
    ("white_banner[rotation=0]", "turn y", "white_banner[rotation=4]"),
    ("white_banner[rotation=4]", "flip x", "white_banner[rotation=12]"),
    ("oak_sign[rotation=1,waterlogged=false]", "flip z", "oak_sign[rotation=7,waterlogged=false]"),
    ("oak_sign[rotation=1,waterlogged=false]", "turn x", None),
    ("creeper_head[powered=false,rotation=15]", "turn y", "creeper_head[powered=false,rotation=3]"),
    ("creeper_wall_head[facing=west,powered=false]", "flip x", "creeper_wall_head[facing=east,powered=false]"),
    ("jigsaw[orientation=north_up]", "turn y", "jigsaw[orientation=east_up]"),
    ("jigsaw[orientation=north_up]", "turn x", "jigsaw[orientation=down_north]"),
    ("jigsaw[orientation=up_north]", "turn x", None),  # it would face north, its top down
    ("jigsaw[orientation=up_north]", "flip y", "jigsaw[orientation=down_north]"),
    ("jigsaw[orientation=north_up]", "flip y", None),
    ("crafter[crafting=false,orientation=down_east,triggered=false]", "turn z", None),
    ("crafter[crafting=false,orientation=down_east,triggered=false]", "turn y",
     "crafter[crafting=false,orientation=down_south,triggered=false]"),
    ("pointed_dripstone[thickness=tip,vertical_direction=up,waterlogged=false]", "flip y",
     "pointed_dripstone[thickness=tip,vertical_direction=down,waterlogged=false]"),
    ("pointed_dripstone[thickness=tip,vertical_direction=up,waterlogged=false]", "turn x", None),
    ("iron_chain[axis=y,waterlogged=false]", "turn x", "iron_chain[axis=z,waterlogged=false]"),
    ("oak_log[axis=y]", "turn z", "oak_log[axis=x]"),
    ("oak_log[axis=x]", "turn y", "oak_log[axis=z]"),
    ("piston[extended=false,facing=up]", "turn z", "piston[extended=false,facing=east]"),
    ("hopper[enabled=true,facing=east]", "turn z", None),
    ("lever[face=floor,facing=south,powered=false]", "turn x", "lever[face=wall,facing=north,powered=false]"),
    ("lever[face=floor,facing=north,powered=false]", "turn x", None),  # on a wall, upside down
    ("stone_button[face=wall,facing=east,powered=false]", "flip y", "stone_button[face=wall,facing=east,powered=false]"),
    ("stone_button[face=ceiling,facing=east,powered=false]", "flip y",
     "stone_button[face=floor,facing=east,powered=false]"),
    ("lantern[hanging=true,waterlogged=false]", "flip y", "lantern[hanging=false,waterlogged=false]"),
    ("oak_slab[type=top,waterlogged=false]", "flip y", "oak_slab[type=bottom,waterlogged=false]"),
    ("sunflower[half=upper]", "flip y", "sunflower[half=lower]"),
    ("oak_trapdoor[facing=north,half=top,open=false,powered=false,waterlogged=false]", "flip y",
     "oak_trapdoor[facing=north,half=bottom,open=false,powered=false,waterlogged=false]"),
]


@pytest.mark.parametrize("state, transform, expected", CASES)
def test_named_cases(state, transform, expected):
    kind, axis = transform.split()
    axis_map = (TURN if kind == "turn" else FLIP)[axis]
    [out], _ = _through([f"minecraft:{state}"], axis_map, 4671)
    assert out == f"minecraft:{expected or state}"


def _frame(pos, facing, yaw):
    return kubic.Entity(pos, kubic.nbt.Compound({
        "id": "minecraft:item_frame", "Facing": kubic.nbt.Byte(facing), "TileX": 1, "TileY": 0, "TileZ": 0,
        "Rotation": kubic.nbt.List([kubic.nbt.Float(yaw), kubic.nbt.Float(0.0)]),
        "Motion": kubic.nbt.List([kubic.nbt.Double(0.5), kubic.nbt.Double(0.0), kubic.nbt.Double(0.0)])}))


def _build():
    """A 3x2x2 box: a chest with items and a stair, an item frame, a painting and an armor stand."""
    s = kubic.Schematic((3, 2, 2), origin=(10, 64, 20), data_version=4671)
    s[0, 0, 0] = "minecraft:chest[facing=north,type=single,waterlogged=false]"
    s[2, 0, 1] = "minecraft:oak_stairs[facing=east,half=bottom,shape=straight,waterlogged=false]"
    s.block_entities[(0, 0, 0)] = kubic.nbt.Compound({"id": "minecraft:chest", "Items": [
        {"Slot": kubic.nbt.Byte(0), "id": "minecraft:diamond", "count": 3}]})
    s.entities.append(_frame((1.5, 0.5, 0.03125), 3, 0.0))
    s.entities.append(kubic.Entity((2.5, 1.0, 0.5), kubic.nbt.Compound({
        "id": "minecraft:painting", "facing": kubic.nbt.Byte(2), "variant": "minecraft:kebab"})))
    s.entities.append(kubic.Entity((0.5, 1.0, 1.5), kubic.nbt.Compound({
        "id": "minecraft:armor_stand", "Rotation": kubic.nbt.List([kubic.nbt.Float(90.0), kubic.nbt.Float(0.0)])})))
    return s


def test_a_quarter_turn_moves_and_turns_everything():
    s = _build()
    r = s.rotate()
    assert r.size == (2, 2, 3) and r.origin == s.origin
    # (x, y, z) -> (Z-1-z, y, x)
    assert r[1, 0, 0] == "minecraft:chest[facing=east,type=single,waterlogged=false]"
    assert r[0, 0, 2] == "minecraft:oak_stairs[facing=south,half=bottom,shape=straight,waterlogged=false]"
    assert list(r.block_entities) == [(1, 0, 0)] and r.block_entities[(1, 0, 0)]["Items"][0]["count"] == 3
    frame, painting, stand = r.entities
    assert frame.pos == (2.0 - 0.03125, 0.5, 1.5)
    assert (frame.nbt["Facing"], frame.nbt["TileX"], frame.nbt["TileZ"]) == (4, 1, 1)  # south -> west
    assert list(frame.nbt["Rotation"]) == [90.0, 0.0] and list(frame.nbt["Motion"]) == [0.0, 0.0, 0.5]
    assert painting.nbt["facing"] == 3  # north -> east
    assert list(stand.nbt["Rotation"]) == [-180.0, 0.0]  # west -> north
    assert s.entities[2].nbt["Rotation"][0] == 90.0  # the source is untouched


def _plain(value):
    if isinstance(value, dict):
        return {k: _plain(v) for k, v in value.items()}
    if isinstance(value, list):
        return [_plain(v) for v in value]
    return round(float(value), 4) if isinstance(value, float) else value


def _state_of(s):
    """Everything a transform moves, comparable."""
    return (s.size, [s[p] for p in np.ndindex(*s.size)], sorted(_plain(s.block_entities).items()),
            [(_plain(list(e.pos)), _plain(e.nbt)) for e in s.entities])


@pytest.mark.parametrize("there, back", [
    (lambda s: s.rotate(1), lambda s: s.rotate(3)), (lambda s: s.rotate(2), lambda s: s.rotate(2)),
    (lambda s: s.rotate(1, "x"), lambda s: s.rotate(-1, "x")), (lambda s: s.rotate(1, "z"), lambda s: s.rotate(3, "z")),
    (lambda s: s.flip("x"), lambda s: s.flip("x")), (lambda s: s.flip("y"), lambda s: s.flip("y")),
    (lambda s: s.flip("z"), lambda s: s.flip("z")),
], ids=["90", "180", "about x", "about z", "flip x", "flip y", "flip z"])
def test_block_entities_and_entities_follow_every_transform_and_come_back(there, back):
    s = _build()
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", kubic.EditWarning)  # stairs on their side stay as they were
        once = there(s)
        again = back(once)
    [(pos, chest)] = once.block_entities.items()
    assert once[pos].startswith("minecraft:chest[") and chest["Items"][0]["id"] == "minecraft:diamond"
    assert all(0 <= c <= n for e in once.entities for c, n in zip(e.pos, once.size))
    assert _state_of(again) == _state_of(s)


def test_what_cannot_turn_is_counted_in_one_warning():
    s = _build()
    with pytest.warns(kubic.EditWarning, match="2 blocks and 1 entities cannot show"):
        s.rotate(1, "x")  # the chest and the stair; the painting would face up or down


def test_crop_and_sub_keep_what_lies_inside_and_move_the_origin():
    s = _build()
    c = s.crop((0, 0, 0), (1, 1, 0))
    assert c.size == (2, 2, 1) and c.origin == (10, 64, 20)
    assert list(c.block_entities) == [(0, 0, 0)] and [e.nbt["id"] for e in c.entities] == ["minecraft:item_frame"]
    assert c.palette == ["minecraft:air", "minecraft:chest[facing=north,type=single,waterlogged=false]"]
    d = s.sub[2:3, :, 1:]
    assert d.size == (1, 2, 1) and d.origin == (12, 64, 21) and d[0, 0, 0].startswith("minecraft:oak_stairs")
    with pytest.raises(ValueError, match="inside"):
        s.crop((0, 0, 0), (3, 1, 1))
    with pytest.raises(ValueError, match="step 1"):
        s.sub[0:3:2, :, :]


def test_trim_keeps_the_smallest_box_of_blocks():
    s = kubic.Schematic((5, 5, 5), data_version=4671)
    s[1, 2, 3] = "minecraft:stone"
    s[3, 2, 3] = "minecraft:dirt"
    s[4, 4, 4] = "minecraft:structure_void"
    t = s.trim()
    assert t.size == (3, 1, 1) and t.origin == (1, 2, 3) and t[2, 0, 0] == "minecraft:dirt"
    assert kubic.Schematic((3, 3, 3)).trim().size == (0, 0, 0)


def _stones(size, state="minecraft:stone"):
    s = kubic.Schematic(size, data_version=4671)
    s.blocks[...] = s._add_state(state)
    return s


@pytest.mark.parametrize("air, expected", [("skip", "minecraft:stone"), ("replace", "minecraft:air")])
def test_paste_merges_palettes_and_chooses_what_air_does(air, expected):
    target = _stones((4, 1, 1))
    target.block_entities[(2, 0, 0)] = kubic.nbt.Compound({"id": "minecraft:x"})
    other = kubic.Schematic((2, 1, 1), data_version=4671)
    other[0, 0, 0] = "minecraft:gold_block"
    other.block_entities[(0, 0, 0)] = kubic.nbt.Compound({"id": "minecraft:y"})
    other.entities.append(kubic.Entity((1.5, 0.0, 0.5), kubic.nbt.Compound({"id": "minecraft:pig"})))
    target.paste(other, (1, 0, 0), air=air)
    assert [target[x, 0, 0] for x in range(4)] == ["minecraft:stone", "minecraft:gold_block", expected,
                                                   "minecraft:stone"]
    assert target.block_entities == {(1, 0, 0): {"id": "minecraft:y"}, **({(2, 0, 0): {"id": "minecraft:x"}}
                                                                          if air == "skip" else {})}
    assert [e.pos for e in target.entities] == [(2.5, 0.0, 0.5)]


def test_paste_cuts_what_falls_outside_unless_the_box_grows():
    target, other = _stones((2, 1, 1)), _stones((2, 1, 1), "minecraft:dirt")
    with pytest.warns(kubic.EditWarning, match="1 positions .* outside"):
        target.paste(other, (1, 0, 0))
    assert target.size == (2, 1, 1) and target[1, 0, 0] == "minecraft:dirt"
    grown = _stones((2, 1, 1))
    grown.origin = (10, 0, 0)
    grown.paste(other, (-1, 0, 0), grow=True)
    assert grown.size == (3, 1, 1) and grown.origin == (9, 0, 0)
    assert [grown[x, 0, 0] for x in range(3)] == ["minecraft:dirt", "minecraft:dirt", "minecraft:stone"]


def test_replace_by_state_and_by_block_keeps_shared_properties():
    s = kubic.Schematic((3, 1, 1), data_version=4671)
    s[0, 0, 0] = "minecraft:oak_stairs[facing=east,half=top,shape=outer_left,waterlogged=true]"
    s[1, 0, 0] = "minecraft:oak_planks"
    s[2, 0, 0] = "minecraft:oak_stairs[facing=west,half=bottom,shape=straight,waterlogged=false]"
    s.block_entities[(1, 0, 0)] = kubic.nbt.Compound({"id": "minecraft:x"})
    s.replace("oak_stairs", "minecraft:spruce_stairs")
    s.replace("minecraft:oak_planks", "minecraft:spruce_planks")
    assert [s[x, 0, 0] for x in range(3)] == [
        "minecraft:spruce_stairs[facing=east,half=top,shape=outer_left,waterlogged=true]", "minecraft:spruce_planks",
        "minecraft:spruce_stairs[facing=west,half=bottom,shape=straight,waterlogged=false]"]
    assert (1, 0, 0) in s.block_entities
    s.replace("minecraft:spruce_stairs", "minecraft:stone_slab")  # type defaults, waterlogged kept
    assert s[0, 0, 0] == "minecraft:stone_slab[type=bottom,waterlogged=true]"
    for old, new, fault in [("oak_stair", "stone", "not a block"), ("stone", "minecraft:stone[facing=up]", "no property"),
                            ("minecraft:stone", "minecraft:hopper[enabled=true,facing=up]", "facing cannot be up")]:
        with pytest.raises(ValueError, match=fault):
            s.replace(old, new)


def test_fill_sets_a_box_and_drops_block_entities_of_changed_blocks():
    s = _stones((3, 3, 3))
    s.block_entities[(1, 1, 1)] = kubic.nbt.Compound({"id": "minecraft:x"})
    s.block_entities[(2, 2, 2)] = kubic.nbt.Compound({"id": "minecraft:y"})
    s.fill((0, 0, 0), (1, 1, 1), "minecraft:dirt")
    assert s.counts() == {"minecraft:dirt": 8, "minecraft:stone": 19}
    assert list(s.block_entities) == [(2, 2, 2)]
    with pytest.raises(ValueError, match="cannot exist"):
        s.fill((0, 0, 0), (0, 0, 0), "minecraft:oak_stairs[facing=up]")


def test_regions_move_with_the_box():
    s = kubic.Schematic((4, 1, 2), data_version=4671)
    s.metadata["regions"] = [{"name": "a", "origin": (0, 0, 0), "size": (3, 1, 2), "position": (2, 0, 0),
                              "pending_block_ticks": kubic.nbt.List([kubic.nbt.Compound(
                                  {"x": 0, "y": 0, "z": 1, "Block": "minecraft:observer"})])}]
    [region] = s.rotate().metadata["regions"]
    # (x, y, z) -> (Z-1-z, y, x) in a box of Z = 2; the tick within its 3x1x2 region likewise.
    assert (region["origin"], region["size"], region["position"]) == ((0, 0, 0), (2, 1, 3), (1, 0, 2))
    assert (region["pending_block_ticks"][0]["x"], region["pending_block_ticks"][0]["z"]) == (0, 0)
    [cut] = s.crop((1, 0, 0), (3, 0, 1)).metadata["regions"]
    assert (cut["origin"], cut["size"], cut["position"]) == ((0, 0, 0), (2, 1, 2), (1, 0, 0))
    assert list(cut["pending_block_ticks"]) == []


def test_the_command_line_applies_edits_in_order(tmp_path):
    import subprocess
    import sys
    s = kubic.Schematic((3, 1, 2), data_version=4671)
    s[0, 0, 0] = "minecraft:oak_stairs[facing=north,half=bottom,shape=straight,waterlogged=false]"
    s[2, 0, 1] = "minecraft:oak_planks"
    s.save(tmp_path / "in.kub")

    def run(*edits):
        out = tmp_path / "out.kub"
        done = subprocess.run([sys.executable, "-m", "kubic", "transform", tmp_path / "in.kub", out, *edits],
                              capture_output=True, text=True, timeout=60)
        return done, kubic.load(out) if done.returncode == 0 else None

    done, t = run("--crop", "0,0,0:0,0,0", "--rotate", "90")
    assert t.size == (1, 1, 1) and t[0, 0, 0].startswith("minecraft:oak_stairs[facing=east")
    done, t = run("--rotate", "90", "--crop", "0,0,0:0,0,0")
    assert t.size == (1, 1, 1) and t[0, 0, 0] == "minecraft:air"
    done, t = run("--flip", "x", "--replace", "oak_stairs=spruce_stairs", "--rotate", "90", "--axis", "x")
    assert t.size == (3, 2, 1) and "minecraft:spruce_stairs[facing=north,half=bottom,shape=straight," \
                                   "waterlogged=false]" in t.palette
    done, _ = run("--replace", "oak_stair=stone")
    assert done.returncode == 1 and "not a block" in done.stderr
    done, _ = run()
    assert done.returncode == 2


@pytest.mark.parametrize("axis_map", [_core.axis_map(kind, axis, turns) for kind, turns in (("turn", 1), ("turn", 2),
                                                                                              ("turn", 3), ("flip", 0))
                                      for axis in range(3)])
def test_cells_land_where_the_map_sends_them(axis_map):
    # Larger than the core's tiles on two axes, and not a multiple of them.
    rng = np.random.default_rng(7)
    blocks = rng.integers(0, 5, (70, 3, 90)).astype(np.uint16)
    palette = ["minecraft:air"] + [f"mymod:block_{i}" for i in range(4)]
    out, _, _ = _core.transform_blocks(blocks, palette, axis_map, 4671)
    cells = list(np.ndindex(*blocks.shape))
    expected = np.zeros(out.shape, dtype=np.uint16)
    for cell, moved in zip(cells, _core.map_cells(axis_map, blocks.shape, cells)):
        expected[moved] = blocks[cell]
    assert np.array_equal(out, expected)


def _structure_with_a_modded_state():
    """A structure holding a 1.12-era modded name, which the state syntax
    refuses and kubic keeps as written."""
    return kubic.load(nbt_util.gzipped({
        "DataVersion": 1631, "size": [2, 1, 1], "entities": [],
        "palette": [{"Name": "mymod:BigBlock", "Properties": {"facing": "east"}}, {"Name": "minecraft:stone"}],
        "blocks": [{"pos": [0, 0, 0], "state": 0}, {"pos": [1, 0, 0], "state": 1}]}))


@pytest.mark.parametrize("operation", [
    lambda s: s.rotate(), lambda s: s.flip("x"), lambda s: s.materials(), lambda s: s.to_version("1.20.1"),
], ids=["rotate", "flip", "materials", "to_version"])
def test_operations_take_states_kept_as_written(operation):
    s = _structure_with_a_modded_state()
    assert "mymod:BigBlock[facing=east]" in s.palette
    operation(s)
