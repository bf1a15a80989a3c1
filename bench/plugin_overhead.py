#!/usr/bin/python3
"""Processor time per call of the first-fit plug-in against -ff on NSFNET
(16 wavelengths), through bench/sim_bench: the two alternate ROUNDS times so
that other load on the machine hits both alike; prints each round and the
best and median calls per processor second of each, and their ratios.

Usage: bench/plugin_overhead.py BUILD_DIR [ROUNDS] [MILLIONS_OF_CALLS]
(BUILD_DIR configured with -DLUMTRA_BENCH=ON, sim_bench and the plug-ins
built).
"""

import os
import statistics
import subprocess
import sys

build = sys.argv[1]
rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 7
calls = sys.argv[3] if len(sys.argv) > 3 else "5"
methods = {"-ff": "-ff", "plug-in": "--plugin:" + os.path.abspath(os.path.join(build, "plugins", "first_fit.so"))}


def per_cpu_second(arg):
    out = subprocess.run([os.path.join(build, "sim_bench"), "--net", "nsfnet", "--calls", calls, arg],
                         capture_output=True, text=True, check=True).stdout
    return float(out.splitlines()[-1].split()[3])


rates = {name: [] for name in methods}
for r in range(rounds):
    for name, arg in methods.items():
        rates[name].append(per_cpu_second(arg))
    print(f"round {r + 1}: " + "  ".join(f"{n} {rates[n][-1] / 1e6:.2f} M calls/cpu-s" for n in methods))
for pick in (max, statistics.median):
    ff, plug = pick(rates["-ff"]), pick(rates["plug-in"])
    print(f"{pick.__name__:>6}: -ff {1e9 / ff:.0f} ns/call, plug-in {1e9 / plug:.0f} ns/call, ratio {ff / plug:.3f}")
