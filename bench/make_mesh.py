#!/usr/bin/env python3
"""Writes the 40-node benchmark mesh: a connected random mesh of average
degree about 4, 32 wavelengths per fibre, a mix of node types (grooming
ports, full grooming, grooming cores), uniform traffic. Deterministic."""
import random
import sys


def random_mesh_edges(n, degree, rng):
    """The fibre pairs (a, b), a < b, of a connected random mesh with
    n * degree / 2 pairs: a random spanning tree, then random chords."""
    edges = set()
    order = list(range(n))
    rng.shuffle(order)
    for k in range(1, n):  # a random spanning tree keeps the mesh connected
        a, b = order[k], order[rng.randrange(k)]
        edges.add((min(a, b), max(a, b)))
    while len(edges) < n * degree // 2:
        a, b = rng.sample(range(n), 2)
        edges.add((min(a, b), max(a, b)))
    return edges


def main():
    N, W, DEGREE, RATE = 40, 32, 4, 0.05
    edges = random_mesh_edges(N, DEGREE, random.Random(40))
    types = [1, 2, 3, 4]
    out = [str(N)]
    for k in range(N):
        t = types[k % 4]
        conv = "y" if k % 3 == 0 else "n"
        if t in (2, 4):
            out.append(f"{t} {conv} 2 8 8 8 8 0.3 0.3")
        else:
            out.append(f"{t} {conv}")
    out += ["4", "1", "4"]
    cap = [[0] * N for _ in range(N)]
    for a, b in edges:
        cap[a][b] = cap[b][a] = W
    out += [" ".join(map(str, row)) for row in cap]
    out += [" ".join("0" if i == j else str(RATE) for j in range(N)) for i in range(N)]
    out += ["1", "100"]
    sys.stdout.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
