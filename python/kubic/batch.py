"""Converting many files at once: on a local pool of worker processes, or
on a Dask cluster, one JSON Lines record per file as results arrive.

    from kubic.batch import convert_many
    report = convert_many(["builds/"], "out/", "sponge", manifest="out/manifest.jsonl")
"""
from __future__ import annotations

import concurrent.futures
import dataclasses
import fnmatch
import glob
import json
import multiprocessing
import os
import pathlib
import sys
import time
import warnings
from typing import Any, Callable, Iterable, Iterator, Union

from .schematic import EXTENSIONS, OUTPUT_EXTENSIONS, format_name

__all__ = ["convert_many", "BatchReport", "convert_one", "convert_group"]

PathLike = Union[str, "os.PathLike[str]"]
# How many tasks wait per worker: enough to keep it busy, few enough that a
# batch of a million files does not queue a million futures.
QUEUED_PER_WORKER = 4
# Files go to workers in groups, so that small files do not cost a round
# trip each: at most this many files, or this many bytes of input.
GROUP_FILES = 32
GROUP_BYTES = 8 << 20


@dataclasses.dataclass
class BatchReport:
    """What a batch did: counts, time, and the record of every file converted
    in this run. Skipped inputs (converted by an earlier run that is
    resumed, or found in a folder with an extension kubic does not read)
    are only counted."""
    converted: int = 0
    failed: int = 0
    skipped: int = 0
    seconds: float = 0.0
    records: list[dict[str, Any]] = dataclasses.field(default_factory=list)

    @property
    def ok(self) -> bool:
        return self.failed == 0

    def summary(self) -> str:
        rate = (self.converted + self.failed) / self.seconds if self.seconds else 0.0
        return (f"{self.converted} converted, {self.failed} failed, {self.skipped} skipped "
                f"in {self.seconds:.1f} s ({rate:.1f} files/s)")


def convert_one(source: str, output: str, to: str) -> dict[str, Any]:
    """Converts one file (its output written atomically) and says how it
    went; never raises for a bad input."""
    from . import load  # in the worker, on its first task
    start = time.perf_counter()
    record = _record(source, output)
    try:
        record["bytes_in"] = os.path.getsize(source)
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            schematic = load(source)
        record["format_in"] = schematic.format
        record["blocks"] = sum(schematic.counts().values())
        record["block_entities"] = len(schematic.block_entities)
        record["entities"] = len(schematic.entities)
        os.makedirs(os.path.dirname(output) or ".", exist_ok=True)
        schematic.save(output, to)
        record["bytes_out"] = os.path.getsize(output)
        record["ok"] = True
    except Exception as error:  # one bad file never stops the batch
        record["error_class"] = type(error).__name__
        record["error"] = str(error)
    record["seconds"] = round(time.perf_counter() - start, 6)
    return record


def convert_group(tasks: list[tuple[str, str, str]]) -> list[dict[str, Any]]:
    """convert_one for each of a group of (input, output, format) tasks."""
    return [convert_one(*task) for task in tasks]


def _groups(tasks: list[tuple[str, str, str]], workers: int) -> list[list[tuple[str, str, str]]]:
    """Tasks in groups of a few files or bytes; small enough groups that
    every worker gets several."""
    most = max(1, min(GROUP_FILES, len(tasks) // (workers * QUEUED_PER_WORKER * 2)))
    groups: list[list[tuple[str, str, str]]] = []
    size = 0
    for task in tasks:
        try:
            task_size = os.path.getsize(task[0])
        except OSError:
            task_size = 0
        if not groups or len(groups[-1]) >= most or size + task_size > GROUP_BYTES:
            groups.append([])
            size = 0
        groups[-1].append(task)
        size += task_size
    return groups


def _inputs(sources: Iterable[PathLike], pattern: str | None) -> Iterator[tuple[str, str | None]]:
    """(path, path relative to its source folder) of every input, in a
    stable order, the relative path None for a file of a folder whose
    extension kubic does not read; a file given by name is taken whatever
    its extension."""
    for source in sources:
        path = pathlib.Path(source)
        if not path.is_dir():
            yield str(path), path.name
            continue
        for found in sorted(p for p in path.rglob("*") if p.is_file()):
            if pattern is not None and not fnmatch.fnmatch(found.name, pattern):
                continue
            readable = pattern is not None or found.suffix.lower() in EXTENSIONS
            yield str(found), str(found.relative_to(path)) if readable else None


def _manifest_records(manifest: pathlib.Path) -> list[dict[str, Any]]:
    """The records of a manifest; a line cut by a crash is left out."""
    records = []
    for line in manifest.read_text(encoding="utf-8").splitlines() if manifest.exists() else []:
        try:
            records.append(json.loads(line))
        except json.JSONDecodeError:
            continue
    return records


def _done_before(records: list[dict[str, Any]]) -> set[str]:
    """Inputs whose manifest line says ok and whose output exists."""
    return {r["input"] for r in records if r.get("ok") and os.path.exists(r.get("output", ""))}


def _compact(manifest: pathlib.Path) -> None:
    """Rewrites the manifest with one line per input, its latest: a run
    appends the lines of the inputs it converts again."""
    records = _manifest_records(manifest)
    latest = {record.get("input"): record for record in records}
    if len(latest) == len(records):
        return
    temporary = manifest.with_name(f".{manifest.name}.kubic-rewrite")
    temporary.write_text("".join(json.dumps(r, ensure_ascii=False) + "\n" for r in latest.values()),
                         encoding="utf-8")
    os.replace(temporary, manifest)


def _staged(output: str) -> str:
    """Where a worker writes an output: beside it, hidden, renamed into
    place only when its manifest line is written."""
    folder, name = os.path.split(output)
    return os.path.join(folder, f".{name}.kubic-staged")


def _remove_leftovers(output: str) -> None:
    """The staged file of an output not put in place, and the temporary
    files of a worker stopped while writing it."""
    staged = _staged(output)
    folder, name = os.path.split(staged)
    for path in [staged, *glob.glob(os.path.join(glob.escape(folder or "."), glob.escape(f".{name}") + ".kubic-*"))]:
        try:
            os.remove(path)
        except FileNotFoundError:
            pass


def _put_in_place(record: dict[str, Any], output: str) -> dict[str, Any]:
    """The record of a finished task, its staged output renamed into place."""
    record = {**record, "output": output}
    if record["ok"]:
        try:
            os.replace(_staged(output), output)
        except OSError as error:
            record.update(ok=False, bytes_out=None, error_class=type(error).__name__, error=str(error))
    return record


class _Progress:
    """Files done and failed, files per second and the time left, on a terminal."""
    redraw_seconds = 0.2

    def __init__(self, total: int, stream: Any) -> None:
        self.total, self.stream, self.start = total, stream, time.monotonic()
        self.shown = 0.0
        self.live = bool(getattr(stream, "isatty", lambda: False)())
        self.visible = False

    def update(self, report: BatchReport) -> None:
        now = time.monotonic()
        if not self.live or now - self.shown < self.redraw_seconds:
            return
        self.shown = now
        finished = report.converted + report.failed
        rate = finished / (now - self.start) if now > self.start else 0.0
        left = (self.total - finished) / rate if rate else 0.0
        self.stream.write(f"\r\033[Kkubic: {finished}/{self.total} files, {report.failed} failed, "
                          f"{rate:.1f} files/s, {left:.0f} s left")
        self.stream.flush()
        self.visible = True

    def clear(self) -> None:
        if self.visible:
            self.stream.write("\r\033[K")
            self.stream.flush()
            self.visible = False


def _local_results(tasks: list[tuple[str, str, str]], workers: int) -> Iterator[dict[str, Any]]:
    """Results from a pool of worker processes, as they arrive; the tasks of
    a worker that died are reported as failed and the pool is started anew."""
    pending = list(reversed(_groups(tasks, workers)))
    while pending:
        context = multiprocessing.get_context(_start_method())
        with concurrent.futures.ProcessPoolExecutor(max_workers=workers, mp_context=context) as pool:
            running: dict[concurrent.futures.Future[list[dict[str, Any]]], list[tuple[str, str, str]]] = {}
            try:
                while pending or running:
                    while pending and len(running) < workers * QUEUED_PER_WORKER:
                        running[pool.submit(convert_group, pending[-1])] = pending[-1]
                        pending.pop()
                    done, _ = concurrent.futures.wait(running, return_when=concurrent.futures.FIRST_COMPLETED)
                    for future in done:
                        group = running.pop(future)
                        try:
                            yield from future.result()
                        except concurrent.futures.process.BrokenProcessPool:
                            yield from (_failed(task, "WorkerDied", "the worker process died") for task in group)
            except concurrent.futures.process.BrokenProcessPool:
                for group in running.values():
                    yield from (_failed(task, "WorkerDied", "the worker process died") for task in group)
            except BaseException:
                # Ctrl-C or the caller gave up: no task is worth finishing.
                processes = list((getattr(pool, "_processes", None) or {}).values())
                # Tasks still queued for the dead workers must not keep this
                # process from exiting: the queue's feeder thread would wait
                # forever on a full pipe that nobody reads.
                call_queue = getattr(pool, "_call_queue", None)
                if call_queue is not None:
                    call_queue.cancel_join_thread()
                pool.shutdown(wait=False, cancel_futures=True)
                for process in processes:
                    process.terminate()
                raise


def _start_method() -> str:
    """Workers forked from this process start at once, kubic already
    loaded; with other threads running, forking is unsafe and they start
    afresh."""
    import threading
    if "fork" in multiprocessing.get_all_start_methods() and threading.active_count() == 1:
        return "fork"
    return "spawn"


def _record(source: str, output: str) -> dict[str, Any]:
    """A manifest record of a file not (yet) converted."""
    return {"input": source, "output": output, "ok": False, "format_in": None, "blocks": None,
            "block_entities": None, "entities": None, "bytes_in": None, "bytes_out": None, "seconds": None,
            "error_class": None, "error": None}


def _failed(task: tuple[str, str, str], error_class: str, message: str) -> dict[str, Any]:
    source, output, _ = task
    return {**_record(source, output), "error_class": error_class, "error": message}


def _dask_results(tasks: list[tuple[str, str, str]], client: Any) -> Iterator[dict[str, Any]]:
    """Results of the same tasks on a Dask cluster, as they arrive."""
    from distributed import as_completed
    workers = max(1, sum(client.nthreads().values()))
    pending = list(reversed(_groups(tasks, workers)))
    running: dict[str, tuple[Any, list[tuple[str, str, str]]]] = {}
    arrived = as_completed()

    def submit() -> None:
        group = pending.pop()
        future = client.submit(convert_group, group, pure=False)
        running[future.key] = (future, group)
        arrived.add(future)

    try:
        while pending and len(running) < workers * QUEUED_PER_WORKER:
            submit()
        for future in arrived:
            _, group = running.pop(future.key)
            try:
                yield from future.result()
            except Exception as error:
                yield from (_failed(task, type(error).__name__, str(error)) for task in group)
            if pending:
                submit()
    except BaseException:
        client.cancel([future for future, _ in running.values()])
        raise


def dask_client(address: str) -> Any:
    """A client of the Dask scheduler at `address`; says what to install
    when Dask is missing."""
    try:
        from distributed import Client
    except ImportError:
        raise ImportError("a Dask scheduler needs Dask's distributed package: pip install 'kubic[dask]'") from None
    return Client(address)


def convert_many(sources: Iterable[PathLike], out_dir: PathLike, to: str, *, workers: int | None = None,
                 client: Any = None, manifest: PathLike | None = None, resume: bool = False,
                 pattern: str | None = None,
                 on_record: Callable[[dict[str, Any]], None] | None = None) -> BatchReport:
    """Converts every input (files, and folders searched recursively for
    every extension kubic reads, or `pattern`) to the format `to`, each
    output at its relative place under `out_dir` with the format's
    extension. Runs on `workers` local processes (the number of cores by
    default), or on the Dask cluster of `client`. Each result is a line of
    the JSON Lines `manifest`, appended as it arrives; `resume` skips
    inputs that the manifest lists as converted and whose output exists."""
    canonical = format_name(to, writing=True)
    out = pathlib.Path(out_dir)
    extension = OUTPUT_EXTENSIONS[canonical]
    manifest_path = pathlib.Path(manifest) if manifest is not None else None
    if resume and manifest_path is None:
        raise ValueError("resume needs the manifest of the earlier run")
    done = _done_before(_manifest_records(manifest_path)) if resume and manifest_path is not None else set()
    report = BatchReport()
    tasks, outputs = [], {}
    for source, relative in _inputs(sources, pattern):
        if relative is None or source in done:
            report.skipped += 1
            continue
        output = str(out / pathlib.Path(relative).with_suffix(extension))
        tasks.append((source, _staged(output), canonical))
        outputs[source] = output
    start = time.monotonic()
    progress = _Progress(len(tasks), sys.stderr)
    if manifest_path is not None:
        manifest_path.parent.mkdir(parents=True, exist_ok=True)
    sink = open(manifest_path, "a", encoding="utf-8") if manifest_path is not None else None
    results = (_dask_results(tasks, client) if client is not None
               else _local_results(tasks, workers or os.cpu_count() or 1))
    finished = set()
    try:
        for staged_record in results:
            record = _put_in_place(staged_record, outputs[staged_record["input"]])
            finished.add(record["input"])
            if sink is not None:
                # One whole line at a time: an interrupted run leaves a valid manifest.
                sink.write(json.dumps(record, ensure_ascii=False) + "\n")
                sink.flush()
            report.records.append(record)
            if record["ok"]:
                report.converted += 1
            else:
                report.failed += 1
            if on_record is not None:
                progress.clear()  # the caller may print
                on_record(record)
            progress.update(report)
    finally:
        report.seconds = time.monotonic() - start
        progress.clear()
        if sink is not None:
            sink.close()
            _compact(manifest_path)
        for source, output in outputs.items():
            if source not in finished:
                _remove_leftovers(output)
    return report
