"""The Python module lumtra against the program it wraps."""

import json
import os
import subprocess
import sys
import threading
import time

import networkx as nx
import pytest

import lumtra

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BINARY = os.environ.get("LUMTRA_BINARY", os.path.join(ROOT, "build", "lumtra"))
NSFNET = os.path.join(ROOT, "examples", "nsfnet.txt")


def first_difference(a, b, path="$"):
    """The path of the first field where two JSON values differ, or None."""
    if isinstance(a, dict) and isinstance(b, dict):
        for key in sorted(set(a) | set(b)):
            if key not in a or key not in b:
                return f"{path}.{key}"
            found = first_difference(a[key], b[key], f"{path}.{key}")
            if found:
                return found
        return None
    if isinstance(a, list) and isinstance(b, list):
        if len(a) != len(b):
            return f"{path} (length {len(a)} against {len(b)})"
        for i, (x, y) in enumerate(zip(a, b)):
            found = first_difference(x, y, f"{path}[{i}]")
            if found:
                return found
        return None
    return None if a == b and type(a) is type(b) else f"{path}: {a!r} against {b!r}"


def program_document(argv, tmp_path):
    """The JSON document of the program run as a process with argv."""
    document = tmp_path / "cli.json"
    proc = subprocess.run([BINARY, *argv[1:], f"--json:{document}"], capture_output=True, text=True,
                          stdin=subprocess.DEVNULL)
    assert proc.returncode == 0, proc.stderr
    return json.loads(document.read_text())


def without_timing(document):
    # Wall-clock time differs between any two runs, and the record of how the
    # run was started (its argv, the threads it got) between a process and
    # the module.
    document = dict(document)
    document.pop("elapsed_seconds", None)
    document.pop("run", None)
    return document


@pytest.mark.parametrize("kind", ["file", "graph"])
def test_same_figures_as_the_program(kind, tmp_path):
    if kind == "file":
        net = lumtra.Network.read(NSFNET)
        options = dict(method="r", assignment="mu", sort_mode=1, max_paths=2, seed=7, batches=3, time=200)
    else:
        net = lumtra.Network.from_networkx(nx.petersen_graph(), wavelengths=4, erlangs=0.6)
        options = dict(method="lu", seed=3, batches=4, time=100, parallel=2)
    result = lumtra.simulate(net, **options)
    if net.path is None:
        network = tmp_path / "network.txt"
        net.save(network)
        argv = [a if not a.startswith("-nt:") else f"-nt:{network}" for a in result.argv]
    else:
        argv = result.argv
    ours, theirs = without_timing(result.document), without_timing(program_document(argv, tmp_path))
    if net.path is None:
        ours["configuration"] = dict(ours["configuration"], network_file=str(network))
    assert first_difference(ours, theirs) is None
    assert json.loads(result.to_json()) == result.document
    assert result.total_blocked == theirs["statistics"]["total_blocked"] > 0


def test_graphs_become_fibres_between_named_nodes():
    g = nx.Graph()
    g.add_edge("Oslo", "Bergen", wavelengths=8)
    g.add_edge("Bergen", "Trondheim")
    net = lumtra.Network.from_networkx(g, wavelengths=4, erlangs=2, converters=["Bergen"])
    assert net.names == ["Oslo", "Bergen", "Trondheim"]
    rows = net.text.splitlines()
    # Count, three node lines, three slot values, then the two matrices.
    assert rows[0:4] == ["3", "1 n", "1 y", "1 n"]
    assert rows[7:10] == ["0 8 0", "8 0 4", "0 4 0"]
    assert rows[10:13] == ["0 2 2", "2 0 2", "2 2 0"]

    d = nx.DiGraph([("a", "b"), ("b", "c"), ("c", "a")])
    rows = lumtra.Network.from_networkx(d, wavelengths=3, total_erlangs=12).text.splitlines()
    assert rows[7:10] == ["0 3 0", "0 0 3", "3 0 0"]
    assert rows[10:13] == ["0 2 2", "2 0 2", "2 2 0"]

    names = lumtra.simulate(lumtra.Network.from_networkx(g, wavelengths=4), batches=2, time=50).pairs
    assert set(names["source"]) == {"Oslo", "Bergen", "Trondheim"}


def test_graph_errors_name_the_item():
    g = nx.Graph()
    g.add_edge("a", "b", wavelengths="many")
    with pytest.raises(lumtra.InputError, match=r"^lumtra: networkx graph: edge 'a' - 'b': wavelengths 'many'"):
        lumtra.Network.from_networkx(g)
    with pytest.raises(lumtra.InputError, match=r"node 'a': no attribute 'population'"):
        lumtra.Network.from_networkx(nx.path_graph(["a", "b"]), gravity="population")
    apart = nx.Graph([("a", "b"), ("c", "d")])
    with pytest.raises(lumtra.InputError, match="not connected"):
        lumtra.Network.from_networkx(apart)


def test_frames_have_a_row_per_pair_and_batch():
    result = lumtra.simulate(NSFNET, seed=2, batches=3, time=50)
    pairs, batches = result.pairs, result.batches
    assert pairs.shape == (14 * 13, 5)
    assert list(pairs.columns) == ["source", "destination", "arrived", "blocked", "value"]
    assert list(batches.columns) == ["batch", "arrived", "blocked", "blocking"]
    assert list(batches["batch"]) == [1, 2, 3]
    assert batches["arrived"].sum() == pairs["arrived"].sum() == result.total_arrived
    assert batches["blocked"].sum() == pairs["blocked"].sum() == result.total_blocked


def test_threads_run_at_once_with_the_figures_of_one_at_a_time():
    runs = [dict(seed=s, batches=4, time=1000) for s in (1, 2)]
    alone = [lumtra.simulate(NSFNET, **r).statistics for r in runs]
    together = [None, None]
    threads = [threading.Thread(target=lambda i=i: together.__setitem__(i, lumtra.simulate(NSFNET, **runs[i])))
               for i in range(2)]
    # While the runs go on, this thread keeps running Python: the runs do not
    # hold the interpreter's lock.
    beats = []
    start = time.perf_counter()
    for t in threads:
        t.start()
    while any(t.is_alive() for t in threads):
        beats.append(time.perf_counter())
    took = time.perf_counter() - start
    assert [r.statistics for r in together] == alone
    gaps = [b - a for a, b in zip([start] + beats, beats)]
    assert max(gaps) < took / 2


def test_errors_carry_the_program_message_and_print_nothing(capfd):
    with pytest.raises(lumtra.UsageError, match=r"-pr Can not be used without -sh or -sc"):
        lumtra.simulate(NSFNET, priority_routing=True)
    with pytest.raises(lumtra.InputError, match=r"lumtra: command line: -s:-1"):
        lumtra.simulate(NSFNET, seed=-1)
    with pytest.raises(lumtra.InputError, match=r"max_paths: '2' is not a whole number"):
        lumtra.simulate(NSFNET, max_paths="2")
    with pytest.raises(lumtra.InputError, match=r"nosuch: unknown option"):
        lumtra.simulate(NSFNET, nosuch=1)
    with pytest.raises(lumtra.PluginError, match=r"^lumtra: /nonexistent.so: plug-in: cannot be opened"):
        lumtra.simulate(NSFNET, plugin="/nonexistent.so")
    lumtra.simulate(NSFNET, batches=1, time=10)
    out, err = capfd.readouterr()
    assert out == "" and err == ""


@pytest.mark.parametrize("parallel", [None, 2])
def test_first_fit_in_python_places_every_call_as_ff(parallel):
    run = dict(seed=4, batches=3, time=200, parallel=parallel)
    ours, ff = lumtra.simulate(NSFNET, plugin=lumtra.FirstFit, **run), lumtra.simulate(NSFNET, **run)
    assert first_difference(ours.document["batches"], ff.document["batches"]) is None
    assert ours.statistics == ff.statistics
    assert ours.configuration["plugin"]["name"] == "python-first-fit"


class RoutesByFirstFit:
    """First fit over the candidate paths, chosen by the method itself."""
    routes = True

    def assign(self, call, view):
        for path in view.paths(call.source, call.destination):
            free = [f for _, _, f in view.segments(call, path.index)]
            if all(free):
                return path.index, [(f & -f).bit_length() - 1 for f in free]
        return None


def test_a_routing_method_in_python_sees_every_candidate_path():
    run = dict(seed=5, batches=2, time=200)
    ours, ff = lumtra.simulate(NSFNET, plugin=RoutesByFirstFit, **run), lumtra.simulate(NSFNET, **run)
    assert ours.document["batches"] == ff.document["batches"]
    # It counts no trials, which is all that differs.
    assert ours.average_number_of_attempts == 0 < ff.average_number_of_attempts


class TakesWavelengthZero:
    def assign(self, call, view):
        return [0] * len(view.segments(call))


class Divides:
    def assign(self, call, view):
        return [1 // (call.source - call.source)]


def test_a_wrong_python_method_stops_its_run_and_not_the_process():
    run = dict(seed=1, batches=2, time=100)
    with pytest.raises(lumtra.PluginError, match=r"TakesWavelengthZero.*wavelength 0 of segment 0 does not fit"):
        lumtra.simulate(NSFNET, plugin=TakesWavelengthZero, **run)
    with pytest.raises(lumtra.PluginError, match=r"Divides \(Python\): assign: ZeroDivisionError.*test_lumtra.py"):
        lumtra.simulate(NSFNET, plugin=Divides, **run)
    assert lumtra.simulate(NSFNET, plugin=lumtra.FirstFit, **run).total_blocked == 1011


def test_the_example_draws_its_plot(tmp_path):
    plot = tmp_path / "compare.png"
    proc = subprocess.run([sys.executable, os.path.join(ROOT, "examples", "python", "compare.py"),
                           "--quick", "-o", str(plot)], capture_output=True, text=True)
    assert proc.returncode == 0, proc.stderr
    assert plot.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
