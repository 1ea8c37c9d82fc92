"""kubic: read, edit, create and convert block schematics (Sponge, structure
files, Litematica, MCEdit, kub) as NumPy arrays, losing nothing a format can
hold.

    import kubic
    s = kubic.load("house.schem")
    s[0, 0, 0] = "minecraft:oak_stairs[facing=east,half=bottom]"
    s.save("house.nbt")
"""
from . import nbt
from .errors import (CorruptFileError, EditWarning, KubicError, LegacyConversionWarning, NotWrittenWarning,
                     UnknownFormatError, UnwritableError)
from .schematic import Entity, Schematic, iter_chunks, load
from .bedrock import BedrockReport
from .versions import VersionReport

__version__ = "0.2.0"

__all__ = ["load", "iter_chunks", "Schematic", "Entity", "VersionReport", "BedrockReport", "nbt", "KubicError", "UnknownFormatError", "CorruptFileError",
           "LegacyConversionWarning", "NotWrittenWarning", "EditWarning", "UnwritableError", "__version__"]
