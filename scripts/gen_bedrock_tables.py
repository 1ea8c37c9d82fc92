#!/usr/bin/env python3
"""Generates the Bedrock tables in core/src/blocks/: every Java 1.21.1 state's
Bedrock 1.21.0 state and back, the older Bedrock spellings files of earlier
game versions hold, and the NBT type of every Bedrock state value.

    python scripts/gen_bedrock_tables.py [path/to/shared/data]

A Bedrock 1.21.0 state is named by a number: its block's first number (the
blocks in name order, each counting every combination of its keys' values)
plus its number within the block (keys in name order, values in the order
written, numbers ascending, the last key running fastest). Older spellings
are written "name[key=value,...]" without the "minecraft:" namespace, keys
sorted, numbers and booleans as decimals (the form kubic builds from a file's
palette entry), and numbered after the 1.21.0 states. A Java state is named by its block (its place among the 1.21.1 table's blocks,
sorted by name) and its number within the block: its properties in the
table's order, each value's place in the generated property text (default
first), the last property running fastest. An older spelling whose Java state
is not a 1.21.1 state keeps the Java text and the block table of its time,
for the core to carry it to 1.21.1.
"""
import json

import gen_block_tables
from game_data import ROOT, block_table_files, data_folder, table_text

SOURCE = "bedrock/blocks*.json"
SCRIPT = "gen_bedrock_tables.py"
JAVA_TABLE = "blocks-1.21.1.json"
MODERN = "blocksB2J-bedrock1.21.0-java1.21.1.json"
# Older Bedrock tables, newest first, with the Java block table of their time.
OLDER = [("blocksB2J-bedrock1.20.71.json", "blocks-1.20.5.json"), ("blocksB2J-bedrock1.20.50.json", "blocks-1.20.4.json"),
         ("blocksB2J-bedrock1.20.0.json", "blocks-1.20.json"), ("blocksB2J-bedrock1.19.80.json", "blocks-1.19.4.json"),
         ("blocksB2J-bedrock1.18.30.json", "blocks-1.18.json"), ("blocksB2J-bedrock1.17.0.json", "blocks-1.17.json")]
NONE = 0xFFFFFFFF


def parse_state(text):
    name, _, inner = text.partition("[")
    items = [item.split("=", 1) for item in inner.rstrip("]").split(",") if item]
    return name.removeprefix("minecraft:"), dict(items)


def bedrock_text(text):
    name, props = parse_state(text)
    props = {k: {"true": "1", "false": "0"}.get(v, v) for k, v in props.items()}
    return name + "[" + ",".join(f"{k}={props[k]}" for k in sorted(props)) + "]"


def java_schemas(folder):
    """The 1.21.1 blocks in name order with their properties as the core parses them."""
    versions = json.loads((folder / "versions.json").read_text())
    files = block_table_files(versions)
    tables = {name: json.loads((folder / "blocks" / name).read_text()) for name in files}
    listed = gen_block_tables.listed_values(list(tables.values()))
    schemas = {}
    for block in tables[JAVA_TABLE]:
        text = gen_block_tables.schema_of(block, listed)
        schemas[block["name"]] = [(entry.split("=")[0], entry.split("=")[1].split(",")) for entry in text.split(";")
                                  if entry]
    return dict(sorted(schemas.items())), files


def java_index(schemas, text):
    """(block ordinal, state number) of a 1.21.1 state, or None."""
    name, props = parse_state(text)
    schema = schemas.get(name)
    if schema is None or set(props) != {key for key, _ in schema}:
        return None
    number = 0
    for key, values in schema:
        if props[key] not in values:
            return None
        number = number * len(values) + values.index(props[key])
    return list(schemas).index(name), number


def states_of(schema):
    """Every state of a block in number order, as {key: value}."""
    states = [{}]
    for key, values in schema:
        states = [{**state, key: value} for state in states for value in values]
    return states


def bedrock_schemas(bedrock):
    """Per 1.21.0 Bedrock block, in name order: [(key, type letter, values)], keys sorted."""
    entries = json.loads((bedrock / "blockStates-bedrock1.21.0.json").read_text())
    keys = {}
    for entry in entries:
        for key, value in entry["states"].items():
            kind, seen = keys.setdefault(entry["name"], {}).setdefault(key, (value["type"][0], set()))
            seen.add(value["value"])
        keys.setdefault(entry["name"], {})
    versions = {entry["version"] for entry in entries}
    assert len(versions) == 1
    schemas = {name: [(key, kind, [str(v) for v in sorted(values)]) for key, (kind, values) in sorted(props.items())]
               for name, props in sorted(keys.items())}
    return schemas, versions.pop()


def bedrock_numbering(schemas):
    """Each block's first number, and the count of all."""
    starts, total = {}, 0
    for name, schema in schemas.items():
        starts[name] = total
        size = 1
        for _, _, values in schema:
            size *= len(values)
        total += size
    return starts, total


def bedrock_number(schemas, starts, text):
    name, props = parse_state(text)
    props = {k: {"true": "1", "false": "0"}.get(v, v) for k, v in props.items()}
    schema = schemas.get(name)
    if schema is None or set(props) != {key for key, _, _ in schema}:
        return None
    number = 0
    for key, _, values in schema:
        if props[key] not in values:
            return None
        number = number * len(values) + values.index(props[key])
    return starts[name] + number


def generate(folder):
    bedrock = folder / "bedrock"
    schemas, files = java_schemas(folder)
    ordinal = {name: i for i, name in enumerate(schemas)}
    rocks, version = bedrock_schemas(bedrock)
    starts, total = bedrock_numbering(rocks)
    modern = json.loads((bedrock / MODERN).read_text())
    to_java = {}
    for key, java in modern.items():
        block, number = java_index(schemas, java)
        to_java[bedrock_number(rocks, starts, key)] = f"{block}, {number}"
    older = {}  # older spellings: text -> Java row
    for file, java_file in OLDER:
        for key, java in json.loads((bedrock / file).read_text()).items():
            text = bedrock_text(key)
            if bedrock_number(rocks, starts, key) is not None or text in older:
                continue
            found = java_index(schemas, java)
            older[text] = f'{found[0]}, {found[1]}, ""' if found else f'0, 0, "{java}", {files.index(java_file)}'
    from_java = json.loads((bedrock / "blocksJ2B-java1.21.1-bedrock1.21.0.json").read_text())
    from_java = {java_index(schemas, java): bedrock_number(rocks, starts, b) for java, b in from_java.items()}
    numbers, java_starts = [], []
    for name, schema in schemas.items():
        java_starts.append(f'{{"{name}", {len(numbers)}}},\n')
        numbers += [from_java.get((ordinal[name], n), NONE) for n in range(len(states_of(schema)))]
    rows = [f"{n},\n" if i % 16 == 15 else f"{n}, " for i, n in enumerate(numbers)]
    return {
        "core/src/blocks/bedrock_blocks.inc": table_text(
            SCRIPT, SOURCE, f"Bedrock 1.21.0 blocks (block version {version}): {{name, key:type=value|value;...}} "
            "(types i: Int, b: Byte, s: String)",
            [f'{{"{name}", "' + ";".join(f"{k}:{t}=" + "|".join(v) for k, t, v in schema) + '"},\n'
             for name, schema in rocks.items()]),
        "core/src/blocks/bedrock_to_java.inc": table_text(
            SCRIPT, SOURCE, "{Bedrock state number, Java block, state number}",
            [f"{{{number}, {row}}},\n" for number, row in sorted(to_java.items())]),
        "core/src/blocks/bedrock_older_states.inc": table_text(
            SCRIPT, SOURCE, "older Bedrock spellings: {text, Java block, state number, or the Java text of its "
            "time and its block table}", [f'{{"{text}", {row}}},\n' for text, row in sorted(older.items())]),
        "core/src/blocks/bedrock_from_java_blocks.inc": table_text(
            SCRIPT, SOURCE, "{Java 1.21.1 block, where its states start in the numbers}", java_starts),
        "core/src/blocks/bedrock_from_java.inc": table_text(
            SCRIPT, SOURCE, f"per Java 1.21.1 state: its Bedrock state's number, {NONE} for none (of {total})",
            rows + ["\n"]),
    }


def main():
    for target, text in generate(data_folder()).items():
        (ROOT / target).write_text(text)
    print("Bedrock tables written")


if __name__ == "__main__":
    main()
