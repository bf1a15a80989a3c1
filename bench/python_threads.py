#!/usr/bin/python3
"""Two simulations on two Python threads against one alone: the module
releases the interpreter's lock while a run goes on, so the pair should take
about the wall time of one (the target is at most 1.2 times) on two free
cores, as two processes of the program side by side do (measured too, as the
reference of what the machine gives at the time).

    PYTHONPATH=build/python python3 bench/python_threads.py [--time T] [--repeat R]

Each measurement is first fit on NSFNET (seed 1 and 2, 10 batches of T time
units); the best of R repetitions is kept, since other work on the machine
only ever adds time.
"""

import argparse
import os
import subprocess
import threading
import time

import lumtra

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
parser.add_argument("--time", type=float, default=5000)
parser.add_argument("--repeat", type=int, default=3)
parser.add_argument("--lumtra", default=os.path.join(ROOT, "build", "lumtra"),
                    help="the program, for the reference of two processes side by side")
args = parser.parse_args()
net = lumtra.Network.read(os.path.join(ROOT, "examples", "nsfnet.txt"))


def run(seed, out=None):
    result = lumtra.simulate(net, seed=seed, batches=10, time=args.time)
    if out is not None:
        out[seed] = result


def best(work):
    """(wall seconds, processor seconds of the process) of the fastest repetition."""
    times = []
    for _ in range(args.repeat):
        start, cpu = time.perf_counter(), time.process_time()
        work()
        times.append((time.perf_counter() - start, time.process_time() - cpu))
    return min(times)


def two_threads():
    out = {}
    threads = [threading.Thread(target=run, args=(seed, out)) for seed in (1, 2)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()


def two_processes():
    """The reference: two processes of the program side by side, which no
    lock can hold back; it shows what the machine gives at the moment."""
    argv = [args.lumtra, "-ff", "-b:10", f"-t:{args.time!r}", "-nt:" + net.path]
    procs = [subprocess.Popen(argv + [f"-s:{seed}"], stdout=subprocess.DEVNULL) for seed in (1, 2)]
    for p in procs:
        p.wait()


calls = lumtra.simulate(net, seed=1, batches=10, time=args.time).total_arrived
one, one_cpu = best(lambda: run(1))
two, two_cpu = best(two_threads)
print(f"one simulation: {one:.3f} s wall, {one_cpu:.3f} s processor ({calls / one_cpu / 1e6:.2f} million calls "
      "per processor second)")
print(f"two simulations on two threads: {two:.3f} s wall, {two_cpu:.3f} s processor")
apart = best(two_processes)[0] if os.path.exists(args.lumtra) else None
print(f"wall-time ratio: {two / one:.2f} (target at most 1.2); processor time per wall second: "
      f"{one_cpu / one:.2f} alone, {two_cpu / two:.2f} with two threads")
if apart:
    print(f"two processes of the program side by side: {apart:.3f} s wall, ratio {apart / one:.2f}")
