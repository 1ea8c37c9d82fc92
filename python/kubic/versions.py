"""Schematics carried between game versions: block states, block entities
and entities, with a report of what changed and what had no equivalent."""
from __future__ import annotations

import copy
import dataclasses
from typing import TYPE_CHECKING, Union

from . import _core

if TYPE_CHECKING:
    from .schematic import Schematic

__all__ = ["VersionReport", "MISSING_CHOICES"]

MISSING_CHOICES = ("air", "keep", "error")
AIR = "minecraft:air"


@dataclasses.dataclass
class VersionReport:
    """What `Schematic.to_version` did.

    Attributes:
        source, target (int): the DataVersions converted from and to.
        changed (dict[str, tuple[str, int]]): each state that reads
            differently in the target: its new state and how many blocks.
        no_equivalent (dict[str, tuple[str, int]]): each state the target
            lacks: what it became (air, or itself when kept) and how many
            blocks.
        unknown (dict[str, int]): states the source version does not have
            (other namespaces, misspellings), kept as they are.
        nbt (dict[str, int]): what was done to block entities and entities,
            or kept as it was, and how often.
    """
    source: int
    target: int
    changed: dict[str, tuple[str, int]] = dataclasses.field(default_factory=dict)
    no_equivalent: dict[str, tuple[str, int]] = dataclasses.field(default_factory=dict)
    unknown: dict[str, int] = dataclasses.field(default_factory=dict)
    nbt: dict[str, int] = dataclasses.field(default_factory=dict)

    def __str__(self) -> str:
        lines = [f"game version {_named(self.source)} to {_named(self.target)}: "
                 f"{_blocks(self.changed)} blocks in {len(self.changed)} states changed, "
                 f"{_blocks(self.no_equivalent)} in {len(self.no_equivalent)} states without an equivalent, "
                 f"{sum(self.unknown.values())} in {len(self.unknown)} unknown states kept"]
        lines += _first([f"  no equivalent: {state} ({count}) became {became}"
                         for state, (became, count) in sorted(self.no_equivalent.items())])
        lines += _first([f"  unknown: {state} ({count})" for state, count in sorted(self.unknown.items())])
        lines += [f"  {what}: {count}" for what, count in sorted(self.nbt.items())]
        return "\n".join(lines)


def _first(lines: list[str], shown: int = 10) -> list[str]:
    """A summary's lines of one kind: the first few, then how many more."""
    return lines if len(lines) <= shown else lines[:shown] + [f"  ... and {len(lines) - shown} more"]


def _named(data_version: int) -> str:
    release = _core.release_of(data_version)
    return f"{data_version} ({release})" if release else str(data_version)


def _blocks(states: dict[str, tuple[str, int]]) -> int:
    return sum(count for _, count in states.values())


def convert(schematic: "Schematic", target: Union[str, int], missing: str) -> "Schematic":
    """The body of `Schematic.to_version`."""
    from .schematic import Schematic
    if missing not in MISSING_CHOICES:
        raise ValueError(f"missing is one of {', '.join(MISSING_CHOICES)}, not {missing!r}")
    if schematic.data_version is None:
        raise ValueError("the schematic's game version is unknown: set data_version to the DataVersion "
                         "its states belong to first")
    source, goal = _core.game_version(str(schematic.data_version)), _core.game_version(str(target))
    texts, outcomes = _core.convert_states(schematic.palette, source, goal)
    report = VersionReport(source, goal)
    lacking = [i for i, outcome in enumerate(outcomes) if outcome == "none"]
    if missing == "air":
        for i in lacking:
            texts[i] = AIR
    palette, renumbering = _core.canonical_states(texts)
    blocks, counts = _core.remap(schematic.blocks, renumbering or list(range(len(texts))))
    if missing == "error" and any(counts[i] for i in lacking):
        names = ", ".join(schematic.palette[i] for i in lacking if counts[i])
        raise ValueError(f"no equivalent in {_named(goal)} for: {names}")
    for i, (old, outcome) in enumerate(zip(schematic.palette, outcomes)):
        if not counts[i]:
            continue
        if outcome == "changed":
            report.changed[old] = (texts[i], counts[i])
        elif outcome == "none":
            report.no_equivalent[old] = (texts[i], counts[i])
        elif outcome == "unknown":
            report.unknown[old] = counts[i]
    positions = list(schematic.block_entities)
    converted_entities, converted_others, report.nbt = _core.convert_nbt(
        [schematic.block_entities[p] for p in positions], [e.nbt for e in schematic.entities], source, goal)
    result = Schematic((0, 0, 0), schematic.origin, goal)
    result.blocks, result._palette = blocks, palette
    result.block_entities = {}
    for position, data in zip(positions, converted_entities):
        if missing == "air" and schematic._holds(position) and outcomes[int(schematic.blocks[position])] == "none":
            report.nbt["block entities dropped with their blocks"] = report.nbt.get(
                "block entities dropped with their blocks", 0) + 1
            continue
        result.block_entities[position] = data
    # In the same place, with the file's doubles kept: only their NBT changes.
    result.entities = [e._moved((0, 0, 0), data) for e, data in zip(schematic.entities, converted_others)]
    result.metadata = copy.deepcopy(schematic.metadata)
    result.report = report
    return result
