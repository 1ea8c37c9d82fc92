"""NBT values that keep their tag type through Python.

A block entity loaded from a file is a `Compound` of such values; edited in
Python and saved, every tag keeps its NBT type. Plain Python values take the
natural type (int: Int, or Long past 32 bits; float: Double; str: String).
"""
from __future__ import annotations

import re
from typing import Any, Iterable

__all__ = ["Byte", "Short", "Int", "Long", "Float", "Double", "String", "ByteArray", "IntArray", "LongArray",
           "List", "Compound", "to_snbt", "from_snbt"]


def _fitting(value: Any, bits: int, name: str) -> int:
    """`value` as an int, if a signed integer of `bits` bits holds it."""
    number = int(value)
    if not -(1 << (bits - 1)) <= number < 1 << (bits - 1):
        raise OverflowError(f"{number} does not fit a {name} ({bits} bits)")
    return number


class _Integer(int):
    tag_id = 0
    _bits = 0

    def __new__(cls, value: Any = 0) -> "_Integer":
        return super().__new__(cls, _fitting(value, cls._bits, cls.__name__))

    def __repr__(self) -> str:
        return f"{type(self).__name__}({int(self)})"


class Byte(_Integer):
    """A signed 8-bit integer (TAG_Byte)."""
    tag_id, _bits = 1, 8


class Short(_Integer):
    """A signed 16-bit integer (TAG_Short)."""
    tag_id, _bits = 2, 16


class Int(_Integer):
    """A signed 32-bit integer (TAG_Int)."""
    tag_id, _bits = 3, 32


class Long(_Integer):
    """A signed 64-bit integer (TAG_Long)."""
    tag_id, _bits = 4, 64


class Float(float):
    """A 32-bit float (TAG_Float)."""
    tag_id = 5

    def __repr__(self) -> str:
        return f"Float({float(self)!r})"


class Double(float):
    """A 64-bit float (TAG_Double)."""
    tag_id = 6

    def __repr__(self) -> str:
        return f"Double({float(self)!r})"


class String(str):
    """A string (TAG_String)."""
    tag_id = 8

    def __repr__(self) -> str:
        return f"String({str(self)!r})"


class _Array(list):  # type: ignore[type-arg]
    tag_id = 0
    _bits = 0

    def __init__(self, values: Iterable[int] = ()) -> None:
        super().__init__(_fitting(v, self._bits, f"{type(self).__name__} element") for v in values)

    def __repr__(self) -> str:
        return f"{type(self).__name__}({list(self)!r})"


class ByteArray(_Array):
    """An array of signed bytes (TAG_Byte_Array)."""
    tag_id, _bits = 7, 8


class IntArray(_Array):
    """An array of 32-bit integers (TAG_Int_Array)."""
    tag_id, _bits = 11, 32


class LongArray(_Array):
    """An array of 64-bit integers (TAG_Long_Array)."""
    tag_id, _bits = 12, 64


class List(list):  # type: ignore[type-arg]
    """A list of values of one tag type (TAG_List); `element_type` is that
    type's id (None: taken from the first item)."""
    tag_id = 9

    def __init__(self, items: Iterable[Any] = (), element_type: int | None = None) -> None:
        super().__init__(items)
        self.element_type = element_type

    def __repr__(self) -> str:
        return f"List({list(self)!r})"


class Compound(dict):  # type: ignore[type-arg]
    """Named values in order (TAG_Compound). A plain Python value assigned
    to a key that holds a typed value takes that value's type when it fits
    (`sign["GlowingText"] = 1` stays a Byte); ValueError when it does not."""
    tag_id = 10

    def __setitem__(self, key: str, value: Any) -> None:
        old = self.get(key)
        if _is_typed(old) and not _is_typed(value):
            value = _as_type_of(old, value, key)
        super().__setitem__(key, value)

    def update(self, *args: Any, **kwargs: Any) -> None:
        for key, value in dict(*args, **kwargs).items():
            self[key] = value

    def __repr__(self) -> str:
        return f"Compound({dict(self)!r})"


_TYPED = (_Integer, Float, Double, String, _Array, List, Compound)


def _is_typed(value: Any) -> bool:
    return isinstance(value, _TYPED)


def _as_type_of(old: Any, value: Any, key: str) -> Any:
    """`value` in the tag type of `old`, the value it replaces."""
    kind = type(old)
    fits = {
        _Integer: lambda: isinstance(value, int),
        Float: lambda: isinstance(value, (int, float)),
        Double: lambda: isinstance(value, (int, float)),
        String: lambda: isinstance(value, str),
        _Array: lambda: isinstance(value, (list, tuple)) and all(isinstance(v, int) for v in value),
        List: lambda: isinstance(value, (list, tuple)),
        Compound: lambda: isinstance(value, dict),
    }
    family = next(cls for cls in fits if isinstance(old, cls))
    if not fits[family]():
        raise ValueError(f"{key!r} holds a {kind.__name__}: {value!r} is not one")
    try:
        if family is List:
            return List(value, old.element_type)
        return kind(value)
    except OverflowError as error:
        raise ValueError(f"{key!r} holds a {kind.__name__}: {error}") from None


_SUFFIX = {Byte: "b", Short: "s", Long: "L", Float: "f", Double: "d"}
_PLAIN_KEY = re.compile(r"^[A-Za-z0-9_\-.+]+$")


def _quote(text: str) -> str:
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def to_snbt(value: Any) -> str:
    """The stringified NBT form of a value (as in game commands)."""
    for cls, suffix in _SUFFIX.items():
        if isinstance(value, cls):
            number = float(value) if isinstance(value, float) else int(value)
            return f"{number!r}{suffix}" if isinstance(value, float) else f"{number}{suffix}"
    if isinstance(value, bool):
        return "1b" if value else "0b"
    if isinstance(value, (Int, int)) and not isinstance(value, _Array):
        return str(int(value))
    if isinstance(value, float):
        return f"{value!r}d"
    if isinstance(value, str):
        return _quote(value)
    if isinstance(value, _Array):
        prefix = {ByteArray: "B", IntArray: "I", LongArray: "L"}[type(value)]
        suffix = {ByteArray: "b", IntArray: "", LongArray: "L"}[type(value)]
        return f"[{prefix};" + ",".join(f"{v}{suffix}" for v in value) + "]"
    if isinstance(value, dict):
        items = (f"{k if _PLAIN_KEY.match(k) else _quote(k)}:{to_snbt(v)}" for k, v in value.items())
        return "{" + ",".join(items) + "}"
    if isinstance(value, (list, tuple)):
        return "[" + ",".join(to_snbt(v) for v in value) + "]"
    raise TypeError(f"cannot write a {type(value).__name__} as SNBT")


class _SnbtParser:
    _NUMBER = re.compile(r"[-+]?(\d+\.?\d*|\.\d+)([eE][-+]?\d+)?([bBsSlLfFdD])?$")

    def __init__(self, text: str) -> None:
        self.text, self.at = text, 0

    def fail(self, what: str) -> ValueError:
        return ValueError(f"SNBT: {what} at character {self.at}")

    def skip(self) -> None:
        while self.at < len(self.text) and self.text[self.at].isspace():
            self.at += 1

    def expect(self, char: str) -> None:
        self.skip()
        if not self.text.startswith(char, self.at):
            raise self.fail(f"expected '{char}'")
        self.at += 1

    def peek(self) -> str:
        self.skip()
        return self.text[self.at] if self.at < len(self.text) else ""

    def string(self) -> str:
        quote = self.peek()
        if quote in "\"'":
            self.at += 1
            out = []
            while self.at < len(self.text) and self.text[self.at] != quote:
                if self.text[self.at] == "\\":
                    self.at += 1
                out.append(self.text[self.at])
                self.at += 1
            if self.at >= len(self.text):
                raise self.fail("unterminated string")
            self.at += 1
            return "".join(out)
        start = self.at
        while self.at < len(self.text) and (self.text[self.at].isalnum() or self.text[self.at] in "_-.+"):
            self.at += 1
        if start == self.at:
            raise self.fail("expected a value")
        return self.text[start:self.at]

    def value(self) -> Any:
        char = self.peek()
        if char == "{":
            return self.compound()
        if char == "[":
            return self.list()
        quoted = char in "\"'"
        word = self.string()
        if quoted:
            return String(word)
        return self.scalar(word)

    def scalar(self, word: str) -> Any:
        if word in ("true", "false"):
            return Byte(word == "true")
        match = self._NUMBER.match(word)
        if not match:
            return String(word)
        suffix = (match.group(3) or "").lower()
        body = word[:-1] if suffix else word
        if suffix in ("f", "d") or (not suffix and ("." in body or "e" in body.lower())):
            return Float(body) if suffix == "f" else Double(body)
        cls = {"b": Byte, "s": Short, "l": Long, "": Int}[suffix]
        return cls(int(body))

    def compound(self) -> Compound:
        self.expect("{")
        out = Compound()
        if self.peek() == "}":
            self.at += 1
            return out
        while True:
            key = self.string()
            self.expect(":")
            out[key] = self.value()
            if self.peek() == ",":
                self.at += 1
                continue
            self.expect("}")
            return out

    def list(self) -> Any:
        self.expect("[")
        kind = self.text[self.at:self.at + 2]
        if kind in ("B;", "I;", "L;"):
            self.at += 2
            cls = {"B;": ByteArray, "I;": IntArray, "L;": LongArray}[kind]
            items = []
            while self.peek() != "]":
                items.append(int(self.scalar(self.string())))
                if self.peek() == ",":
                    self.at += 1
            self.at += 1
            return cls(items)
        items = []
        while self.peek() != "]":
            items.append(self.value())
            if self.peek() == ",":
                self.at += 1
            elif self.peek() != "]":
                raise self.fail("expected ',' or ']'")
        self.at += 1
        return List(items)


def from_snbt(text: str) -> Any:
    """Parses stringified NBT into kubic.nbt values."""
    parser = _SnbtParser(text)
    value = parser.value()
    parser.skip()
    if parser.at != len(text):
        raise parser.fail("unexpected text after the value")
    return value


def _register() -> None:
    from . import _core
    _core.register_nbt({cls.__name__: cls for cls in (Byte, Short, Int, Long, Float, Double, String, ByteArray,
                                                       IntArray, LongArray, List, Compound)})


_register()
