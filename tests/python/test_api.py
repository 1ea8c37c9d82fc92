"""The kubic package: load, look as an array, edit, create and save."""
import errno
import io
import os
import pathlib
import re
import warnings

import numpy as np
import pytest

import kubic
import nbt_util
from conftest import corpus_params, sponge_file, unsupported
from kubic import nbt

WRITABLE = ["kub", "sponge", "structure"]


@pytest.fixture
def house(sample_cells):
    return sponge_file(6, 4, 5, sample_cells)


@pytest.mark.parametrize("kind", ["bytes", "bytearray", "memoryview", "str", "path", "file"])
def test_every_source_kind_loads_alike(house, tmp_path, kind):
    path = tmp_path / "house.schem"
    path.write_bytes(house)
    source = {"bytes": house, "bytearray": bytearray(house), "memoryview": memoryview(house), "str": str(path),
              "path": path, "file": io.BytesIO(house)}[kind]
    s = kubic.load(source)
    assert s.format == "sponge" and s.size == (6, 4, 5) and s.blocks.shape == (6, 4, 5)
    assert s.palette[0] == "minecraft:air"


def test_array_edit_save_load_round_trips(house, sample_cells, tmp_path):
    s = kubic.load(house)
    for (x, y, z), state in sample_cells.items():
        assert s[x, y, z] == state
    s[0, 0, 0] = "minecraft:gold_block"
    s.blocks[5, 3, 4] = s.palette.index("minecraft:glass")
    for fmt, ext in (("kub", ".kub"), ("sponge", ".schem"), ("structure", ".nbt")):
        s.save(tmp_path / f"out{ext}")
        back = kubic.load(tmp_path / f"out{ext}")
        assert back.format == fmt
        assert [back[p] for p in np.ndindex(*back.size)] == [s[p] for p in np.ndindex(*s.size)]
        assert back.counts() == s.counts()


def test_new_and_from_numpy_schematics(tmp_path):
    s = kubic.Schematic((2, 3, 4), origin=(10, 64, -5), data_version=3465)
    assert s.counts() == {} and s.format is None
    s[1, 2, 3] = "minecraft:stone"
    s.save(tmp_path / "new.kub")
    back = kubic.load(tmp_path / "new.kub")
    assert back.origin == (10, 64, -5) and back.data_version == 3465 and back.counts() == {"minecraft:stone": 1}
    # A palette past 65536 states needs uint32; 70,000 states round-trip.
    palette = ["minecraft:air"] + [f"minecraft:b{i}" for i in range(69_999)]
    blocks = np.arange(70_000, dtype=np.uint32).reshape(70, 100, 10)
    many = kubic.Schematic.from_numpy(blocks, palette)
    assert many.blocks.dtype == np.uint32 and many[69, 99, 9] == "minecraft:b69998"
    with pytest.raises(ValueError, match="every block must index the palette"):
        kubic.Schematic.from_numpy(np.full((1, 1, 1), 5), ["minecraft:air"])


def test_block_entities_keep_their_types_through_edits(tmp_path):
    data = nbt_util.gzipped({"size": nbt_util.Tagged(nbt_util.LIST, [1, 1, 1], nbt_util.INT),
                             "palette": [{"Name": "minecraft:chest"}],
                             "blocks": [{"pos": nbt_util.Tagged(nbt_util.LIST, [0, 0, 0], nbt_util.INT), "state": 0,
                                         "nbt": {"id": "minecraft:chest", "Lock": nbt_util.short(7)}}]})
    s = kubic.load(data)
    chest = s.block_entities[(0, 0, 0)]
    assert isinstance(chest["Lock"], nbt.Short)
    chest["Items"] = nbt.List([nbt.Compound({"Slot": nbt.Byte(1), "id": "minecraft:apple", "Count": nbt.Byte(3)})])
    for fmt in WRITABLE:
        out = io.BytesIO()
        s.save(out, fmt)
        back = kubic.load(out.getvalue()).block_entities[(0, 0, 0)]
        assert back == chest
        assert isinstance(back["Lock"], nbt.Short) and isinstance(back["Items"][0]["Slot"], nbt.Byte)


@pytest.mark.parametrize("text", ['{Items:[{Slot:1b,id:"minecraft:apple"}],Lock:7s,Pos:[I;1,2,3],x:1.5d,n:-4L}',
                                  "[1.5f,2.0f]", '"quoted \\" text"'])
def test_snbt_round_trips(text):
    value = nbt.from_snbt(text)
    assert nbt.from_snbt(nbt.to_snbt(value)) == value
    assert type(nbt.from_snbt(nbt.to_snbt(value))) is type(value)


@pytest.mark.parametrize("path", corpus_params("sponge", ".schem") + corpus_params("structure", ".nbt"))
def test_corpus_files_load_and_count(path):
    if unsupported(path) or path.stat().st_size > 300_000:
        pytest.skip("not read, or large")
    s = kubic.load(path)
    assert s.blocks.shape == s.size and len(s.palette) >= 1
    counts = s.counts()
    assert all(n > 0 for n in counts.values())


def test_errors_name_their_cause(tmp_path, house):
    with pytest.raises(FileNotFoundError) as missing:
        kubic.load(tmp_path / "missing.schem")
    assert missing.value.errno == errno.ENOENT and missing.value.filename == str(tmp_path / "missing.schem")
    with pytest.raises(kubic.UnknownFormatError, match="no reader recognises"):
        kubic.load(b"hello")
    with pytest.raises(kubic.UnknownFormatError, match="zip archive"):
        kubic.load(b"PK\x03\x04" + bytes(100))
    cut = io.BytesIO(nbt_util.gunzip_member(house)[:40])
    with pytest.raises(kubic.CorruptFileError, match="^Sponge: Failed to read NBT data: "):
        kubic.load(cut, format="sponge")
    assert issubclass(kubic.CorruptFileError, kubic.KubicError)
    with pytest.raises(ValueError, match="read-only"):
        kubic.load(house).save(tmp_path / "out.schematic")
    with pytest.raises(ValueError, match="unknown format"):
        kubic.load(house, format="bmp")


def test_a_failing_file_object_fails_the_load():
    class Broken(io.RawIOBase):
        def readable(self):
            return True

        def read(self, n=-1):
            raise ValueError("disk on fire")

    with pytest.raises(ValueError, match="^disk on fire$"):
        kubic.load(Broken())


def test_legacy_notices_become_one_warning():
    data = nbt_util.gzipped({"Width": nbt_util.short(3), "Height": nbt_util.short(1), "Length": nbt_util.short(1),
                             "Blocks": bytes([36, 53, 53]), "Data": bytes([3, 2, 2])}, "Schematic")
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        s = kubic.load(data)
    assert [w.category for w in caught] == [kubic.LegacyConversionWarning]
    assert "36:3" in str(caught[0].message) and s.counts() == {
        "minecraft:oak_stairs[facing=south,half=bottom,shape=straight,waterlogged=false]": 2}


def test_paths_accept_pathlib(tmp_path, house):
    target = pathlib.Path(tmp_path) / "h.schem"
    kubic.load(house).save(target)
    assert kubic.load(target).format == "sponge"


@pytest.mark.parametrize("shape", [(4, 3, 5), (64, 64, 64), (1, 100, 1)])
def test_chunks_cover_what_a_whole_load_holds(house, shape):
    whole = kubic.load(house)
    seen = {}
    for origin, blocks, palette in kubic.iter_chunks(house, shape):
        assert all(0 <= o and o + n <= s for o, n, s in zip(origin, blocks.shape, whole.size))
        for offset in np.ndindex(*blocks.shape):
            seen[tuple(o + d for o, d in zip(origin, offset))] = palette[int(blocks[offset])]
    assert {p: st for p, st in seen.items() if st != "minecraft:air"} == {
        p: whole[p] for p in np.ndindex(*whole.size) if whole[p] != "minecraft:air"}


def test_a_chunked_walk_of_a_large_file_stays_small(tmp_path):
    import subprocess
    import sys
    rng = np.random.default_rng(5)
    runs = np.repeat(rng.integers(0, 60, 256 * 256 * 256 // 128, dtype=np.uint16), 128).reshape(256, 256, 256)
    palette = ["minecraft:air"] + [f"minecraft:block_{i}" for i in range(59)]
    kubic.Schematic.from_numpy(runs, palette).save(tmp_path / "big.kub")
    del runs
    code = """
import resource, sys, kubic
base = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
count = sum(int((blocks != 0).sum()) for _, blocks, _ in kubic.iter_chunks(sys.argv[1]))
print(count, (resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - base) // 1024)
"""
    result = subprocess.run([sys.executable, "-c", code, str(tmp_path / "big.kub")], capture_output=True, text=True)
    assert result.returncode == 0, result.stderr
    count, grown_mb = map(int, result.stdout.split())
    assert count > 8_000_000 and grown_mb < 64


def _states(s):
    return np.array(s.palette, dtype=object)[s.blocks]


@pytest.mark.parametrize("path", corpus_params("sponge", ".schem"))
def test_sponge_files_load_alike_by_both_paths(path):
    # Paths and bytes take the Sponge fast path; file objects the general one.
    if unsupported(path) or path.stat().st_size > 300_000:
        pytest.skip("not read, or large")
    fast, general = kubic.load(path), kubic.load(io.BytesIO(path.read_bytes()))
    assert fast.format == general.format == "sponge"
    assert (_states(fast) == _states(general)).all()
    assert fast.block_entities == general.block_entities and fast.origin == general.origin


@pytest.mark.parametrize("palette, data, message", [
    ({"minecraft:stone": 0}, [0, 5], "^Temporary ID not found in actual palette$"),
    ({"minecraft:stone": 0}, [0, 0, 0], "more entries than expected"),
    ({"minecraft:stone[a=b": 0}, [0], "missing closing"),
])
def test_sponge_errors_are_the_same_by_both_paths(palette, data, message):
    raw = nbt_util.encode({"Width": nbt_util.short(2), "Height": nbt_util.short(1), "Length": nbt_util.short(1),
                           "Palette": palette, "BlockData": nbt_util.varints(data)}, "Schematic")
    for source in (raw, io.BytesIO(raw)):
        with pytest.raises(kubic.CorruptFileError, match=message):
            kubic.load(source, format="sponge")


def _saved(s, fmt):
    out = io.BytesIO()
    s.save(out, fmt)
    return out.getvalue()


def test_sponge_saves_alike_from_uint16_and_uint32_arrays(house):
    s = kubic.load(house)
    s.metadata["Date"] = nbt.Long(1)
    s.block_entities[(1, 1, 1)] = nbt.Compound({"Text1": nbt.String("no id: named after its block")})
    fast = _saved(s, "sponge")
    s.blocks = s.blocks.astype(np.uint32)
    assert fast == _saved(s, "sponge")


# Palettes around the VarInt widths (indices from 128 take two bytes, from
# 16,384 three), with states no block uses, a repeated state and a second
# air: the array road must number and encode as the block-by-block one.
@pytest.mark.parametrize("states, shape", [(2, (3, 2, 5)), (128, (16, 8, 9)), (129, (16, 8, 9)),
                                           (300, (70, 9, 3)), (17_000, (40, 30, 20))])
def test_sponge_array_road_numbers_like_the_block_road(states, shape):
    rng = np.random.default_rng(states)
    palette = ["minecraft:air"] + [f"minecraft:b{i}" for i in range(1, states)] + ["minecraft:b1", "minecraft:air"]
    blocks = rng.integers(0, len(palette) - 3, shape).astype(np.uint16)  # the last three stay unused...
    blocks[0, 0, 0], blocks[-1, -1, -1] = len(palette) - 2, len(palette) - 1  # ...but for the repeat and the air
    s = kubic.Schematic.from_numpy(blocks, palette)
    s.metadata["Date"] = nbt.Long(1)
    fast = _saved(s, "sponge")
    s.blocks = s.blocks.astype(np.uint32)
    assert fast == _saved(s, "sponge")
    back = kubic.load(fast)
    assert (_states(back) == np.array(palette, dtype=object)[blocks]).all()


@pytest.mark.parametrize("fmt, name", [("sponge", "Sponge"), ("litematica", "Litematica")])
def test_array_roads_refuse_an_index_past_the_palette(fmt, name):
    s = kubic.Schematic((2, 2, 2))
    s.blocks[1, 1, 1] = 7
    with pytest.raises(kubic.KubicError, match=f"^{name}: block index 7 is not in the palette$"):
        s.save(io.BytesIO(), fmt)


@pytest.mark.parametrize("damage, error, message", [
    (lambda raw: raw[:len(raw) // 2], kubic.CorruptFileError, "unexpected end of NBT data"),
    (lambda raw: nbt_util.gzipped({"Width": nbt_util.short(1)})[:30], kubic.UnknownFormatError, "no reader"),
    (lambda raw: bytes(range(256)) * 4, kubic.UnknownFormatError, "no reader recognises this input"),
    (lambda raw: b"", kubic.UnknownFormatError, "no reader recognises this input"),
])
def test_detection_names_the_cause_of_a_broken_file(house, damage, error, message):
    raw = nbt_util.gunzip_member(house)
    with pytest.raises(error, match=message):
        kubic.load(damage(raw))


def _unwritable_folder(tmp_path):
    if os.geteuid() == 0:
        pytest.skip("root writes into read-only folders")
    folder = tmp_path / "locked"
    folder.mkdir()
    folder.chmod(0o555)
    return folder / "out.schem"


@pytest.mark.parametrize("where, error_type, code", [
    (lambda tmp: pathlib.Path("/dev/full"), OSError, errno.ENOSPC),
    (lambda tmp: tmp / "missing" / "out.schem", FileNotFoundError, errno.ENOENT),
    (_unwritable_folder, PermissionError, errno.EACCES),
], ids=["full disk", "missing folder", "read-only folder"])
def test_save_errors_are_the_errors_python_raises(tmp_path, where, error_type, code):
    target = where(tmp_path)
    if not target.parent.exists() and code != errno.ENOENT:
        pytest.skip(f"{target} absent")
    s = kubic.Schematic((2, 2, 2))
    s[0, 0, 0] = "minecraft:stone"
    with pytest.raises(error_type) as caught:
        s.save(target, "sponge")
    assert caught.value.errno == code and caught.value.filename == str(target)
    assert "os error" not in str(caught.value)


def test_a_save_raises_the_callers_own_file_error_as_it_is():
    class Refusing(io.RawIOBase):
        def writable(self):
            return True

        def write(self, data):
            raise ValueError("the caller's own complaint")

    with pytest.raises(ValueError, match="^the caller's own complaint$"):
        kubic.Schematic((1, 1, 1)).save(Refusing(), "kub")


LITEMATICA_WITHOUT_SIZE = {"Version": 6, "MinecraftDataVersion": 3465, "Metadata": {"Name": "broken" * 10},
                           "Regions": {"r": {"Position": {"x": 0, "y": 0, "z": 0}}}}
MCEDIT_DEGENERATE = {"Width": nbt_util.short(1), "Height": nbt_util.short(1), "Length": nbt_util.short(1),
                     "Materials": "Alpha", "Blocks": b"", "Data": b"", "Entities": [], "TileEntities": []}


@pytest.mark.parametrize("data, cause", [
    (lambda: sponge_file(8, 8, 8, {(0, 0, 0): "Mod:Block[Facing=North]"}), "Sponge: Failed to process palette"),
    (lambda: sponge_file(8, 8, 8, {(0, 0, 0): "Mod:Block[Facing=North]"}, nested=True),
     "Sponge: Failed to process palette"),
    (lambda: nbt_util.gzipped(LITEMATICA_WITHOUT_SIZE), "Litematica: Region 'r' has no valid 'Size'"),
    (lambda: nbt_util.gzipped(MCEDIT_DEGENERATE, "Schematic"), "MCEdit: 'Blocks' array length 0"),
], ids=["sponge 2 upper-case", "sponge 3 upper-case", "litematica", "mcedit degenerate"])
def test_a_broken_file_reports_the_cause_of_the_reader_that_recognised_it(data, cause):
    with pytest.raises(kubic.CorruptFileError, match=f"^{re.escape(cause)}"):
        kubic.load(data())


def test_region_on_a_file_without_regions_says_what_region_is_for():
    with pytest.raises(ValueError, match="region= applies to Litematica files"):
        kubic.load(sponge_file(2, 2, 2, {}), region="x")
