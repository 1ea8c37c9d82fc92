#!/usr/bin/env python3
"""Generates the tables of Minecraft 1.12 items that 1.13 renamed, from the
game data: core/src/formats/mcedit/legacy_items.inc (numeric id and damage to
the 1.13 item name, from legacy.json) and legacy_item_names.inc (the numeric
id of every 1.12 item name, from items-1.12.2.json).

    python scripts/gen_legacy_items.py [path/to/shared/data]
"""
import json

from game_data import data_folder, write_table


def main():
    legacy = data_folder() / "legacy"
    items = json.loads((legacy / "legacy.json").read_text())["items"]
    pairs = sorted((tuple(int(p) for p in key.split(":")), name) for key, name in items.items())
    write_table("core/src/formats/mcedit/legacy_items.inc", "gen_legacy_items.py", "legacy/legacy.json",
                "{id, damage, 1.13 name}, sorted by id and damage",
                [f'{{{i}, {d}, "{name}"}},\n' for (i, d), name in pairs])
    names = json.loads((legacy / "items-1.12.2.json").read_text())
    write_table("core/src/formats/mcedit/legacy_item_names.inc", "gen_legacy_items.py", "legacy/items-1.12.2.json",
                "{1.12 name, numeric id}, sorted by name",
                [f'{{"{item["name"]}", {item["id"]}}},\n' for item in sorted(names, key=lambda i: i["name"])])
    print(f"{len(pairs)} item variants, {len(names)} names")


if __name__ == "__main__":
    main()
