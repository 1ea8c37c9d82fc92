"""Litematica files: every corpus file against a decoding written here,
round trips through every format, regions, and broken files."""
import gzip
import io

import numpy as np
import pytest

import kubic
import kubic_rs
import nbt_util
from conftest import corpus_params
from nbt_util import COMPOUND, DOUBLE, LIST, LONG, LONG_ARRAY, Tagged

AIR = "minecraft:air"
AIRS = {AIR, "minecraft:cave_air", "minecraft:void_air"}
WRITABLE = ("litematica", "sponge", "kub", "structure")


def unpack(words, count, bits):
    """`count` entries of `bits` bits, packed low bits first into 64-bit
    words, an entry straddling two words where it must."""
    w = np.array(list(words) + [0], dtype=np.int64).view(np.uint64)
    at = np.arange(count, dtype=np.uint64) * np.uint64(bits)
    word, shift = at >> np.uint64(6), at & np.uint64(63)
    high = np.where(shift + np.uint64(bits) > 64, w[word + 1] << ((np.uint64(64) - shift) & np.uint64(63)), 0)
    return ((w[word] >> shift) | high) & np.uint64((1 << bits) - 1)


def entry_text(entry):
    properties = entry.get("Properties") or {}
    inner = ",".join(f"{k}={v}" for k, v in sorted(properties.items()))  # canonical: sorted by key
    return entry["Name"] + (f"[{inner}]" if inner else "")


def region_box(region):
    position, size = region["Position"], region["Size"]
    low = tuple(position[a] + (size[a] + 1 if size[a] < 0 else 0) for a in "xyz")
    return low, tuple(abs(size[a]) for a in "xyz")


def expected_blocks(document):
    """(origin, states[x, y, z] with None for air) of a document's regions
    merged into their enclosing box, later regions over earlier ones."""
    boxes = [region_box(r) for r in document["Regions"].values() if all(region_box(r)[1])]
    if not boxes:
        return (0, 0, 0), np.empty((0, 0, 0), dtype=object)
    low = tuple(min(b[0][a] for b in boxes) for a in range(3))
    high = tuple(max(b[0][a] + b[1][a] for b in boxes) for a in range(3))
    out = np.full(tuple(h - lo for h, lo in zip(high, low)), None, dtype=object)
    for region in document["Regions"].values():
        (mx, my, mz), (sx, sy, sz) = region_box(region)
        if not sx * sy * sz:
            continue
        palette = [entry_text(e) for e in region["BlockStatePalette"]]
        bits = max(2, (len(palette) - 1).bit_length())
        texts = np.array([None if t == AIR else t for t in palette], dtype=object)
        values = texts[unpack(region["BlockStates"], sx * sy * sz, bits).astype(np.int64)].reshape(sy, sz, sx)
        cells = values.transpose(2, 0, 1)  # [x, y, z]
        target = out[mx - low[0]:mx - low[0] + sx, my - low[1]:my - low[1] + sy, mz - low[2]:mz - low[2] + sz]
        placed = cells != None  # noqa: E711 (elementwise)
        target[placed] = cells[placed]
    return low, out


def decoded(data):
    return nbt_util.decode(nbt_util.gunzip_member(data) if data[:2] == b"\x1f\x8b" else data)[1]


def states_of(schematic, canonical=False):
    """The schematic's states[x, y, z], None for air; properties sorted when canonical."""
    def text(state):
        if state == AIR:
            return None
        if not canonical or "[" not in state:
            return state
        name, inner = state[:-1].split("[", 1)
        return f"{name}[{','.join(sorted(inner.split(',')))}]"
    return np.array([text(s) for s in schematic.palette], dtype=object)[schematic.blocks.astype(np.int64)]


@pytest.mark.parametrize("path", corpus_params("litematica", ".litematic"))
def test_corpus_blocks_match_an_independent_decoding(path):
    data = path.read_bytes()
    origin, expected = expected_blocks(decoded(data))
    schematic = kubic.load(path)
    assert schematic.format == "litematica"
    assert schematic.origin == origin
    assert np.array_equal(states_of(schematic), expected)
    with kubic_rs.open(data) as reader:
        assert sum(len(bulk) for bulk in reader.iter_bulks()) == sum(
            s is not None and s.split("[")[0] not in AIRS for s in expected.flat)


@pytest.mark.parametrize("path", corpus_params("litematica", ".litematic"))
def test_corpus_round_trips_through_every_format(path):
    schematic = kubic.load(path)
    expected = states_of(schematic, canonical=True)
    for fmt in WRITABLE:
        out = io.BytesIO()
        schematic.save(out, fmt)
        back = kubic.load(out.getvalue())
        assert back.format == fmt
        assert np.array_equal(states_of(back, canonical=True), expected), fmt
        assert back.origin == ((0, 0, 0) if fmt == "structure" else schematic.origin), fmt
        assert set(back.block_entities) == set(schematic.block_entities), fmt
        assert len(back.entities) == len(schematic.entities), fmt


def typed_regions(data):
    """Region name to its entries as (tag type, value), entity positions
    rounded: they pass through the schematic's frame and may change in
    their last bits."""
    root = nbt_util.decode_typed(nbt_util.gunzip_member(data))[1][1]
    regions = {name: value[1] for name, value in root["Regions"][1].items()}
    for region in regions.values():
        for _, entity in region.get("Entities", (LIST, []))[1]:
            tag, pos = entity["Pos"]
            entity["Pos"] = (tag, [(t, round(v, 9)) for t, v in pos])
    return regions


@pytest.mark.parametrize("name", ["mcschem_multi-region01.litematic",
                                  "rustmatica_tmc_Simplest_Shulker_Farm_with_collection.litematic",
                                  "rustmatica_tmc_144k_tall_flower_farm.litematic",
                                  "litemapy_Lite.litematic", "rustmatica_axolotl.litematic"])
def test_litematica_again_keeps_regions_ticks_and_metadata(name):
    from conftest import CORPUS
    path = CORPUS / "litematica" / name
    if not path.exists():
        pytest.skip("corpus folder absent")
    data = path.read_bytes()
    out = io.BytesIO()
    kubic.load(data).save(out, "litematica")
    before, after = decoded(data), decoded(out.getvalue())
    assert list(after["Regions"]) == list(before["Regions"])
    for key in ("Name", "Author", "Description", "TimeCreated", "TimeModified", "PreviewImageData"):
        assert after["Metadata"].get(key) == before["Metadata"].get(key), key
    assert after["MinecraftDataVersion"] == before["MinecraftDataVersion"]
    old, new = typed_regions(data), typed_regions(out.getvalue())
    for region in before["Regions"]:
        for key in ("Position", "Size", "PendingBlockTicks", "PendingFluidTicks"):
            assert new[region].get(key) == old[region].get(key), (region, key)
        for key in ("TileEntities", "Entities"):
            assert new[region].get(key, []) == old[region].get(key, []), (region, key)


def test_blocks_outside_every_region_make_one_region_named_after_the_schematic():
    from conftest import CORPUS
    path = CORPUS / "litematica" / "litemapy_Lite.litematic"
    if not path.exists():
        pytest.skip("corpus folder absent")
    schematic = kubic.load(path)
    covered = np.zeros(schematic.size, dtype=bool)
    for region in schematic.metadata["regions"]:
        low = [o - s for o, s in zip(region["origin"], schematic.origin)]
        covered[tuple(slice(lo, lo + n) for lo, n in zip(low, region["size"]))] = True
    outside = tuple(int(c) for c in np.argwhere(~covered)[0])
    schematic[outside] = "minecraft:gold_block"
    out = io.BytesIO()
    schematic.save(out, "litematica")
    regions = decoded(out.getvalue())["Regions"]
    assert list(regions) == [schematic.metadata["name"]]
    back = kubic.load(out.getvalue())
    assert back[outside] == "minecraft:gold_block"
    assert np.array_equal(states_of(back), states_of(schematic))


def test_regions_sharing_a_name_become_one_region_and_lose_nothing():
    s = kubic.Schematic((4, 2, 2))
    s[0, 0, 0], s[3, 1, 1] = "minecraft:stone", "minecraft:dirt"
    s.metadata["name"] = "twins"
    s.metadata["regions"] = [{"name": "a", "origin": (0, 0, 0), "size": (2, 2, 2)},
                             {"name": "a", "origin": (2, 0, 0), "size": (2, 2, 2)}]
    out = io.BytesIO()
    s.save(out, "litematica")
    assert list(decoded(out.getvalue())["Regions"]) == ["twins"]
    back = kubic.load(out.getvalue())
    assert back.size == s.size and np.array_equal(states_of(back), states_of(s))


def test_one_region_loads_alone():
    from conftest import CORPUS
    path = CORPUS / "litematica" / "rustmatica_tmc_Simplest_Shulker_Farm_with_collection.litematic"
    if not path.exists():
        pytest.skip("corpus folder absent")
    whole = kubic.load(path)
    farm = next(r for r in whole.metadata["regions"] if r["name"] == "Farm")
    part = kubic.load(path, region="Farm")
    assert part.size == farm["size"] and part.origin == farm["origin"]
    assert [r["name"] for r in part.metadata["regions"]] == ["Farm"]
    assert len(part.entities) == 4 and len(part.block_entities) == 9
    with pytest.raises(kubic.KubicError, match="^Litematica: No region named 'nope'$"):
        kubic.load(path, region="nope")
    with pytest.raises(ValueError):
        kubic.load(path, "sponge", region="Farm")


def region(size, palette, states, position=(0, 0, 0), **extra):
    return {"Position": dict(zip("xyz", position)), "Size": dict(zip("xyz", size)),
            "BlockStatePalette": [{"Name": n} for n in palette],
            "BlockStates": Tagged(LONG_ARRAY, states), **extra}


def document(regions, version=6):
    return nbt_util.gzipped({"MinecraftDataVersion": 3465, "Version": version,
                             "Metadata": {"Name": "test", "TotalBlocks": Tagged(LONG, 1)}, "Regions": regions})


def packed(values, bits):
    words = [0] * ((len(values) * bits + 63) // 64)
    for i, v in enumerate(values):
        bit = i * bits
        words[bit // 64] |= (v << (bit % 64)) & (2**64 - 1)
        if bit % 64 + bits > 64:
            words[bit // 64 + 1] |= v >> (64 - bit % 64)
    return [w - 2**64 if w >= 2**63 else w for w in words]


def test_negative_sizes_measure_from_position_and_entities_from_it():
    # x runs from 5 down to 3; the entity's Pos counts from Position, the
    # block entity's x, y, z from the minimum corner.
    doubles = Tagged(LIST, [0.5, 0.0, 0.5], DOUBLE)
    data = document({"r": region((-3, 1, 1), [AIR, "minecraft:chest", "minecraft:stone"],
                                 packed([1, 0, 2], 2), position=(5, 0, 0),
                                 TileEntities=[{"x": 0, "y": 0, "z": 0, "Items": []}],
                                 Entities=Tagged(LIST, [{"id": "minecraft:pig", "Pos": doubles}], COMPOUND))})
    schematic = kubic.load(data)
    assert schematic.origin == (3, 0, 0) and schematic.size == (3, 1, 1)
    assert [schematic[x, 0, 0] for x in range(3)] == ["minecraft:chest", AIR, "minecraft:stone"]
    assert list(schematic.block_entities) == [(0, 0, 0)] and "id" not in schematic.block_entities[(0, 0, 0)]
    assert schematic.entities[0].pos == (2.5, 0.0, 0.5)
    assert schematic.metadata["regions"][0]["position"] == (5, 0, 0)
    out = io.BytesIO()
    schematic.save(out, "litematica")
    again = decoded(out.getvalue())["Regions"]["r"]
    assert again["Position"] == {"x": 5, "y": 0, "z": 0} and again["Size"] == {"x": -3, "y": 1, "z": 1}
    assert again["Entities"][0]["Pos"] == [0.5, 0.0, 0.5]
    sponge = io.BytesIO()
    schematic.save(sponge, "sponge")
    assert decoded(sponge.getvalue())["Schematic"]["Blocks"]["BlockEntities"][0]["Id"] == "minecraft:chest"


@pytest.mark.parametrize("states, bits", [(2, 2), (4, 2), (5, 3), (16, 4), (17, 5), (64, 6), (65, 7), (300, 9),
                                          (5000, 13)])
def test_written_entries_take_the_fewest_bits_and_straddle_words(states, bits):
    palette = [AIR] + [f"minecraft:block_{i}" for i in range(1, states)]
    shape = (7, 5, 11) if states <= 385 else (20, 16, 17)
    blocks = (np.arange(np.prod(shape)) % states).reshape(shape).astype(np.uint16)
    out = io.BytesIO()
    schematic = kubic.Schematic.from_numpy(blocks, palette)
    schematic.save(out, "litematica")
    (only,) = decoded(out.getvalue())["Regions"].values()
    assert len(only["BlockStatePalette"]) == states
    assert len(only["BlockStates"]) == (blocks.size * bits + 63) // 64
    origin, expected = expected_blocks(decoded(out.getvalue()))
    assert np.array_equal(expected, states_of(schematic))
    assert np.array_equal(states_of(kubic.load(out.getvalue())), states_of(schematic))


def test_overlapping_regions_later_over_earlier_air_not_overwriting():
    first = region((2, 1, 1), [AIR, "minecraft:stone"], packed([1, 1], 2))
    second = region((2, 1, 1), [AIR, "minecraft:dirt"], packed([0, 1], 2), position=(1, 0, 0))
    schematic = kubic.load(document({"a": first, "b": second}))
    assert [schematic[x, 0, 0] for x in range(3)] == ["minecraft:stone", "minecraft:stone", "minecraft:dirt"]


def test_zero_regions_read_as_an_empty_box():
    schematic = kubic.load(document({}))
    assert schematic.size == (0, 0, 0) and schematic.counts() == {}


GOOD = region((2, 1, 1), [AIR, "minecraft:stone"], packed([1, 1], 2))


@pytest.mark.parametrize("regions, version, message", [
    ({"r": {**GOOD, "BlockStates": Tagged(LONG_ARRAY, [])}}, 6,
     "Litematica: Region 'r' has 0 longs of 'BlockStates', 1 needed for its size and palette"),
    ({"r": {**GOOD, "BlockStates": Tagged(LONG_ARRAY, packed([1, 3], 2))}}, 6,
     "Litematica: Region 'r' has a block state index 3 at (1, 0, 0) that is not in its palette"),
    ({"r": {k: v for k, v in GOOD.items() if k != "Size"}}, 6, "Litematica: Region 'r' has no valid 'Size'"),
    ({"r": {**GOOD, "Size": {"x": 2000, "y": 2000, "z": -2000}}}, 6,
     "Litematica: Region 'r' has 8000000000 positions, more than 2147483648"),
    ({"r": {**GOOD, "Position": {"x": 2**31 - 1, "y": 0, "z": 0}}}, 6,
     "Litematica: Region 'r' lies outside the coordinate range"),
    ({"r": {**GOOD, "BlockStatePalette": [{"Properties": {}}]}}, 6,
     "Litematica: Region 'r' has a palette entry 0 without a 'Name'"),
    ({"r": {**GOOD, "BlockStatePalette": []}}, 6, "Litematica: Region 'r' has an empty 'BlockStatePalette'"),
    ({"r": {**GOOD, "TileEntities": [{"x": 0, "y": 0}]}}, 6,
     "Litematica: Region 'r' has a block entity 0 without x, y and z"),
    ({"r": {**GOOD, "Entities": [{"id": "minecraft:pig"}]}}, 6,
     "Litematica: Region 'r' has an entity 0 without a 'Pos' of three Doubles"),
    ({"r": 3}, 6, "Litematica: Region 'r' is not a Compound"),
    ({"r": GOOD}, 99, "Litematica: Unsupported version 99"),
])
def test_broken_files_name_their_fault(regions, version, message):
    data = document(regions, version)
    with pytest.raises(kubic.CorruptFileError) as caught:
        kubic.load(data, "litematica")
    assert str(caught.value) == message
    named = io.BytesIO(data)
    named.type = "LITEMATICA"
    with pytest.raises(RuntimeError, match="^Litematica: "):
        with kubic_rs.open(named) as reader:
            reader.read_full()


def test_detection_finds_litematica_plain_or_compressed():
    data = document({"r": GOOD})
    for source in (data, gzip.decompress(data)):
        schematic = kubic.load(source)
        assert schematic.format == "litematica" and schematic.counts() == {"minecraft:stone": 2}
    with pytest.raises(kubic.CorruptFileError, match="^Litematica: Missing or invalid 'Regions' tag$"):
        kubic.load(nbt_util.gzipped({"Version": 6}), "litematica")


def test_kubic_rs_saves_litematica():
    with kubic_rs.open(document({"r": GOOD})) as reader:
        out = io.BytesIO()
        reader.save(out, "litematica")
    with kubic_rs.open(out.getvalue()) as reader:
        assert sorted(b.position().x() for b in reader.read_full()) == [0, 1]
