"""Edits of whole schematics: turns and mirrors right for every block,
crops, trims, pastes, replacements and fills. The block knowledge is the
core's; this module moves arrays, block entities, entities and regions."""
from __future__ import annotations

import copy
import warnings
from typing import TYPE_CHECKING, Any, Sequence

import numpy as np

from . import _core
from .errors import EditWarning

if TYPE_CHECKING:
    from .schematic import Schematic

Position = tuple[int, int, int]
AXES = {"x": 0, "y": 1, "z": 2}
AIRS = frozenset({"minecraft:air", "minecraft:cave_air", "minecraft:void_air"})
VOID = "minecraft:structure_void"


def axis_number(axis: str) -> int:
    if axis not in AXES:
        raise ValueError(f"the axis is 'x', 'y' or 'z', not {axis!r}")
    return AXES[axis]


def turned(schematic: "Schematic", turns: int, axis: str) -> "Schematic":
    if not isinstance(turns, (int, np.integer)):
        raise TypeError("turns is a whole number of quarter turns")
    return transformed(schematic, _core.axis_map("turn", axis_number(axis), int(turns)))


def flipped(schematic: "Schematic", axis: str) -> "Schematic":
    return transformed(schematic, _core.axis_map("flip", axis_number(axis), 0))


def transformed(schematic: "Schematic", axis_map: Any) -> "Schematic":
    """The schematic after a turn or mirror; its minimum corner stays put."""
    size = schematic.size
    blocks, palette, kept = _core.transform_blocks(schematic.blocks, schematic.palette, axis_map,
                                                   schematic.data_version)
    result = _like(schematic, blocks, palette)
    positions = list(schematic.block_entities)
    moved = _core.map_cells(axis_map, size, positions)
    result.block_entities = {tuple(p): copy.deepcopy(schematic.block_entities[old])
                             for old, p in zip(positions, moved)}
    entities, not_turned = _core.transform_entities(axis_map, size, [(e.pos, e.nbt) for e in schematic.entities])
    result.entities = [_entity(pos, data) for pos, data in entities]
    if "regions" in result.metadata:
        result.metadata["regions"] = [_turned_region(region, axis_map, size) for region in result.metadata["regions"]]
    counts = _core.tally(schematic.blocks, len(schematic.palette)) if kept else []
    left = sum(counts[i] for i in kept)
    unturned = [f"{n} {what}" for n, what in ((left, "blocks"), (not_turned, "entities")) if n]
    if unturned:
        warnings.warn(f"{' and '.join(unturned)} cannot show this turn or mirror and were left as they were",
                      EditWarning, stacklevel=4)
    return result


def _turned_region(region: dict[str, Any], axis_map: Any, size: Position) -> dict[str, Any]:
    region = dict(region)
    origin, extent = region["origin"], region["size"]
    far = tuple(o + s - 1 for o, s in zip(origin, extent))
    a, b, position = _core.map_cells(axis_map, size, [origin, far, region.get("position", origin)])
    region["origin"] = tuple(min(p, q) for p, q in zip(a, b))
    region["size"] = tuple(abs(p - q) + 1 for p, q in zip(a, b))
    region["position"] = position
    for key in ("pending_block_ticks", "pending_fluid_ticks"):
        if key in region:
            region[key] = _moved_ticks(region[key], lambda cells: _core.map_cells(axis_map, extent, cells))
    return region


def _moved_ticks(ticks: Any, move: Any) -> Any:
    """Scheduled ticks (x, y, z within their region) moved by `move`."""
    ticks = copy.deepcopy(ticks)
    for tick, cell in zip(ticks, move([(int(t["x"]), int(t["y"]), int(t["z"])) for t in ticks])):
        for key, value in zip("xyz", cell):
            tick[key] = type(tick[key])(value)
    return ticks


def cropped(schematic: "Schematic", low: Sequence[int], high: Sequence[int]) -> "Schematic":
    """The box from corner `low` to corner `high`, both inside it."""
    low, high = _corners(schematic, low, high)
    window = tuple(slice(a, b + 1) for a, b in zip(low, high))
    result = _like(schematic, np.ascontiguousarray(schematic.blocks[window]), list(schematic.palette))
    result.origin = tuple(o + a for o, a in zip(schematic.origin, low))
    result.block_entities = {tuple(p - a for p, a in zip(pos, low)): copy.deepcopy(data)
                             for pos, data in schematic.block_entities.items() if _inside(pos, low, high)}
    result.entities = [e._moved(tuple(-a for a in low), copy.deepcopy(e.nbt))
                       for e in schematic.entities
                       if all(a <= p < b + 1 for p, a, b in zip(e.pos, low, high))]
    if "regions" in result.metadata:
        result.metadata["regions"] = [r for r in (_cropped_region(region, low, high)
                                                  for region in result.metadata["regions"]) if r]
    _drop_unused_states(result)
    return result


def _cropped_region(region: dict[str, Any], low: Position, high: Position) -> dict[str, Any] | None:
    origin, extent = region["origin"], region["size"]
    start = tuple(max(o, a) for o, a in zip(origin, low))
    end = tuple(min(o + s - 1, b) for o, s, b in zip(origin, extent, high))
    if any(s > e for s, e in zip(start, end)):
        return None
    region = dict(region)
    region["origin"] = tuple(s - a for s, a in zip(start, low))
    region["size"] = tuple(e - s + 1 for s, e in zip(start, end))
    # The file measures the region from the corner its position named.
    region["position"] = tuple(
        o if p == r else o + n - 1
        for p, r, o, n in zip(region.get("position", origin), origin, region["origin"], region["size"]))
    for key in ("pending_block_ticks", "pending_fluid_ticks"):
        if key in region:
            shift = tuple(s - o for s, o in zip(start, origin))
            kept = [t for t in region[key] if _inside((int(t["x"]), int(t["y"]), int(t["z"])), shift,
                                                      tuple(s + n - 1 for s, n in zip(shift, region["size"])))]
            region[key] = _moved_ticks(type(region[key])(kept),
                                       lambda cells: [tuple(c - s for c, s in zip(cell, shift)) for cell in cells])
    return region


def trimmed(schematic: "Schematic") -> "Schematic":
    """The smallest box holding every block that is not air or a void."""
    empty = [i for i, state in enumerate(schematic.palette) if _name(state) in AIRS | {VOID}]
    filled = ~np.isin(schematic.blocks, empty)
    if not filled.any():
        return _like(schematic, np.zeros((0, 0, 0), dtype=schematic.blocks.dtype), ["minecraft:air"])
    bounds = []
    for axis in range(3):
        others = tuple(a for a in range(3) if a != axis)
        used = np.flatnonzero(filled.any(axis=others))
        bounds.append((int(used[0]), int(used[-1])))
    return cropped(schematic, tuple(b[0] for b in bounds), tuple(b[1] for b in bounds))


def pasted(target: "Schematic", other: "Schematic", at: Sequence[int], air: str, grow: bool) -> None:
    """`other` into `target` with its corner at `at` (in target's cells)."""
    if air not in ("skip", "replace"):
        raise ValueError(f"air is 'skip' or 'replace', not {air!r}")
    at = tuple(int(c) for c in at)
    if len(at) != 3:
        raise ValueError("at is a position (x, y, z)")
    if not other.blocks.size:
        return
    if grow:
        at = _grown(target, at, other.size)
    low = tuple(max(0, a) for a in at)
    high = tuple(min(s, a + n) for s, a, n in zip(target.size, at, other.size))
    if any(l >= h for l, h in zip(low, high)):
        warnings.warn("the pasted schematic lies wholly outside the box", EditWarning, stacklevel=3)
        return
    inside = tuple(h - l for l, h in zip(low, high))
    if inside != other.size:
        warnings.warn(f"{int(np.prod(other.size)) - int(np.prod(inside))} positions of the pasted schematic fall "
                      f"outside the box and were cut (grow=True enlarges the box)", EditWarning, stacklevel=3)
    indices = np.asarray([target._add_state(state) for state in other.palette], dtype=np.uint32)
    source = other.blocks[tuple(slice(l - a, h - a) for l, h, a in zip(low, high, at))]
    window = tuple(slice(l, h) for l, h in zip(low, high))
    skipped = [i for i, state in enumerate(other.palette)
               if _name(state) == VOID or (air == "skip" and _name(state) in AIRS)]
    writes = ~np.isin(source, skipped)
    region = target.blocks[window]
    region[writes] = indices[source[writes]].astype(target.blocks.dtype)
    for pos in [p for p in target.block_entities if _inside(p, low, tuple(h - 1 for h in high))]:
        if writes[tuple(c - l for c, l in zip(pos, low))]:
            del target.block_entities[pos]
    for pos, data in other.block_entities.items():
        placed = tuple(p + a for p, a in zip(pos, at))
        if _inside(placed, low, tuple(h - 1 for h in high)):
            target.block_entities[placed] = copy.deepcopy(data)
    target.entities += [e._moved(at, copy.deepcopy(e.nbt))
                        for e in other.entities
                        if all(l <= p + a < h for p, a, l, h in zip(e.pos, at, low, high))]


def _grown(target: "Schematic", at: Position, size: Position) -> Position:
    """Enlarges `target` to hold a box of `size` at `at`; where it now lies."""
    low = tuple(min(0, a) for a in at)
    high = tuple(max(s, a + n) for s, a, n in zip(target.size, at, size))
    new_size = tuple(h - l for l, h in zip(low, high))
    if new_size == target.size:
        return at
    shift = tuple(-l for l in low)
    blocks = np.zeros(new_size, dtype=target.blocks.dtype)
    blocks[tuple(slice(s, s + n) for s, n in zip(shift, target.size))] = target.blocks
    target.blocks = blocks
    target.origin = tuple(o + l for o, l in zip(target.origin, low))
    target.block_entities = {tuple(p + s for p, s in zip(pos, shift)): data
                             for pos, data in target.block_entities.items()}
    target.entities = [e._moved(shift) for e in target.entities]
    return tuple(a + s for a, s in zip(at, shift))


def replaced(schematic: "Schematic", old: str, new: str) -> None:
    """Every `old` state, or every state of block `old`, as `new`."""
    palette = list(schematic.palette)
    if "[" in old or "[" in new:
        wanted = _core.edit_state(old, schematic.data_version)
        state = _core.edit_state(new, schematic.data_version)
        palette = [state if text == wanted else text for text in palette]
    else:
        old_name = _core.block_name(old, schematic.data_version)
        chosen = [i for i, text in enumerate(palette) if _name(text) == old_name]
        for i, text in zip(chosen, _core.states_as_block([palette[i] for i in chosen], new, schematic.data_version)):
            palette[i] = text
    schematic.palette = palette


def filled(schematic: "Schematic", low: Sequence[int], high: Sequence[int], state: str) -> None:
    low, high = _corners(schematic, low, high)
    schematic[tuple(slice(a, b + 1) for a, b in zip(low, high))] = _core.edit_state(state, schematic.data_version)


def _corners(schematic: "Schematic", low: Sequence[int], high: Sequence[int]) -> tuple[Position, Position]:
    low, high = tuple(int(c) for c in low), tuple(int(c) for c in high)
    if len(low) != 3 or len(high) != 3:
        raise ValueError("a corner is a position (x, y, z)")
    if any(a < 0 or b >= n or a > b for a, b, n in zip(low, high, schematic.size)):
        raise ValueError(f"corners {low} and {high} do not span a box inside {schematic.size}: "
                         f"give the smallest and largest positions, both inside")
    return low, high


def _inside(position: Sequence[int], low: Sequence[int], high: Sequence[int]) -> bool:
    return all(a <= p <= b for p, a, b in zip(position, low, high))


def _name(state: str) -> str:
    return state.split("[", 1)[0]


def _entity(pos: Sequence[float], data: Any) -> Any:
    from .schematic import Entity
    return Entity(tuple(float(p) for p in pos), data)


def _like(schematic: "Schematic", blocks: np.ndarray, palette: list[str]) -> "Schematic":
    """A new schematic of `blocks` with the rest of `schematic`'s attributes."""
    from .schematic import Schematic
    result = Schematic((0, 0, 0), schematic.origin, schematic.data_version)
    result.blocks, result._palette = blocks, palette
    result.metadata = copy.deepcopy(schematic.metadata)
    return result


def _drop_unused_states(schematic: "Schematic") -> None:
    """Keeps air first and the states some block still uses."""
    counts = _core.tally(schematic.blocks, len(schematic.palette))
    used = [i for i, n in enumerate(counts) if n or i == 0]
    if len(used) == len(schematic.palette):
        return
    renumbering = [0] * len(schematic.palette)
    for new, old in enumerate(used):
        renumbering[old] = new
    schematic.blocks, _ = _core.remap(schematic.blocks, renumbering)
    schematic._palette = [schematic.palette[i] for i in used]
    schematic._index = None
