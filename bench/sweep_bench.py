#!/usr/bin/env python3
"""The sweep tool's own cost: time per run beyond lumtra's, and storage.

    bench/sweep_bench.py overhead [--lumtra build/lumtra] [--small 20] [--large 100] [--repeat 3]
    bench/sweep_bench.py storage NETWORK [--lumtra build/lumtra] [--time 1000] [--jobs 2]

overhead: sweeps of SMALL and LARGE one-batch runs of one simulated time
unit on the six-node ring (one job at a time, no figures), and the same
lumtra commands run one after the other from Python. The overhead per run is
the growth of the sweep's wall time from SMALL to LARGE runs, per run, less
a direct run's time; so the fixed cost of a sweep (starting GNU parallel,
writing the tables) does not count. The best of --repeat counts.

storage: the 7-method x 5-load x 5-seed sweep of the issue on NETWORK with
10 batches of --time (default: the network's), keeping the default summaries,
and the size of its output directory; then what one run's files take with
--keep full, times 175.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
TOOL = os.path.join(ROOT, "tools", "lumtra-sweep")
RING = os.path.join(ROOT, "examples", "ring-6.txt")
METHODS = ("-ff", "-lf", "-r", "-mu", "-lu", "-ll", "-wlcr -ff")


def sweep(lumtra, out, args):
    shutil.rmtree(out, ignore_errors=True)
    start = time.perf_counter()
    subprocess.run([sys.executable, TOOL, "--lumtra", lumtra, "--out", out, *args], check=True,
                   stdin=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.perf_counter() - start


def tiny(lumtra, out, runs):
    return sweep(lumtra, out, ["--net", RING, "-m", "-ff", "--loads", "1", "--seeds", str(runs), "-b", "1",
                               "-t", "1", "--jobs", "1", "--no-plot"])


def direct(lumtra, scratch, runs):
    start = time.perf_counter()
    for seed in range(1, runs + 1):
        subprocess.run([lumtra, "--strict", "-ff", "-f:1", f"-s:{seed}", f"-nt:{RING}", "-b:1", "-t:1",
                        "--parallel:1", f"--json:{scratch}/direct.json"], check=True,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
    return (time.perf_counter() - start) / runs


def size(path):
    return sum(os.path.getsize(os.path.join(d, f)) for d, _, files in os.walk(path) for f in files)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("what", choices=("overhead", "storage"))
    parser.add_argument("network", nargs="?")
    parser.add_argument("--lumtra", default=os.path.join(ROOT, "build", "lumtra"))
    parser.add_argument("--small", type=int, default=20)
    parser.add_argument("--large", type=int, default=100)
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--time")
    parser.add_argument("--jobs", default="2")
    a = parser.parse_args()
    lumtra = os.path.abspath(a.lumtra)
    scratch = tempfile.mkdtemp(prefix="sweep-bench-")
    try:
        if a.what == "overhead":
            small = min(tiny(lumtra, f"{scratch}/s", a.small) for _ in range(a.repeat))
            large = min(tiny(lumtra, f"{scratch}/l", a.large) for _ in range(a.repeat))
            own = min(direct(lumtra, scratch, a.large) for _ in range(a.repeat))
            per_run = (large - small) / (a.large - a.small)
            print(f"sweep of {a.small} runs {small:.3f} s, of {a.large} runs {large:.3f} s: "
                  f"{per_run * 1000:.1f} ms per run; a direct run {own * 1000:.1f} ms; "
                  f"the sweep's own cost {(per_run - own) * 1000:.1f} ms per run")
            return
        if not a.network:
            parser.error("storage needs the network file")
        args = ["--net", a.network, "--erlangs-per-pair", "0.1:0.3:0.05", "--seeds", "5", "-b", "10",
                "--jobs", a.jobs, "--no-plot"] + (["-t", a.time] if a.time else [])
        for m in METHODS:
            args += ["-m", m]
        wall = sweep(lumtra, f"{scratch}/lean", args)
        lean = size(f"{scratch}/lean")
        sweep(lumtra, f"{scratch}/full", args[:args.index("-m")] + ["-m", "-ff", "--seeds", "1",
                                                                  "--erlangs-per-pair", "0.1", "--keep", "full"])
        full = size(f"{scratch}/full/full")
        print(f"175 runs in {wall:.0f} s: the output directory holds {lean / 1e6:.2f} MB "
              f"({lean / 175 / 1e3:.1f} kB per run); with --keep full one run adds {full / 1e6:.2f} MB, "
              f"{full * 175 / 1e6:.0f} MB for 175")
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    main()
