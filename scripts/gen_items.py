#!/usr/bin/env python3
"""Generates core/src/blocks/items.inc: every item of Java 1.21.11 with its
stack size, from the game data's items table, for materials lists.

    python scripts/gen_items.py [path/to/shared/data]
"""
import json

from game_data import data_folder, write_table


def main():
    items = json.loads((data_folder() / "items" / "items-1.21.11.json").read_text())
    rows = [f'{{"{item["name"]}", {item["stackSize"]}}},\n' for item in sorted(items, key=lambda i: i["name"])]
    write_table("core/src/blocks/items.inc", "gen_items.py", "items/items-1.21.11.json", "{item, stack size}", rows)
    print(f"{len(rows)} items")


if __name__ == "__main__":
    main()
