"""A small, independent NBT codec for tests: checks our readers against a
decoding written separately, and builds documents for generated inputs."""
import gzip
import io
import struct

END, BYTE, SHORT, INT, LONG, FLOAT, DOUBLE, BYTE_ARRAY, STRING, LIST, COMPOUND, INT_ARRAY, LONG_ARRAY = range(13)


class Tagged:
    """A value with an explicit tag type, for encoding."""

    def __init__(self, tag, value, element=None):
        self.tag, self.value, self.element = tag, value, element


def decode(raw):
    """Decodes an uncompressed document into (name, value); compounds become
    dicts, lists Python lists, arrays bytes or lists."""
    stream = io.BytesIO(raw)

    def read(fmt):
        return struct.unpack(">" + fmt, stream.read(struct.calcsize(">" + fmt)))[0]

    def string():
        return stream.read(read("H")).decode("utf-8", "replace")

    def payload(tag):
        if tag == BYTE:
            return read("b")
        if tag == SHORT:
            return read("h")
        if tag == INT:
            return read("i")
        if tag == LONG:
            return read("q")
        if tag == FLOAT:
            return read("f")
        if tag == DOUBLE:
            return read("d")
        if tag == BYTE_ARRAY:
            return stream.read(read("i"))
        if tag == STRING:
            return string()
        if tag == LIST:
            element, length = read("b"), read("i")
            return [payload(element) for _ in range(length)]
        if tag == COMPOUND:
            out = {}
            while (inner := read("b")) != END:
                name = string()
                out[name] = payload(inner)
            return out
        if tag == INT_ARRAY:
            return [read("i") for _ in range(read("i"))]
        if tag == LONG_ARRAY:
            return [read("q") for _ in range(read("i"))]
        raise ValueError(f"bad tag {tag}")

    tag = read("b")
    name = string()
    return name, payload(tag)


def _tag_of(value):
    if isinstance(value, Tagged):
        return value.tag
    if isinstance(value, dict):
        return COMPOUND
    if isinstance(value, str):
        return STRING
    if isinstance(value, bytes):
        return BYTE_ARRAY
    if isinstance(value, list):
        return LIST
    if isinstance(value, int):
        return INT
    raise TypeError(value)


def _encode_payload(out, tag, value, o=">"):
    if isinstance(value, Tagged):
        value, element = value.value, value.element
    else:
        element = None
    if tag == BYTE:
        out += struct.pack(o + "b", value)
    elif tag == SHORT:
        out += struct.pack(o + "h", value)
    elif tag == INT:
        out += struct.pack(o + "i", value)
    elif tag == LONG:
        out += struct.pack(o + "q", value)
    elif tag == BYTE_ARRAY:
        out += struct.pack(o + "i", len(value)) + bytes(value)
    elif tag == STRING:
        data = value.encode()
        out += struct.pack(o + "H", len(data)) + data
    elif tag == LIST:
        if element is None:
            element = _tag_of(value[0]) if value else END
        out += struct.pack(o + "bi", element, len(value))
        for item in value:
            _encode_payload(out, element, item, o)
    elif tag == COMPOUND:
        for name, item in value.items():
            inner = _tag_of(item)
            out += struct.pack(o + "b", inner)
            _encode_payload(out, STRING, name, o)
            _encode_payload(out, inner, item, o)
        out += b"\x00"
    elif tag == DOUBLE:
        out += struct.pack(o + "d", value)
    elif tag == INT_ARRAY:
        out += struct.pack(o + "i", len(value)) + b"".join(struct.pack(o + "i", v) for v in value)
    elif tag == LONG_ARRAY:
        out += struct.pack(o + f"i{len(value)}q", len(value), *value)
    else:
        raise TypeError(tag)


def encode(root, name="", order=">"):
    """A document; `order` "<" writes Bedrock's little-endian form."""
    out = bytearray()
    out += struct.pack(order + "b", COMPOUND)
    _encode_payload(out, STRING, name, order)
    _encode_payload(out, COMPOUND, root, order)
    return bytes(out)


def gzipped(root, name=""):
    return gzip.compress(encode(root, name))


def short(v):
    return Tagged(SHORT, v)


def varints(values):
    out = bytearray()
    for v in values:
        v &= 0xFFFFFFFF
        while v >= 0x80:
            out.append((v & 0x7F) | 0x80)
            v >>= 7
        out.append(v)
    return bytes(out)


def read_varints(data):
    values, value, shift = [], 0, 0
    for b in data:
        value |= (b & 0x7F) << shift
        shift += 7
        if not b & 0x80:
            values.append(value)
            value, shift = 0, 0
    return values


def gunzip_member(data):
    """The first gzip member alone (Python's gzip refuses trailing garbage)."""
    import zlib

    return zlib.decompressobj(16 + zlib.MAX_WBITS).decompress(data)


def decode_typed(raw, order=">"):
    """Like decode, but every value as (tag type, value), recursively, so
    that comparisons see the NBT types too; returns (name, value, bytes used).
    `order` "<" reads Bedrock's little-endian documents."""
    stream = io.BytesIO(raw)

    def read(fmt):
        return struct.unpack(order + fmt, stream.read(struct.calcsize(order + fmt)))[0]

    def string():
        return stream.read(read("H")).decode("utf-8", "replace")

    scalar = {BYTE: "b", SHORT: "h", INT: "i", LONG: "q", FLOAT: "f", DOUBLE: "d"}

    def payload(tag):
        if tag in scalar:
            return (tag, read(scalar[tag]))
        if tag == BYTE_ARRAY:
            return (tag, stream.read(read("i")))
        if tag == STRING:
            return (tag, string())
        if tag == LIST:
            element, length = read("b"), read("i")
            return (tag, [payload(element) for _ in range(length)])
        if tag == COMPOUND:
            out = {}
            while (inner := read("b")) != END:
                name = string()
                out[name] = payload(inner)
            return (tag, out)
        if tag == INT_ARRAY:
            return (tag, [read("i") for _ in range(read("i"))])
        if tag == LONG_ARRAY:
            return (tag, [read("q") for _ in range(read("i"))])
        raise ValueError(f"bad tag {tag}")

    tag = read("b")
    name = string()
    value = payload(tag)
    return name, value, stream.tell()
