#!/usr/bin/env python3
"""Speed-up of --parallel: calls per wall-clock second for 1, 2, 4, ... threads
up to this machine's processors, on NSFNET first fit with 20 batches (or any
network and options given).

    bench/parallel_scaling.py [--lumtra build/lumtra] [--batches 20] [--time 1000]
                              [--repeat 3] [-- extra lumtra options]

Each thread count runs --repeat times; the best wall time counts. The calls
are the run's Total Arrived, which is the same for every thread count."""
import argparse
import json
import os
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def run(lumtra, args, threads, path):
    command = [lumtra, f"--parallel:{threads}", f"--json:{path}", *args]
    start = time.perf_counter()
    subprocess.run(command, stdout=subprocess.DEVNULL, check=True)
    wall = time.perf_counter() - start
    with open(path) as f:
        calls = json.load(f)["statistics"]["total_arrived"]
    return wall, calls


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--lumtra", default=os.path.join(HERE, "..", "build", "lumtra"))
    parser.add_argument("--net", default=os.path.join(HERE, "..", "examples", "nsfnet.txt"))
    parser.add_argument("--batches", type=int, default=20)
    parser.add_argument("--time", type=float, default=1000)
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("extra", nargs="*", help="more lumtra options (after --)")
    options = parser.parse_args()
    args = ["-ff", "-s:1", f"-b:{options.batches}", f"-t:{options.time:g}", *options.extra, f"-nt:{options.net}"]
    processors = os.cpu_count() or 1
    counts = [1]
    while counts[-1] * 2 <= processors:
        counts.append(counts[-1] * 2)
    if counts[-1] != processors:
        counts.append(processors)
    print(f"{' '.join(args)}; {processors} processors")
    print(f"{'threads':>7} {'calls':>10} {'best wall s':>11} {'calls/wall-s':>13} {'speed-up':>8}")
    base = None
    with tempfile.TemporaryDirectory() as scratch:
        for threads in counts:
            best, calls = min(run(options.lumtra, args, threads, os.path.join(scratch, "run.json"))
                              for _ in range(options.repeat))
            rate = calls / best
            base = base or rate
            print(f"{threads:>7} {calls:>10} {best:>11.3f} {rate:>13.0f} {rate / base:>8.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
