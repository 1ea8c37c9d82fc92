"""Whole schematics as NumPy arrays: load, look, edit, create, save."""
from __future__ import annotations

import dataclasses
import os
import re
import warnings
from typing import Any, BinaryIO, Iterator, Sequence, Union

import numpy as np

from . import _core
from .errors import (CorruptFileError, KubicError, LegacyConversionWarning, NotWrittenWarning, UnknownFormatError,
                     UnwritableError, guess_foreign_format)
from .nbt import Compound
from . import edits
from .bedrock import BedrockReport
from .versions import VersionReport, convert

__all__ = ["Schematic", "Entity", "load", "iter_chunks"]

Source = Union[str, "os.PathLike[str]", bytes, bytearray, memoryview, BinaryIO]
AIR = "minecraft:air"
AIRS = frozenset({"minecraft:air", "minecraft:cave_air", "minecraft:void_air"})
VOID = "minecraft:structure_void"
# Names counted as no block at all: the airs, and the voids that mark
# positions a structure leaves as they are.
NOT_BLOCKS = AIRS | {VOID}

# The core's format table: every list of format names here comes from it.
_TABLE = _core.formats()
# Names people use for formats, to the names kubic's core knows.
FORMATS = {"auto": "auto", **{name: entry["name"] for entry in _TABLE for name in (entry["name"], *entry["aliases"])}}
EXTENSIONS = {extension: entry["name"] for entry in _TABLE for extension in entry["extensions"]}
WRITABLE = tuple(entry["name"] for entry in _TABLE if entry["writable"])
# The extension each written format gets.
OUTPUT_EXTENSIONS = {entry["name"]: entry["extensions"][0] for entry in _TABLE if entry["writable"]}
_WITH_REGIONS = [entry for entry in _TABLE if entry["regions"]]


def _spoken_list(words: list[str]) -> str:
    return ", ".join(words[:-1]) + " or " + words[-1] if len(words) > 1 else "".join(words)


def format_name(name: str, *, writing: bool = False) -> str:
    """The core's name for a format name or alias."""
    canonical = FORMATS.get(name.lower()) if isinstance(name, str) else None
    if canonical is None:
        raise ValueError(f"unknown format {name!r}: use one of {', '.join(sorted(FORMATS))}")
    if writing and canonical not in WRITABLE:
        raise ValueError(f"kubic cannot write {canonical}: it is read-only" if canonical != "auto"
                         else f"choose a format to write: {_spoken_list(list(WRITABLE))}")
    return canonical


@dataclasses.dataclass
class Entity:
    """An entity (villager, armor stand, item frame): its position relative
    to the schematic's origin and its NBT, "id" included."""
    pos: tuple[float, float, float]
    nbt: Compound
    # While `pos` is what a file gave: the file's doubles and the whole
    # blocks between their frame and `pos`'s, so that a save puts back the
    # very doubles instead of `pos` moved out again, which may round.
    _file: tuple[Any, ...] | None = dataclasses.field(default=None, init=False, repr=False, compare=False)

    @classmethod
    def _from_file(cls, pos: Any, nbt: Compound, raw: tuple[float, ...], whole: tuple[int, ...]) -> "Entity":
        entity = cls(pos, nbt)
        entity._file = (pos, raw, whole)
        return entity

    def _kept(self) -> tuple[Any, ...] | None:
        """The file's doubles and whole blocks, while `pos` is what they give."""
        return self._file[1:] if self._file and self._file[0] == self.pos else None

    def _for_core(self) -> tuple[Any, ...]:
        """(doubles, nbt, whole blocks) as a save hands them to the core."""
        kept = self._kept()
        return (kept[0], self.nbt, kept[1]) if kept else (tuple(float(c) for c in self.pos), self.nbt, (0, 0, 0))

    def _moved(self, delta: Sequence[int], nbt: Compound | None = None) -> "Entity":
        """This entity moved by whole blocks, its file's doubles kept."""
        pos: Any = tuple(float(p + d) for p, d in zip(self.pos, delta))
        nbt = self.nbt if nbt is None else nbt
        kept = self._kept()
        if not kept:
            return Entity(pos, nbt)
        return Entity._from_file(pos, nbt, kept[0], tuple(w + d for w, d in zip(kept[1], delta)))


class _Watched:
    """A user's file object whose first exception is kept, so that it is
    raised as it is instead of as a reader's or writer's complaint."""

    def __init__(self, stream: Any) -> None:
        self.stream, self.error = stream, None

    def _kept(self, call: Any, *args: Any) -> Any:
        try:
            return call(*args)
        except Exception as error:
            self.error = self.error or error
            raise

    def read(self, size: int = -1) -> Any:
        return self._kept(self.stream.read, size)

    def write(self, data: Any) -> Any:
        return self._kept(self.stream.write, data)

    def flush(self) -> Any:
        return self._kept(getattr(self.stream, "flush", lambda: None))


def _os_error(errno: int, message: str, path: str | None) -> OSError:
    """The OSError Python itself would raise: its class by errno, the
    system's text without the core's "(os error N)"."""
    return OSError(errno, os.strerror(errno) if errno else message, path)


def _open_source(source: Source) -> Any:
    """What the core reads: a path (checked here, for OSError with errno
    and filename), bytes, or a binary file object."""
    if isinstance(source, (str, os.PathLike)):
        path = os.fspath(source)
        with open(path, "rb"):
            pass
        return path
    if isinstance(source, (bytearray, memoryview)):
        return bytes(source)
    if isinstance(source, bytes):
        return source
    if hasattr(source, "read"):
        return _Watched(source)
    raise TypeError(f"cannot read a schematic from a {type(source).__name__}")


def _head_of(source: Any) -> bytes:
    if isinstance(source, bytes):
        return source[:1 << 16]
    if isinstance(source, str):
        with open(source, "rb") as f:
            return f.read(1 << 16)
    return b""


def _legacy_warning(notices: str, name: str) -> None:
    converted = re.findall(r"Converted legacy block ID (\d+) with data (\d+)", notices)
    unknown = re.findall(r"Unrecognized block ID (\d+) with data (\d+)", notices)
    if not converted and not unknown:
        return
    text = f"{name}: {len(converted)} legacy id/data pairs converted by rule"
    if unknown:
        pairs = ", ".join(f"{i}:{d}" for i, d in unknown)
        text += f"; {len(unknown)} unknown pairs read as air ({pairs})"
    warnings.warn(text, LegacyConversionWarning, stacklevel=3)


def _position(coordinates: Any) -> tuple[int, int, int]:
    x, y, z = (int(c) for c in coordinates)
    return (x, y, z)


def _block_name(state: str) -> str:
    return state.split("[", 1)[0]


def _is_one_position(position: Any) -> bool:
    return isinstance(position, tuple) and len(position) == 3 and all(
        isinstance(c, (int, np.integer)) for c in position)


class Schematic:
    """A schematic in memory: a box of blocks as an array of palette indices
    (`blocks[x, y, z]` indexes `palette`), with its block entities, entities
    and metadata. A new one is all air.

    Attributes:
        size (tuple[int, int, int]): the box's size along x, y and z: the
            shape of `blocks` (read only).
        origin (tuple[int, int, int]): where the box's minimum corner lies
            in the world.
        palette (list[str]): the states `blocks` indexes, in canonical text
            (`minecraft:chest[facing=north,type=single]`); `palette[0]` is
            `minecraft:air`.
        blocks (numpy.ndarray): `uint16` (`uint32` past 65,536 states)
            indices into `palette`, indexed `[x, y, z]`.
        block_entities (dict[tuple[int, int, int], kubic.nbt.Compound]):
            chests, signs and the like by their position in the box.
        entities (list[Entity]): mobs, armor stands, item frames.
        data_version (int | None): the game data version the states belong
            to, when known.
        metadata (dict[str, Any]): `name`, `author`, `description` and
            `date` (milliseconds since the epoch) where the file has them,
            whatever its format, then the format's other entries under their
            own names; a Litematica file's `regions`. Saving writes them back.
        format (str | None): the format a load read (`sponge`, `structure`,
            ...); None for a schematic made here.
        format_version (int | None): the version of that format's layout
            (Sponge 1 to 3, kub 1 or 2, Litematica 4 to 7), when it has one.
        report (kubic.VersionReport | kubic.BedrockReport | None): for a
            schematic `to_version` made, what the conversion changed; for
            one read from a Bedrock file, what reading it as Java did.
    """

    def __init__(self, size: tuple[int, int, int], origin: tuple[int, int, int] = (0, 0, 0),
                 data_version: int | None = None) -> None:
        self.format: str | None = None
        self.format_version: int | None = None
        self.origin: tuple[int, int, int] = _position(origin)
        self._palette: list[str] = [AIR]
        self.blocks: np.ndarray = np.zeros(tuple(int(s) for s in size), dtype=np.uint16)
        self.block_entities: dict[tuple[int, int, int], Compound] = {}
        self.entities: list[Entity] = []
        self.data_version: int | None = data_version
        self.metadata: dict[str, Any] = {}
        self._index: dict[str, int] | None = None
        self.report: VersionReport | BedrockReport | None = None

    @classmethod
    def from_numpy(cls, blocks: np.ndarray, palette: list[str], origin: tuple[int, int, int] = (0, 0, 0),
                   data_version: int | None = None) -> "Schematic":
        """A schematic from an array of palette indices (any unsigned or
        non-negative integer array of three dimensions) and its palette."""
        array = np.asarray(blocks)
        if array.ndim != 3:
            raise ValueError(f"blocks must have three dimensions, not {array.ndim}")
        if len(palette) == 0:
            raise ValueError("the palette must hold at least one state")
        if array.size and (array.min() < 0 or array.max() >= len(palette)):
            raise ValueError("every block must index the palette")
        schematic = cls((0, 0, 0), origin, data_version)
        dtype = np.uint16 if len(palette) <= 65536 else np.uint32
        schematic.blocks = np.ascontiguousarray(array, dtype=dtype)
        schematic.palette = list(palette)
        return schematic

    @property
    def palette(self) -> list[str]:
        """The states `blocks` indexes, in canonical text: the namespace
        present, properties sorted by key, no blanks, each state once.
        Assigning a palette canonicalises it, merges the states it spells
        twice and renumbers `blocks` to match; a text that is not a block
        state raises ValueError."""
        return self._palette

    @palette.setter
    def palette(self, texts: list[str]) -> None:
        canonical, renumbering = _core.canonical_states(texts)
        if renumbering is not None:
            self.blocks = np.asarray(renumbering, dtype=self.blocks.dtype)[self.blocks]
        self._palette = canonical
        self._index = None

    @property
    def size(self) -> tuple[int, int, int]:
        """The box's size along x, y and z."""
        x, y, z = self.blocks.shape
        return (int(x), int(y), int(z))

    def _palette_index(self) -> dict[str, int]:
        if self._index is None or len(self._index) != len(self.palette):
            self._index = {}
            for i, state in enumerate(self.palette):
                self._index.setdefault(state, i)
        return self._index

    def __getitem__(self, position: tuple[int, int, int]) -> str:
        """The state at one position. Slices and arrays of positions are
        the business of `blocks`: `s.blocks[0:2, 0, 0]` gives their indices."""
        if not _is_one_position(position):
            raise TypeError("a Schematic is indexed by one position (x, y, z); "
                            "for many, index s.blocks and look the indices up in s.palette")
        return self.palette[int(self.blocks[position])]

    def __setitem__(self, position: Any, state: str) -> None:
        """Sets one position, or every position of a slice, to a state.
        A position whose block name changes loses its block entity."""
        index = self._palette_index().get(state)
        if index is None:
            index = self._add_state(state)
        if _is_one_position(position):
            old = self.palette[int(self.blocks[position])]
            self.blocks[position] = index
            place = tuple(int(c) + n if c < 0 else int(c) for c, n in zip(position, self.blocks.shape))
            if place in self.block_entities and _block_name(old) != _block_name(self.palette[index]):
                del self.block_entities[place]
            return
        names_before = {place: _block_name(self[place]) for place in self.block_entities if self._holds(place)}
        self.blocks[position] = index
        for place, name in names_before.items():
            if _block_name(self[place]) != name:
                del self.block_entities[place]

    def _add_state(self, state: str) -> int:
        [canonical], _ = _core.canonical_states([state])
        index = self._palette_index().get(canonical)
        if index is None:
            index = len(self.palette)
            self.palette.append(canonical)
            self._palette_index()[canonical] = index
            if index > 65535 and self.blocks.dtype == np.uint16:
                self.blocks = self.blocks.astype(np.uint32)
        return index

    def _holds(self, place: tuple[int, int, int]) -> bool:
        return all(0 <= c < n for c, n in zip(place, self.blocks.shape))

    def counts(self) -> dict[str, int]:
        """How many blocks of each state the box holds, keyed by canonical
        text; the three airs and structure voids are left out."""
        out: dict[str, int] = {}
        for state, n in zip(self.palette, self._tally()):
            if n and _block_name(state) not in NOT_BLOCKS:
                out[state] = out.get(state, 0) + n
        return out

    def rotate(self, turns: int = 1, axis: str = "y") -> "Schematic":
        """A new schematic turned by `turns` quarter turns clockwise, looking
        down `axis` ("x", "y" or "z") from its positive end: about y, seen
        from above, north goes to east. Every block state, block entity,
        entity (position, look, motion, facing) and Litematica region turns
        with it; the minimum corner (`origin`) stays where it is. Blocks that
        cannot show the turn (stairs on their side) stay as they were, counted
        in one `kubic.EditWarning`."""
        return edits.turned(self, turns, axis)

    def flip(self, axis: str) -> "Schematic":
        """A new schematic mirrored across `axis`: "x" swaps east and west,
        "z" north and south, "y" up and down; as `rotate` does, for every
        block (left and right swap under a mirror of x or z, top and bottom
        under one of y)."""
        return edits.flipped(self, axis)

    def crop(self, min_corner: tuple[int, int, int], max_corner: tuple[int, int, int]) -> "Schematic":
        """A new schematic of the box between two positions, both inside it
        and both included, with its block entities and entities; its
        `origin` is that of `min_corner`. `s.sub[x0:x1, y0:y1, z0:z1]` does
        the same with slices (ends excluded)."""
        return edits.cropped(self, min_corner, max_corner)

    @property
    def sub(self) -> "_SubBox":
        """`s.sub[x0:x1, y0:y1, z0:z1]`: `crop` by slices, ends excluded."""
        return _SubBox(self)

    def trim(self) -> "Schematic":
        """A new schematic of the smallest box holding every block that is
        not air or a structure void."""
        return edits.trimmed(self)

    def paste(self, other: "Schematic", at: tuple[int, int, int] = (0, 0, 0), *, air: str = "skip",
              grow: bool = False) -> None:
        """Puts `other`'s blocks, block entities and entities into this
        schematic, its corner at `at` (counted from this one's corner). Its
        air leaves what is here unless `air="replace"`; its structure voids
        always do. What falls outside the box is cut, with a
        `kubic.EditWarning`, unless `grow=True`, which enlarges the box (its
        `origin` moving when `at` is negative)."""
        edits.pasted(self, other, at, air, grow)

    def replace(self, old: str, new: str) -> None:
        """Replaces a whole state (`"minecraft:oak_planks"`, or with its
        properties) by another, or every state of a block by the same state
        of another block, keeping the properties both share
        (`replace("oak_stairs", "spruce_stairs")`). Block entities stay. A
        name that is not a block, or a state that cannot exist, of the
        schematic's game version raises ValueError."""
        edits.replaced(self, old, new)

    def fill(self, min_corner: tuple[int, int, int], max_corner: tuple[int, int, int], state: str) -> None:
        """Sets every position between two positions (both included) to
        `state`; block entities of blocks that change go."""
        edits.filled(self, min_corner, max_corner, state)

    def to_version(self, target: Union[str, int], *, missing: str = "air") -> "Schematic":
        """A new schematic with the block states of another game version:
        `target` is a release ("1.20.4") or a DataVersion, newer or older
        than `data_version` (which must be known). Blocks, block entities and
        entities are carried through every change between the two; the
        result's `report` says what changed. `missing` says what becomes of a
        state the target lacks: "air" (its block entity goes too), "keep" it
        as it is, or "error" (ValueError naming them)."""
        return convert(self, target, missing)

    def materials(self, *, contents: bool = False) -> dict[str, int]:
        """The items it takes to build the box, by item id, most first: a
        double slab is two slabs, a door one door, a water source a bucket,
        a wall torch a torch; air, fire and portals take nothing. With
        `contents`, the items block entities and entities hold are added
        (chests, barrels, hoppers, furnaces, shulker boxes with what is in
        them, item frames)."""
        held = ([list(self.block_entities.values()), [e.nbt for e in self.entities]] if contents else [[], []])
        return dict(_core.materials(self.palette, self._tally(), *held))

    def _tally(self) -> list[int]:
        blocks = self.blocks
        if blocks.dtype not in (np.uint16, np.uint32):
            blocks = blocks.astype(np.uint32)
        return _core.tally(blocks, len(self.palette))

    def save(self, dest: Union[str, "os.PathLike[str]", BinaryIO], format: str | None = None, *,
             data_version: int | None = None, sponge_version: int = 3, missing: str = "air") -> None:
        """Writes everything the format can hold: to a path (replaced only
        once the whole file is written) or a writable binary file. The format
        comes from the extension when not given. A Bedrock file takes Java
        1.21.1's states (others are converted first); a state with no Bedrock
        equivalent is written as air, named in a `kubic.NotWrittenWarning`,
        or with `missing="error"` fails the save."""
        if format is None:
            if not isinstance(dest, (str, os.PathLike)):
                raise ValueError("name a format to write to a file object")
            extension = os.path.splitext(os.fspath(dest))[1].lower()
            if extension not in EXTENSIONS:
                raise ValueError(f"cannot tell the format of {os.fspath(dest)!r}: name one "
                                 f"or use {', '.join(e for e in EXTENSIONS if e != '.schematic')}")
            format = EXTENSIONS[extension]
        canonical = format_name(format, writing=True)
        if sponge_version not in (2, 3):
            raise ValueError("sponge_version is 2 or 3")
        if missing not in ("air", "error"):
            raise ValueError(f"missing is 'air' or 'error', not {missing!r}")
        target: Any = os.fspath(dest) if isinstance(dest, (str, os.PathLike)) else _Watched(dest)
        block_entities = [(tuple(int(c) for c in pos), data) for pos, data in self.block_entities.items()]
        entities = [e._for_core() for e in self.entities]
        version = data_version if data_version is not None else self.data_version
        metadata = dict(self.metadata)
        regions = metadata.pop("regions", None)
        try:
            left_out = _core.save(target, canonical, self.palette, np.ascontiguousarray(self.blocks), self.origin,
                                  block_entities, entities, version, Compound(metadata), sponge_version, regions,
                                  missing == "error")
        except RuntimeError as error:
            raise _save_error(error, target) from None
        if left_out:
            warnings.warn(left_out, NotWrittenWarning, stacklevel=2)

    def __repr__(self) -> str:
        return (f"<Schematic {self.format or 'new'} size={self.size} origin={self.origin} "
                f"states={len(self.palette)} block_entities={len(self.block_entities)} entities={len(self.entities)}>")


class _SubBox:
    """`Schematic.sub`: crops by slices."""

    def __init__(self, schematic: Schematic) -> None:
        self.schematic = schematic

    def __getitem__(self, window: tuple[slice, slice, slice]) -> Schematic:
        if not (isinstance(window, tuple) and len(window) == 3 and all(isinstance(w, slice) for w in window)):
            raise TypeError("sub takes three slices: s.sub[x0:x1, y0:y1, z0:z1]")
        bounds = [w.indices(n) for w, n in zip(window, self.schematic.size)]
        if any(step != 1 or stop <= start for start, stop, step in bounds):
            raise ValueError("sub takes slices of step 1 that hold at least one position")
        return self.schematic.crop(tuple(b[0] for b in bounds), tuple(b[1] - 1 for b in bounds))


def _api_error(error: RuntimeError, opened: Any, detecting: bool) -> Exception:
    """The API's exception for a reader's failure, chosen by the core's kind
    of error: (message, kind, cause, errno, path). A reader named by the
    caller that finds another format reports that as the file's fault."""
    if isinstance(opened, _Watched) and opened.error is not None:
        return opened.error
    message, kind, cause, errno, path = error.args
    if kind == "io":
        return _os_error(errno, message, path)
    if kind == "missing":
        return KubicError(message)
    if kind == "unrecognised" and detecting:
        guess = guess_foreign_format(_head_of(opened))
        if guess:
            return UnknownFormatError(f"looks like {guess}: not a format kubic reads")
        # A reader that recognised the input failed on it: the file is that
        # format, broken, and its reader says how.
        if cause is not None:
            return CorruptFileError(cause)
        return UnknownFormatError("no reader recognises this input")
    return CorruptFileError(message)


def _save_error(error: RuntimeError, target: Any) -> Exception:
    """The API's exception for a failed save, as for a failed load."""
    if isinstance(target, _Watched) and target.error is not None:
        return target.error
    message, kind, _, errno, path = error.args
    if kind == "io":
        return _os_error(errno, message, path or (target if isinstance(target, str) else None))
    if kind == "unwritable":
        return UnwritableError(message)
    return KubicError(message)


def iter_chunks(source: Source, shape: tuple[int, int, int] = (64, 64, 64),
                format: str = "auto") -> Iterator[tuple[tuple[int, int, int], np.ndarray, list[str]]]:
    """The chunks of a schematic that hold blocks, as (origin, blocks,
    palette), for files too large to hold: `origin` is the chunk's corner in
    the file's coordinates, `blocks` indexes `palette` (which grows as new
    states appear). Memory: one slab of `shape[0]` positions along x."""
    canonical = format_name(format)
    opened = _open_source(source)
    try:
        chunks = _core.chunks(opened, canonical, *shape)
        for origin, blocks, palette in chunks:
            yield tuple(origin), blocks, palette
    except RuntimeError as error:
        raise _api_error(error, opened, canonical == "auto") from None


def load(source: Source, format: str = "auto", *, region: str | None = None) -> Schematic:
    """Reads a whole schematic: a path, bytes, or a binary file object. A
    Litematica file's regions are merged into the box that encloses them
    (listed in `metadata["regions"]`); `region` names the one to read alone."""
    canonical = format_name(format)
    titles = _spoken_list([entry["title"] for entry in _WITH_REGIONS])
    chosen_for_region = False
    if region is not None:
        if canonical not in ["auto", *(entry["name"] for entry in _WITH_REGIONS)]:
            raise ValueError(f"only {titles} files have regions, not {canonical}")
        if canonical == "auto" and len(_WITH_REGIONS) == 1:
            canonical, chosen_for_region = _WITH_REGIONS[0]["name"], True
    opened = _open_source(source)
    try:
        result = _core.load(opened, canonical, region)
    except RuntimeError as error:
        if chosen_for_region and error.args[1] == "unrecognised":
            raise ValueError(f"region= applies to {titles} files, and this input is not one") from None
        raise _api_error(error, opened, canonical == "auto") from None
    name = os.fspath(source) if isinstance(source, (str, os.PathLike)) else "<input>"
    (fmt, size, origin, palette, blocks, block_entities, entities, data_version, metadata, format_version,
     notices) = result
    _legacy_warning(notices, name)
    schematic = Schematic(size, origin, data_version)
    schematic.format = fmt
    schematic.format_version = format_version
    schematic.blocks = blocks
    schematic._palette = palette  # canonical already
    schematic.block_entities = {_position(pos): data for pos, data in block_entities}
    schematic.entities = [Entity._from_file(tuple(pos), data, tuple(raw), tuple(whole))
                          for pos, data, raw, whole in entities]
    schematic.metadata = dict(metadata)
    schematic.report = BedrockReport.from_notices(notices)
    return schematic
