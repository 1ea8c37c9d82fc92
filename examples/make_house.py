#!/usr/bin/env python3
"""Writes examples/house.schem: a small generated house in the Sponge
format, the sample that the README's commands run on."""
import gzip
import pathlib
import struct


def varints(values):
    out = bytearray()
    for v in values:
        while v >= 0x80:
            out.append((v & 0x7F) | 0x80)
            v >>= 7
        out.append(v)
    return bytes(out)


def named(tag, name):
    data = name.encode()
    return struct.pack(">bH", tag, len(data)) + data


def compound(entries):
    return b"".join(entries) + b"\x00"


def house():
    width, height, length = 9, 7, 8
    cells = {}
    for x in range(width):
        for z in range(length):
            cells[(x, 0, z)] = "minecraft:cobblestone"
            for y in range(1, 5):
                if x in (0, width - 1) or z in (0, length - 1):
                    window = y == 2 and (x == 4 or z == 3)
                    cells[(x, y, z)] = "minecraft:glass_pane" if window else "minecraft:oak_planks"
            cells[(x, 5, z)] = "minecraft:oak_slab[type=bottom,waterlogged=false]"
    cells[(4, 1, 0)] = "minecraft:oak_door[facing=north,half=lower,hinge=left,open=false,powered=false]"
    cells[(4, 2, 0)] = "minecraft:oak_door[facing=north,half=upper,hinge=left,open=false,powered=false]"
    cells[(2, 1, 5)] = "minecraft:crafting_table"
    cells[(6, 1, 5)] = "minecraft:chest[facing=west,type=single,waterlogged=false]"
    palette = {"minecraft:air": 0}
    data = [palette.setdefault(cells.get((x, y, z), "minecraft:air"), len(palette))
            for y in range(height) for z in range(length) for x in range(width)]
    block_data = varints(data)
    blocks = compound([
        named(10, "Palette") + compound([named(3, n) + struct.pack(">i", i) for n, i in palette.items()]),
        named(7, "Data") + struct.pack(">i", len(block_data)) + block_data,
    ])
    schematic = compound([
        named(3, "Version") + struct.pack(">i", 3),
        named(3, "DataVersion") + struct.pack(">i", 3465),
        named(2, "Width") + struct.pack(">h", width),
        named(2, "Height") + struct.pack(">h", height),
        named(2, "Length") + struct.pack(">h", length),
        named(10, "Blocks") + blocks,
    ])
    return named(10, "") + compound([named(10, "Schematic") + schematic])


if __name__ == "__main__":
    target = pathlib.Path(__file__).with_name("house.schem")
    target.write_bytes(gzip.compress(house(), mtime=0))
    print(target)
