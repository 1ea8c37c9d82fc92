"""Boxes at the edge of the coordinate range, far-apart regions and sides a
format cannot hold: every load gives the blocks, every save writes a file
that loads back the same or refuses before writing."""
import gzip
import io
import subprocess
import sys
import warnings

import pytest

import kubic

EDGE = 2**31 - 2  # a box of four from here wraps past 2^31 - 1


def _edge_box():
    s = kubic.Schematic((4, 1, 1), origin=(EDGE, 0, 0))
    s[0, 0, 0] = "minecraft:dirt"
    s[3, 0, 0] = "minecraft:stone"
    return s


def _varint(value, bits=32):
    value &= (1 << bits) - 1
    out = bytearray()
    while True:
        out.append((value & 0x7F) | (0x80 if value > 0x7F else 0))
        value >>= 7
        if not value:
            return bytes(out)


def _kub_at_edge(path):
    """The edge box as kub bytes with its corners in the file (kubic itself
    saves kub boxes from (0, 0, 0) and the origin apart): the far corner
    wraps past 2^31 - 1, as the layout's 32-bit corners allow."""
    s = _edge_box()
    s.origin = (0, 0, 0)
    s.save(path)
    raw = gzip.decompress(path.read_bytes())
    header = _varint(0x4B5542464D54, 64) + _varint(1) + _varint(0) * 3 + _varint(3) + _varint(0) * 2
    assert raw.startswith(header)
    edge = _varint(0x4B5542464D54, 64) + _varint(1) + _varint(EDGE) + _varint(0) * 2 + _varint(EDGE + 3) + _varint(0) * 2
    path.write_bytes(gzip.compress(edge + raw[len(header):]))


def test_a_kub_box_crossing_the_last_coordinate_loads_and_chunks(tmp_path):
    # In a subprocess: this crashed the interpreter.
    _kub_at_edge(tmp_path / "edge.kub")
    script = (f"import kubic; s = kubic.load({str(tmp_path / 'edge.kub')!r}); "
              "print([s[x, 0, 0] for x in range(4)], s.origin); "
              f"print([(o, b.shape) for o, b, _ in kubic.iter_chunks({str(tmp_path / 'edge.kub')!r})])")
    run = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=60)
    assert run.returncode == 0, run.stderr
    assert run.stdout.splitlines() == [
        "['minecraft:dirt', 'minecraft:air', 'minecraft:air', 'minecraft:stone'] (2147483646, 0, 0)",
        "[((2147483646, 0, 0), (4, 1, 1))]"]


@pytest.mark.parametrize("fmt", ["kub", "sponge", "structure", "litematica", "mcstructure"])
def test_every_writer_writes_an_edge_box_that_loads_back_or_refuses(tmp_path, fmt):
    path = tmp_path / f"edge.{fmt}"
    try:
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            _edge_box().save(path, fmt)
    except kubic.KubicError as error:
        assert "2147483647" in str(error) and not path.exists()
        return
    back = kubic.load(path)
    assert [back[x, 0, 0] for x in range(4)] == ["minecraft:dirt", "minecraft:air", "minecraft:air",
                                                 "minecraft:stone"]


def test_a_region_ending_at_the_last_coordinate_reads_from_every_source(tmp_path):
    s = kubic.Schematic((4, 1, 1), origin=(2**31 - 4, 0, 0))
    s[3, 0, 0] = "minecraft:stone"
    s.save(tmp_path / "end.litematic")
    raw = (tmp_path / "end.litematic").read_bytes()
    for source in (tmp_path / "end.litematic", raw, io.BytesIO(raw)):
        assert kubic.load(source)[3, 0, 0] == "minecraft:stone"


def test_regions_far_apart_are_refused_before_their_box_is_allocated(tmp_path):
    s = kubic.Schematic((5000, 1, 5000))
    s[0, 0, 0] = "minecraft:stone"
    s[4999, 0, 4999] = "minecraft:dirt"
    s.metadata["regions"] = [{"name": "a", "origin": (0, 0, 0), "size": (1, 1, 1)},
                             {"name": "b", "origin": (4999, 0, 4999), "size": (1, 1, 1)}]
    s.save(tmp_path / "far.litematic")
    raw = (tmp_path / "far.litematic").read_bytes()
    for source in (tmp_path / "far.litematic", raw):
        with pytest.raises(kubic.CorruptFileError, match="25000000 positions for the 2 they hold"):
            kubic.load(source)
    assert kubic.load(tmp_path / "far.litematic", region="b")[0, 0, 0] == "minecraft:dirt"


def test_a_sponge_side_past_65535_is_refused_and_nothing_written(tmp_path):
    s = kubic.Schematic((70000, 1, 1))
    s[0, 0, 0] = "minecraft:stone"
    with pytest.raises(kubic.KubicError, match="a side of 70000 is more than the 65535"):
        s.save(tmp_path / "long.schem")
    assert not (tmp_path / "long.schem").exists()


@pytest.mark.parametrize("state, sponge_writes", [
    ("MyMod:Thing[a=b]", False), ("MyMod:Thing", True), ("minecraft:a\ufffdb", True), ("minecraft:stone", True),
])
def test_sponge_writes_only_states_its_palette_reads_back(tmp_path, state, sponge_writes):
    s = kubic.Schematic((2, 1, 1))
    s._palette = ["minecraft:air", state]  # as a file read them, outside the syntax a person types
    s.blocks[1, 0, 0] = 1
    path = tmp_path / "out.schem"
    if sponge_writes:
        s.save(path)
        assert kubic.load(path)[1, 0, 0] == state
    else:
        with pytest.raises(ValueError, match="outside the state syntax"):
            s.save(path)
        assert not path.exists()
    for fmt in ("structure", "kub", "litematica"):  # these read every state back
        out = io.BytesIO()
        s.save(out, fmt)
        assert kubic.load(out.getvalue())[1, 0, 0] == state


FORMATS = ["kub", "sponge", "structure", "litematica"]


@pytest.mark.parametrize("first", FORMATS)
@pytest.mark.parametrize("second", FORMATS)
def test_hanging_entities_keep_their_block_through_round_trips(first, second):
    s = kubic.Schematic((4, 3, 4), origin=(-296, -55, -36), data_version=3465)
    s[1, 1, 1] = "minecraft:stone"
    s.entities.append(kubic.Entity((1.5, 1.5, 2.03125), kubic.nbt.Compound({
        "id": "minecraft:painting", "TileX": 1, "TileY": 1, "TileZ": 2, "facing": kubic.nbt.Byte(0)})))
    for _ in range(3):
        for fmt in (first, second):
            out = io.BytesIO()
            s.save(out, fmt)
            s = kubic.load(out.getvalue())
    [painting] = s.entities
    assert painting.pos == (1.5, 1.5, 2.03125)
    assert (painting.nbt["TileX"], painting.nbt["TileY"], painting.nbt["TileZ"]) == (1, 1, 2)


@pytest.mark.parametrize("fmt, options", [("sponge", {"sponge_version": 2}), ("sponge", {"sponge_version": 3}),
                                          ("kub", {}), ("structure", {})])
def test_block_entity_keys_named_like_a_position_survive(fmt, options):
    s = kubic.Schematic((2, 1, 1), origin=(10, 0, 0))
    s[0, 0, 0] = "minecraft:chest[facing=north,type=single,waterlogged=false]"
    data = {"id": "minecraft:chest", "x": kubic.nbt.Int(99), "y": "text", "z": kubic.nbt.Byte(3), "Lock": "k"}
    s.block_entities[(0, 0, 0)] = kubic.nbt.Compound(data)
    out = io.BytesIO()
    s.save(out, fmt, **options)
    assert dict(kubic.load(out.getvalue()).block_entities[(0, 0, 0)]) == data


def test_litematica_warns_for_block_entity_keys_it_holds_as_the_position():
    s = kubic.Schematic((2, 1, 1), origin=(10, 0, 0))
    s[0, 0, 0] = "minecraft:chest[facing=north,type=single,waterlogged=false]"
    s.block_entities[(0, 0, 0)] = kubic.nbt.Compound({"id": "minecraft:chest", "x": kubic.nbt.Int(99), "Lock": "k"})
    out = io.BytesIO()
    with pytest.warns(kubic.NotWrittenWarning, match="own 'x', 'y' or 'z' of 1 block entity not written"):
        s.save(out, "litematica")
    assert dict(kubic.load(out.getvalue()).block_entities[(0, 0, 0)]) == {"id": "minecraft:chest", "Lock": "k"}


@pytest.mark.parametrize("fmt, options", [("litematica", {}), ("sponge", {"sponge_version": 2}),
                                          ("sponge", {"sponge_version": 3}), ("structure", {})])
def test_a_cut_file_gets_the_same_cause_detected_as_named(fmt, options):
    s = kubic.Schematic((6, 5, 4), origin=(3, 4, 5), data_version=3465)
    for i in range(6):
        s[i, 0, 0] = f"minecraft:oak_stairs[facing=east,half=bottom,shape=straight,waterlogged={i % 2 == 0}]"
    out = io.BytesIO()
    s.save(out, fmt, **options)
    raw = gzip.decompress(out.getvalue())
    causes = []
    for named in ("auto", fmt):
        with pytest.raises(kubic.KubicError) as caught:
            kubic.load(raw[:len(raw) * 2 // 3], format=named)
        causes.append(str(caught.value))
    assert causes[0] == causes[1]
