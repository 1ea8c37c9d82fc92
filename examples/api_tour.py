"""Every name of the kubic API once: load, look, edit, create, save."""
import io
import warnings
from typing import Any

import numpy as np

import kubic
from kubic import nbt


def tour(path: str) -> None:
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", kubic.LegacyConversionWarning)
        s: kubic.Schematic = kubic.load(path, format="auto")
    size: tuple[int, int, int] = s.size
    origin: tuple[int, int, int] = s.origin
    palette: list[str] = s.palette
    blocks: np.ndarray = s.blocks
    block_entities: dict[tuple[int, int, int], nbt.Compound] = s.block_entities
    entities: list[kubic.Entity] = s.entities
    data_version: int | None = s.data_version
    metadata: dict[str, Any] = s.metadata
    fmt: str | None = s.format
    format_version: int | None = s.format_version
    print(fmt, format_version, size, origin, data_version, len(palette), blocks.dtype, len(block_entities),
          len(entities), metadata.get("name"))
    print(s[0, 0, 0], sorted(s.counts().items())[:3])
    s[0, 0, 0] = "minecraft:gold_block"
    for position, data in s.block_entities.items():
        data["CustomName"] = nbt.String('{"text":"kubic"}')
        print(position, nbt.to_snbt(data)[:60])
    s.entities.append(kubic.Entity((0.5, 1.0, 0.5), nbt.Compound({"id": nbt.String("minecraft:armor_stand")})))
    s.metadata["name"] = "tour"
    out = io.BytesIO()
    s.save(out, "structure", data_version=3465, sponge_version=3)
    fresh = kubic.Schematic((4, 4, 4), origin=(0, 64, 0), data_version=3465)
    fresh[1, 1, 1] = "minecraft:stone"
    copy = kubic.Schematic.from_numpy(np.ones((2, 2, 2), dtype=np.uint16), ["minecraft:air", "minecraft:dirt"])
    print(fresh.counts(), copy.counts(), kubic.__version__, nbt.from_snbt("{a:1b}"))
    try:
        kubic.load(b"not a schematic")
    except kubic.UnknownFormatError as error:
        print("unknown:", error)
    except kubic.CorruptFileError as error:
        print("corrupt:", error)
    except kubic.KubicError as error:
        print("kubic:", error)


if __name__ == "__main__":
    tour("examples/house.schem")
