#!/usr/bin/env python3
"""Coverage of the 95 % intervals of the replication mode, on networks whose
blocking is known exactly:

  link-8   one link of 8 wavelengths, 4 Erlangs:   Erlang B = 0.0304201
  link-16  one link of 16 wavelengths, 8 Erlangs:  Erlang B = 0.0045298
  line-3   nodes 1 - 2 - 3, 8 wavelengths per link, node 2 converts,
           2 Erlangs on each of 1->2, 2->3, 1->3: product form, pooled
           blocking 0.0356985

Every cell runs `lumtra --parallel:1 -s:SEED -b:B -t:T --json:...` for many
seeds with the replication mode's defaults (warm-up of 10 mean holding
times, counter-based streams) and counts the runs whose pooled interval
(statistics.pooled_interval_95, from low to high) holds the
exact value; `--precision:0.05` cells stop by the default rule (at least 20
batches, at most 1000). A run that blocked nothing counts as covering when
its upper bound lies above the exact value.

    bench/coverage.py [--lumtra build/lumtra] [--seeds 200] [--jobs 2]
                      [--lengths 30,100,1000] [--batches 5,20] [--precision-lengths 100]

Mean holding time is 1 (-dr:1), so batch lengths are in holding times."""
import argparse
import concurrent.futures
import json
import math
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))


def erlang_b(servers, load):
    b = 1.0
    for n in range(1, servers + 1):
        b = load * b / (n + load * b)
    return b


def link_network(wavelengths, erlangs):
    return (f"2\n1 n\n1 n\n1\n1\n1\n0 {wavelengths}\n{wavelengths} 0\n0 {erlangs}\n0 0\n1\n1\n")


def line_network():
    return ("3\n1 n\n1 y\n1 n\n1\n1\n1\n"
            "0 8 0\n8 0 8\n0 8 0\n"
            "0 2 2\n0 0 2\n0 0 0\n1\n1\n")


CASES = {
    "link-8": (link_network(8, 4), erlang_b(8, 4.0)),
    "link-16": (link_network(16, 8), erlang_b(16, 8.0)),
    "line-3": (line_network(), 0.0356985291554971),
}


def one_run(lumtra, net, exact, seed, extra, scratch):
    path = os.path.join(scratch, f"{os.getpid()}-{seed}-{'_'.join(extra).replace(':', '')}.json")
    subprocess.run([lumtra, "--parallel:1", f"-s:{seed}", *extra, f"--json:{path}", f"-nt:{net}"],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    with open(path, encoding="utf-8") as f:
        st = json.load(f)["statistics"]
    os.unlink(path)
    interval, bound = st["pooled_interval_95"], st["upper_bound_95"]
    if interval is None:
        covered, low = bound is not None and bound >= exact, False
    else:
        covered, low = interval["low"] <= exact <= interval["high"], interval["high"] < exact
    batches = st["precision"]["batches"] if st["precision"] else None
    return covered, low, batches


def cell(pool, lumtra, net, exact, seeds, extra, scratch):
    runs = list(pool.map(lambda s: one_run(lumtra, net, exact, s, extra, scratch), range(1, seeds + 1)))
    covered = sum(r[0] for r in runs)
    low = sum(r[1] for r in runs)
    batches = [r[2] for r in runs if r[2] is not None]
    return covered, low, batches


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--lumtra", default=os.path.join(HERE, "..", "build", "lumtra"))
    parser.add_argument("--seeds", type=int, default=200)
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--lengths", default="30,100,1000")
    parser.add_argument("--batches", default="5,20")
    parser.add_argument("--precision-lengths", default="100")
    parser.add_argument("--cases", default=",".join(CASES))
    options = parser.parse_args()
    lengths = [float(x) for x in options.lengths.split(",") if x]
    batch_counts = [int(x) for x in options.batches.split(",") if x]
    precision_lengths = [float(x) for x in options.precision_lengths.split(",") if x]
    print(f"{options.seeds} seeds per cell; lumtra --parallel:1 with the replication mode's defaults")
    print("| case | exact | batch length | batches | covered | below | coverage |")
    print("|---|---:|---:|---|---:|---:|---:|")
    worst, worst_precision = 1.0, 1.0
    with tempfile.TemporaryDirectory() as scratch, \
            concurrent.futures.ThreadPoolExecutor(max_workers=options.jobs) as pool:
        for name in options.cases.split(","):
            text, exact = CASES[name]
            net = os.path.join(scratch, name + ".txt")
            with open(net, "w", encoding="utf-8") as f:
                f.write(text)
            for length in lengths:
                for b in batch_counts:
                    covered, low, _ = cell(pool, options.lumtra, net, exact, options.seeds,
                                           [f"-b:{b}", f"-t:{length:g}"], scratch)
                    share = covered / options.seeds
                    worst = min(worst, share)
                    print(f"| {name} | {exact:.7f} | {length:g} | {b} | {covered} | {low} | {100 * share:.1f} % |",
                          flush=True)
            for length in precision_lengths:
                covered, low, batches = cell(pool, options.lumtra, net, exact, options.seeds,
                                             ["--precision:0.05", "-b:1", f"-t:{length:g}"], scratch)
                share = covered / options.seeds
                worst_precision = min(worst_precision, share)
                spread = f"{min(batches)}-{max(batches)}, median {sorted(batches)[len(batches) // 2]}"
                print(f"| {name} | {exact:.7f} | {length:g} | --precision:0.05 ({spread}) | {covered} | {low} | "
                      f"{100 * share:.1f} % |", flush=True)
    print(f"\nlowest coverage: fixed batches {100 * worst:.1f} % (target 93 %), "
          f"--precision:0.05 {100 * worst_precision:.1f} % (target 92 %)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
