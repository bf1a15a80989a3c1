#!/usr/bin/python3
"""A method written in Python against the same method compiled: first fit on
NSFNET (16 wavelengths) as the built-in -ff, as the compiled plug-in
plugins/first_fit.c and as lumtra.FirstFit, in calls placed per processor
second (the whole run: arrivals, departures and statistics included).

    PYTHONPATH=build/python python3 bench/python_method.py [--time T] [--repeat R] [--parallel N]

The best of R repetitions is kept, since other work on the machine only
ever adds time. --parallel N runs the batches on N threads instead (then
wall time counts, and the Python method shares the interpreter's lock).
"""

import argparse
import os
import time

import lumtra

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
parser.add_argument("--time", type=float, default=2000)
parser.add_argument("--repeat", type=int, default=3)
parser.add_argument("--parallel", type=int)
parser.add_argument("--build", default=os.path.join(ROOT, "build"))
args = parser.parse_args()
net = lumtra.Network.read(os.path.join(ROOT, "examples", "nsfnet.txt"))
compiled = os.path.join(args.build, "plugins", "first_fit.so")

rows = [("-ff (built in)", None), ("plugins/first_fit.c", compiled), ("lumtra.FirstFit (Python)", lumtra.FirstFit)]
clock = time.perf_counter if args.parallel else time.process_time
reference = None
for label, plugin in rows:
    if isinstance(plugin, str) and not os.path.exists(plugin):
        print(f"{label}: not built ({plugin})")
        continue
    best = None
    for _ in range(args.repeat):
        start = clock()
        result = lumtra.simulate(net, seed=1, batches=10, time=args.time, parallel=args.parallel, plugin=plugin)
        took = clock() - start
        best = took if best is None else min(best, took)
    rate = result.total_arrived / best
    reference = reference or rate
    print(f"{label:28} {result.total_arrived} calls, {best:.3f} s, {rate / 1e3:8.0f} thousand calls/s, "
          f"{reference / rate:5.1f} x the time of -ff")
