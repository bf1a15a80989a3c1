"""Lumtra from Python: call blocking in wavelength-routed optical networks.

    import lumtra, networkx as nx
    net = lumtra.Network.from_networkx(nx.cycle_graph(6), wavelengths=8, erlangs=2)
    result = lumtra.simulate(net, method="ff", seed=1, batches=10, time=1000)
    result.average_blocking_probability, result.pairs, result.batches

Every run is a whole run of the lumtra program inside this process, with the
command line that simulate() builds (Result.argv): the figures are those the
program writes with --json, at full precision and under the same names. The
interpreter's lock is released while the batches run, so simulations on
several threads run at once. Nothing is printed unless asked (echo=True);
a run that fails raises an Error subclass with the program's message.
"""

import collections
import json
import math
import numbers
import os
import shutil
import tempfile
import warnings

from . import _core

__all__ = ["Network", "Result", "simulate", "Error", "InputError", "UsageError", "PluginError",
           "LumtraWarning", "METHODS", "FirstFit", "BLOCKED", "Path", "Hop", "Departure"]

__version__ = _core.version

# The method letters of the command line (first the routing, then the
# wavelength assignment).
METHODS = ("ff", "r", "la", "xla", "lf", "dla", "mu", "lmu", "lu", "llu", "ll", "ml", "wlcr", "wmcr")


class Error(Exception):
    """A run or a network that the program refused; str() is its message."""

    def __init__(self, message, status=1):
        super().__init__(message)
        self.status = status  # the program's exit status


class InputError(Error, ValueError):
    """Bad input: a network, a graph or an option value (exit status 1)."""


class UsageError(Error, ValueError):
    """A combination of options the program refuses (exit status 2)."""


class PluginError(Error):
    """A plug-in that failed to load or gave an answer the engine refused."""


class LumtraWarning(UserWarning):
    """A note about the input (a dropped self-loop, merged edges), or one of
    the program's warnings."""


def _failure(status, out, err):
    """The Error for a run that ended with a non-zero status."""
    message = (err or out).strip() or f"lumtra: the run ended with exit status {status}"
    kind = InputError if status == 1 else UsageError if status == 2 else Error
    # "lumtra: SOURCE: ITEM: PROBLEM", the plug-in named as source or item.
    if any("plug-in" in part or "--plugin" in part for part in message.split(": ", 3)[1:3]):
        kind = PluginError
    return kind(message, status)


def _run(args, method=None):
    """One in-process run, `method` (a Python method) offered to --plugin
    under its name; (stdout, stderr) as text, or the Error."""
    if method is None:
        status, out, err, failed = _core.run(["lumtra", *args])
    else:
        name, version, routes = _method_identity(method)
        status, out, err, failed = _core.run(["lumtra", *args], method, name, version, routes)
    out = out.decode("utf-8", "replace")
    err = err.decode("utf-8", "replace")
    if failed:
        raise PluginError(f"lumtra: plug-in {name} (Python): {failed}", 1)
    if status != 0:
        raise _failure(status, out, err)
    return out, err


# ---------------------------------------------------------------------------
# Methods written in Python

# A candidate path, as view.paths(s, d) lists them: its index in the pair's
# list, its hops, the nodes after the source, its cost and its number of
# segments (runs of hops that keep one wavelength).
Path = collections.namedtuple("Path", "index hops nodes cost segments")
# A hop: the fibre (index), its link (what view.free() and view.window()
# take), the wavelengths 0 .. bound-1 that exist on every fibre of its
# segment, whether the segment ends after it, whether both ends groom.
Hop = collections.namedtuple("Hop", "fibre link bound ends_segment groomed")
# A call that departs: its pair, the index of its path, its slots and the
# wavelength of every hop.
Departure = collections.namedtuple("Departure", "source destination path slots wavelengths")

# What assign returns to block the call outright.
BLOCKED = False


class FirstFit:
    """First fit, written in Python: the lowest wavelength of each segment
    that is free on all its hops, scanned from the window's low end, the
    trials counted as -ff counts them. With the classic routing it places
    every call as -ff does on networks without grooming (the masks tell
    which wavelengths carry no call at all).

    The shape of any method: assign(call, view) returns the wavelengths of
    the offered path (call.candidate), one per segment; None when the path
    has none (the routing then offers the next); BLOCKED to lose the call.
    A method with routes = True chooses the path itself and returns
    (path index, wavelengths). Optional: release(departure, view) when a
    call departs, reset() before every batch."""

    name = "python-first-fit"
    version = "1.0"

    def assign(self, call, view):
        chosen = []
        for low, end, free in view.segments(call):
            if not free:
                view.attempts += end - low
                return None
            w = (free & -free).bit_length() - 1
            view.attempts += w - low + 1
            chosen.append(w)
        return chosen


def _method_identity(method):
    """(name, version, routes) of a method object or class."""
    if not callable(getattr(method, "assign", None)):
        raise InputError(f"lumtra: simulate: plugin: {method!r} is neither a file name nor a method "
                         "(an object or class with assign(call, view))")
    kind = method if isinstance(method, type) else type(method)
    name = str(getattr(method, "name", None) or kind.__name__).replace(":", "_")
    return name, str(getattr(method, "version", "") or ""), bool(getattr(method, "routes", False))


# ---------------------------------------------------------------------------
# Networks


def _net_tool():
    """tools/lumtra-net, which this package carries as its module _net: the
    one conversion of graphs into network files."""
    from . import _net
    return _net


class Network:
    """A network the program can run: the text of a network file, the names
    of its nodes (index 0 is node 1), and the file it came from, if any."""

    def __init__(self, text, names, path=None, notes=()):
        self.text = text
        self.names = list(names)
        self.path = path
        self.notes = list(notes)

    def __repr__(self):
        return f"<lumtra.Network of {len(self.names)} nodes{' from ' + self.path if self.path else ''}>"

    @classmethod
    def read(cls, path):
        """A network file (the format of `lumtra -nt:FILE`), checked by the
        program as --check does; its nodes are named by their numbers."""
        path = os.fspath(path)
        _run(["--check", "-nt:" + path])
        with open(path, encoding="utf-8", errors="surrogateescape") as f:
            text = f.read()
        nodes = int(text.split(None, 1)[0])
        return cls(text, range(1, nodes + 1), path=path)

    @classmethod
    def from_networkx(cls, graph, wavelengths=16, erlangs=None, total_erlangs=None, demands=None,
                      converters=None, directed=None, **options):
        """A networkx graph as tools/lumtra-net converts it, by its code,
        under the same rules and with the same messages: an undirected edge
        is a fibre pair, a directed edge one fibre, of the edge's
        "wavelengths" attribute or `wavelengths`; `erlangs` between every
        ordered pair (default 1), or `total_erlangs` shared by them, or
        `demands` ({(source, target): Erlangs}, (source, target, Erlangs)
        triples or a demand CSV file); `converters` the nodes that convert
        wavelengths (node keys, or the tool's text: "A,B", "degree:3",
        "attr:KEY"); `directed` None (the graph's own), True or False. The
        other options of lumtra-net go by name, "-" as "_" (slots=4,
        gravity="population", largest_component=True). Nodes are named by
        their "label" or "name" attribute, else by their key."""
        tool = _net_tool()
        try:
            text, names, notes = tool.network_from_graph(
                graph, wavelengths=wavelengths, erlangs=erlangs, total_erlangs=total_erlangs,
                demands=demands, converters=converters, directed=directed, **options)
        except tool.InputError as e:
            raise InputError(f"lumtra: {e.source or 'networkx graph'}: {e.item}: {e.problem}") from None
        for note in notes:
            warnings.warn(f"lumtra: networkx graph: {note}", LumtraWarning, stacklevel=2)
        return cls(text, names, notes=notes)

    def save(self, path):
        """Writes the network file (for `lumtra -nt:PATH`)."""
        with open(path, "w", encoding="utf-8", errors="surrogateescape", newline="\n") as f:
            f.write(self.text)

    def name(self, number):
        """The name of node `number` (from 1, as the program counts); Virtual
        nodes, which follow the real ones, keep their number."""
        return self.names[number - 1] if 1 <= number <= len(self.names) else number


# ---------------------------------------------------------------------------
# Options


def _flag(letters):
    def option(name, value):
        if not isinstance(value, bool):
            raise InputError(f"lumtra: simulate: {name}: {value!r} is neither True nor False")
        return [letters] if value else []
    return option


def _whole(prefix):
    def option(name, value):
        if isinstance(value, bool) or not isinstance(value, numbers.Integral):
            raise InputError(f"lumtra: simulate: {name}: {value!r} is not a whole number")
        return [f"{prefix}{int(value)}"]
    return option


def _real(prefix):
    def option(name, value):
        if isinstance(value, bool) or not isinstance(value, numbers.Real) or not math.isfinite(value):
            raise InputError(f"lumtra: simulate: {name}: {value!r} is not a finite number")
        return [f"{prefix}{float(value)!r}"]
    return option


def _sort_mode(name, value):
    orders = {1: ["-sh"], 2: ["-sc"], 3: ["-sh", "-sc"], 4: ["-sc", "-sh"]}
    if isinstance(value, bool) or value not in orders:
        raise InputError(f"lumtra: simulate: {name}: {value!r} is not 1 (hops), 2 (cost), "
                         "3 (hops, then cost) or 4 (cost, then hops)")
    return orders[value]


# The keyword options of simulate(), named as the fields of the JSON
# document's configuration, and the command-line options they become.
_OPTIONS = {
    "all_paths": _flag("-a"),
    "max_path_length": _whole("-mx:"),
    "min_path_length": _whole("-mn:"),
    "max_paths": _whole("-mp:"),
    "length_margin": _whole("-mc:"),
    "path_order": _whole("-n:"),
    "second_path_limit": _whole("-e:"),
    "sort_mode": _sort_mode,
    "priority_routing": _flag("-pr"),
    "single_la_list": _flag("-sla"),
    "max_switchings": _whole("-px:"),
    "min_switchings": _whole("-pn:"),
    "max_attempts": _whole("-at:"),
    "multi_wavelength": _flag("-m"),
    "local_calls": _flag("-lo"),
    "virtual_output": _flag("-vo"),
    "departure_rate": _real("-dr:"),
    "rate_factor": _real("-f:"),
    "rate_cofactor": _real("-c:"),
    "alpha": _real("-al:"),
    "epsilon": _real("-ep:"),
    "max_batches": _whole("--max-batches:"),
}


def _method(name, value):
    if value not in METHODS:
        raise InputError(f"lumtra: simulate: {name}: {value!r} is not a method ({', '.join(METHODS)})")
    return ["-" + value]


def command_line(network_path, method="ff", assignment=None, seed=1, batches=10, time=1000,
                 parallel=None, precision=None, warmup=None, plugin=None, **options):
    """The program's arguments for simulate()'s parameters (without --json)."""
    args = _method("method", method)
    if assignment is not None:
        args += _method("assignment", assignment)
    args += _whole("-s:")("seed", seed)
    if batches is not None:
        args += _whole("-b:")("batches", batches)
    if time is not None:
        args += _real("-t:")("time", time)
    for name in sorted(options):
        if name not in _OPTIONS:
            raise InputError(f"lumtra: simulate: {name}: unknown option (the options are "
                             f"{', '.join(sorted(_OPTIONS))})")
        if options[name] is not None:
            args += _OPTIONS[name](name, options[name])
    if parallel is True:
        args.append("--parallel")
    elif parallel is not None and parallel is not False:
        args += _whole("--parallel:")("parallel", parallel)
    if precision is not None:
        args += _real("--precision:")("precision", precision)
    if warmup is not None:
        args += _real("--warmup:")("warmup", warmup)
    if isinstance(plugin, (str, os.PathLike)):
        args.append("--plugin:" + os.fspath(plugin))
    elif plugin is not None:
        args.append("--plugin:" + _method_identity(plugin)[0])
    args.append("-nt:" + network_path)
    return args


# ---------------------------------------------------------------------------
# Results


def _frame(rows, columns):
    """A pandas DataFrame when pandas is installed, else the list of dicts."""
    try:
        import pandas
    except ImportError:
        return rows
    return pandas.DataFrame(rows, columns=columns)


class Result:
    """The figures of one run, as the program's --json document holds them.

    `document` is that document as a dict and `to_json()` its text; the
    fields of `statistics` are attributes too (result.total_blocked,
    result.average_blocking_probability, ...). `pairs` has one row per
    included node pair (source, destination by name; arrived and blocked
    over all batches; value, the pair's average blocking), `batches` one row
    per batch (batch, arrived, blocked, blocking). `output` is what the
    program printed, `argv` the command line that gives the same figures
    (with -nt: naming a temporary file for a network from networkx)."""

    def __init__(self, text, network, argv, output, messages):
        self._text = text
        self.document = json.loads(text)
        self.network = network
        self.argv = argv
        self.output = output
        self.messages = messages
        self.names = network.names

    def __getattr__(self, name):
        statistics = self.__dict__.get("document", {}).get("statistics", {})
        if name in statistics:
            return statistics[name]
        raise AttributeError(name)

    def __repr__(self):
        s = self.document["statistics"]
        return (f"<lumtra.Result {self.configuration['routing_method']}/{self.configuration['wa_method']}: "
                f"{s['total_blocked']} of {s['total_arrived']} calls blocked, "
                f"average blocking {s['average_blocking_probability']:.6g}>")

    @property
    def seed(self):
        return self.document["seed"]

    @property
    def configuration(self):
        return self.document["configuration"]

    @property
    def statistics(self):
        return self.document["statistics"]

    @property
    def pairs(self):
        name = self.network.name
        totals = {}
        for batch in self.document["batches"]:
            for p in batch["pairs"]:
                t = totals.setdefault((p["source"], p["destination"]), [0, 0])
                t[0] += p["arrived"]
                t[1] += p["blocked"]
        rows = []
        for p in self.document["pair_averages"]:
            arrived, blocked = totals.get((p["source"], p["destination"]), (0, 0))
            rows.append({"source": name(p["source"]), "destination": name(p["destination"]),
                         "arrived": arrived, "blocked": blocked, "value": p["value"]})
        return _frame(rows, ["source", "destination", "arrived", "blocked", "value"])

    @property
    def batches(self):
        rows = [{k: b[k] for k in ("batch", "arrived", "blocked", "blocking")} for b in self.document["batches"]]
        return _frame(rows, ["batch", "arrived", "blocked", "blocking"])

    def to_json(self):
        """The program's JSON document, as it wrote it."""
        return self._text


def simulate(network, method="ff", assignment=None, seed=1, batches=10, time=1000, parallel=None,
             precision=None, warmup=None, plugin=None, echo=False, **path_options):
    """Simulates `network` (a Network, or the name of a network file) and
    returns its Result.

    method: the routing method ("ff", "r", "la", "xla", "lf", "dla", "mu",
    "lmu", "lu", "llu", "ll", "ml", "wlcr", "wmcr"), which also assigns the
    wavelengths unless `assignment` names another. seed, batches, time: -s,
    -b, -t (None takes the network file's batches and time). parallel: True
    or a thread count, for --parallel; precision, warmup: --precision,
    --warmup; plugin: a plug-in file, "FILE[:ARGS]", or a method written in
    Python (an object or class with assign(call, view), see FirstFit; a
    class is made anew for every simulation lane). The other keywords are
    the classic options under the names of the JSON configuration:
    all_paths, max_path_length, min_path_length, max_paths, length_margin,
    path_order, second_path_limit, sort_mode (1 hops, 2 cost, 3 hops then
    cost, 4 cost then hops), priority_routing, single_la_list,
    max_switchings, min_switchings, max_attempts, multi_wavelength,
    local_calls, virtual_output, departure_rate, rate_factor, rate_cofactor,
    alpha, epsilon, and max_batches (with precision). echo=True prints the
    program's report on standard output."""
    if not isinstance(network, Network):
        network = Network.read(network)
    scratch = tempfile.mkdtemp(prefix="lumtra-")
    try:
        path = network.path
        if path is None:
            path = os.path.join(scratch, "network.txt")
            network.save(path)
        args = command_line(path, method, assignment, seed, batches, time, parallel, precision, warmup,
                            plugin, **path_options)
        document = os.path.join(scratch, "run.json")
        method = None if plugin is None or isinstance(plugin, (str, os.PathLike)) else plugin
        out, err = _run(args + ["--json:" + document], method)
        with open(document, encoding="utf-8") as f:
            text = f.read()
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    if echo:
        print(out, end="")
    messages = [line for line in err.splitlines() if line]
    for line in messages:
        warnings.warn(line, LumtraWarning, stacklevel=2)
    return Result(text, network, ["lumtra", *args], out, messages)
