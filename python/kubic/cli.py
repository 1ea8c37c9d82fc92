"""kubic info | convert | blocks: the module's work without writing Python."""
import argparse
import collections
import json
import os
import sys
import time

import kubic_rs

FORMATS = ("kub", "sponge", "mojang")
EXTENSIONS = {".kub": "kub", ".schem": "sponge", ".nbt": "mojang"}


class UsageError(Exception):
    """A command line that cannot be carried out as given (exit status 2)."""


class FileError(Exception):
    """A file that cannot be read or written (exit status 1)."""

    def __init__(self, name, message):
        super().__init__(f"{name}: {message}")


class failing_as:
    """Turns the module's errors into a FileError naming `name`."""

    def __init__(self, name):
        self.name = name

    def __enter__(self):
        return self

    def __exit__(self, kind, error, traceback):
        if isinstance(error, (RuntimeError, OSError, ValueError)) and not isinstance(error, BrokenPipeError):
            message = error.strerror if isinstance(error, OSError) and error.strerror else str(error)
            raise FileError(self.name, message) from error
        return False


class NamedInput:
    """Bytes read through a file-like object that names its format, and
    reports reading progress on a terminal once the job takes a moment."""

    def __init__(self, data, fmt, progress):
        self.data, self.offset, self.type, self.progress = data, 0, fmt, progress

    def read(self, n):
        chunk = self.data[self.offset:self.offset + n]
        self.offset += len(chunk)
        if self.progress:
            self.progress(self.offset, len(self.data))
        return chunk


class Progress:
    def __init__(self, label):
        self.label, self.start, self.shown = label, time.monotonic(), False
        self.enabled = sys.stderr.isatty()

    def __call__(self, done, total):
        if self.enabled and time.monotonic() - self.start > 0.5:
            percent = 100 * done // max(total, 1)
            sys.stderr.write(f"\r{self.label}: read {percent}% of the input")
            sys.stderr.flush()
            self.shown = True

    def clear(self):
        if self.shown:
            sys.stderr.write("\r\033[K")


def read_input(name):
    with failing_as(name):
        if name == "-":
            return sys.stdin.buffer.read()
        with open(name, "rb") as f:
            return f.read()


def detect_format(data):
    """The format that reads the data: each named reader in turn, then
    automatic detection, which alone reads legacy MCEdit files."""
    for fmt in FORMATS:
        try:
            with kubic_rs.open(NamedInput(data, fmt, None)) as reader:
                reader.boundary()
            return fmt
        except RuntimeError:
            continue
    with kubic_rs.open(data) as reader:
        reader.boundary()
    return "mcedit"


def describe(name, data, top):
    with failing_as(name):
        return summarize(name, data, top)


def summarize(name, data, top):
    fmt = detect_format(data)
    counts = collections.Counter()
    with kubic_rs.open(data) as reader:
        boundary = reader.boundary()
        for bulk in reader.iter_bulks():
            counts.update(str(block.state()) for block in bulk)
    return {
        "file": name,
        "format": fmt,
        "boundary": {"min": [boundary.min_x(), boundary.min_y(), boundary.min_z()], "size": list(boundary.size())},
        "blocks": sum(counts.values()),
        "states": len(counts),
        "most_common": [{"state": state, "blocks": n} for state, n in counts.most_common(top)],
    }


def command_info(args):
    reports = [describe(name, read_input(name), args.top) for name in args.files]
    if args.json:
        say(json.dumps(reports if len(reports) > 1 else reports[0], indent=2))
        return
    for report in reports:
        say(f"{report['file']}: {report['format']}")
        b = report["boundary"]
        say(f"  boundary: min {tuple(b['min'])}, size {tuple(b['size'])}")
        say(f"  blocks: {report['blocks']} in {report['states']} distinct states")
        for entry in report["most_common"]:
            say(f"    {entry['blocks']:>10}  {entry['state']}")


def output_format(args):
    if args.to:
        return args.to
    ext = os.path.splitext(args.output)[1].lower()
    if ext in EXTENSIONS:
        return EXTENSIONS[ext]
    raise UsageError(f"cannot tell the output format of '{args.output}': use --to "
                     f"{'|'.join(FORMATS)} or an extension {', '.join(EXTENSIONS)}")


class CountingOutput:
    """Standard output as a file object, counting what goes through it."""

    def __init__(self, stream):
        self.stream, self.written = stream, 0

    def write(self, data):
        self.written += len(data)
        return self.stream.write(data)

    def flush(self):
        self.stream.flush()


def command_convert(args):
    fmt = output_format(args)
    start = time.monotonic()
    data = read_input(args.input)
    progress = Progress("converting")
    blocks = 0
    with failing_as(args.input), kubic_rs.open(NamedInput(data, args.source, progress)) as reader:
        for bulk in reader.iter_bulks():
            blocks += len(bulk)
    with kubic_rs.open(NamedInput(data, args.source, progress)) as reader:
        with failing_as(args.output):
            if args.output == "-":
                sink = CountingOutput(_output.buffer)
                reader.save(sink, fmt)
                size = sink.written
            else:
                reader.save(args.output, fmt)
                size = os.path.getsize(args.output)
    progress.clear()
    print(f"{args.input} -> {args.output}: {blocks} blocks, {len(data)} -> {size} bytes ({fmt}), "
          f"{time.monotonic() - start:.2f}s", file=sys.stderr)


def command_blocks(args):
    data = read_input(args.file)
    shown = 0
    with failing_as(args.file), kubic_rs.open(data) as reader:
        for bulk in reader.iter_bulks():
            for block in bulk:
                if args.limit is not None and shown >= args.limit:
                    return
                say(block)
                shown += 1


def parser():
    p = argparse.ArgumentParser(prog="kubic", description="Inspect and convert block schematics.")
    commands = p.add_subparsers(dest="command", required=True)
    info = commands.add_parser("info", help="format, boundary and block counts of files")
    info.add_argument("files", nargs="+", metavar="FILE")
    info.add_argument("--json", action="store_true", help="print the same as JSON")
    info.add_argument("--top", type=int, default=5, help="how many of the most common states (default 5)")
    info.set_defaults(run=command_info)
    convert = commands.add_parser("convert", help="convert a schematic to another format")
    convert.add_argument("input", metavar="INPUT", help="a file, or - for standard input")
    convert.add_argument("output", metavar="OUTPUT", help="a file, or - for standard output")
    convert.add_argument("--to", choices=FORMATS, help="output format (default: from OUTPUT's extension)")
    convert.add_argument("--from", dest="source", choices=("auto",) + FORMATS, default="auto",
                         help="input format (default: detected)")
    convert.set_defaults(run=command_convert)
    blocks = commands.add_parser("blocks", help="list the blocks of a file")
    blocks.add_argument("file", metavar="FILE")
    blocks.add_argument("--limit", type=int, metavar="N", help="at most N blocks")
    blocks.set_defaults(run=command_blocks)
    return p


# The command's own standard output. While a command runs, sys.stdout points
# at standard error: the legacy reader writes its notices through sys.stdout,
# and they must never mix into JSON or a converted file.
_output = sys.stdout


def say(text):
    """One line of the command's own output."""
    print(text, file=_output)


def main(argv=None):
    p = parser()
    args = p.parse_args(argv)
    global _output
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
        return 1
    finally:
        sys.stdout = _output
        _output.flush()
    return 0
