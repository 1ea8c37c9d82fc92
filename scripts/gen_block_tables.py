#!/usr/bin/env python3
"""Generates core/src/blocks/block_spans.inc and block_properties.inc: every block of every Java block
table in the game data (1.13.2 on), with its properties, their allowed values
and its default state, for converting schematics between game versions.

    python scripts/gen_block_tables.py [path/to/shared/data]

A block's properties are written as one text, "key=default,other,...;key=...",
the default value first and the keys in the table's order; the texts are
written once each and blocks refer to them by number. A block row spans the
tables, oldest to newest, in which it has the same properties.

The collected tables write one property in more than one way (an int with no
values listed, only their number; the same property typed enum in one table
and int in the next): values are taken as text, bools as true/false, and an
int without values takes the ones another table lists for that block and
property, or 0 to n-1 when none does (the cauldron's level before 1.17).
"""
import json

from game_data import ROOT, block_table_files, data_folder, table_text


def listed_values(tables):
    """Per (block, property), the values some table lists for it."""
    listed = {}
    for blocks in tables:
        for block in blocks:
            for prop in block.get("states", []):
                if prop.get("values"):
                    listed[(block["name"], prop["name"])] = [str(v) for v in prop["values"]]
    return listed


def values_of(block, prop, listed):
    if prop["type"] == "bool":
        return ["true", "false"]
    if prop.get("values"):
        return [str(v) for v in prop["values"]]
    values = listed.get((block["name"], prop["name"]))
    if values is None or len(values) != prop["num_values"]:
        values = [str(n) for n in range(prop["num_values"])]
    return values


def schema_of(block, listed):
    """The block's properties as text, each key's default value first."""
    props = block.get("states", [])
    per_key = [values_of(block, p, listed) for p in props]
    # State ids count the properties in order, the last one fastest.
    offset = block["defaultState"] - block["minStateId"]
    defaults = []
    for values in reversed(per_key):
        defaults.append(values[offset % len(values)])
        offset //= len(values)
    defaults.reverse()
    return ";".join(f"{p['name']}=" + ",".join([d] + [v for v in values if v != d])
                    for p, values, d in zip(props, per_key, defaults))


def generate(folder):
    """The generated files' texts, by path in the project."""
    files = block_table_files(json.loads((folder / "versions.json").read_text()))
    tables = [json.loads((folder / "blocks" / name).read_text()) for name in files]
    listed = listed_values(tables)
    schemas, spans = {}, []  # spans: [name, first, last, schema]
    open_spans = {}
    for index, blocks in enumerate(tables):
        for block in blocks:
            schema = schemas.setdefault(schema_of(block, listed), len(schemas))
            span = open_spans.get(block["name"])
            if span is not None and span[2] == index - 1 and span[3] == schema:
                span[2] = index
            else:
                span = open_spans[block["name"]] = [block["name"], index, index, schema]
                spans.append(span)
    source = "blocks/blocks-<version>.json"
    return {
        "core/src/blocks/block_properties.inc": table_text(
            "gen_block_tables.py", source, "a block's properties: key=default,value,...;key=...",
            [f'"{text}",\n' for text in schemas]),
        "core/src/blocks/block_spans.inc": table_text(
            "gen_block_tables.py", source, "{block, first table, last table, number of its properties' text}",
            [f'{{"{name}", {first}, {last}, {schema}}},\n' for name, first, last, schema in sorted(spans)]),
    }


def main():
    for target, text in generate(data_folder()).items():
        (ROOT / target).write_text(text)
    print("block tables written")


if __name__ == "__main__":
    main()
