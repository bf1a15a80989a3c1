#!/usr/bin/python3
"""The README's table of the plug-ins against the built-in methods: Average
Blocking Probability in % on NSFNET and COST239 (examples/: 16 wavelengths per
fibre, the files' own arrival rates) over seeds 1 to 5, 10 batches of 1000
time units each; mean and the 95 % half-width over the seeds (Student t,
4 degrees of freedom).

Usage: bench/plugin_table.py BUILD_DIR   (prints a Markdown table)
"""

import json
import os
import statistics
import subprocess
import sys
import tempfile

build = os.path.abspath(sys.argv[1])
root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
plugins = os.path.join(build, "plugins")
nets = [("NSFNET", "nsfnet.txt"), ("COST239", "cost239.txt")]
methods = [
    ("first fit `-ff`", ["-ff"]),
    ("most used `-mu`", ["-mu"]),
    ("least used `-lu`", ["-lu"]),
    ("first fit, most used assignment `-ff -mu`", ["-ff", "-mu"]),
    ("first fit, Max-Sum `max_sum.so`", ["--plugin:" + plugins + "/max_sum.so"]),
    ("first fit, RCL `rcl.so`", ["--plugin:" + plugins + "/rcl.so"]),
    ("most used, Max-Sum `-mu --plugin:max_sum.so`", ["-mu", "--plugin:" + plugins + "/max_sum.so"]),
    ("most used, RCL `-mu --plugin:rcl.so`", ["-mu", "--plugin:" + plugins + "/rcl.so"]),
    ("KSP-FF `ksp_ff.so` (k = 3, `-mc:1`)", ["-mc:1", "--plugin:" + plugins + "/ksp_ff.so:3"]),
    ("first fit `-ff -mc:1`", ["-ff", "-mc:1"]),
]
seeds = range(1, 6)
T4 = 2.776  # Student t, 95 %, 4 degrees of freedom


def blocking(net, args, seed, scratch):
    doc = os.path.join(scratch, "run.json")
    subprocess.run([os.path.join(build, "lumtra"), f"-s:{seed}", "-b:10", "-t:1000",
                    "-nt:" + os.path.join(root, "examples", net), "--json:" + doc] + args,
                   stdout=subprocess.DEVNULL, check=True)
    with open(doc) as f:
        return 100 * json.load(f)["statistics"]["average_blocking_probability"]


with tempfile.TemporaryDirectory() as scratch:
    print("| method | " + " | ".join(name for name, _ in nets) + " |")
    print("|---|" + "---:|" * len(nets))
    for label, args in methods:
        cells = []
        for _, net in nets:
            v = [blocking(net, args, s, scratch) for s in seeds]
            cells.append(f"{statistics.mean(v):.2f} ± {T4 * statistics.stdev(v) / len(v) ** 0.5:.2f}")
        print(f"| {label} | " + " | ".join(cells) + " |", flush=True)
