import gzip
import io
import pathlib

import pytest

import kubic_rs
from conftest import describe, sponge_file


@pytest.fixture
def data(sample_sponge):
    return sample_sponge


def blocks_of(source):
    with kubic_rs.open(source) as r:
        return describe(r.read_full())


class Typed:
    """A file object that names its format."""

    def __init__(self, inner, type):
        self.inner, self.type = inner, type

    def read(self, n):
        return self.inner.read(n)


class Reading:
    def __init__(self, data, chunk_hook=None):
        self.stream = io.BytesIO(data)
        self.sizes = []
        self.hook = chunk_hook

    def read(self, n):
        self.sizes.append(n)
        chunk = self.stream.read(n)
        return self.hook(chunk) if self.hook else chunk


def test_every_input_kind_reads_alike(data, tmp_path):
    path = tmp_path / "in.schem"
    path.write_bytes(data)
    adapter = Reading(data)
    expected = blocks_of(data)
    assert blocks_of(str(path)) == expected
    assert blocks_of(adapter) == expected
    assert set(adapter.sizes) == {8192}
    assert blocks_of(io.BytesIO(data)) == expected


@pytest.mark.parametrize("bad", [bytearray(b"x"), memoryview(b"x"), pathlib.Path("x"), 12, None])
def test_unusable_inputs(bad):
    with pytest.raises(TypeError, match="^Input must be a path, URL, bytes, or file-like object$"):
        kubic_rs.open(bad)


@pytest.mark.parametrize("target", ["http://example.com/a.schem", "httpdata.schem"])
def test_http_paths_are_refused(target, data):
    with pytest.raises(NotImplementedError, match="^HTTP not linked$"):
        kubic_rs.open(target)
    with kubic_rs.open(data) as r:
        with pytest.raises(NotImplementedError, match="^HTTP not linked$"):
            r.save(target)


def test_missing_paths_raise_os_errors(tmp_path, data):
    with pytest.raises(FileNotFoundError) as info:
        kubic_rs.open(str(tmp_path / "missing.schem"))
    assert str(info.value) == "No such file or directory (os error 2)"
    with kubic_rs.open(data) as r:
        with pytest.raises(FileNotFoundError):
            r.save(str(tmp_path / "no" / "dir.kub"))


def test_adapter_failures_travel_inside_core_messages(data, tmp_path):
    text_path = tmp_path / "in.schem"
    text_path.write_bytes(data)
    with text_path.open("r", encoding="latin-1") as text_mode:
        with kubic_rs.open(Typed(text_mode, "sponge")) as r:
            with pytest.raises(RuntimeError, match="^Sponge: Failed to read NBT data: Failed to extract bytes $"):
                r.read_full()

    def boom(_):
        raise ValueError("boom")

    with kubic_rs.open(Typed(Reading(data, boom), "kub")) as r:
        with pytest.raises(RuntimeError, match="^ValueError: boom$"):
            r.read_full()
    # A read returning more than asked loses the surplus: the stream is corrupt.
    import random
    rng = random.Random(3)
    big = sponge_file(40, 40, 40, {(x, y, z): f"minecraft:b{rng.randrange(300)}"
                                   for x in range(40) for y in range(40) for z in range(40)})
    assert len(big) > 3 * 8192
    greedy = io.BytesIO(big)
    greedy.type = "sponge"
    greedy_read = greedy.read
    greedy.read = lambda n: greedy_read(n + 100)
    with kubic_rs.open(greedy) as r:
        with pytest.raises(RuntimeError, match="^Sponge: Failed to read NBT data: corrupt"):
            r.read_full()


class Writing:
    def __init__(self, returns_none=False, flush=True):
        self.buffer = io.BytesIO()
        self.returns_none = returns_none
        if flush:
            self.flush = lambda: None

    def write(self, data):
        written = self.buffer.write(data)
        return None if self.returns_none else written


def test_output_objects(data):
    good = Writing()
    with kubic_rs.open(data) as r:
        r.save(good, "sponge")
    assert blocks_of(good.buffer.getvalue()) == blocks_of(data)
    # Python's own gzip reads what our encoder writes.
    assert gzip.decompress(good.buffer.getvalue())[:1] == b"\x0a"

    with kubic_rs.open(data) as r:
        with pytest.raises(RuntimeError, match="^AttributeError: "):
            r.save(Writing(flush=False), "kub")
    with kubic_rs.open(data) as r:
        with pytest.raises(RuntimeError, match="^Failed to flush NBT: Failed to extract written length$"):
            r.save(Writing(returns_none=True), "mojang")
    with kubic_rs.open(data) as r:
        with pytest.raises(TypeError, match="^Input must be a path, URL, or file-like object$"):
            r.save(b"bytes", "kub")


def test_a_write_returning_none_is_reported_even_at_the_final_write_out(data):
    class NoneWriter:
        def __init__(self):
            self.received = b""

        def write(self, chunk):
            self.received += chunk
            return None

        def flush(self):
            pass

    with kubic_rs.open(data) as r:
        with pytest.raises(RuntimeError, match="^Failed to extract written length$"):
            r.save(NoneWriter(), "sponge")


def test_trailing_bytes_after_the_member_are_ignored(data):
    assert blocks_of(data + b"trailing garbage") == blocks_of(data)


def test_empty_and_truncated_gzip():
    with kubic_rs.open(b"") as r:
        with pytest.raises(RuntimeError, match="^No matching format found$"):
            r.read_full()
    with kubic_rs.open(b"", ) if False else kubic_rs.open(type("T", (), {"type": "kub", "read": lambda self, n: b""})()) as r:
        with pytest.raises(RuntimeError, match="^invalid gzip header$"):
            r.read_full()
