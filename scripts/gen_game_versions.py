#!/usr/bin/env python3
"""Generates core/src/blocks/game_versions.inc: every Java release from 1.13.2
on with its DataVersion, and whether the game data has a block table for it,
from the game data's versions.json.

    python scripts/gen_game_versions.py [path/to/shared/data]
"""
import json

from game_data import data_folder, write_table


def main():
    versions = json.loads((data_folder() / "versions.json").read_text())
    rows = [f'{{"{v["version"]}", {v["dataVersion"]}, {"true" if v["blocks"] else "false"}}},\n' for v in versions]
    write_table("core/src/blocks/game_versions.inc", "gen_game_versions.py", "versions.json",
                "{release, DataVersion, has a block table}", rows)
    print(f"{len(rows)} releases")


if __name__ == "__main__":
    main()
