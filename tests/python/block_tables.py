"""The game data's block tables for tests: every state of a version, and
whether a state is one of its states. Tests that need them skip when the
data is absent."""
import functools
import itertools
import json
import pathlib
import sys

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
DATA = ROOT.parent / "shared" / "data"
sys.path.insert(0, str(ROOT / "scripts"))
import gen_block_tables  # noqa: E402
from game_data import block_table_files  # noqa: E402

needs_data = pytest.mark.skipif(not DATA.is_dir(), reason="the game data is absent")


@functools.cache
def versions():
    return json.loads((DATA / "versions.json").read_text())


@functools.cache
def tables():
    """Per table file: its name, its first release's DataVersion and {block: {key: values}}."""
    files = block_table_files(versions())
    raw = [json.loads((DATA / "blocks" / name).read_text()) for name in files]
    listed = gen_block_tables.listed_values(raw)
    out = []
    for name, blocks in zip(files, raw):
        first = next(v["dataVersion"] for v in versions() if v["blocks"] == name)
        props = {b["name"]: {p["name"]: gen_block_tables.values_of(b, p, listed) for p in b.get("states", [])}
                 for b in blocks}
        out.append((name, first, props))
    return out


def table(name):
    """The (name, DataVersion, blocks) of one table file."""
    return next(entry for entry in tables() if entry[0] == name)


def states(props):
    """Every state of a table, canonical text, with its block name."""
    for block, keys in props.items():
        ordered = sorted(keys)
        for values in itertools.product(*(keys[k] for k in ordered)):
            inner = ",".join(f"{k}={v}" for k, v in zip(ordered, values))
            yield block, f"minecraft:{block}[{inner}]" if inner else f"minecraft:{block}"


def valid(state, props):
    name, _, inner = state.partition("[")
    keys = props.get(name.removeprefix("minecraft:"))
    if keys is None:
        return False
    given = dict(item.split("=") for item in inner.rstrip("]").split(",") if item)
    return given.keys() == keys.keys() and all(given[k] in keys[k] for k in keys)
