#!/usr/bin/python3
"""Three methods on the Abilene backbone, as one would in a notebook.

Reads the bundled Abilene topology (Internet Topology Zoo, Knight et al.,
IEEE JSAC 2011) with networkx, gives every fibre 16 wavelengths, runs first
fit, random and least-loaded routing at five loads with five seeds each, and
plots the blocking against the offered load in Erlangs with 95 % intervals
over the seeds.

    PYTHONPATH=build/python python3 examples/python/compare.py -o compare.png

--quick runs fewer seeds and shorter batches (a smoke test).
"""

import argparse
import os
import statistics

import matplotlib
matplotlib.use("Agg")
import matplotlib.pyplot as plt
import networkx as nx
import pandas as pd

import lumtra

HERE = os.path.dirname(os.path.abspath(__file__))
METHODS = {"ff": "first fit", "r": "random", "ll": "least loaded, first fit"}
LOADS = [50, 60, 70, 80, 90]       # total offered Erlangs
STUDENT_T = {2: 12.706, 3: 4.303, 4: 3.182, 5: 2.776}  # 97.5 % quantile by sample size

parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
parser.add_argument("-o", "--output", default="compare.png")
parser.add_argument("--quick", action="store_true")
args = parser.parse_args()
seeds = [1, 2] if args.quick else [1, 2, 3, 4, 5]
batch_time = 50 if args.quick else 500

# The topology, as networkx reads it: nodes keep their city names.
graph = nx.read_gml(os.path.join(HERE, "..", "topologies", "abilene.gml"))

rows = []
for load in LOADS:
    network = lumtra.Network.from_networkx(graph, wavelengths=16, total_erlangs=load)
    for method in METHODS:
        for seed in seeds:
            result = lumtra.simulate(network, method=method, seed=seed, batches=10, time=batch_time)
            rows.append({"method": method, "erlangs": load, "seed": seed,
                         "blocking": result.average_blocking_probability})
runs = pd.DataFrame(rows)


def interval(values):
    return STUDENT_T[len(values)] * statistics.stdev(values) / len(values) ** 0.5


table = runs.groupby(["method", "erlangs"])["blocking"].agg(["mean", interval]).reset_index()
print(table.to_string(index=False))
# Pairs are rows named by city: the most blocked of the last run.
print(f"\nMost blocked pairs, -{method} at {load} Erlangs, seed {seed}:")
print(result.pairs.nlargest(3, "value").to_string(index=False))

# Okabe-Ito colours, a marker per method, bars for the intervals.
colours = ["#E69F00", "#56B4E9", "#009E73"]
markers = ["o", "s", "^"]
fig, ax = plt.subplots(figsize=(6.4, 4.4), dpi=120)
for (method, label), colour, marker in zip(METHODS.items(), colours, markers):
    part = table[table.method == method]
    ax.errorbar(part["erlangs"], part["mean"], yerr=part["interval"], label=f"-{method} ({label})",
                color=colour, marker=marker, capsize=4, linewidth=1.5)
ax.set_yscale("log")
ax.set_xlabel("offered load (Erlangs, all node pairs)")
ax.set_ylabel("average blocking probability")
ax.set_title(f"Abilene, 16 wavelengths per fibre; 95 % intervals over {len(seeds)} seeds")
ax.grid(True, which="both", alpha=0.3)
ax.legend()
fig.tight_layout()
fig.savefig(args.output)
print("plot:", args.output)
