#!/usr/bin/env python3
"""Generates core/src/formats/mcedit/legacy_pairs.inc: which legacy block id and
data value pairs the game itself wrote before the flattening, one 16-bit mask
per id (bit d set when data value d occurs), from the game data's legacy.json.

    python scripts/gen_legacy_pairs.py [path/to/shared/data]
"""
import json

from game_data import data_folder, write_table


def masks(legacy):
    out = [0] * 256
    for key in legacy["blocks"]:
        block_id, data = (int(part) for part in key.split(":"))
        if block_id < 256 and data < 16:
            out[block_id] |= 1 << data
    return out


def main():
    values = masks(json.loads((data_folder() / "legacy" / "legacy.json").read_text()))
    rows = [", ".join(f"0x{m:04x}" for m in values[i:i + 8]) + ",\n" for i in range(0, 256, 8)]
    write_table("core/src/formats/mcedit/legacy_pairs.inc", "gen_legacy_pairs.py", "legacy.json", "", rows)
    print(f"{sum(bin(m).count('1') for m in values)} pairs")


if __name__ == "__main__":
    main()
