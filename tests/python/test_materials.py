"""Materials lists: every block of the newest game versions as items, the
rules by case, what containers hold, and the command line."""
import csv
import io
import json
import subprocess
import sys

import pytest

import kubic
from kubic import _core

from block_tables import DATA, needs_data, table
from block_tables import states as all_states

# Blocks no item places: the closing note reviews this list.
PLACES_NOTHING = {"air", "cave_air", "void_air", "structure_void", "fire", "soul_fire", "nether_portal",
                  "end_portal", "end_gateway", "piston_head", "moving_piston", "bubble_column", "frosted_ice"}
# Two-cell blocks count in one cell; flowing liquids count nothing.
COUNTED_ELSEWHERE = {"half=upper", "part=head"}


def _items_of(state):
    return dict(_core.materials([state], [1], [], []))


@needs_data
@pytest.mark.parametrize("name", ["blocks-1.21.11.json", "blocks-26.1.json"])
def test_every_block_takes_items_that_exist_or_is_listed(name):
    known = {item["name"] for item in json.loads((DATA / "items" / "items-1.21.11.json").read_text())}
    _, _, props = table(name)
    newer = {block for block in props if name != "blocks-1.21.11.json"} - set(table("blocks-1.21.11.json")[2])
    unknown, empty = [], set()
    for block, state in all_states(props):
        items = _items_of(state)
        if not items:
            if not any(cell in state for cell in COUNTED_ELSEWHERE) and block not in ("water", "lava"):
                empty.add(block)
            continue
        # Blocks newer than the item table (26.1's) are items it cannot know yet.
        unknown += [(state, item) for item in items if item.removeprefix("minecraft:") not in known | newer]
    assert unknown[:10] == []
    assert empty == PLACES_NOTHING & set(props)


@pytest.mark.parametrize("state, items", [
    ("minecraft:oak_slab[type=double,waterlogged=false]", {"minecraft:oak_slab": 2}),
    ("minecraft:oak_slab[type=top,waterlogged=true]", {"minecraft:oak_slab": 1}),
    ("minecraft:oak_door[facing=north,half=lower,hinge=left,open=false,powered=false]", {"minecraft:oak_door": 1}),
    ("minecraft:oak_door[facing=north,half=upper,hinge=left,open=false,powered=false]", {}),
    ("minecraft:red_bed[facing=north,occupied=false,part=foot]", {"minecraft:red_bed": 1}),
    ("minecraft:red_bed[facing=north,occupied=false,part=head]", {}),
    ("minecraft:sunflower[half=upper]", {}),
    ("minecraft:white_candle[candles=3,lit=false,waterlogged=false]", {"minecraft:white_candle": 3}),
    ("minecraft:sea_pickle[pickles=4,waterlogged=true]", {"minecraft:sea_pickle": 4}),
    ("minecraft:turtle_egg[eggs=2,hatch=0]", {"minecraft:turtle_egg": 2}),
    ("minecraft:snow[layers=5]", {"minecraft:snow": 5}),
    ("minecraft:pink_petals[facing=north,flower_amount=3]", {"minecraft:pink_petals": 3}),
    ("minecraft:water[level=0]", {"minecraft:water_bucket": 1}),
    ("minecraft:water[level=3]", {}),
    ("minecraft:lava[level=0]", {"minecraft:lava_bucket": 1}),
    ("minecraft:lava[level=8]", {}),
    ("minecraft:potted_red_tulip", {"minecraft:flower_pot": 1, "minecraft:red_tulip": 1}),
    ("minecraft:potted_azalea_bush", {"minecraft:flower_pot": 1, "minecraft:azalea": 1}),
    ("minecraft:redstone_wire[east=none,north=side,power=0,south=none,west=none]", {"minecraft:redstone": 1}),
    ("minecraft:tripwire[attached=false,disarmed=false,east=false,north=false,powered=false,south=false,west=false]",
     {"minecraft:string": 1}),
    ("minecraft:wall_torch[facing=north]", {"minecraft:torch": 1}),
    ("minecraft:soul_wall_torch[facing=north]", {"minecraft:soul_torch": 1}),
    ("minecraft:oak_wall_sign[facing=north,waterlogged=false]", {"minecraft:oak_sign": 1}),
    ("minecraft:oak_wall_hanging_sign[facing=north,waterlogged=false]", {"minecraft:oak_hanging_sign": 1}),
    ("minecraft:red_wall_banner[facing=north]", {"minecraft:red_banner": 1}),
    ("minecraft:zombie_wall_head[facing=north,powered=false]", {"minecraft:zombie_head": 1}),
    ("minecraft:tube_coral_wall_fan[facing=north,waterlogged=true]", {"minecraft:tube_coral_fan": 1}),
    ("minecraft:cave_vines_plant[berries=true]", {"minecraft:glow_berries": 1}),
    ("minecraft:kelp_plant", {"minecraft:kelp": 1}),
    ("minecraft:farmland[moisture=7]", {"minecraft:dirt": 1}),
    ("minecraft:white_candle_cake[lit=false]", {"minecraft:cake": 1, "minecraft:white_candle": 1}),
    ("minecraft:fire[age=0,east=false,north=false,south=false,up=false,west=false]", {}),
    ("mymod:machine", {"mymod:machine": 1}),
], ids=lambda value: value.split("[")[0].removeprefix("minecraft:") if isinstance(value, str) else None)
def test_blocks_as_items(state, items):
    assert _items_of(state) == items


def test_materials_counts_blocks_and_with_contents_what_they_hold():
    s = kubic.Schematic((4, 1, 1), data_version=4671)
    s[0, 0, 0] = "minecraft:chest[facing=north,type=single,waterlogged=false]"
    s[1, 0, 0] = "minecraft:oak_slab[type=double,waterlogged=false]"
    s[2, 0, 0] = "minecraft:oak_slab[type=bottom,waterlogged=false]"
    shulker = {"id": "minecraft:shulker_box", "count": 1, "components": {"minecraft:container": [
        {"slot": 0, "item": {"id": "minecraft:diamond", "count": 7}}]}}
    s.block_entities[(0, 0, 0)] = kubic.nbt.Compound({"id": "minecraft:chest", "Items": [
        {"Slot": kubic.nbt.Byte(0), "id": "minecraft:diamond", "count": 2},
        {"Slot": kubic.nbt.Byte(1), **shulker}]})
    s.entities.append(kubic.Entity((3.5, 0.5, 0.5), kubic.nbt.Compound({
        "id": "minecraft:item_frame", "Item": {"id": "minecraft:map", "count": 1}})))
    assert s.materials() == {"minecraft:oak_slab": 3, "minecraft:chest": 1}
    assert list(s.materials()) == ["minecraft:oak_slab", "minecraft:chest"]  # most first
    assert s.materials(contents=True) == {"minecraft:oak_slab": 3, "minecraft:chest": 1, "minecraft:diamond": 9,
                                          "minecraft:shulker_box": 1, "minecraft:map": 1}


def _materials_run(tmp_path, *options):
    s = kubic.Schematic((3, 1, 1), data_version=4671)
    s.blocks[...] = s._add_state("minecraft:stone")
    s[2, 0, 0] = "minecraft:oak_sign[rotation=0,waterlogged=false]"
    s.save(tmp_path / "a.kub")
    big = kubic.Schematic((40, 40, 2), data_version=4671)
    big.blocks[...] = big._add_state("minecraft:dirt")
    big.save(tmp_path / "b.kub")
    return subprocess.run([sys.executable, "-m", "kubic", "materials", tmp_path / "a.kub", tmp_path / "b.kub",
                           *options], capture_output=True, text=True, timeout=60)


def test_the_command_line_lists_materials_in_three_formats(tmp_path):
    rows = list(csv.DictReader(io.StringIO(_materials_run(tmp_path, "--format", "csv").stdout)))
    assert [(r["file"].rsplit("/", 1)[-1], r["item"], r["count"]) for r in rows] == [
        ("a.kub", "minecraft:stone", "2"), ("a.kub", "minecraft:oak_sign", "1"), ("b.kub", "minecraft:dirt", "3200")]
    # 3200 dirt: 50 stacks of 64, nothing over, 3200 / (27 * 64) shulker boxes; signs stack by 16.
    dirt = rows[2]
    assert (dirt["stack_size"], dirt["stacks"], dirt["remainder"], dirt["shulker_boxes"]) == ("64", "50", "0", "1.85")
    assert rows[1]["stack_size"] == "16"
    as_json = json.loads(_materials_run(tmp_path, "--format", "json").stdout)
    assert [{k: str(v) for k, v in row.items()} for row in as_json] == rows
    table_text = _materials_run(tmp_path).stdout
    assert "b.kub: 1 items, 3200 in all" in table_text and "minecraft:dirt" in table_text
