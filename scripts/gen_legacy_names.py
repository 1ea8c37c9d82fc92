#!/usr/bin/env python3
"""Generates core/src/formats/mcedit/legacy_names.inc: the numeric id of every
block name of Minecraft 1.12.2 ("red_flower" is 38), for block entities of
that time that name blocks by name, from the game data's blocks-1.12.2.json.

    python scripts/gen_legacy_names.py [path/to/shared/data]
"""
import json

from game_data import data_folder, write_table


def main():
    blocks = json.loads((data_folder() / "legacy" / "blocks-1.12.2.json").read_text())
    rows = [f'{{"{block["name"]}", {block["id"]}}},\n' for block in sorted(blocks, key=lambda b: b["name"])]
    write_table("core/src/formats/mcedit/legacy_names.inc", "gen_legacy_names.py", "legacy/blocks-1.12.2.json",
                "{1.12 name, numeric id}, sorted by name", rows)
    print(f"{len(rows)} names")


if __name__ == "__main__":
    main()
