"""Data that saving or loading used to lose or invent: each case is a file
or an edit whose every part must come back."""
import io
import time

import numpy as np
import pytest

import kubic
import kubic_rs
import nbt_util
from conftest import CORPUS, sponge_file
from kubic import nbt

WRITABLE = ["kub", "sponge", "structure", "litematica"]
POS = nbt_util.Tagged(nbt_util.INT_ARRAY, [0, 0, 0])


def _round_trip(s, fmt, **options):
    out = io.BytesIO()
    s.save(out, fmt, **options)
    return kubic.load(out.getvalue())


def _sponge3_with_block_entity(entry):
    blocks = {"Palette": {"minecraft:air": 0, "minecraft:campfire[lit=true]": 1}, "Data": nbt_util.varints([1]),
              "BlockEntities": [entry]}
    sizes = {"Width": nbt_util.short(1), "Height": nbt_util.short(1), "Length": nbt_util.short(1)}
    return nbt_util.gzipped({"Schematic": {**sizes, "Version": 3, "Blocks": blocks}})


@pytest.mark.parametrize("entry", [
    {"Pos": POS, "Id": "minecraft:campfire", "Data": {"CookingTimes": [1, 2, 3, 4]}},
    {"Pos": POS, "Id": "minecraft:campfire", "CookingTimes": [1, 2, 3, 4]},
    {"Pos": POS, "Id": "minecraft:campfire", "Data": {}, "CookingTimes": [1, 2, 3, 4]},
], ids=["inside Data", "beside Id", "beside an empty Data"])
def test_sponge3_block_entity_fields_are_read_wherever_they_stand(entry):
    s = kubic.load(_sponge3_with_block_entity(entry))
    data = s.block_entities[(0, 0, 0)]
    assert data["id"] == "minecraft:campfire"
    assert list(data["CookingTimes"]) == [1, 2, 3, 4]


def test_the_schematic4j_campfire_keeps_its_items():
    path = CORPUS / "sponge" / "schematic4j_sponge-v3.schem"
    if not path.exists():
        pytest.skip("corpus absent")
    [campfire] = kubic.load(path).block_entities.values()
    assert {"Items", "CookingTimes", "CookingTotalTimes"} <= set(campfire)


@pytest.mark.parametrize("fmt", WRITABLE)
@pytest.mark.parametrize("size", [(0, 3, 4), (2, 0, 1), (5, 6, 0), (0, 0, 0)])
def test_an_empty_schematic_loads_back_empty_with_its_size(fmt, size):
    back = _round_trip(kubic.Schematic(size), fmt)
    assert back.size == size
    assert back.palette == ["minecraft:air"]


@pytest.mark.parametrize("new_state, kept", [
    ("minecraft:air", False),
    ("minecraft:stone", False),
    ("minecraft:chest[facing=south,type=single]", True),
])
@pytest.mark.parametrize("how", ["one", "slice"])
def test_a_block_entity_lives_as_long_as_its_block_name(new_state, kept, how):
    s = kubic.Schematic((2, 1, 1))
    s[0, 0, 0] = "minecraft:chest[facing=north,type=single]"
    s.block_entities[(0, 0, 0)] = nbt.Compound({"id": nbt.String("minecraft:chest"), "Items": nbt.List([])})
    if how == "one":
        s[0, 0, 0] = new_state
    else:
        s[0:2, 0, 0] = new_state
    assert ((0, 0, 0) in s.block_entities) == kept


def test_counts_leave_out_every_air_and_structure_voids():
    palette = ["minecraft:air", "minecraft:cave_air", "minecraft:void_air", "minecraft:structure_void", "minecraft:stone"]
    s = kubic.Schematic.from_numpy(np.arange(5, dtype=np.uint16).reshape(5, 1, 1), palette)
    assert s.counts() == {"minecraft:stone": 1}


@pytest.mark.parametrize("fmt", WRITABLE)
def test_block_entities_at_air_or_where_a_format_cannot_hold_them_are_left_out_with_one_warning(fmt):
    s = kubic.Schematic((3, 1, 1))
    s[0, 0, 0] = "minecraft:chest[facing=north,type=single]"
    chest = nbt.Compound({"id": nbt.String("minecraft:chest")})
    s.block_entities = {(0, 0, 0): chest, (1, 0, 0): chest, (2, 0, 0): chest, (5, 0, 0): chest}
    with pytest.warns(kubic.NotWrittenWarning) as caught:
        back = _round_trip(s, fmt)
    assert len(caught) == 1
    message = str(caught[0].message)
    assert message.startswith("2 block entities stand at air positions")
    outside_held = fmt != "structure"
    assert ("1 block entity lies outside the box, which a structure file cannot hold" in message) != outside_held
    assert sorted(back.block_entities) == ([(0, 0, 0), (5, 0, 0)] if outside_held else [(0, 0, 0)])


def _document(data):
    return nbt_util.decode(nbt_util.gunzip_member(data))[1]


@pytest.mark.parametrize("metadata, path, name", [
    ({}, "my_build.litematic", "my_build"),
    ({"Name": nbt.String("Castle"), "Description": nbt.String("walls")}, "out.litematic", "Castle"),
])
def test_litematica_metadata_from_a_source_without_it(tmp_path, metadata, path, name):
    s = kubic.Schematic((3, 1, 1))
    s[0, 0, 0], s[1, 0, 0], s[2, 0, 0] = "minecraft:stone", "minecraft:cave_air", "minecraft:void_air"
    s.metadata.update(metadata)
    before = int(time.time() * 1000)
    s.save(tmp_path / path)
    written = _document((tmp_path / path).read_bytes())["Metadata"]
    assert written["Name"] == name
    assert written["Description"] == str(metadata.get("Description", ""))
    assert written["TimeCreated"] >= before and written["TimeModified"] == written["TimeCreated"]
    assert written["TotalBlocks"] == 1  # no air counts, cave and void air included


def test_sponge_v2_output_lists_what_worldedit_writes_even_when_empty():
    out = io.BytesIO()
    kubic.Schematic((1, 1, 1)).save(out, "sponge", sponge_version=2)
    root = _document(out.getvalue())
    assert root["BlockEntities"] == [] and root["Entities"] == []
    assert {key: root["Metadata"][key] for key in ("WEOffsetX", "WEOffsetY", "WEOffsetZ")} == dict.fromkeys(
        ("WEOffsetX", "WEOffsetY", "WEOffsetZ"), 0)


def test_kub_from_a_structure_that_lists_its_air_leaves_the_air_out(tmp_path):
    listed = {"size": [3, 1, 1], "palette": [{"Name": "minecraft:air"}, {"Name": "minecraft:stone"}],
              "blocks": [{"pos": [x, 0, 0], "state": int(x == 0)} for x in range(3)], "entities": []}
    (tmp_path / "listed.nbt").write_bytes(nbt_util.gzipped(listed))
    (tmp_path / "plain.schem").write_bytes(sponge_file(3, 1, 1, {(0, 0, 0): "minecraft:stone"}))
    outputs = []
    for name in ("listed.nbt", "plain.schem"):
        with kubic_rs.open(str(tmp_path / name)) as r:
            r.save(str(tmp_path / (name + ".kub")), "KUB")
        outputs.append((tmp_path / (name + ".kub")).read_bytes())
    assert outputs[0] == outputs[1]


@pytest.mark.parametrize("fmt, kept", [
    ("kub", {"name", "author", "description", "date"}), ("sponge", {"name", "author", "description", "date"}),
    ("litematica", {"name", "author", "description", "date"}), ("structure", {"author"}),
])
def test_metadata_has_the_same_keys_whatever_the_format(fmt, kept):
    s = kubic.Schematic((1, 1, 1))
    s[0, 0, 0] = "minecraft:stone"
    shared = {"name": nbt.String("Castle"), "author": nbt.String("Ann"), "description": nbt.String("walls"),
              "date": nbt.Long(1_700_000_000_000)}
    s.metadata.update(shared)
    back = _round_trip(s, fmt)
    assert {key: back.metadata[key] for key in kept} == {key: shared[key] for key in kept}
    assert list(back.metadata)[:len(kept)] == [key for key in shared if key in kept]
    assert not {"Name", "Author", "Description", "Date"} & set(back.metadata)


@pytest.mark.parametrize("old, new, expected", [
    (nbt.Byte(0), 1, nbt.Byte(1)), (nbt.Short(1), -300, nbt.Short(-300)), (nbt.Long(1), 5, nbt.Long(5)),
    (nbt.Float(1.5), 2, nbt.Float(2.0)), (nbt.String("a"), "b", nbt.String("b")),
    (nbt.IntArray([1]), [2, 3], nbt.IntArray([2, 3])), (nbt.List([nbt.Short(1)], 2), [], nbt.List([], 2)),
])
def test_a_plain_value_takes_the_type_of_the_tag_it_replaces(old, new, expected):
    sign = nbt.Compound({"key": old})
    sign["key"] = new
    assert type(sign["key"]) is type(expected) and sign["key"] == expected
    if isinstance(expected, nbt.List):
        assert sign["key"].element_type == expected.element_type


@pytest.mark.parametrize("old, new", [(nbt.Byte(0), 300), (nbt.Byte(0), "x"), (nbt.String("a"), 5),
                                      (nbt.ByteArray([1]), [1000]), (nbt.Compound(), [1])])
def test_a_plain_value_that_does_not_fit_the_tag_it_replaces_is_refused(old, new):
    sign = nbt.Compound({"key": old})
    with pytest.raises(ValueError, match="^'key' holds a"):
        sign["key"] = new
    assert sign["key"] is old


def test_an_nbt_value_that_cannot_be_saved_is_named_by_position_and_key():
    s = kubic.Schematic((2, 1, 1))
    s[1, 0, 0] = "minecraft:chest[facing=north,type=single]"
    s.block_entities[(1, 0, 0)] = nbt.Compound({"id": nbt.String("minecraft:chest"),
                                                "Items": nbt.List([nbt.Compound({"Count": {1}})])})
    with pytest.raises(TypeError, match=r"^block entity at \(1, 0, 0\): 'Items': \[0\]: 'Count': cannot store a set"):
        s.save(io.BytesIO(), "kub")
