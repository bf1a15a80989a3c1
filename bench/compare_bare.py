#!/usr/bin/env python3
"""Lumtra's first fit against the bare-bones simulator (bench/bare_ff.cpp),
processor time per call, on NSFNET at 16, 64 and 256 wavelengths and on a
100-node mesh, each loaded so that first fit blocks about 3.5 % of the calls.

    bench/compare_bare.py [--reps 5] [--calls 2e6] [--build DIR] [--lumtra BIN] [--nets a,b]

Builds lumtra and bare_ff (Release, in DIR, default build/), then for every
network:
  1. checks that bare_ff offers the calls lumtra offers: the same candidate
     paths (lumtra's printout against bare_ff --paths), and after one
     untimed run of each the same call count and blocking within a small
     margin (the same seed gives the same calls, so they normally agree
     exactly);
  2. runs the two alternately --reps times (lumtra -ff -s:1 -b:1 -t:T, its
     output to /dev/null), T chosen so that about --calls calls arrive;
  3. prints the calls, the blocking of each, the best processor time per
     call of each (user + system time of the child process, whole run) and
     their ratio, and lumtra's calls per processor second.
--lumtra times another lumtra binary (an older build, say) against the same
bare_ff. Exits 1 when the two simulators disagree on the calls offered."""
import argparse
import os
import subprocess
import sys
import tempfile

from make_bare_nets import read_matrices

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
NETS = {
    "nsfnet-16": "examples/nsfnet.txt",
    "nsfnet-64": "bench/nsfnet-64.txt",
    "nsfnet-256": "bench/nsfnet-256.txt",
    "mesh-100": "bench/mesh-100.txt",
}


def total_rate(path):
    """Calls per time unit offered by a file of non-grooming nodes."""
    n, _, rates = read_matrices(path)
    return sum(r for k, r in enumerate(rates) if k // n != k % n)


def cpu_run(argv, out):
    """Runs argv with stdout to the file object `out`; returns the child's
    processor seconds (user + system)."""
    proc = subprocess.Popen(argv, stdout=out, stderr=subprocess.DEVNULL, cwd=ROOT)
    _, status, usage = os.wait4(proc.pid, 0)
    proc.returncode = os.waitstatus_to_exitcode(status)
    if proc.returncode != 0:
        sys.exit(f"{' '.join(argv)} exited with {proc.returncode}")
    return usage.ru_utime + usage.ru_stime


def lumtra_counts(text):
    values = {}
    for line in text.splitlines():
        for key in ("Total Arrived", "Total Blocked"):
            if line.startswith(key + " = "):
                values[key] = int(line.split("=")[1])
    return values["Total Arrived"], values["Total Blocked"]


def path_lines(text):
    lines = text.splitlines()
    return [l + "|" + lines[i + 1] for i, l in enumerate(lines) if l.startswith("Path From ")]


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--reps", type=int, default=5)
    ap.add_argument("--calls", type=float, default=2e6)
    ap.add_argument("--build", default=os.path.join(ROOT, "build"))
    ap.add_argument("--lumtra", help="lumtra binary to time (default: the one built in --build)")
    ap.add_argument("--nets", default=",".join(NETS), help="comma-separated: " + ", ".join(NETS))
    args = ap.parse_args()

    subprocess.run(["cmake", "-S", ROOT, "-B", args.build, "-DCMAKE_BUILD_TYPE=Release"], check=True,
                   stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", args.build, "-j2", "--target", "lumtra", "bare_ff"], check=True,
                   stdout=subprocess.DEVNULL)
    lumtra = os.path.abspath(args.lumtra or os.path.join(args.build, "lumtra"))
    bare = os.path.join(args.build, "bare_ff")

    print(f"lumtra: {lumtra}; best of {args.reps} alternating runs; processor time per call")
    print(f"{'network':<11} {'calls':>9} {'lumtra bp':>10} {'bare bp':>9} {'lumtra ns':>10} {'bare ns':>8} "
          f"{'ratio':>6} {'lumtra calls/cpu-s':>19}")
    agree = True
    for name in args.nets.split(","):
        net = NETS[name]
        t = args.calls / total_rate(os.path.join(ROOT, net))
        lumtra_argv = [lumtra, "-ff", "-s:1", "-b:1", f"-t:{t:.6g}", f"-nt:{net}"]
        bare_argv = [bare, net, "1", f"{t:.6g}"]

        # Untimed first runs: the check of the calls offered, and a warm cache.
        with tempfile.TemporaryFile("w+") as f:
            cpu_run(lumtra_argv, f)
            f.seek(0)
            lumtra_text = f.read()
        bare_text = subprocess.run(bare_argv, check=True, capture_output=True, text=True, cwd=ROOT).stdout
        bare_paths = subprocess.run([bare, net, "--paths"], check=True, capture_output=True, text=True,
                                    cwd=ROOT).stdout
        calls, blocked = lumtra_counts(lumtra_text)
        words = bare_text.split()
        bare_calls, bare_blocked = int(words[1]), int(words[3])
        lumtra_bp, bare_bp = blocked / calls, bare_blocked / bare_calls
        if path_lines(lumtra_text) != path_lines(bare_paths):
            print(f"{name}: the candidate paths differ from lumtra's", file=sys.stderr)
            agree = False
        if abs(bare_calls - calls) > 0.001 * calls or abs(bare_bp - lumtra_bp) > 0.002:
            print(f"{name}: bare_ff offered {bare_calls} calls (blocking {bare_bp:.5f}), lumtra {calls} "
                  f"({lumtra_bp:.5f})", file=sys.stderr)
            agree = False

        best_lumtra = best_bare = float("inf")
        with open(os.devnull, "w") as null:
            for _ in range(args.reps):
                best_lumtra = min(best_lumtra, cpu_run(lumtra_argv, null))
                best_bare = min(best_bare, cpu_run(bare_argv, null))
        ns_lumtra, ns_bare = 1e9 * best_lumtra / calls, 1e9 * best_bare / bare_calls
        print(f"{name:<11} {calls:>9} {lumtra_bp:>10.5f} {bare_bp:>9.5f} {ns_lumtra:>10.1f} {ns_bare:>8.1f} "
              f"{ns_lumtra / ns_bare:>6.2f} {calls / best_lumtra:>19.0f}", flush=True)
    if not agree:
        sys.exit(1)


if __name__ == "__main__":
    main()
