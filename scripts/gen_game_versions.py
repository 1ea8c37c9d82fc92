#!/usr/bin/env python3
"""Generates core/src/blocks/game_versions.inc: every Java release from 1.13.2
on with its DataVersion and the number of the block table that describes it
(-1 for none yet), from the game data's versions.json.

    python scripts/gen_game_versions.py [path/to/shared/data]
"""
import json

from game_data import block_table_files, data_folder, write_table


def main():
    versions = json.loads((data_folder() / "versions.json").read_text())
    tables = block_table_files(versions)
    rows = [f'{{"{v["version"]}", {v["dataVersion"]}, {tables.index(v["blocks"]) if v["blocks"] else -1}}},\n'
            for v in versions]
    write_table("core/src/blocks/game_versions.inc", "gen_game_versions.py", "versions.json",
                "{release, DataVersion, block table (-1: none)}", rows)
    print(f"{len(rows)} releases")


if __name__ == "__main__":
    main()
