#!/usr/bin/env python3
"""Writes seed inputs for the fuzz harnesses: corpus documents (decompressed,
for the parsers and readers; compressed, for the gzip decoder) and our own
writers' outputs when the module is importable."""
import gzip
import io
import pathlib
import sys
import zlib

MAX_SEED = 100_000


def first_member(data):
    return zlib.decompressobj(16 + zlib.MAX_WBITS).decompress(data)


def main(out_dir, corpus_dir):
    out, corpus = pathlib.Path(out_dir), pathlib.Path(corpus_dir)
    seeds = {name: out / name for name in (
        "fuzz_block_state", "fuzz_update", "fuzz_nbt_tree", "fuzz_nbt_stream", "fuzz_kub_reader",
        "fuzz_sponge_reader", "fuzz_structure_reader", "fuzz_mcedit_reader", "fuzz_detection", "fuzz_gzip",
        "fuzz_conversion", "fuzz_litematica_reader", "fuzz_mcstructure_reader", "fuzz_array_roads")}
    for folder in seeds.values():
        folder.mkdir(parents=True, exist_ok=True)

    def put(harness, name, data):
        if len(data) <= MAX_SEED:
            (seeds[harness] / name).write_bytes(data)

    for i, text in enumerate(["minecraft:stone", "minecraft:oak_stairs[facing=east,half=bottom]",
                              " minecraft : a [ b = c , d = e ] ", "stone", "a:b[c]"]):
        put("fuzz_block_state", f"state{i}", text.encode())
        put("fuzz_update", f"diff{i}", (text + "\n:granite+facing=north-half").encode())

    files = sorted(p for p in corpus.rglob("*")
                   if p.suffix in (".schem", ".nbt", ".schematic", ".litematic", ".mcstructure"))
    try:
        import kubic_rs
    except ImportError:
        kubic_rs = None
    # The legacy reader's notices are of no interest here.
    import os
    devnull = os.open(os.devnull, os.O_WRONLY)
    os.dup2(devnull, 1)
    for path in files:
        packed = path.read_bytes()
        # Bedrock's files are stored plain.
        raw = packed if path.suffix == ".mcstructure" else first_member(packed)
        put("fuzz_gzip", path.name, packed)
        for harness in ("fuzz_nbt_tree", "fuzz_nbt_stream", "fuzz_detection", "fuzz_conversion", "fuzz_array_roads"):
            put(harness, path.name, raw)
        reader = {".schem": "fuzz_sponge_reader", ".nbt": "fuzz_structure_reader",
                  ".schematic": "fuzz_mcedit_reader", ".litematic": "fuzz_litematica_reader",
                  ".mcstructure": "fuzz_mcstructure_reader"}[path.suffix]
        put(reader, path.name, raw)
        if kubic_rs is None or len(raw) > MAX_SEED:
            continue
        for fmt, harness in (("kub", "fuzz_kub_reader"), ("sponge", "fuzz_sponge_reader"),
                             ("mojang", "fuzz_structure_reader"), ("litematica", "fuzz_litematica_reader"),
                             ("mcstructure", "fuzz_mcstructure_reader")):
            try:
                with kubic_rs.open(packed) as r:
                    sink = io.BytesIO()
                    r.save(sink, fmt)
                written = sink.getvalue()
                put(harness, f"ours-{fmt}-{path.name}", written if fmt == "mcstructure" else gzip.decompress(written))
            except (RuntimeError, ValueError):
                pass


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
