import pathlib

import pytest

import nbt_util

CORPUS = pathlib.Path(__file__).resolve().parents[2].parent / "shared" / "corpus"


def _unsupported():
    listing = pathlib.Path(__file__).resolve().parents[1] / "corpus_unsupported.tsv"
    rows = (line.split("\t", 1) for line in listing.read_text().splitlines() if line and not line.startswith("#"))
    return {path: why for path, why in rows}


# Corpus files kubic does not read (yet), by path under the corpus folder.
UNSUPPORTED = _unsupported()


def unsupported(path):
    """Why kubic does not read this corpus file, or None."""
    return UNSUPPORTED.get(f"{path.parent.name}/{path.name}")


def corpus_files(folder, suffix):
    """Corpus files of one format; empty when the corpus is absent."""
    if not CORPUS.is_dir():
        return []
    return sorted((CORPUS / folder).glob("*" + suffix))


def corpus_params(folder, suffix):
    files = corpus_files(folder, suffix)
    if not files:
        return [pytest.param(None, marks=pytest.mark.skip(reason="corpus folder absent"))]
    return [pytest.param(path, id=path.name) for path in files]


AIR = {"minecraft:air", "minecraft:cave_air", "minecraft:void_air"}

STATES = ["minecraft:stone", "minecraft:dirt", "minecraft:oak_log[axis=y]",
          "minecraft:oak_stairs[facing=east,half=bottom]", "minecraft:glass"]


def sponge_file(width, height, length, cells, nested=False):
    """A Sponge schematic with `cells` {(x, y, z): state string}."""
    palette = {"minecraft:air": 0}
    data = []
    for y in range(height):
        for z in range(length):
            for x in range(width):
                state = cells.get((x, y, z), "minecraft:air")
                data.append(palette.setdefault(state, len(palette)))
    blocks = {"Palette": palette, ("Data" if nested else "BlockData"): nbt_util.varints(data)}
    sizes = {"Width": nbt_util.short(width), "Height": nbt_util.short(height),
             "Length": nbt_util.short(length)}
    if nested:
        return nbt_util.gzipped({"Schematic": {**sizes, "Version": 3, "Blocks": blocks}})
    return nbt_util.gzipped({**sizes, "Version": 2, **blocks}, "Schematic")


@pytest.fixture
def sample_cells():
    cells = {}
    for x in range(6):
        for y in range(4):
            for z in range(5):
                if (x * 7 + y * 3 + z) % 4:
                    cells[(x, y, z)] = STATES[(x + y + z) % len(STATES)]
    return cells


@pytest.fixture
def sample_sponge(sample_cells):
    return sponge_file(6, 4, 5, sample_cells)


def describe(blocks):
    return [(b.position().x(), b.position().y(), b.position().z(), str(b.state())) for b in blocks]


def describe_unordered(blocks):
    """Like describe, with properties sorted: the Sponge format stores states
    in their sorted text form, so their property order does not survive it."""
    return [(b.position().x(), b.position().y(), b.position().z(), b.state().name(),
             tuple(sorted(b.state().properties()))) for b in blocks]


def state_text(name, properties):
    return name + "[" + ", ".join(f"{k}={v}" for k, v in properties) + "]"
