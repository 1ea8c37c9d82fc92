#!/usr/bin/env python3
"""The Python benchmark: times, blocks per second and peak memory of
read_full(), bulk iteration and save() between every pair of formats, each
next to its floor measured in the same run:

- object floor: building a list of as many 4-tuples in pure Python;
- gzip floor: zlib decompressing the input plus compressing the output's
  decompressed bytes at level 6;
- np.take floor: NumPy remapping the same array through a palette-sized table;
- rot90/flip + np.take floor: NumPy turning or mirroring the array into a
  contiguous one, then remapping it;
- frombuffer floor: NumPy decoding a Bedrock file's two Int layers;
- counts() floor: Schematic.counts() on the same schematic.

Inputs are generated deterministically: a 256^3 Sponge schematic (about 40%
solid, in runs, about 60 states), the same box as kub, and a 64^3 box in every
format. Every case runs in a fresh process so that peak memory is its own.
Usage: python bench/bench.py [--quick] [--peers]
"""
import argparse
import gzip
import io
import json
import os
import pathlib
import random
import resource
import struct
import subprocess
import sys
import tempfile
import time
import zlib

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "examples"))
from make_house import named, varints  # noqa: E402  (the same NBT helpers)
import peers  # noqa: E402


# --- inputs ----------------------------------------------------------------

def sponge_document(side, seed=1):
    rng = random.Random(seed)
    states = [f"minecraft:block_{i}" for i in range(50)] + [
        f"minecraft:stairs_{i}[facing={f},half=bottom]" for i, f in enumerate(["north", "south", "east", "west"] * 3)]
    palette = {"minecraft:air": 0}
    for s in states:
        palette[s] = len(palette)
    data = bytearray()
    volume = side ** 3
    while len(data) < volume:
        run = min(rng.randrange(1, 300), volume - len(data))
        index = palette[rng.choice(states)] if rng.random() < 0.4 else 0
        data += bytes([index]) * run
    block_data = varints(data) if len(palette) > 127 else bytes(data)
    entries = [named(3, n) + struct.pack(">i", i) for n, i in palette.items()]
    blocks = b"".join([named(10, "Palette") + b"".join(entries) + b"\x00",
                       named(7, "Data") + struct.pack(">i", len(block_data)) + block_data]) + b"\x00"
    schematic = b"".join([named(3, "Version") + struct.pack(">i", 3), named(3, "DataVersion") + struct.pack(">i", 3465),
                          named(2, "Width") + struct.pack(">h", side), named(2, "Height") + struct.pack(">h", side),
                          named(2, "Length") + struct.pack(">h", side), named(10, "Blocks") + blocks]) + b"\x00"
    return named(10, "") + named(10, "Schematic") + schematic + b"\x00"


# Real block states for the Bedrock copy: the generated Sponge box's names
# are not blocks of any game.
REAL_STATES = ["minecraft:" + name for name in (
    "stone", "granite", "diorite", "andesite", "dirt", "cobblestone", "oak_planks", "spruce_planks", "birch_planks",
    "sand", "gravel", "gold_ore", "iron_ore", "coal_ore", "oak_log[axis=y]", "glass", "lapis_block", "sandstone",
    "white_wool", "red_wool", "blue_wool", "gold_block", "iron_block", "bricks", "bookshelf", "mossy_cobblestone",
    "obsidian", "diamond_block", "crafting_table", "snow_block", "clay", "pumpkin", "netherrack", "glowstone",
    "stone_bricks", "melon", "end_stone", "emerald_block", "quartz_block", "prismarine", "sea_lantern",
    "hay_block[axis=y]", "terracotta", "coal_block", "packed_ice", "red_sandstone", "purpur_block", "magma_block",
    "bone_block[axis=y]", "oak_stairs[facing=north,half=bottom,shape=straight,waterlogged=false]",
    "oak_stairs[facing=east,half=bottom,shape=straight,waterlogged=false]",
    "oak_slab[type=bottom,waterlogged=true]", "tuff", "calcite", "deepslate[axis=y]", "copper_block", "mud",
    "cherry_planks", "bamboo_planks", "moss_block", "sculk", "amethyst_block")]


def bedrock_copy(sponge_path, out_path):
    """The Sponge box as a Bedrock structure of real states."""
    import kubic
    schematic = kubic.load(sponge_path)
    schematic.palette = ["minecraft:air"] + REAL_STATES[:len(schematic.palette) - 1]
    schematic.data_version = 3955
    schematic.save(out_path, "mcstructure")


def make_inputs(folder, quick):
    import kubic_rs
    big = 128 if quick else 256
    files = {}
    files["sponge256"] = folder / "big.schem"
    files["sponge256"].write_bytes(gzip.compress(sponge_document(big), 6, mtime=0))
    files["kub256"] = folder / "big.kub"
    with kubic_rs.open(str(files["sponge256"])) as r:
        r.save(str(files["kub256"]), "kub")
    # Litematica of the same blocks, written through the package.
    import kubic
    files["litematica256"] = folder / "big.litematic"
    kubic.load(files["sponge256"]).save(files["litematica256"])
    # A box of air as large as a structure gets (250x256x250): every
    # position is an entry.
    files["air_structure"] = folder / "air.nbt"
    kubic.Schematic((250, 256, 250)).save(files["air_structure"])
    files["mcstructure256"] = folder / "big.mcstructure"
    bedrock_copy(files["sponge256"], files["mcstructure256"])
    small = folder / "small.schem"
    small.write_bytes(gzip.compress(sponge_document(64, seed=2), 6, mtime=0))
    files["sponge64"] = small
    for fmt, ext in (("kub", "kub"), ("mojang", "nbt")):
        files[f"{fmt}64"] = folder / f"small.{ext}"
        with kubic_rs.open(str(small)) as r:
            r.save(str(files[f"{fmt}64"]), fmt)
    return files


# --- one measured case, in its own process -------------------------------------

CASE = r'''
import gc, io, json, sys, time, zlib
import kubic_rs
kind, path, fmt, out = sys.argv[1:5]
if kind.startswith("api") or kind in ("threads", "sequential", "to_version", "take_floor", "rot90_floor",
                                      "flip_floor", "frombuffer_floor", "counts_floor"):
    import kubic  # before the clock starts: its import is not the case's time
    import numpy as np


def status(field):
    for line in open("/proc/self/status"):
        if line.startswith(field + ":"):
            return int(line.split()[1])


# Peak memory of the case alone: reset the high-water mark, measure from here.
with open("/proc/self/clear_refs", "w") as f:
    f.write("5")
base = status("VmRSS")
gc.disable()
start = time.perf_counter()
blocks = 0
if kind == "read_full":
    with kubic_rs.open(path) as r:
        blocks = len(r.read_full())
elif kind == "bulks":
    with kubic_rs.open(path) as r:
        for bulk in r.iter_bulks():
            blocks += len(bulk)
elif kind == "save":
    with kubic_rs.open(path) as r:
        r.save(out, fmt)
elif kind == "object_floor":
    n = int(fmt)
    xs = range(n)
    t = [(x, x, x, None) for x in xs]
    blocks = len(t)
elif kind == "api_load":
    blocks = kubic.load(path).blocks.size
elif kind == "api_counts":
    blocks = sum(kubic.load(path).counts().values())
elif kind == "api_save":
    schematic = kubic.load(path)
    start = time.perf_counter()
    schematic.save(out, fmt)
elif kind in ("to_version", "take_floor"):
    # 1.13.2 states that all change on the way to 1.21.11, and ones that do not.
    schematic = kubic.load(path)
    old = ["minecraft:grass", "minecraft:grass_path", "minecraft:stone_slab[type=top,waterlogged=false]",
           "minecraft:cobblestone_wall[east=true,north=false,south=true,up=true,waterlogged=false,west=false]"]
    old += [f"minecraft:sign[rotation={r},waterlogged=false]" for r in range(16)]
    old += [f"minecraft:oak_leaves[distance={d},persistent=true]" for d in range(1, 8)]
    unchanged = [f"minecraft:{name}_wool" for name in ("white", "red", "blue", "green", "black", "lime")] * 10
    schematic.palette = ["minecraft:air"] + (old + unchanged)[:len(schematic.palette) - 1]
    schematic.data_version = 1631
    mapping = np.arange(len(schematic.palette), dtype=np.uint16)[::-1].copy()
    start = time.perf_counter()
    if kind == "to_version":
        schematic.to_version("1.21.11")
    else:
        np.take(mapping, schematic.blocks)
    blocks = schematic.blocks.size
elif kind in ("api_rotate", "api_flip", "rot90_floor", "flip_floor"):
    schematic = kubic.load(path)
    blocks = schematic.blocks.size
    mapping = np.arange(len(schematic.palette), dtype=schematic.blocks.dtype)
    start = time.perf_counter()
    if kind == "api_rotate":
        schematic.rotate()
    elif kind == "api_flip":
        schematic.flip("x")
    else:
        turned = np.rot90(schematic.blocks) if kind == "rot90_floor" else np.flip(schematic.blocks, 0)
        np.take(mapping, np.ascontiguousarray(turned))
elif kind in ("api_materials", "counts_floor"):
    schematic = kubic.load(path)
    blocks = schematic.blocks.size
    start = time.perf_counter()
    schematic.materials() if kind == "api_materials" else schematic.counts()
elif kind == "frombuffer_floor":
    # The two Int layers straight out of the file's bytes.
    data = open(path, "rb").read()
    at = data.index(b"block_indices") + len(b"block_indices") + 5
    for _ in range(2):
        count = int.from_bytes(data[at + 1:at + 5], "little")
        np.frombuffer(data, "<i4", count, at + 5).copy()
        at += 5 + 4 * count
elif kind in ("threads", "sequential"):
    import shutil, threading
    copies = [f"{out}.{i}{path[path.rfind('.'):]}" for i in range(2)]
    for copy in copies:
        shutil.copy(path, copy)
    def convert(i):
        kubic.load(copies[i]).save(f"{out}.{i}.out", fmt)
    start = time.perf_counter()
    if kind == "sequential":
        convert(0); convert(1)
    else:
        workers = [threading.Thread(target=convert, args=(i,)) for i in range(2)]
        [w.start() for w in workers]; [w.join() for w in workers]
elif kind == "inflate_floor":
    data = open(path, "rb").read()
    start = time.perf_counter()
    zlib.decompressobj(16 + zlib.MAX_WBITS).decompress(data)
elif kind == "deflate_floor":
    raw = zlib.decompressobj(16 + zlib.MAX_WBITS).decompress(open(out, "rb").read())
    start = time.perf_counter()
    zlib.compress(raw, 6)
elif kind == "gzip_floor":
    data = open(path, "rb").read()
    raw = zlib.decompressobj(16 + zlib.MAX_WBITS).decompress(data)
    out_raw = zlib.decompressobj(16 + zlib.MAX_WBITS).decompress(open(out, "rb").read())
    start = time.perf_counter()
    zlib.decompressobj(16 + zlib.MAX_WBITS).decompress(data)
    c = zlib.compressobj(6, zlib.DEFLATED, 31)
    c.compress(out_raw); c.flush()
elapsed = time.perf_counter() - start
peak = status("VmHWM") - base
print(json.dumps({"seconds": elapsed, "blocks": blocks, "peak_kb": peak}))
'''


def run_case(python, *args, repeat=3):
    results = []
    for _ in range(repeat):
        out = subprocess.run([python, "-c", CASE, *map(str, args)], capture_output=True, text=True, check=True)
        results.append(json.loads(out.stdout.strip().splitlines()[-1]))
    results.sort(key=lambda r: r["seconds"])
    return results[len(results) // 2]


def decompressed_size(path):
    return len(zlib.decompressobj(16 + zlib.MAX_WBITS).decompress(pathlib.Path(path).read_bytes()))


# --- peers ---------------------------------------------------------------------

# NBT parsers alone, for the document under the blocks; whole jobs are
# compared in peers.py.
PEER_SCRIPT = r'''
import json, sys, time
kind, path = sys.argv[1:3]
start = time.perf_counter()
if kind == "amulet-nbt":
    import amulet_nbt
    (getattr(amulet_nbt, "read_nbt", None) or getattr(amulet_nbt, "load"))(path)
elif kind == "rapidnbt":
    import rapidnbt
    rapidnbt.nbtio.load(path) if hasattr(rapidnbt, "nbtio") else rapidnbt.load(path)
print(json.dumps({"seconds": time.perf_counter() - start}))
'''

PEERS = {"amulet-nbt": "amulet-nbt: NBT parse only", "rapidnbt": "rapidnbt: NBT parse only"}


# --- deflate libraries on our documents ---------------------------------------------

CODEC_SCRIPT = r'''
import json, sys, time, zlib
raw = open(sys.argv[1], "rb").read()
rows = []

def timed(fn, repeat=3):
    best = None
    for _ in range(repeat):
        start = time.perf_counter()
        out = fn()
        took = time.perf_counter() - start
        best = took if best is None or took < best else best
    return best, out

def row(library, level, compress, decompress):
    took, packed = timed(lambda: compress(raw))
    back, _ = timed(lambda: decompress(packed))
    rows.append({"library": library, "level": level, "deflate_s": took, "size": len(packed), "inflate_s": back})

for level in (1, 6):
    row("zlib", level, lambda d, l=level: zlib.compress(d, l), zlib.decompress)
try:
    import deflate
    for level in (6, 7, 8):
        row("libdeflate", level, lambda d, l=level: deflate.zlib_compress(d, l),
            lambda d: deflate.zlib_decompress(d, len(raw)))
except ImportError:
    pass
try:
    from isal import isal_zlib
    for level in (1, 2, 3):
        row("ISA-L", level, lambda d, l=level: isal_zlib.compress(d, l), isal_zlib.decompress)
except ImportError:
    pass
try:
    from zlib_ng import zlib_ng
    for level in (1, 6):
        row("zlib-ng", level, lambda d, l=level: zlib_ng.compress(d, l), zlib_ng.decompress)
except ImportError:
    pass
print(json.dumps(rows))
'''


def codec_rows(documents, venv):
    """Deflate and inflate times and sizes of each library on each document."""
    python = ensure_venv(venv)
    subprocess.run([python, "-m", "pip", "install", "-q", "deflate", "isal", "zlib-ng"], capture_output=True,
                   timeout=600)
    for name, path in documents.items():
        raw = path.with_suffix(".raw")
        raw.write_bytes(zlib.decompressobj(16 + zlib.MAX_WBITS).decompress(path.read_bytes()))
        result = subprocess.run([python, "-c", CODEC_SCRIPT, str(raw)], capture_output=True, text=True, timeout=1800)
        for r in json.loads(result.stdout):
            yield name, r


def ensure_venv(venv):
    if not (venv / "bin" / "python").exists():
        subprocess.run([sys.executable, "-m", "venv", str(venv)], check=True)
    return str(venv / "bin" / "python")


def peer_rows(path, venv):
    rows = []
    python = ensure_venv(venv)
    for package, what in PEERS.items():
        installed = subprocess.run([python, "-m", "pip", "install", "-q", package], capture_output=True, timeout=600)
        if installed.returncode != 0:
            rows.append((what, None, "did not install"))
            continue
        result = subprocess.run([python, "-c", PEER_SCRIPT, package, str(path)], capture_output=True, text=True,
                                timeout=1800)
        if result.returncode != 0:
            rows.append((what, None, "failed: " + result.stderr.strip().splitlines()[-1][:60]))
            continue
        rows.append((what, json.loads(result.stdout)["seconds"], ""))
    return rows


# --- the table -------------------------------------------------------------------

def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--quick", action="store_true", help="a 128^3 box instead of 256^3")
    parser.add_argument("--peers", action="store_true", help="also time peer libraries (installs them)")
    parser.add_argument("--api", action="store_true", help="only the kubic package's rows")
    parser.add_argument("--codecs", action="store_true", help="also compare deflate libraries (installs them)")
    args = parser.parse_args()
    python = sys.executable
    with tempfile.TemporaryDirectory() as tmp:
        folder = pathlib.Path(tmp)
        files = make_inputs(folder, args.quick)
        print(f"{'case':48} {'time s':>8} {'Mblocks/s':>10} {'peak MB':>8} {'floor s':>8} {'ratio':>6}")

        def row(label, result, floor):
            rate = result["blocks"] / result["seconds"] / 1e6 if result["blocks"] else 0
            ratio = result["seconds"] / floor if floor else 0
            print(f"{label:48} {result['seconds']:8.3f} {rate:10.1f} {result['peak_kb'] / 1024:8.1f} "
                  f"{floor:8.3f} {ratio:6.2f}")

        big = "sponge256"
        for kind in ("api_load", "api_counts"):
            result = run_case(python, kind, files[big], "", "")
            row(f"kubic.load{'' if kind == 'api_load' else ' + counts()'} {big} (inflate floor)", result,
                run_case(python, "inflate_floor", files[big], "", "")["seconds"])
        row("kubic.load air_structure 250x256x250 (inflate floor)",
            run_case(python, "api_load", files["air_structure"], "", ""),
            run_case(python, "inflate_floor", files["air_structure"], "", "")["seconds"])
        out = folder / "api-out.nbt"
        result = run_case(python, "api_save", files["air_structure"], "structure", out)
        row("Schematic.save air_structure 250x256x250 -> structure (deflate floor)", result,
            run_case(python, "deflate_floor", "", "", out)["seconds"])
        row(f"Schematic.materials {big} (counts() floor)", run_case(python, "api_materials", files[big], "", ""),
            run_case(python, "counts_floor", files[big], "", "")["seconds"])
        bedrock = "mcstructure256"
        row(f"kubic.load {bedrock} (frombuffer floor)", run_case(python, "api_load", files[bedrock], "", ""),
            run_case(python, "frombuffer_floor", files[bedrock], "", "")["seconds"])
        out = folder / "api-out.schem"
        result = run_case(python, "api_save", files[big], "sponge", out)
        row(f"Schematic.save {big} -> sponge (deflate floor)", result,
            run_case(python, "deflate_floor", "", "", out)["seconds"])
        lite = "litematica256"
        row(f"kubic.load {lite} (inflate floor)", run_case(python, "api_load", files[lite], "", ""),
            run_case(python, "inflate_floor", files[lite], "", "")["seconds"])
        out = folder / "api-out.litematic"
        result = run_case(python, "api_save", files[lite], "litematica", out)
        row(f"Schematic.save {lite} -> litematica (deflate floor)", result,
            run_case(python, "deflate_floor", "", "", out)["seconds"])
        for kind, floor in (("api_rotate", "rot90_floor"), ("api_flip", "flip_floor")):
            row(f"Schematic.{kind[4:]} {big} ({floor.replace('_floor', '')} + np.take floor)",
                run_case(python, kind, files[big], "", ""), run_case(python, floor, files[big], "", "")["seconds"])
        row(f"Schematic.to_version {big} 1.13.2 -> 1.21.11 (np.take floor)",
            run_case(python, "to_version", files[big], "", ""), run_case(python, "take_floor", files[big], "", "")["seconds"])
        for fmt in ("sponge", "kub"):
            sequential = run_case(python, "sequential", files[big], fmt, folder / "seq")
            row(f"2 threads load+save {big} -> {fmt} (sequential)", run_case(python, "threads", files[big], fmt,
                                                                              folder / "par"),
                sequential["seconds"])
        if args.api:
            return
        for key in ("sponge256", "kub256"):
            path = files[key]
            for kind in ("read_full", "bulks"):
                result = run_case(python, kind, path, "", "")
                floor = run_case(python, "object_floor", "", result["blocks"], "")["seconds"]
                row(f"{kind} {key} (object floor)", result, floor)
            print(f"{'':48} decompressed document: {decompressed_size(path) / 2**20:.1f} MB")
        for source in ("sponge256", "kub256", "sponge64", "kub64", "mojang64"):
            targets = ("kub", "sponge", "mojang") if source.endswith("64") else ("kub", "sponge")
            for fmt in targets:
                out = folder / f"out-{source}.{fmt}"
                result = run_case(python, "save", files[source], fmt, out)
                floor = run_case(python, "gzip_floor", files[source], "", out)["seconds"]
                row(f"save {source} -> {fmt} (gzip floor)", result, floor)
        if args.codecs:
            print(f"\n{'document':16} {'library':11} {'level':>5} {'deflate s':>10} {'size':>10} {'inflate s':>10}")
            documents = {"sponge 256^3": files["sponge256"], "litematica 256^3": files["litematica256"],
                         "structure 64^3": files["mojang64"]}
            for name, r in codec_rows(documents, HERE.parent / "build" / "venv-peers"):
                print(f"{name:16} {r['library']:11} {r['level']:5} {r['deflate_s']:10.3f} {r['size']:10} "
                      f"{r['inflate_s']:10.3f}")
        if args.peers:
            print()
            for what, seconds, note in peer_rows(files["sponge256"], HERE.parent / "build" / "venv-peers"):
                print(f"{what:70} {seconds if seconds is None else f'{seconds:8.3f}'} {note}")
            peers.table(python, HERE.parent / "build" / "venv-peers", folder, sponge_document, bedrock_copy)


if __name__ == "__main__":
    main()
