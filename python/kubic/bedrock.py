"""What a conversion between Bedrock and Java did, from the core's notices."""
from __future__ import annotations

import dataclasses
import re

__all__ = ["BedrockReport"]


@dataclasses.dataclass
class BedrockReport:
    """What reading a Bedrock .mcstructure file as Java did.

    Attributes:
        mapped (int): Bedrock states read as Java 1.21.1 states.
        no_equivalent (dict[str, int]): Bedrock states no table knows, kept
            under their own names, with how many blocks.
        untranslated (dict[str, int]): block entity and entity content kept
            as Bedrock has it, by what it is, with how often.
    """
    mapped: int = 0
    no_equivalent: dict[str, int] = dataclasses.field(default_factory=dict)
    untranslated: dict[str, int] = dataclasses.field(default_factory=dict)

    @classmethod
    def from_notices(cls, notices: str) -> "BedrockReport | None":
        lines = [line.removeprefix("Bedrock: ") for line in notices.splitlines() if line.startswith("Bedrock: ")]
        if not lines:
            return None
        report = cls()
        for line in lines:
            if match := re.fullmatch(r"(\d+) states mapped", line):
                report.mapped = int(match[1])
            elif match := re.fullmatch(r"no equivalent for (.*) \((\d+) blocks\)", line):
                report.no_equivalent[match[1]] = int(match[2])
            elif match := re.fullmatch(r"kept untranslated: (.*) \((\d+)\)", line):
                report.untranslated[match[1]] = int(match[2])
        return report

    def __str__(self) -> str:
        lines = [f"Bedrock to Java 1.21.1: {self.mapped} states mapped, {len(self.no_equivalent)} without an "
                 f"equivalent ({sum(self.no_equivalent.values())} blocks)"]
        lines += [f"  no equivalent: {state} ({n})" for state, n in sorted(self.no_equivalent.items())]
        lines += [f"  kept untranslated: {what} ({n})" for what, n in sorted(self.untranslated.items())]
        return "\n".join(lines)
