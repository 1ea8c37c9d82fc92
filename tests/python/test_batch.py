"""Batch conversion: a folder of real, generated, broken and foreign files
converted by local workers and on a Dask cluster, resumed, interrupted."""
import json
import pathlib
import shutil
import signal
import subprocess
import sys
import time

import numpy as np
import pytest

import kubic
from conftest import CORPUS, unsupported
import kubic.batch
from kubic.batch import convert_many

STATES = ["minecraft:air", "minecraft:stone", "minecraft:oak_log[axis=y]", "minecraft:glass"]


@pytest.fixture(scope="module")
def batch_folder(tmp_path_factory):
    """300 inputs in nested folders: corpus files, generated ones in every
    writable format, and broken, truncated and foreign ones."""
    root = tmp_path_factory.mktemp("batch") / "in"
    real = sorted(p for p in CORPUS.glob("*/*") if p.suffix in (".schem", ".nbt", ".litematic", ".schematic")
                  and p.stat().st_size < 60_000 and not unsupported(p)) if CORPUS.is_dir() else []
    for i, path in enumerate(real[:100]):
        target = root / "corpus" / path.parent.name / f"{i:03}_{path.name}"
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copy(path, target)
    rng = np.random.default_rng(1)
    extensions = [".kub", ".schem", ".nbt", ".litematic"]
    made = len(list(root.rglob("*")))
    for i in range(300 - 12 - min(len(real), 100)):
        blocks = rng.integers(0, len(STATES), size=(4, 3, 5), dtype=np.uint16)
        target = root / "made" / f"group{i % 7}" / f"m{i:03}{extensions[i % 4]}"
        target.parent.mkdir(parents=True, exist_ok=True)
        kubic.Schematic.from_numpy(blocks, STATES, origin=(i, 0, -i)).save(target)
    broken = root / "broken"
    broken.mkdir()
    good = (root / "made" / "group0" / "m000.kub").read_bytes()
    for i in range(4):
        (broken / f"cut{i}.schem").write_bytes(kubic_bytes("sponge")[: 20 + 15 * i])
        (broken / f"noise{i}.nbt").write_bytes(bytes(range(40 + i)))
        (broken / f"half{i}.kub").write_bytes(good[: len(good) // 2 + i])
    (root / "notes.txt").write_text("not a schematic, not taken")
    assert len([p for p in root.rglob("*") if p.is_file() and p.suffix != ".txt"]) == 300 - made + made
    return root


def kubic_bytes(fmt):
    import io
    out = io.BytesIO()
    kubic.Schematic.from_numpy(np.ones((3, 3, 3), dtype=np.uint16), STATES).save(out, fmt)
    return out.getvalue()


def outputs(folder):
    """Every output's bytes by its place (kub output: no time stamps in it)."""
    return {str(p.relative_to(folder)): p.read_bytes() for p in folder.rglob("*") if p.suffix == ".kub"}


def without_timing(records, base):
    out = []
    for record in records:
        record = {k: v for k, v in record.items() if k != "seconds"}
        record["output"] = str(pathlib.Path(record["output"]).relative_to(base))
        out.append(record)
    return sorted(out, key=lambda r: r["input"])


def read_manifest(path):
    return [json.loads(line) for line in path.read_text().splitlines()]


def test_one_and_two_workers_agree_and_bad_files_do_not_stop_the_batch(batch_folder, tmp_path):
    runs = {}
    for workers in (1, 2):
        out = tmp_path / f"out{workers}"
        report = convert_many([batch_folder], out, "kub", workers=workers, manifest=out / "manifest.jsonl")
        assert report.failed == 12 and report.converted == 288, report.summary()
        records = read_manifest(out / "manifest.jsonl")
        assert len(records) == 300 and all(set(r) == set(records[0]) for r in records)
        runs[workers] = (outputs(out), without_timing(records, out))
    assert runs[1] == runs[2]
    failed = [r for r in runs[1][1] if not r["ok"]]
    assert {r["error_class"] for r in failed} <= {"CorruptFileError", "UnknownFormatError"}
    assert len(runs[1][0]) == 288
    converted = next(r for r in runs[1][1] if r["ok"] and r["input"].endswith("m001.schem"))
    assert converted["output"] == "made/group1/m001.kub" and converted["format_in"] == "sponge"
    assert converted["blocks"] == int(np.count_nonzero(kubic.load(batch_folder / "made/group1/m001.schem").blocks))


def test_resume_converts_only_the_rest(batch_folder, tmp_path):
    out, manifest = tmp_path / "out", tmp_path / "out" / "manifest.jsonl"
    made = len(list((batch_folder / "made").rglob("*.*")))
    first = convert_many([batch_folder / "made"], out, "kub", workers=2, manifest=manifest)
    assert first.converted == made
    again = convert_many([batch_folder], out, "kub", workers=2, manifest=manifest, resume=True)
    # notes.txt, of an extension kubic does not read, is skipped too.
    assert again.skipped == made + 1 and again.converted + again.failed == 300 - made
    assert f"{made + 1} skipped" in again.summary()
    # The failed inputs are tried again and keep one line each.
    third = convert_many([batch_folder], out, "kub", workers=2, manifest=manifest, resume=True)
    assert third.failed == 12 and third.converted == 0
    inputs = [r["input"] for r in read_manifest(manifest)]
    assert len(inputs) == len(set(inputs)) == 300


def test_the_command_stops_on_ctrl_c_with_a_valid_manifest(batch_folder, tmp_path):
    out = tmp_path / "out"
    process = subprocess.Popen([sys.executable, "-m", "kubic", "convert-many", str(batch_folder), "--out", str(out),
                                "--to", "litematica", "--workers", "2"], stderr=subprocess.PIPE, text=True)
    manifest = out / "manifest.jsonl"
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline and not (manifest.exists() and manifest.read_text().count("\n") >= 5):
        time.sleep(0.02)
    process.send_signal(signal.SIGINT)
    _, err = process.communicate(timeout=60)
    assert process.returncode == 130, err
    records = read_manifest(manifest)
    assert 5 <= len(records) < 300
    # Every output on disk has its line, and nothing half-written is left.
    on_disk = {str(p) for p in out.rglob("*.litematic")}
    assert on_disk == {r["output"] for r in records if r["ok"]}
    assert not [p for p in out.rglob("*") if ".kubic-" in p.name]
    resumed = subprocess.run([sys.executable, "-m", "kubic", "convert-many", str(batch_folder), "--out", str(out),
                              "--to", "litematica", "--resume"], capture_output=True, text=True, timeout=300)
    assert resumed.returncode == 1 and "12 failed" in resumed.stderr
    done = [r["input"] for r in read_manifest(manifest) if r["ok"]]
    assert len(done) == len(set(done)) == 288


def test_a_dask_cluster_gives_the_same_outputs(batch_folder, tmp_path):
    distributed = pytest.importorskip("distributed")
    local = tmp_path / "local"
    convert_many([batch_folder / "made"], local, "kub", workers=1)
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as cluster:
        with distributed.Client(cluster) as client:
            report = convert_many([batch_folder / "made"], tmp_path / "dask", "kub", client=client)
    assert report.converted == len(list((batch_folder / "made").rglob("*.*"))) and report.failed == 0
    assert outputs(tmp_path / "dask") == outputs(local)


def test_a_scheduler_without_dask_says_what_to_install(tmp_path, monkeypatch):
    import kubic.batch
    monkeypatch.setitem(sys.modules, "distributed", None)
    with pytest.raises(ImportError, match=r"pip install 'kubic\[dask\]'"):
        kubic.batch.dask_client("tcp://127.0.0.1:1")


def test_the_progress_line_is_cleared_before_the_caller_prints(batch_folder, tmp_path, monkeypatch):
    import io

    class Terminal(io.StringIO):
        def isatty(self):
            return True

    terminal = Terminal()
    monkeypatch.setattr(sys, "stderr", terminal)
    monkeypatch.setattr(kubic.batch._Progress, "redraw_seconds", 0.0)
    seen = []

    def on_record(record):
        seen.append(terminal.getvalue())

    convert_many([batch_folder / "broken"], tmp_path / "out", "kub", workers=1, on_record=on_record)
    assert len(seen) == 12 and "files/s" in seen[-1]
    assert all(text.endswith("\r\033[K") for text in seen[1:])
