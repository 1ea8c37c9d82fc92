"""Peers side by side: the same jobs done by kubic and by other Python
libraries that read or write schematics, each job in a fresh process with a
minute to finish, at 64^3, 128^3 and 256^3. Peers are installed into their
own virtual environment; a peer that lacks a job says so in the table.

Jobs: read every block with its state; load as an array; convert Sponge to
structure; write Sponge (from an array of palette indices); rotate a quarter
turn about y and mirror across x, block states included; read every block of
the same box as a Bedrock .mcstructure.
"""
import gzip
import json
import pathlib
import subprocess

JOBS = ("read every block", "load as an array", "Sponge -> structure", "write Sponge", "rotate and flip",
        "read Bedrock")
SIDES = (64, 128, 256)
TIMEOUT = 60
PACKAGES = {"nbtlib": "nbtlib", "amulet-core": "amulet-core", "litemapy": "litemapy", "mcschematic": "mcschematic"}

# One job of one library: argv is library, job, the input and an output
# path; prints the seconds the job took, or why the library has no such job.
JOB_SCRIPT = r'''
import json, logging, sys, time
library, job, source, out = sys.argv[1:5]
logging.disable(logging.WARNING)  # peers' notes on every unknown block


def sponge_tags(root):
    s = root.get("Schematic", root)
    blocks = s.get("Blocks", s)
    data = blocks.get("Data", blocks.get("BlockData"))
    return s, {int(v): str(k) for k, v in blocks["Palette"].items()}, bytes(b & 0xFF for b in data)


def varints(data):
    i = 0
    while i < len(data):
        value, shift = 0, 0
        while True:
            b = data[i]; i += 1
            value |= (b & 0x7F) << shift; shift += 7
            if not b & 0x80: break
        yield value


# Each job prepares what is not to be timed and returns the work that is.
def kubic_read():
    import kubic_rs
    def work():
        with kubic_rs.open(source) as r:
            r.read_full()
    return work


def kubic_array():
    import kubic
    return lambda: kubic.load(source).blocks


def kubic_structure():
    import kubic_rs
    def work():
        with kubic_rs.open(source) as r:
            r.save(out, "mojang")
    return work


def kubic_write():
    import kubic
    s = kubic.load(source)
    return lambda: kubic.Schematic.from_numpy(s.blocks, s.palette).save(out, "sponge")


def kubic_rotate():
    import kubic
    s = kubic.load(source)
    return lambda: s.rotate().flip("x")


def nbtlib_read():
    import nbtlib
    def work():
        s, palette, data = sponge_tags(nbtlib.load(source))
        width, length = int(s["Width"]), int(s["Length"])
        return [(n % width, n // (width * length), (n // width) % length, palette[v])
                for n, v in enumerate(varints(data)) if palette[v] != "minecraft:air"]
    return work


def nbtlib_array():
    import nbtlib
    import numpy as np
    def work():
        s, palette, data = sponge_tags(nbtlib.load(source))
        raw = np.frombuffer(data, dtype=np.uint8)
        # One byte per index while the palette stays under 128 states.
        indices = raw if (raw < 128).all() else np.fromiter(varints(data), dtype=np.uint16)
        return indices.reshape(int(s["Height"]), int(s["Length"]), int(s["Width"])).transpose(2, 0, 1).copy()
    return work


def kubic_bedrock():
    import kubic
    return lambda: kubic.load(source.replace(".schem", ".mcstructure")).blocks


def amulet_read(path=None):
    import amulet
    def work():
        level = amulet.load_level(path or source)
        dimension = level.dimensions[0]
        box = level.bounds(dimension)
        blocks = [level.get_block(x, y, z, dimension)
                  for x in range(box.min_x, box.max_x) for y in range(box.min_y, box.max_y)
                  for z in range(box.min_z, box.max_z)]
        level.close()
        return blocks
    return work


def litemapy_read():
    from litemapy import Schematic
    def work():
        schematic = Schematic.load(source.replace(".schem", ".litematic"))
        return [(x, y, z, region.getblock(x, y, z)) for region in schematic.regions.values()
                for x, y, z in region.allblockpos()]
    return work


def mcschematic_write():
    import mcschematic
    import numpy as np
    # Its blocks come from the same array kubic writes from.
    cells = np.load(source.replace(".schem", ".npy"))
    palette = json.loads(open(source.replace(".schem", ".json")).read())
    def work():
        schematic = mcschematic.MCSchematic()
        for x, y, z in zip(*np.nonzero(cells)):
            schematic.setBlock((int(x), int(y), int(z)), palette[cells[x, y, z]])
        folder, name = out.rsplit("/", 1)
        schematic.save(folder, name, mcschematic.Version.JE_1_20_1)
    return work


def mcschematic_rotate():
    import mcschematic
    import numpy as np
    cells = np.load(source.replace(".schem", ".npy"))
    palette = json.loads(open(source.replace(".schem", ".json")).read())
    schematic = mcschematic.MCSchematic()
    for x, y, z in zip(*np.nonzero(cells)):
        schematic.setBlock((int(x), int(y), int(z)), palette[cells[x, y, z]])
    structure = schematic.getStructure()
    def work():
        structure.rotateDegrees((0, 0, 0), yaw=90)
        structure.flip((0, 0, 0), "yz")
    return work


READ, ARRAY, STRUCTURE, WRITE, ROTATE, BEDROCK = ("read every block", "load as an array", "Sponge -> structure",
                                                  "write Sponge", "rotate and flip", "read Bedrock")
JOBS = {("kubic", READ): kubic_read, ("kubic", ARRAY): kubic_array, ("kubic", STRUCTURE): kubic_structure,
        ("kubic", WRITE): kubic_write, ("nbtlib", READ): nbtlib_read, ("nbtlib", ARRAY): nbtlib_array,
        ("amulet-core", READ): amulet_read, ("litemapy", READ): litemapy_read, ("mcschematic", WRITE): mcschematic_write,
        ("kubic", ROTATE): kubic_rotate, ("mcschematic", ROTATE): mcschematic_rotate,
        ("kubic", BEDROCK): kubic_bedrock,
        ("amulet-core", BEDROCK): lambda: amulet_read(source.replace(".schem", ".mcstructure"))}
MISSING = {"nbtlib": "reads and writes NBT, not schematics", "amulet-core": "no public call for it found",
           "litemapy": "Litematica only, no array", "mcschematic": "writes and edits only"}
if (library, job) in JOBS:
    work = JOBS[library, job]()
    start = time.perf_counter()
    work()
    print(json.dumps({"seconds": time.perf_counter() - start}))
else:
    print(json.dumps({"missing": MISSING[library]}))
'''


def make_inputs(folder, sponge_document, bedrock_copy):
    """A Sponge file, the same blocks as Litematica and as Bedrock, and as an
    array with its palette (for writers), for every side."""
    import kubic
    import numpy as np
    paths = {}
    for side in SIDES:
        path = folder / f"peer{side}.schem"
        path.write_bytes(gzip.compress(sponge_document(side), 6, mtime=0))
        schematic = kubic.load(path)
        schematic.save(path.with_suffix(".litematic"))
        bedrock_copy(path, path.with_suffix(".mcstructure"))
        np.save(path.with_suffix(".npy"), schematic.blocks)
        path.with_suffix(".json").write_text(json.dumps(list(schematic.palette)))
        paths[side] = path
    return paths


def run_job(python, library, job, path, out):
    try:
        result = subprocess.run([python, "-c", JOB_SCRIPT, library, job, str(path), str(out)], capture_output=True,
                                text=True, timeout=TIMEOUT)
    except subprocess.TimeoutExpired:
        return None, f"over {TIMEOUT} s"
    if result.returncode != 0:
        return None, "failed: " + (result.stderr.strip().splitlines() or ["?"])[-1][:50]
    answer = json.loads(result.stdout.strip().splitlines()[-1])
    return answer.get("seconds"), answer.get("missing", "")


def install_peers(venv_python):
    installed = {}
    for name, package in PACKAGES.items():
        done = subprocess.run([venv_python, "-m", "pip", "install", "-q", package], capture_output=True, text=True,
                              timeout=900)
        installed[name] = done.returncode == 0
    version = subprocess.run([venv_python, "-m", "pip", "list", "--format", "json"], capture_output=True, text=True)
    versions = {p["name"].lower(): p["version"] for p in json.loads(version.stdout or "[]")}
    return {name: versions.get(package, "?") if ok else None for (name, package), ok in
            zip(PACKAGES.items(), installed.values())}


def print_table(kubic_python, venv_python, folder, sponge_document, bedrock_copy):
    paths = make_inputs(folder, sponge_document, bedrock_copy)
    versions = install_peers(venv_python)
    print("\npeers (kubic's time, then each peer's time and its ratio to kubic's)")
    print("  " + ", ".join(f"{name} {version or 'did not install'}" for name, version in versions.items()))
    print(f"{'job':22} {'side':>4} {'kubic s':>8}  " + "  ".join(f"{name:>24}" for name in PACKAGES))
    for job in JOBS:
        for side in SIDES:
            out = folder / f"out-{side}"
            mine, note = run_job(kubic_python, "kubic", job, paths[side], out)
            cells = []
            for name in PACKAGES:
                if versions[name] is None:
                    cells.append("not installed")
                    continue
                seconds, why = run_job(venv_python, name, job, paths[side], folder / f"peer-out-{side}")
                if seconds is None:
                    cells.append(why[:24])
                else:
                    cells.append(f"{seconds:8.3f} ({seconds / mine:6.1f}x)" if mine else f"{seconds:8.3f}")
            mine_text = f"{mine:8.3f}" if mine is not None else note[:8]
            print(f"{job:22} {side:4} {mine_text:>8}  " + "  ".join(f"{c:>24}" for c in cells))


def table(kubic_python, venv, folder, sponge_document, bedrock_copy):
    venv = pathlib.Path(venv)
    if not (venv / "bin" / "python").exists():
        subprocess.run([kubic_python, "-m", "venv", str(venv)], check=True)
    print_table(kubic_python, str(venv / "bin" / "python"), pathlib.Path(folder), sponge_document, bedrock_copy)
