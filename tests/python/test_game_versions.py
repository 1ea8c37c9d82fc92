"""Game versions: what DataVersion a schematic's states belong to, said
truthfully in every format."""
import io
import json
import subprocess
import sys
import warnings

import pytest

import kubic
from kubic import nbt
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


def test_the_upper_half_of_a_double_plant_is_the_plant_under_it():
    # Upper halves say 8 + a facing; the lower half under each names the plant.
    columns = [(4, 9), (2, 11), (5, 8)]
    root = {"Width": nbt_util.short(3), "Height": nbt_util.short(2), "Length": nbt_util.short(1),
            "Materials": "Alpha", "Blocks": bytes([175] * 6),
            "Data": bytes([lower for lower, _ in columns] + [upper for _, upper in columns])}
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        s = kubic.load(nbt_util.gzipped(root, "Schematic"))
    plants = ["rose_bush", "tall_grass", "peony"]
    assert [s[x, 1, 0] for x in range(3)] == [f"minecraft:{p}[half=upper]" for p in plants]
    assert [s[x, 0, 0] for x in range(3)] == [f"minecraft:{p}[half=lower]" for p in plants]


def _mcedit_block(block, data, block_entity):
    root = {"Width": nbt_util.short(1), "Height": nbt_util.short(1), "Length": nbt_util.short(1),
            "Materials": "Alpha", "Blocks": bytes([block]), "Data": bytes([data]),
            "TileEntities": [{"x": 0, "y": 0, "z": 0, **block_entity}]}
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        return kubic.load(nbt_util.gzipped(root, "Schematic"))[0, 0, 0]


@pytest.mark.parametrize("item, data, expected", [
    ("minecraft:red_flower", 3, "minecraft:potted_azure_bluet"), (38, 0, "minecraft:potted_poppy"),
    ("minecraft:sapling", 1, "minecraft:potted_spruce_sapling"), ("minecraft:tallgrass", 2, "minecraft:potted_fern"),
    ("minecraft:air", 0, "minecraft:flower_pot"), ("minecraft:diamond", 0, "minecraft:flower_pot"),
])
@pytest.mark.parametrize("pot_data", [0, 1])
def test_a_flower_pot_holds_the_plant_its_block_entity_names(item, data, expected, pot_data):
    assert _mcedit_block(140, pot_data, {"id": "FlowerPot", "Item": item, "Data": data}) == expected


@pytest.mark.parametrize("block, data, block_entity, expected", [
    (26, 1, {"id": "minecraft:bed", "color": 14}, "minecraft:red_bed[facing=west,occupied=false,part=foot]"),
    (26, 9, {"id": "minecraft:bed", "color": 3}, "minecraft:light_blue_bed[facing=west,occupied=false,part=head]"),
    (176, 4, {"id": "Banner", "Base": 0}, "minecraft:black_banner[rotation=4]"),
    (177, 2, {"id": "minecraft:banner", "Base": 15}, "minecraft:white_wall_banner[facing=north]"),
    (144, 1, {"id": "Skull", "SkullType": 4, "Rot": 6}, "minecraft:creeper_head[rotation=6]"),
    (144, 3, {"id": "Skull", "SkullType": 1, "Rot": 6}, "minecraft:wither_skeleton_wall_skull[facing=south]"),
    (25, 0, {"id": "Music", "note": 12}, "minecraft:note_block[instrument=harp,note=12,powered=false]"),
], ids=["bed", "bed head", "banner", "wall banner", "skull", "wall skull", "note block"])
def test_state_kept_in_a_1_12_block_entity_moves_into_the_block(block, data, block_entity, expected):
    assert _mcedit_block(block, data, block_entity) == expected


@pytest.mark.parametrize("item, expected", [
    ({"id": nbt.Short(35), "Damage": nbt.Short(14), "Count": nbt.Byte(3)}, {"id": "minecraft:red_wool", "Count": 3}),
    ({"id": "minecraft:wool", "Damage": nbt.Short(14), "Count": nbt.Byte(1)}, {"id": "minecraft:red_wool", "Count": 1}),
    ({"id": nbt.Short(276), "Damage": nbt.Short(12), "Count": nbt.Byte(1)},
     {"id": "minecraft:diamond_sword", "Count": 1, "tag": {"Damage": 12}}),
    ({"id": nbt.Short(358), "Damage": nbt.Short(7), "Count": nbt.Byte(1)},
     {"id": "minecraft:filled_map", "Count": 1, "tag": {"map": 7}}),
    ({"id": nbt.Short(4000), "Damage": nbt.Short(2), "Count": nbt.Byte(1)},
     {"id": 4000, "Damage": 2, "Count": 1}),
], ids=["numeric variant", "named variant", "worn tool", "map", "unknown"])
def test_items_in_a_1_12_container_take_their_1_13_names(item, expected):
    root = {"Width": nbt_util.short(1), "Height": nbt_util.short(1), "Length": nbt_util.short(1),
            "Materials": "Alpha", "Blocks": bytes([54]), "Data": bytes([2]),
            "TileEntities": [{"id": "Chest", "x": 0, "y": 0, "z": 0, "Items": [nbt_util.Tagged(nbt_util.COMPOUND, {
                "Slot": nbt_util.Tagged(nbt_util.BYTE, 0), **{k: _tagged(v) for k, v in item.items()}})]}]}
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        [chest] = kubic.load(nbt_util.gzipped(root, "Schematic")).block_entities.values()
    [stack] = chest["Items"]
    assert {k: _plain(v) for k, v in stack.items() if k != "Slot"} == expected


def _tagged(value):
    kinds = {nbt.Short: nbt_util.SHORT, nbt.Byte: nbt_util.BYTE}
    return nbt_util.Tagged(kinds[type(value)], int(value)) if type(value) in kinds else value


def _plain(value):
    if isinstance(value, dict):
        return {k: _plain(v) for k, v in value.items()}
    return value


@pytest.mark.parametrize("block, block_entity, expected", [
    (54, {"id": "Chest"}, {"id": "minecraft:chest"}),
    (146, {"id": "minecraft:chest"}, {"id": "minecraft:trapped_chest"}),
    (117, {"id": "Cauldron"}, {"id": "minecraft:brewing_stand"}),
    (52, {"id": "MobSpawner", "EntityId": "PigZombie"},
     {"id": "minecraft:mob_spawner", "SpawnData": {"id": "minecraft:zombie_pigman"}}),
    (52, {"id": "minecraft:mob_spawner", "SpawnPotentials": [{"Entity": {"id": "minecraft:xp_orb"}}]},
     {"id": "minecraft:mob_spawner", "SpawnPotentials": [{"Entity": {"id": "minecraft:experience_orb"}}]}),
    (1, {"id": "mymod:Machine"}, {"id": "mymod:Machine"}),
], ids=["chest", "trapped chest", "brewing stand", "old spawner", "spawner potentials", "modded"])
def test_block_entities_take_their_1_13_ids(block, block_entity, expected):
    root = {"Width": nbt_util.short(1), "Height": nbt_util.short(1), "Length": nbt_util.short(1),
            "Materials": "Alpha", "Blocks": bytes([block]), "Data": bytes([2]),
            "TileEntities": [{"x": 0, "y": 0, "z": 0, **block_entity}]}
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        [data] = kubic.load(nbt_util.gzipped(root, "Schematic")).block_entities.values()
    assert _plain(data) == expected


@pytest.mark.parametrize("entity, expected", [
    ({"id": "EntityHorse", "Type": 2}, "minecraft:mule"), ({"id": "EntityHorse"}, "minecraft:horse"),
    ({"id": "Skeleton", "SkeletonType": 1}, "minecraft:wither_skeleton"),
    ({"id": "Guardian", "Elder": nbt_util.Tagged(nbt_util.BYTE, 1)}, "minecraft:elder_guardian"),
    ({"id": "minecraft:villager_golem"}, "minecraft:iron_golem"), ({"id": "Painting"}, "minecraft:painting"),
])
def test_entities_take_their_1_13_ids(entity, expected):
    pos = nbt_util.Tagged(nbt_util.LIST, [0.5] * 3, nbt_util.DOUBLE)
    root = {"Width": nbt_util.short(1), "Height": nbt_util.short(1), "Length": nbt_util.short(1),
            "Materials": "Alpha", "Blocks": bytes([0]), "Data": bytes([0]), "Entities": [{**entity, "Pos": pos}]}
    [loaded] = kubic.load(nbt_util.gzipped(root, "Schematic")).entities
    assert loaded.nbt["id"] == expected
