"""Turns and mirrors right for every block state of the newest game
versions, named cases, and the edits of whole schematics."""
import numpy as np
import pytest

import kubic
from kubic import _core

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
