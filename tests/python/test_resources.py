"""Hostile sizes and long work: memory in proportion to content, and Ctrl-C
that stops a long conversion promptly without touching an existing target."""
import os
import random
import signal
import subprocess
import sys
import textwrap
import time

import pytest

import nbt_util


def scattered_structure(count, seed=5):
    """A structure of 2e9 x 2e9 x 4 listing `count` blocks far apart."""
    rng = random.Random(seed)
    ints = lambda *v: nbt_util.Tagged(nbt_util.LIST, list(v), nbt_util.INT)  # noqa: E731
    blocks = [{"pos": ints(rng.randrange(2_000_000_000), rng.randrange(2_000_000_000), rng.randrange(4)),
               "state": 1} for _ in range(count)]
    return nbt_util.gzipped({"size": ints(2_000_000_000, 2_000_000_000, 4),
                             "palette": [{"Name": "minecraft:air"}, {"Name": "minecraft:stone"}],
                             "blocks": blocks})


def run_python(code, *args, **kwargs):
    return subprocess.run([sys.executable, "-c", textwrap.dedent(code), *args], capture_output=True, text=True,
                          timeout=300, **kwargs)


def test_scattered_blocks_cost_what_they_hold(tmp_path):
    path = tmp_path / "scattered.nbt"
    path.write_bytes(scattered_structure(200_000))
    # The address space is capped 100 MB above what the interpreter holds
    # once the module is loaded; reading must neither hit it nor fail.
    result = run_python("""
        import resource, sys, kubic_rs
        size = int(next(l for l in open("/proc/self/status") if l.startswith("VmSize")).split()[1]) * 1024
        resource.setrlimit(resource.RLIMIT_AS, (size + 100 * 2**20, resource.RLIM_INFINITY))
        with kubic_rs.open(sys.argv[1]) as r:
            count = sum(len(bulk) for bulk in r.iter_bulks())
        print(count)
    """, str(path))
    assert result.returncode == 0, result.stderr
    assert 199_000 < int(result.stdout) <= 200_000


def large_sponge(side, states=100, seed=3):
    """A Sponge file of side^3 blocks over `states` states, made quickly."""
    rng = random.Random(seed)
    data = bytes(rng.randrange(states) for _ in range(4096)) * (side ** 3 // 4096 + 1)
    palette = {f"minecraft:block_{i}": i for i in range(states)}
    sizes = {k: nbt_util.short(side) for k in ("Width", "Height", "Length")}
    return nbt_util.gzipped({**sizes, "Version": 2, "Palette": palette, "BlockData": data[:side ** 3]}, "Schematic")


@pytest.fixture(scope="module")
def large_file(tmp_path_factory):
    path = tmp_path_factory.mktemp("large") / "large.schem"
    path.write_bytes(large_sponge(256))
    return path


def test_bulk_iteration_peaks_under_four_documents(large_file):
    # The 16 MB document's block data, kept while the blocks are stored,
    # and the store of two bytes a position: the detection's copy of the
    # document must be gone by then.
    result = run_python("""
        import sys, kubic_rs
        def kb(field):
            return int(next(l for l in open("/proc/self/status") if l.startswith(field)).split()[1])
        with open("/proc/self/clear_refs", "w") as f:
            f.write("5")  # the high-water mark starts again from here
        base = kb("VmRSS")
        with kubic_rs.open(sys.argv[1]) as r:
            sum(len(bulk) for bulk in r.iter_bulks())
        print((kb("VmHWM") - base) // 1024)
    """, str(large_file))
    assert result.returncode == 0, result.stderr
    assert int(result.stdout) < 4 * 16


INTERRUPTED = """
    import sys, kubic_rs
    with kubic_rs.open(sys.argv[1]) as r:
        print("ready", flush=True)
        {work}
    print("finished", flush=True)
"""


@pytest.mark.parametrize("work", ["r.save(sys.argv[2], 'mojang')", "r.read_full()",
                                  "[len(b) for b in r.iter_bulks()]",
                                  "__import__('kubic').load(sys.argv[1]).save(sys.argv[2], 'structure')"])
def test_ctrl_c_stops_long_work_and_keeps_the_target(large_file, tmp_path, work):
    target = tmp_path / "out.nbt"
    target.write_bytes(b"the old file")
    process = subprocess.Popen([sys.executable, "-c", textwrap.dedent(INTERRUPTED.format(work=work)),
                                str(large_file), str(target)], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               text=True)
    assert process.stdout.readline() == "ready\n"
    time.sleep(0.3)
    process.send_signal(signal.SIGINT)
    sent = time.monotonic()
    out, err = process.communicate(timeout=60)
    waited = time.monotonic() - sent
    assert "finished" not in out, "the work ended before the signal: make the file larger"
    assert process.returncode != 0 and err.rstrip().endswith("KeyboardInterrupt"), err
    # A generous bound for a loaded machine; the checks run every few ms.
    assert waited < 2
    assert target.read_bytes() == b"the old file"
    assert sorted(os.listdir(tmp_path)) == ["out.nbt"]


@pytest.mark.parametrize("work", ["rs_save", "api_load", "api_save"])
def test_other_threads_run_while_paths_are_converted(large_file, tmp_path, work):
    import threading

    import kubic
    import kubic_rs
    schematic = kubic.load(large_file) if work == "api_save" else None
    ticks, stop = [0], threading.Event()

    def count():
        while not stop.is_set():
            ticks[0] += 1
    counter = threading.Thread(target=count)
    counter.start()
    try:
        # The counter's pace alone, while this thread sleeps.
        start, before = time.monotonic(), ticks[0]
        time.sleep(0.2)
        pace = (ticks[0] - before) / (time.monotonic() - start)
        start, before = time.monotonic(), ticks[0]
        # Repeated until long enough to tell the two cases apart.
        while time.monotonic() - start < 0.3:
            if work == "rs_save":
                with kubic_rs.open(str(large_file)) as reader:
                    reader.save(str(tmp_path / "out.kub"), "kub")
            elif work == "api_load":
                kubic.load(large_file)
            else:
                schematic.save(tmp_path / "out.litematic")
        during, took = ticks[0] - before, time.monotonic() - start
    finally:
        stop.set()
        counter.join()
    # Holding the interpreter lock throughout each call, the counter could
    # move only between calls and for a switch interval (5 ms) at most in
    # each; released, for much of the work.
    assert during > pace * took * 0.3


def test_loads_on_threads_leave_sys_stdout_alone(large_file):
    import threading
    import warnings

    import kubic
    before = sys.stdout
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        workers = [threading.Thread(target=kubic.load, args=(large_file,)) for _ in range(4)]
        for worker in workers:
            worker.start()
        for worker in workers:
            worker.join()
    assert sys.stdout is before
