"""kubic info | convert | convert-many | blocks: the kubic API at the command line.

Exit status: 0 on success, 1 when a file cannot be read or written, 2 for
usage errors, 130 when interrupted.
"""
import argparse
import csv
import json
import os
import shutil
import signal
import sys
import tempfile
import threading
import time
import warnings

import numpy as np

from . import __version__, _core
from .errors import EditWarning, KubicError, LegacyConversionWarning
from .schematic import AIRS, EXTENSIONS, FORMATS, OUTPUT_EXTENSIONS, VOID, WRITABLE, format_name, load
from .bedrock import BedrockReport
from .versions import MISSING_CHOICES

# The largest structure the game's structure blocks load, along each axis.
STRUCTURE_BLOCK_LIMIT = 48

# The command's own standard output. While a command runs, sys.stdout points
# at standard error: the legacy reader writes its notices through sys.stdout,
# and they must never mix into JSON or a converted file.
_output = sys.stdout


class UsageError(Exception):
    """A command line that cannot be carried out as given (exit status 2)."""


class FileError(Exception):
    """A file that cannot be read or written (exit status 1)."""

    def __init__(self, name, message):
        super().__init__(f"{name}: {message}")


def say(text):
    """One line of the command's own output."""
    print(text, file=_output)


class Progress:
    """What a long job is doing, on a terminal only, once it takes a moment:
    a line naming the phase and the time it has taken, kept up to date."""

    def __init__(self):
        self.start, self.text, self.shown = time.monotonic(), "", False
        self.enabled = sys.stderr.isatty()
        self.stopped = threading.Event()
        self.writing = threading.Lock()
        if self.enabled:
            threading.Thread(target=self._tick, daemon=True).start()

    def phase(self, text):
        self.text = text

    def say(self, text):
        """A message on standard error, never on the progress line."""
        with self.writing:
            self._erase()
            print(text, file=sys.stderr)

    def _tick(self):
        while not self.stopped.wait(0.25):
            elapsed = time.monotonic() - self.start
            if elapsed > 0.5 and self.text:
                with self.writing:
                    sys.stderr.write(f"\r\033[Kkubic: {self.text} ({elapsed:.0f} s)")
                    sys.stderr.flush()
                    self.shown = True

    def _erase(self):
        if self.shown:
            sys.stderr.write("\r\033[K")
            sys.stderr.flush()
            self.shown = False

    def clear(self):
        self.stopped.set()
        with self.writing:
            self._erase()


def non_negative(text):
    value = int(text)
    if value < 0:
        raise argparse.ArgumentTypeError(f"must not be negative: {value}")
    return value


def read_schematic(name, fmt="auto", progress=None, region=None):
    """The schematic in a file (or standard input for "-"), errors named."""
    if progress:
        progress.phase(f"reading {name}")
    try:
        with warnings.catch_warnings(record=True) as caught:
            warnings.simplefilter("always", LegacyConversionWarning)
            source = sys.stdin.buffer.read() if name == "-" else name
            schematic = load(source, fmt, region=region)
    except OSError as error:
        raise FileError(name, error.strerror or str(error)) from None
    except (KubicError, ValueError) as error:
        raise FileError(name, str(error)) from None
    say = progress.say if progress else lambda text: print(text, file=sys.stderr)
    for warning in caught:
        say(f"kubic: {warning.message}")
    if isinstance(schematic.report, BedrockReport) and (schematic.report.no_equivalent or
                                                        schematic.report.untranslated):
        say(f"kubic: {name}: {schematic.report}")
    return schematic


def output_format(args):
    if args.to:
        return args.to
    ext = os.path.splitext(args.output)[1].lower()
    if ext in EXTENSIONS:
        return EXTENSIONS[ext]
    raise UsageError(f"cannot tell the output format of '{args.output}': use --to "
                     f"{'|'.join(WRITABLE)} or an extension {', '.join(OUTPUT_EXTENSIONS.values())}")


def command_convert(args):
    try:
        fmt = format_name(output_format(args), writing=True)
        if args.game_version:
            _core.game_version(args.game_version)
    except ValueError as error:
        raise UsageError(str(error)) from None
    if args.game_version and args.data_version is not None:
        raise UsageError("--game-version converts and labels: leave out --data-version")
    if args.output == "-" and _output.isatty():
        raise UsageError("refusing to write compressed data to a terminal: redirect standard output")
    start, progress = time.monotonic(), Progress()
    try:
        convert_with(args, fmt, progress, start)
    finally:
        progress.clear()


def convert_with(args, fmt, progress, start):
    schematic = read_schematic(args.input, args.source, progress, args.region)
    if args.game_version:
        progress.phase(f"converting {args.input} to {args.game_version}")
        try:
            schematic = schematic.to_version(args.game_version, missing=args.missing)
        except ValueError as error:
            raise FileError(args.input, str(error)) from None
        progress.say(f"kubic: {args.input}: {schematic.report}")
    if fmt == "structure" and max(schematic.size) > STRUCTURE_BLOCK_LIMIT:
        progress.say(f"kubic: warning: {args.output}: a structure of {'x'.join(map(str, schematic.size))}; the "
                     f"game's structure blocks load at most {STRUCTURE_BLOCK_LIMIT} on each axis")
    progress.phase(f"writing {args.output}")
    try:
        with warnings.catch_warnings(record=True) as caught:
            warnings.simplefilter("always")
            size = write_output(schematic, args, fmt)
    except OSError as error:
        raise FileError(args.output, error.strerror or str(error)) from None
    except (KubicError, ValueError) as error:
        raise FileError(args.output, str(error)) from None
    for warning in caught:
        progress.say(f"kubic: {args.output}: {warning.message}")
    progress.clear()
    blocks = sum(schematic.counts().values())
    print(f"{args.input} -> {args.output}: {blocks} blocks, {len(schematic.block_entities)} block entities, "
          f"{len(schematic.entities)} entities, {size} bytes ({fmt}), {time.monotonic() - start:.2f}s", file=sys.stderr)


class EditStep(argparse.Action):
    """Keeps the edits of `transform` in the order given."""

    def __call__(self, parser, namespace, values, option_string=None):
        namespace.steps = [*(getattr(namespace, "steps", None) or []), (self.dest, values)]


def edit_steps(steps):
    """The edits as (method, arguments): an --axis names the axis of the
    --rotate just before it, or of the ones after it."""
    axis, planned = "y", []
    for kind, value in steps:
        if kind == "axis":
            if planned and planned[-1][0] == "rotate" and planned[-1][2] is None:
                planned[-1] = ("rotate", planned[-1][1], value)
            else:
                axis = value
        elif kind == "rotate":
            planned.append(("rotate", int(value) // 90, None))
        else:
            planned.append((kind, value, None))
    return [(kind, value, extra if extra is not None else axis) for kind, value, extra in planned]


def crop_corners(text):
    try:
        low, high = text.split(":")
        corners = tuple(int(c) for c in low.split(",")), tuple(int(c) for c in high.split(","))
    except ValueError:
        corners = ()
    if len(corners) != 2 or any(len(c) != 3 for c in corners):
        raise argparse.ArgumentTypeError(f"'{text}' is not X0,Y0,Z0:X1,Y1,Z1")
    return corners


def replacement(text):
    old, equals, new = text.partition("=")
    if not equals or not old or not new:
        raise argparse.ArgumentTypeError(f"'{text}' is not OLD=NEW")
    return old, new


def apply_edit(schematic, kind, value, axis):
    if kind == "rotate":
        return schematic.rotate(value, axis)
    if kind == "flip":
        return schematic.flip(value)
    if kind == "crop":
        return schematic.crop(*value)
    if kind == "trim":
        return schematic.trim()
    schematic.replace(*value)
    return schematic


def command_transform(args):
    if not getattr(args, "steps", None):
        raise UsageError("name at least one edit: --rotate, --flip, --crop, --trim or --replace")
    try:
        fmt = format_name(output_format(args), writing=True)
    except ValueError as error:
        raise UsageError(str(error)) from None
    start, progress = time.monotonic(), Progress()
    try:
        schematic = read_schematic(args.input, "auto", progress)
        size = schematic.size
        progress.phase(f"editing {args.input}")
        with warnings.catch_warnings(record=True) as caught:
            warnings.simplefilter("always", EditWarning)
            for kind, value, axis in edit_steps(args.steps):
                try:
                    schematic = apply_edit(schematic, kind, value, axis)
                except ValueError as error:
                    raise FileError(args.input, f"--{kind}: {error}") from None
        for warning in caught:
            progress.say(f"kubic: {args.input}: {warning.message}")
        progress.phase(f"writing {args.output}")
        try:
            written = write_output(schematic, args, fmt)
        except OSError as error:
            raise FileError(args.output, error.strerror or str(error)) from None
        except (KubicError, ValueError) as error:
            raise FileError(args.output, str(error)) from None
    finally:
        progress.clear()
    print(f"{args.input} -> {args.output}: {'x'.join(map(str, size))} -> {'x'.join(map(str, schematic.size))}, "
          f"{written} bytes ({fmt}), {time.monotonic() - start:.2f}s", file=sys.stderr)


def write_output(schematic, args, fmt):
    """Saves to the output path, or through a temporary file to standard
    output (a save to a path runs beside the progress line); its size."""
    options = {"data_version": args.data_version, "sponge_version": args.sponge_version,
               "missing": "error" if getattr(args, "missing", None) == "error" else "air"}
    if args.output != "-":
        schematic.save(args.output, fmt, **options)
        return os.path.getsize(args.output)
    with tempfile.TemporaryDirectory(prefix="kubic-") as folder:
        path = os.path.join(folder, "output" + OUTPUT_EXTENSIONS[fmt])
        schematic.save(path, fmt, **options)
        with open(path, "rb") as written:
            shutil.copyfileobj(written, _output.buffer)
        _output.buffer.flush()
        return os.path.getsize(path)


def report_of(name, schematic, top):
    """The same keys for every file."""
    counts = schematic.counts()
    volume = int(np.prod(schematic.size))
    void_indices = [i for i, state in enumerate(schematic.palette) if state.split("[", 1)[0] == VOID]
    voids = int(np.count_nonzero(np.isin(schematic.blocks, void_indices))) if void_indices else 0
    metadata = schematic.metadata
    return {
        "file": name,
        "format": schematic.format,
        "format_version": schematic.format_version,
        "data_version": schematic.data_version,
        "origin": list(schematic.origin),
        "size": list(schematic.size),
        "volume": volume,
        "blocks": sum(counts.values()),
        "air": volume - sum(counts.values()) - voids,
        "voids": voids,
        "states": len(counts),
        "block_entities": len(schematic.block_entities),
        "entities": len(schematic.entities),
        "name": str(metadata["name"]) if "name" in metadata else None,
        "author": str(metadata["author"]) if "author" in metadata else None,
        "most_common": [{"state": state, "blocks": n}
                        for state, n in sorted(counts.items(), key=lambda item: -item[1])[:top]],
    }


def game_version_text(data_version):
    """'3465 (1.20.1)', the number alone for a DataVersion of no release, or 'unknown'."""
    if data_version is None:
        return "unknown"
    release = _core.release_of(data_version)
    return f"{data_version} ({release})" if release else str(data_version)


def command_info(args):
    failed = False
    for name in args.files:
        progress = Progress()
        try:
            schematic = read_schematic(name, progress=progress)
        except FileError as error:
            progress.clear()
            print(error, file=sys.stderr)
            failed = True
            continue
        report = report_of(name, schematic, args.top)
        progress.clear()
        if args.json:
            say(json.dumps(report))
            continue
        version = f" {report['format_version']}" if report["format_version"] is not None else ""
        say(f"{name}: {report['format']}{version}, data version {game_version_text(report['data_version'])}")
        say(f"  origin {tuple(report['origin'])}, size {tuple(report['size'])} ({report['volume']} positions)")
        voids = f", structure voids {report['voids']}" if report["voids"] else ""
        say(f"  blocks: {report['blocks']} in {report['states']} distinct states, air {report['air']}{voids}")
        say(f"  block entities: {report['block_entities']}, entities: {report['entities']}")
        if report["name"] or report["author"]:
            say(f"  name: {report['name']}, author: {report['author']}")
        for entry in report["most_common"]:
            say(f"    {entry['blocks']:>10}  {entry['state']}")
    if failed:
        raise SystemExit(1)


def command_blocks(args):
    """Every non-air block, positions counted from the schematic's corner."""
    schematic = read_schematic(args.file, region=args.region)
    is_air = np.array([state.split("[", 1)[0] in AIRS for state in schematic.palette], dtype=bool)
    shown = 0
    for position in zip(*np.nonzero(~is_air[schematic.blocks])):
        if args.limit is not None and shown >= args.limit:
            return
        state = schematic.palette[int(schematic.blocks[position])]
        x, y, z = (int(c) for c in position)
        if args.format == "tsv":
            say(f"{x}\t{y}\t{z}\t{state}")
        elif args.format == "jsonl":
            say(json.dumps({"x": x, "y": y, "z": z, "state": state}))
        else:
            say(f"{x} {y} {z} {state}")
        shown += 1


MATERIAL_COLUMNS = ("file", "item", "count", "stack_size", "stacks", "remainder", "shulker_boxes")
SHULKER_STACKS = 27


def material_rows(name, materials):
    """One row per item: full stacks, what remains, and the shulker boxes
    (27 stacks each) the count fills, to two places."""
    rows = []
    for item, count in materials.items():
        stack = _core.item_stack_size(item)
        rows.append({"file": name, "item": item, "count": count, "stack_size": stack, "stacks": count // stack,
                     "remainder": count % stack, "shulker_boxes": round(count / (stack * SHULKER_STACKS), 2)})
    return rows


def command_materials(args):
    rows, failed = [], False
    for name in args.files:
        try:
            schematic = read_schematic(name)
        except FileError as error:
            print(error, file=sys.stderr)
            failed = True
            continue
        rows += material_rows(name, schematic.materials(contents=args.contents))
    if args.format == "json":
        print(json.dumps(rows, indent=1), file=_output)
    elif args.format == "csv":
        writer = csv.DictWriter(_output, fieldnames=MATERIAL_COLUMNS, lineterminator="\n")
        writer.writeheader()
        writer.writerows(rows)
    else:
        for name in args.files:
            mine = [row for row in rows if row["file"] == name]
            if not mine and name not in {row["file"] for row in rows}:
                continue
            print(f"{name}: {len(mine)} items, {sum(row['count'] for row in mine)} in all", file=_output)
            print(f"  {'item':40} {'count':>9} {'stacks':>7} {'+':>3} {'shulker boxes':>14}", file=_output)
            for row in mine:
                print(f"  {row['item']:40} {row['count']:9} {row['stacks']:7} {row['remainder']:3} "
                      f"{row['shulker_boxes']:14.2f}", file=_output)
    if failed:
        raise SystemExit(1)


def command_convert_many(args):
    """Many files at once, on local worker processes or a Dask cluster."""
    from .batch import convert_many, dask_client
    try:
        fmt = format_name(args.to, writing=True)
    except ValueError as error:
        raise UsageError(str(error)) from None
    if args.workers is not None and args.workers < 1:
        raise UsageError("--workers must be at least 1")
    manifest = args.manifest or os.path.join(args.out, "manifest.jsonl")
    client = None
    if args.scheduler:
        try:
            client = dask_client(args.scheduler)
        except ImportError as error:
            raise UsageError(str(error)) from None
        except OSError as error:
            raise FileError(args.scheduler, str(error)) from None
    try:
        report = convert_many(args.sources, args.out, fmt, workers=args.workers, client=client,
                              manifest=manifest, resume=args.resume, pattern=args.pattern,
                              on_record=lambda r: r["ok"] or print(f"{r['input']}: {r['error']}", file=sys.stderr))
    finally:
        if client is not None:
            client.close()
    print(f"kubic: {report.summary()}; manifest {manifest}", file=sys.stderr)
    if not report.ok:
        raise SystemExit(1)


def parser():
    names = sorted(FORMATS)
    p = argparse.ArgumentParser(prog="kubic", description="Inspect and convert block schematics.")
    p.add_argument("--version", action="version", version=f"kubic {__version__}")
    commands = p.add_subparsers(dest="command", required=True)
    info = commands.add_parser("info", help="what files hold")
    info.add_argument("files", nargs="+", metavar="FILE")
    info.add_argument("--json", action="store_true", help="JSON Lines: one object per file")
    info.add_argument("--top", type=non_negative, default=5, metavar="N", help="most common states shown")
    info.set_defaults(run=command_info)
    convert = commands.add_parser("convert", help="convert a schematic, losing nothing the output can hold")
    convert.add_argument("input", metavar="INPUT", help="a file, or - for standard input")
    convert.add_argument("output", metavar="OUTPUT", help="a file, or - for standard output")
    # Read-only formats stay choosable, so that the refusal says why.
    read_only = [n for n in names if n != "auto" and FORMATS[n] not in WRITABLE]
    convert.add_argument("--to", choices=[n for n in names if FORMATS[n] in WRITABLE] + read_only,
                         help="output format (default: from OUTPUT's extension)")
    convert.add_argument("--from", dest="source", choices=names, default="auto", help="input format")
    convert.add_argument("--sponge-version", type=int, choices=(2, 3), default=3)
    convert.add_argument("--game-version", metavar="V", help="convert the blocks, block entities and entities to "
                         "game version V: a release (1.20.4) or a DataVersion")
    convert.add_argument("--missing", choices=MISSING_CHOICES, default="air",
                         help="what a state V (with --game-version) or a Bedrock output lacks becomes "
                              "(default: air; error fails)")
    convert.add_argument("--data-version", type=int, metavar="N",
                         help="the DataVersion to write, relabelling only: the states stay as they are")
    convert.add_argument("--region", metavar="NAME", help="only this region of a Litematica file")
    convert.set_defaults(run=command_convert)
    edit = commands.add_parser("transform", help="rotate, mirror, crop, trim or replace blocks, in the order given")
    edit.add_argument("input", metavar="INPUT", help="a file, or - for standard input")
    edit.add_argument("output", metavar="OUTPUT", help="a file, or - for standard output")
    edit.add_argument("--rotate", action=EditStep, choices=("90", "180", "270"),
                      help="clockwise, looking down the axis from its positive end (about y: north to east)")
    edit.add_argument("--axis", action=EditStep, choices=("x", "y", "z"),
                      help="the axis of the --rotate before it, or of those after it (default: y)")
    edit.add_argument("--flip", action=EditStep, choices=("x", "y", "z"), help="mirror across this axis")
    edit.add_argument("--crop", action=EditStep, type=crop_corners, metavar="X0,Y0,Z0:X1,Y1,Z1",
                      help="keep the box between two positions, both included")
    edit.add_argument("--trim", action=EditStep, nargs=0, help="keep the smallest box holding every block")
    edit.add_argument("--replace", action=EditStep, type=replacement, metavar="OLD=NEW",
                      help="a state by a state, or a block by a block keeping the properties both have")
    edit.add_argument("--to", choices=[n for n in names if FORMATS[n] in WRITABLE],
                      help="output format (default: from OUTPUT's extension)")
    edit.set_defaults(run=command_transform, data_version=None, sponge_version=3)
    materials = commands.add_parser("materials", help="the items a build takes: blocks as items, with stacks")
    materials.add_argument("files", nargs="+", metavar="FILE")
    materials.add_argument("--format", choices=("table", "csv", "json"), default="table",
                           help="csv and json: the columns " + ", ".join(MATERIAL_COLUMNS))
    materials.add_argument("--contents", action="store_true", help="add what chests, frames and the like hold")
    materials.set_defaults(run=command_materials)
    many = commands.add_parser("convert-many", help="convert many files, in parallel or on a Dask cluster")
    many.add_argument("sources", nargs="+", metavar="SRC", help="files, or folders searched recursively")
    many.add_argument("--out", required=True, metavar="DIR", help="where outputs go, in the inputs' folder layout")
    many.add_argument("--to", required=True, choices=[n for n in names if FORMATS[n] in WRITABLE])
    many.add_argument("--workers", type=int, metavar="N", help="local worker processes (default: one per core)")
    many.add_argument("--scheduler", metavar="ADDRESS", help="a Dask scheduler, e.g. tcp://host:8786")
    many.add_argument("--manifest", metavar="FILE", help="JSON Lines record of every file (default: DIR/manifest.jsonl)")
    many.add_argument("--resume", action="store_true", help="skip inputs the manifest lists as converted")
    many.add_argument("--pattern", metavar="GLOB", help="file names to take from folders (default: every "
                                                        "extension kubic reads)")
    many.set_defaults(run=command_convert_many)
    blocks = commands.add_parser("blocks", help="list the blocks of a file")
    blocks.add_argument("file", metavar="FILE")
    blocks.add_argument("--limit", type=non_negative, metavar="N", help="at most N blocks")
    blocks.add_argument("--format", choices=("text", "tsv", "jsonl"), default="text")
    blocks.add_argument("--region", metavar="NAME", help="only this region of a Litematica file")
    blocks.set_defaults(run=command_blocks)
    return p


def main(argv=None):
    global _output
    p = parser()
    args = p.parse_args(argv)
    _output = sys.stdout
    sys.stdout = sys.stderr
    try:
        args.run(args)
    except UsageError as error:
        p.print_usage(sys.stderr)
        print(f"kubic: error: {error}", file=sys.stderr)
        return 2
    except FileError as error:
        print(error, file=sys.stderr)
        return 1
    except BrokenPipeError:
        # `kubic blocks ... | head`: the reader has what it wanted.
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, _output.fileno())
        return 0
    except KeyboardInterrupt:
        print("\nkubic: interrupted", file=sys.stderr)
        return 128 + signal.SIGINT
    finally:
        sys.stdout = _output
        try:
            _output.flush()
        except BrokenPipeError:
            pass
    return 0
