#!/usr/bin/env python3
"""Writes the networks of the bare-bones comparison (bench/compare_bare.py):
NSFNET (examples/nsfnet.txt) widened to 64 and 256 wavelengths, and a
100-node mesh of average degree 4 with 16 wavelengths. Every node is
non-grooming without conversion, traffic is uniform, and each offered load
was chosen so that first fit blocks about 3.5 % of the calls.

    bench/make_bare_nets.py [DIR]     (default: the folder of this script)

Deterministic: the same files every time."""
import os
import random
import sys

from make_mesh import random_mesh_edges

HERE = os.path.dirname(os.path.abspath(__file__))
# wavelengths -> calls per time unit per ordered pair
NSFNET_RATES = {64: 4.25, 256: 19.0}
MESH_NODES, MESH_DEGREE, MESH_W, MESH_RATE = 100, 4, 16, 0.067


def network(n, capacity_rows, rate):
    out = [str(n)] + ["1 n"] * n + ["1", "1", "1"]
    out += [" ".join(map(str, row)) for row in capacity_rows]
    out += [" ".join("0" if i == j else str(rate) for j in range(n)) for i in range(n)]
    out += ["1", "1000"]
    return "\n".join(out) + "\n"


def read_matrices(path):
    """(n, capacities, rates) of a network file of non-grooming nodes (two
    tokens per node line), the matrices as flat row-major lists."""
    with open(path) as f:
        tokens = f.read().split()
    n = int(tokens[0])
    start = 1 + 2 * n + 3  # node lines, then slots and call sizes
    caps = [int(t) for t in tokens[start:start + n * n]]
    rates = [float(t) for t in tokens[start + n * n:start + 2 * n * n]]
    return n, caps, rates


def nsfnet(width, rate):
    n, caps, _ = read_matrices(os.path.join(HERE, "..", "examples", "nsfnet.txt"))
    rows = [[width if c else 0 for c in caps[i * n:(i + 1) * n]] for i in range(n)]
    return network(n, rows, rate)


def mesh(n, degree, width, rate):
    rows = [[0] * n for _ in range(n)]
    for a, b in random_mesh_edges(n, degree, random.Random(100)):
        rows[a][b] = rows[b][a] = width
    return network(n, rows, rate)


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else HERE
    files = {f"nsfnet-{w}.txt": nsfnet(w, r) for w, r in NSFNET_RATES.items()}
    files["mesh-100.txt"] = mesh(MESH_NODES, MESH_DEGREE, MESH_W, MESH_RATE)
    for name, text in files.items():
        with open(os.path.join(folder, name), "w") as f:
            f.write(text)


if __name__ == "__main__":
    main()
