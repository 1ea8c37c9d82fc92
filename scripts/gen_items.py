#!/usr/bin/env python3
"""Generates core/src/blocks/items.inc: every item of Java 1.21.11 with its
stack size, from the game data's items table, for materials lists.

    python scripts/gen_items.py [path/to/shared/data]
"""
import json

from game_data import ROOT, data_folder, table_text


def generate(folder):
    """The generated file's text, by path in the project."""
    items = json.loads((folder / "items" / "items-1.21.11.json").read_text())
    rows = [f'{{"{item["name"]}", {item["stackSize"]}}},\n' for item in sorted(items, key=lambda i: i["name"])]
    return {"core/src/blocks/items.inc": table_text("gen_items.py", "items/items-1.21.11.json", "{item, stack size}",
                                                    rows)}


def main():
    for target, text in generate(data_folder()).items():
        (ROOT / target).write_text(text)
    print("items written")


if __name__ == "__main__":
    main()
