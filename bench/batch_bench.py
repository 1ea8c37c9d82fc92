"""Batch conversion throughput: 2,000 small and 20 large files converted to
Sponge with 1 and 2 local workers and on a local 2-worker Dask cluster.

    build/venv/bin/python bench/batch_bench.py [--small N] [--large N]
"""
import argparse
import pathlib
import sys
import tempfile
import time

import numpy as np

import kubic
from kubic.batch import convert_many

STATES = ["minecraft:air"] + [f"minecraft:block_{i}" for i in range(40)]


def make_inputs(folder, small, large):
    rng = np.random.default_rng(7)
    extensions = [".kub", ".schem", ".nbt", ".litematic"]
    for i in range(small):
        blocks = rng.integers(0, len(STATES), size=(16, 16, 16), dtype=np.uint16)
        kubic.Schematic.from_numpy(blocks, STATES).save(folder / f"small{i:05}{extensions[i % 4]}")
    for i in range(large):
        blocks = rng.integers(0, len(STATES), size=(128, 128, 128), dtype=np.uint16)
        kubic.Schematic.from_numpy(blocks, STATES).save(folder / f"large{i:03}{extensions[i % 2]}")


def timed(label, files, **kwargs):
    with tempfile.TemporaryDirectory() as out:
        start = time.perf_counter()
        report = convert_many(**kwargs, out_dir=out, to="sponge")
        seconds = time.perf_counter() - start
    assert report.failed == 0, report.summary()
    print(f"{label:36} {seconds:8.2f} s {files / seconds:10.1f} files/s")
    return seconds


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--small", type=int, default=2000)
    parser.add_argument("--large", type=int, default=20)
    args = parser.parse_args()
    files = args.small + args.large
    with tempfile.TemporaryDirectory() as tmp:
        folder = pathlib.Path(tmp)
        make_inputs(folder, args.small, args.large)
        print(f"{files} files ({args.small} of 16^3, {args.large} of 128^3) to Sponge")
        one = timed("local, 1 worker", files, sources=[folder], workers=1)
        two = timed("local, 2 workers", files, sources=[folder], workers=2)
        print(f"{'2 workers against 1':36} {one / two:8.2f}x")
        try:
            import distributed
        except ImportError:
            print("Dask: distributed is not installed")
            return
        with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                      dashboard_address=None) as cluster, distributed.Client(cluster) as client:
            dask = timed("Dask LocalCluster, 2 workers", files, sources=[folder], client=client)
        print(f"{'Dask 2 workers against local 1':36} {one / dask:8.2f}x")


if __name__ == "__main__":
    sys.exit(main())
