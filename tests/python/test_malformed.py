"""Damaged inputs end in blocks or in a clear error, never in a crash, a
hang or another exception class."""
import gzip
import io
import random

import pytest

import kubic_rs
import nbt_util
from conftest import corpus_files, sponge_file

MAX_BLOCKS = 200_000
SMALL = 40_000


def inputs():
    files = [p for folder, suffix in (("sponge", ".schem"), ("structure", ".nbt"), ("mcedit", ".schematic"))
             for p in corpus_files(folder, suffix) if p.stat().st_size <= SMALL]
    samples = [(p.name, p.read_bytes()) for p in files]
    cells = {(x, 0, z): "minecraft:oak_stairs[facing=east,half=bottom]" for x in range(4) for z in range(3)}
    base = sponge_file(4, 1, 3, cells)
    for fmt in ("kub", "sponge", "mojang"):
        out = io.BytesIO()
        with kubic_rs.open(base) as r:
            r.save(out, fmt)
        samples.append((f"ours.{fmt}", out.getvalue()))
    return samples


def variants(data, rng):
    raw = nbt_util.gunzip_member(data)
    for _ in range(6):
        yield data[:rng.randrange(len(data) + 1)]
        flipped = bytearray(data)
        for _ in range(rng.randrange(1, 4)):
            flipped[rng.randrange(len(flipped))] ^= 1 << rng.randrange(8)
        yield bytes(flipped)
        if raw:
            yield gzip.compress(raw[:rng.randrange(len(raw) + 1)])
            damaged = bytearray(raw)
            for _ in range(rng.randrange(1, 4)):
                damaged[rng.randrange(len(damaged))] ^= 1 << rng.randrange(8)
            yield gzip.compress(bytes(damaged))


def consume(data, fmt):
    source = io.BytesIO(data)
    if fmt:
        source.type = fmt
    try:
        with kubic_rs.open(source) as r:
            try:
                r.boundary()
            except RuntimeError:
                pass
            total = 0
            for bulk in r.iter_bulks():
                total += len(bulk)
                for block in bulk[:3]:
                    str(block)
                if total > MAX_BLOCKS:
                    break
    except RuntimeError:
        pass


@pytest.mark.parametrize("name, data", inputs() or [pytest.param(None, None, marks=pytest.mark.skip)])
def test_damaged_inputs_fail_cleanly(name, data, capfd):
    rng = random.Random(name)
    for variant in variants(data, rng):
        for fmt in (None, "kub", "sponge", "mojang"):
            consume(variant, fmt)
    capfd.readouterr()


@pytest.mark.parametrize("name, detail", [
    ("minecraft:st\x00one[a=b]", "illegal character in 'minecraft:st\x00one'"),
    ("minecraft:stone[a=\x00b]", "illegal character in property value '\x00b'"),
])
def test_messages_arrive_whole_past_a_nul(name, detail):
    data = io.BytesIO(sponge_file(1, 1, 1, {(0, 0, 0): name}))
    data.type = "sponge"
    with kubic_rs.open(data) as r:
        with pytest.raises(RuntimeError) as info:
            r.read_full()
    assert str(info.value) == "Sponge: Failed to process palette: Malformed BlockState string: " + detail
