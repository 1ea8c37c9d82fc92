"""Every corpus file, whatever its folder: read through detection unless it
is listed as unsupported, and the NBT formats read alike uncompressed."""
import gzip
import io

import pytest

import kubic_rs
import nbt_util
from conftest import CORPUS, describe, unsupported


def every_corpus_file():
    if not CORPUS.is_dir():
        return [pytest.param(None, marks=pytest.mark.skip(reason="corpus folder absent"))]
    files = sorted(p for p in CORPUS.glob("*/*") if p.is_file())
    return [pytest.param(path, id=f"{path.parent.name}/{path.name}") for path in files]


def block_count(source):
    with kubic_rs.open(source) as r:
        return sum(len(bulk) for bulk in r.iter_bulks())


@pytest.mark.parametrize("path", every_corpus_file())
def test_every_file_reads_or_is_listed(path, capfd):
    if unsupported(path):
        with pytest.raises(RuntimeError):
            block_count(path.read_bytes())
    else:
        assert block_count(path.read_bytes()) >= 0
    capfd.readouterr()


def named(data, fmt):
    stream = io.BytesIO(data)
    stream.type = fmt
    return stream


def blocks_of(source):
    with kubic_rs.open(source) as r:
        return describe(r.read_full())


@pytest.mark.parametrize("path", [p for p in every_corpus_file() if p.values[0] is None
                                  or p.values[0].parent.name in ("sponge", "structure", "mcedit")])
def test_nbt_files_read_alike_uncompressed(path, capfd):
    if unsupported(path) or path.stat().st_size > 200_000:
        pytest.skip("not read, or too large to read three times here")
    data = path.read_bytes()
    plain = nbt_util.gunzip_member(data)
    expected = blocks_of(data)
    assert blocks_of(plain) == expected
    fmt = {"sponge": "sponge", "structure": "mojang"}.get(path.parent.name)
    if fmt:
        assert blocks_of(named(plain, fmt)) == expected
    capfd.readouterr()


def test_kub_stays_gzip_only():
    # A kub body that is not gzip is not taken for a kub file, named or detected.
    body = bytes([0xD4, 0x9A, 0x99, 0x92, 0xD4, 0xEA, 0x12, 1, 0, 0, 0, 0, 0, 0, 0])
    with kubic_rs.open(named(body, "kub")) as r:
        with pytest.raises(RuntimeError, match="invalid gzip header"):
            r.read_full()
    with kubic_rs.open(body) as r:
        with pytest.raises(RuntimeError, match="^No matching format found$"):
            r.read_full()
    with kubic_rs.open(gzip.compress(body)) as r:
        assert r.read_full() == []
