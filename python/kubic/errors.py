"""The exceptions of the kubic API."""
from __future__ import annotations

__all__ = ["KubicError", "UnknownFormatError", "CorruptFileError", "LegacyConversionWarning", "NotWrittenWarning",
           "EditWarning", "UnwritableError"]


class KubicError(Exception):
    """Anything kubic could not do with a schematic."""


class UnknownFormatError(KubicError):
    """No reader recognises the input; the message names the best guess when
    it looks like a format kubic does not read."""


class CorruptFileError(KubicError):
    """A recognised format whose content is wrong; the message is the
    reader's own."""


class UnwritableError(KubicError, ValueError):
    """A save was given what its format cannot hold (a state a Sponge
    palette cannot name, a side past its limit); nothing was written."""


class LegacyConversionWarning(UserWarning):
    """Legacy (numeric) block ids were converted, some of them to air."""


class NotWrittenWarning(UserWarning):
    """A save left out what the file could not hold or no longer belongs:
    block entities at air positions, or outside the box of a format that
    keeps them in its blocks."""


class EditWarning(UserWarning):
    """An edit left something as it was: blocks or entities that cannot show
    a turn or mirror, or a paste's part that fell outside the box."""


def guess_foreign_format(head: bytes) -> str | None:
    """What a file that no reader takes looks like, from its first bytes."""
    import zlib

    if head.startswith(b"PK\x03\x04"):
        return "a zip archive"
    try:
        raw = zlib.decompressobj(16 + zlib.MAX_WBITS).decompress(head, 1 << 16) if head[:2] == b"\x1f\x8b" else head
    except zlib.error:
        raw = head
    if raw[:1] == b"\x0a" and len(raw) > 3:
        if b"LevelName" in raw or (b"Data" in raw[:16] and b"SpawnX" in raw):
            return "a world's level.dat"
    return None
