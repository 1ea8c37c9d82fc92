"""Saving and loading again, through every pair of formats and three times
over, keeps every entity's position (bit for bit, -0.0 included), its
TileX/Y/Z and every block entity key: nothing drifts save after save."""
import gzip
import io
import math
import struct
import warnings

import pytest

import kubic
import nbt_util
from conftest import CORPUS, unsupported

FORMATS = ["kub", "sponge", "structure", "litematica"]
PAIRS = [(first, second) for first in FORMATS for second in FORMATS]


def _bits(value):
    return struct.pack(">d", value)


def _entities(s):
    return [(tuple(_bits(c) for c in e.pos), e.nbt) for e in s.entities]


def _block_entities(s):
    # Sponge names every block entity's id; other formats may leave it out.
    return {pos: {k: v for k, v in data.items() if k != "id"} for pos, data in s.block_entities.items()}


def _round_trips(s, first, second):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        for _ in range(3):
            for fmt in (first, second):
                out = io.BytesIO()
                s.save(out, fmt)
                s = kubic.load(out.getvalue())
    return s


def _with_extras():
    """Corpus files with entities or block entities, small enough to save
    sixteen ways three times over."""
    found = []
    for path in sorted(CORPUS.glob("*/*")) if CORPUS.is_dir() else []:
        if path.suffix not in (".schem", ".nbt", ".litematic", ".schematic", ".kub") or unsupported(path):
            continue
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            s = kubic.load(path)
        if (s.entities or s.block_entities) and len(s.block_entities) <= 400 and math.prod(s.blocks.shape) <= 100_000:
            found.append(pytest.param(path, id=f"{path.parent.name}/{path.name}"))
    return found or [pytest.param(None, marks=pytest.mark.skip(reason="corpus absent"))]


def _settled(s):
    """What every format holds of `s`: Sponge refuses states outside the
    state syntax, and block entities at air or outside a structure's box go
    with a warning; one pass through kub and structure drops those."""
    return _round_trips(s, "structure", "kub")


@pytest.mark.parametrize("path", _with_extras())
def test_corpus_extras_survive_every_pair_three_times(path):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        start = _settled(kubic.load(path))
    for first, second in PAIRS:
        try:
            back = _round_trips(start, first, second)
        except kubic.UnwritableError:
            assert "sponge" in (first, second)
            continue
        assert _entities(back) == _entities(start), (first, second)
        assert _block_entities(back) == _block_entities(start), (first, second)


@pytest.mark.parametrize("first, second", PAIRS)
def test_entity_doubles_stay_exact_at_any_origin(first, second):
    s = kubic.Schematic((3, 2, 3), origin=(1_000_003, -64, -2_000_000_011))
    s[0, 0, 0] = "minecraft:stone"
    for pos in [(0.1, 0.7, -0.0), (2.9999999999999996, 1e-300, 15.0043293), (-0.0, -0.0, -0.0)]:
        s.entities.append(kubic.Entity(pos, kubic.nbt.Compound({"id": "minecraft:armor_stand"})))
    back = _round_trips(s, first, second)
    assert back.origin == s.origin or "structure" in (first, second)
    assert _entities(back) == _entities(s)


def _file_doubles(data):
    """The entity positions a Sponge or Litematica file holds, in its own frame."""
    document = nbt_util.decode(gzip.decompress(data))[1]
    entries = document["Entities"] if "Entities" in document else document["Regions"]["r"]["Entities"]
    return [tuple(_bits(c) for c in entry["Pos"]) for entry in entries]


def _with_tiny_x(data):
    """A Litematica file whose entity x (-1.5 from its region's corner, as
    kubic wrote it) is -1e-300, as another tool might write it: one that
    moving into the box's frame would round to nothing."""
    raw = gzip.decompress(data)
    assert raw.count(struct.pack(">d", -1.5)) == 1
    return gzip.compress(raw.replace(struct.pack(">d", -1.5), struct.pack(">d", -1e-300)))


# Frames of files other than the box's: Sponge 2 holds entities in the world,
# a Litematica region of negative size counts them from its far corner.
FILE_FRAMES = {
    "sponge 2": ({"sponge_version": 2}, "sponge", (1_000_003, 64, -7), None, lambda data: data),
    "litematica far corner": ({}, "litematica", (0, 0, 0),
                              [{"name": "r", "origin": (0, 0, 0), "size": (3, 2, 3), "position": (2, 1, 2)}],
                              _with_tiny_x),
}


@pytest.mark.parametrize("frame", FILE_FRAMES)
@pytest.mark.parametrize("edit", [lambda s: s, lambda s: s.crop((0, 0, 0), (2, 1, 2)),
                                  lambda s: s.to_version("1.20.1")], ids=["as loaded", "cropped", "to_version"])
def test_a_file_in_another_frame_keeps_its_doubles(frame, edit):
    # Moving positions into the box's frame and out again may round, so a
    # save puts back the file's own doubles while the position is unchanged.
    options, fmt, origin, regions, written_elsewhere = FILE_FRAMES[frame]
    s = kubic.Schematic((3, 2, 3), origin=origin, data_version=3465)
    s[0, 0, 0] = "minecraft:stone"
    if regions:
        s.metadata["regions"] = regions
    s.entities.append(kubic.Entity((0.5, 0.7, -0.0), kubic.nbt.Compound({"id": "minecraft:pig"})))
    first = io.BytesIO()
    s.save(first, fmt, **options)
    source = written_elsewhere(first.getvalue())
    again = io.BytesIO()
    edit(kubic.load(source)).save(again, fmt, **options)
    assert _file_doubles(again.getvalue()) == _file_doubles(source)
