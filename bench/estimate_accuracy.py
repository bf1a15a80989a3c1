#!/usr/bin/python3
"""Accuracy of the blocking estimate (--estimate) against the simulation.

For each network and each target blocking (0.1 %, 1 %, 5 %), the load
factor -f at which the estimate for random routing and random assignment
(-r) gives the target is found by bisection on the estimate; at that load
the network is simulated with -r and, for reference, with first fit (-ff),
and the table gives the estimate, the simulated overall blocking with the
95 % half-width over its batches, and the relative error
(estimate - simulated) / simulated; the last column gives the error of the
plain model with independent fibres (--estimate:independent) for
comparison.

Usage: bench/estimate_accuracy.py [path/to/lumtra] [--calls MILLIONS]
       [--nets nsfnet,cost239,usnet]
Prints a Markdown table on standard output.
"""

import json
import math
import os
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
NETS = {
    "nsfnet": ("NSFNET", "examples/nsfnet.txt"),
    "cost239": ("COST239", "examples/cost239.txt"),
    "usnet": ("USNET", "examples/usnet.txt"),
}
TARGETS = (0.001, 0.01, 0.05)
BATCHES = 10


def run(lumtra, args):
    """The JSON document of one run of lumtra with args."""
    with tempfile.TemporaryDirectory(prefix="lumtra-acc-") as tmp:
        path = os.path.join(tmp, "run.json")
        proc = subprocess.run([lumtra] + args + ["--json:" + path], stdout=subprocess.DEVNULL,
                              stderr=subprocess.PIPE, check=False)
        if proc.returncode != 0:
            sys.exit(f"lumtra {' '.join(args)}: {proc.stderr.decode(errors='replace')}")
        with open(path, encoding="utf-8") as f:
            return json.load(f)


def estimate(lumtra, net, method, factor):
    doc = run(lumtra, ["--estimate"] + method.split() + [f"-f:{factor!r}", "-nt:" + net])
    return doc["estimate"]


def load_for(lumtra, net, target):
    """The -f at which the -r estimate blocks `target` of the calls."""
    low, high = 1e-3, 1.0
    while estimate(lumtra, net, "-r", high)["blocking"] < target:
        low, high = high, high * 2
    for _ in range(40):
        mid = math.sqrt(low * high)
        if estimate(lumtra, net, "-r", mid)["blocking"] < target:
            low = mid
        else:
            high = mid
        if high / low < 1.0005:
            break
    return math.sqrt(low * high)


def simulate(lumtra, net, method, factor, calls):
    """(estimate object, statistics) of a simulation of about `calls` calls."""
    offered = estimate(lumtra, net, method, factor)["offered_erlangs"]  # calls per time unit (-dr 1)
    batch_time = max(10.0, calls / offered / BATCHES)
    doc = run(lumtra, ["--estimate:simulate", method, f"-f:{factor!r}", "-s:1", f"-b:{BATCHES}",
                       f"-t:{batch_time:.6g}", "-nt:" + net])
    return doc["estimate"], doc["statistics"]


def pct(v):
    return f"{100 * v:.3g} %"


def main():
    args = sys.argv[1:]
    lumtra = os.path.join(ROOT, "build", "lumtra")
    millions, nets = 2.0, ["nsfnet", "cost239", "usnet"]
    while args:
        a = args.pop(0)
        if a == "--calls":
            millions = float(args.pop(0))
        elif a == "--nets":
            nets = args.pop(0).split(",")
        else:
            lumtra = a
    print("| network | target | -f | method | estimate | simulated (± 95 %) | relative error | error, independent fibres |")
    print("|---|---:|---:|---|---:|---:|---:|---:|")
    for key in nets:
        name, rel = NETS[key]
        net = os.path.join(ROOT, rel)
        for target in TARGETS:
            factor = load_for(lumtra, net, target)
            # Enough calls for about 2000 blocked ones at the lowest target.
            calls = millions * 1e6 * min(1.0, 0.001 / target * 4) if target > 0.001 else millions * 1e6
            for method in ("-r", "-ff"):
                est, st = simulate(lumtra, net, method, factor, calls)
                sim = st["overall_blocking_probability"]
                half = st["confidence_half_width_95"] or 0.0
                plain = estimate(lumtra, net, method + " --estimate:independent", factor)
                err = (est["blocking"] - sim) / sim if sim > 0 else float("nan")
                err_plain = (plain["blocking"] - sim) / sim if sim > 0 else float("nan")
                print(f"| {name} | {pct(target)} | {factor:.4g} | {method} | {pct(est['blocking'])} | "
                      f"{pct(sim)} ± {pct(half)} | {100 * err:+.1f} % | {100 * err_plain:+.1f} % |", flush=True)


if __name__ == "__main__":
    main()
