"""Every corpus file converted to every writable format, by both Python
surfaces, and `kubic info --json` of the corpus, give what they gave when
tests/data/outputs.json was recorded: a guard for changes that must not
change any output byte or message.

Record anew only for a change meant to alter outputs, all files or some:
    python tests/python/test_outputs_unchanged.py --record [folder/name ...]
"""
import contextlib
import gzip
import hashlib
import io
import json
import pathlib
import struct
import subprocess
import sys
import warnings

import pytest

import kubic
import kubic_rs
from conftest import CORPUS

RECORD = pathlib.Path(__file__).resolve().parents[1] / "data" / "outputs.json"
FORMATS = {"kub": "kub", "sponge": "sponge", "structure": "mojang", "litematica": "litematica"}
# Long tags written at save time when the source has no date: their
# values are left out of the digest.
CLOCK_TAGS = [b"\x04" + struct.pack(">H", len(name)) + name for name in (b"Date", b"TimeCreated", b"TimeModified")]


def digest(data):
    """The output's digest: its decompressed bytes, clock values masked."""
    raw = bytearray(gzip.decompress(data) if data[:2] == b"\x1f\x8b" else data)
    for tag in CLOCK_TAGS:
        at = raw.find(tag)
        while at >= 0:
            raw[at + len(tag):at + len(tag) + 8] = bytes(8)
            at = raw.find(tag, at + 1)
    return hashlib.sha256(raw).hexdigest()[:16]


def _outcome(work):
    try:
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            return work()
    except Exception as error:  # the message is part of what must not change
        return f"{type(error).__name__}: {error}"


def _package_save(path, fmt):
    out = io.BytesIO()
    kubic.load(path).save(out, fmt)
    return digest(out.getvalue())


def _module_save(path, fmt, tmp):
    target = tmp / f"out.{fmt}"
    with contextlib.redirect_stdout(io.StringIO()), kubic_rs.open(str(path)) as reader:
        reader.save(str(target), FORMATS[fmt])
    return digest(target.read_bytes())


def corpus():
    if not CORPUS.is_dir():
        return []
    return sorted(p for p in CORPUS.rglob("*") if p.is_file() and p.parent != CORPUS)


def outputs_of(path, tmp):
    key = f"{path.parent.name}/{path.name}"
    result = {}
    for fmt in FORMATS:
        result[f"package {fmt}"] = _outcome(lambda: _package_save(path, fmt))
        result[f"module {fmt}"] = _outcome(lambda: _module_save(path, fmt, tmp))
    info = subprocess.run([sys.executable, "-m", "kubic", "info", "--json", str(path)], capture_output=True,
                          text=True)
    result["info"] = [info.returncode, info.stdout.replace(str(CORPUS), "CORPUS"),
                      info.stderr.replace(str(CORPUS), "CORPUS")]
    return key, result


def _recorded():
    return json.loads(RECORD.read_text()) if RECORD.exists() else {}


@pytest.mark.parametrize("path", corpus() or [pytest.param(None, marks=pytest.mark.skip(reason="corpus absent"))],
                         ids=lambda p: p and f"{p.parent.name}/{p.name}")
def test_outputs_as_recorded(path, tmp_path):
    key, result = outputs_of(path, tmp_path)
    recorded = _recorded().get(key)
    if recorded is None:
        pytest.skip(f"{key} was not in the corpus when the outputs were recorded")
    assert result == recorded


if __name__ == "__main__" and sys.argv[1:2] == ["--record"]:
    import tempfile

    # --record alone records every file; --record folder/name ... only those.
    chosen = set(sys.argv[2:])
    record = json.loads(RECORD.read_text()) if chosen else {}
    with tempfile.TemporaryDirectory() as tmp:
        record.update(outputs_of(path, pathlib.Path(tmp)) for path in corpus()
                      if not chosen or f"{path.parent.name}/{path.name}" in chosen)
    RECORD.parent.mkdir(exist_ok=True)
    RECORD.write_text(json.dumps(record, indent=1, sort_keys=True) + "\n")
    print(f"recorded {len(chosen) or len(record)} files")
