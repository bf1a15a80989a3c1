#!/usr/bin/python3
"""Tests of tools/lumtra-net: every input format on a small file and on the
bundled Abilene and COST239 topologies, parallel edges, self-loops and
components, traffic and node options, malformed input of every format, and
converted networks running under lumtra.

Usage: /usr/bin/python3 tools/lumtra_net_test.py [path/to/lumtra]
(default build/lumtra). Without lumtra the end-to-end runs are skipped and,
when everything else passes, the exit status is 77.
"""

import contextlib
import importlib.machinery
import importlib.util
import io
import math
import os
import re
import signal
import stat
import subprocess
import sys
import tempfile
import threading
import time
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TOOL = os.path.join(ROOT, "tools", "lumtra-net")
TOPOLOGIES = os.path.join(ROOT, "examples", "topologies")
LUMTRA = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build", "lumtra")

try:
    import networkx
except ImportError:
    networkx = None

_loader = importlib.machinery.SourceFileLoader("lumtra_net", TOOL)
_spec = importlib.util.spec_from_loader("lumtra_net", _loader)
tool = importlib.util.module_from_spec(_spec)
_loader.exec_module(tool)


def run(*args):
    """The tool in this process: (exit status, stdout, stderr)."""
    out, err = io.StringIO(), io.StringIO()
    with contextlib.redirect_stdout(out), contextlib.redirect_stderr(err):
        try:
            status = tool.main([str(a) for a in args])
        except SystemExit as e:
            status = e.code
    return status, out.getvalue(), err.getvalue()


def parse(text):
    """A written network file as a dict of its parts (the tool's line layout)."""
    lines = text.splitlines()
    n = int(lines[0])
    rows = lines[1 + n + 3:]
    return {
        "nodes": lines[1:1 + n],
        "slots": [int(x) for x in lines[1 + n:1 + n + 3]],
        "capacity": [[int(x) for x in row.split()] for row in rows[:n]],
        "rates": [[float(x) for x in row.split()] for row in rows[n:2 * n]],
        "tail": rows[2 * n:],
    }


def fibres(capacity):
    """{(u, v): wavelengths} of the non-zero entries, nodes from 1."""
    return {(u + 1, v + 1): w for u, row in enumerate(capacity) for v, w in enumerate(row) if w}


def pairs(*links, w=16):
    """Both directions of undirected links."""
    return {k: w for a, b in links for k in ((a, b), (b, a))}


class Files(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)

    def path(self, name, content=None):
        path = os.path.join(self.dir.name, name)
        if content is not None:
            with open(path, "w", encoding="utf-8") as f:
                f.write(content)
        return path

    def convert(self, name, content, *args):
        status, out, err = run(self.path(name, content), *args)
        self.assertEqual(status, 0, err)
        return parse(out), err


GML = """Creator "test"
graph [
  directed 1
  node [ id 10 label "New York" ]
  node [ id 20 label "Chicago" graphics [ x 1.5 y -2 ] ]
  edge [ source 10 target 20 wavelengths 8 ]
  edge [ source 20 target 10 ]
]
"""

GRAPHML = """<?xml version="1.0" encoding="UTF-8"?>
<graphml xmlns="http://graphml.graphdrawing.org/xmlns">
  <key id="d0" for="node" attr.name="label" attr.type="string"/>
  <key id="d1" for="edge" attr.name="wavelengths" attr.type="int"><default>4</default></key>
  <graph id="G" edgedefault="undirected">
    <node id="a"><data key="d0">Alpha</data></node>
    <node id="b"/>
    <node id="c"/>
    <edge source="a" target="b"><data key="d1">8</data></edge>
    <edge source="b" target="c"/>
    <edge id="e3" source="c" target="a"/>
  </graph>
</graphml>
"""

NODE_LINK = """{"directed": true, "multigraph": false, "graph": {},
 "nodes": [{"id": "x", "name": "X town"}, {"id": "y"}],
 "edges": [{"source": "x", "target": "y", "key": 0, "wavelengths": 5},
           {"source": "y", "target": "x"}]}
"""

SNDLIB = """?SNDlib native format; type: network; version: 1.0
# network tiny
META (
  granularity = 1month
)
NODES (
  A ( 1.0 2.0 )
  B ( 3.0 4.0 )
  C ( 5.0 6.0 )
)
LINKS (
  L1 ( A B ) 0.00 0.00 0.00 0.00 ( 40.00 1.00 )
  L2 ( B C ) 0.00 0.00 0.00 0.00 ( 40.00 1.00 100.0 2.0 )
)
DEMANDS (
  D1 ( A B ) 1 3.0 UNLIMITED
  D2 ( B A ) 1 1.0 UNLIMITED
  D3 ( C A ) 1 4.0 UNLIMITED
)
ADMISSIBLE_PATHS (
  D1 ( P1 ( L1 ) )
)
"""

SNDLIB_XML = """<?xml version="1.0" encoding="ISO-8859-1"?>
<network xmlns="http://sndlib.zib.de/network" version="1.0">
 <networkStructure>
  <nodes coordinatesType="geographical">
   <node id="A"><coordinates><x>1</x><y>2</y></coordinates></node>
   <node id="B"><coordinates><x>3</x><y>4</y></coordinates></node>
  </nodes>
  <links>
   <link id="L1"><source>B</source><target>A</target></link>
  </links>
 </networkStructure>
 <demands>
  <demand id="D1"><source>A</source><target>B</target><demandValue>2.5</demandValue></demand>
 </demands>
</network>
"""

EDGES = "# a comment line\n\n7 Rome 8   # trailing comment\nRome 3\n"


class Formats(Files):
    def test_each_format_gives_its_fibres(self):
        twins = "graph: every edge has a reverse twin; read as undirected"
        cases = [
            ("t.gml", GML, {(1, 2): 8, (2, 1): 16}),
            ("t.graphml", GRAPHML, {**pairs((1, 2), w=8), **pairs((2, 3), (3, 1), w=4)}),
            ("d.graphml", GRAPHML.replace('"undirected"', '"directed"'), {(1, 2): 8, (2, 3): 4, (3, 1): 4}),
            ("t.json", NODE_LINK, {(1, 2): 5, (2, 1): 16}),
            ("t.snd", SNDLIB, pairs((1, 2), (2, 3))),
            ("t.xml", SNDLIB_XML, pairs((1, 2))),
            ("t.edges", EDGES, {**pairs((1, 2), w=8), **pairs((2, 3))}),
        ]
        for name, content, expected in cases:
            with self.subTest(name):
                net, err = self.convert(name, content)
                self.assertEqual(fibres(net["capacity"]), expected)
                if name in ("t.gml", "t.json"):  # directed, every edge with its reverse twin
                    self.assertEqual(err, f"lumtra-net: {self.path(name)}: {twins} (each pair of twins "
                                          "is one fibre pair; --directed reads one fibre per edge)\n")
                else:
                    self.assertEqual(err, "")

    def test_from_overrides_detection(self):
        status, _, err = run(self.path("g.txt", GML), "--from", "json")
        self.assertEqual(status, 1)
        self.assertIn(": line 1: not valid JSON", err)

    def test_bundled_topologies(self):
        mapping = self.path("abilene.csv")
        status, out, err = run(os.path.join(TOPOLOGIES, "abilene.gml"), "--nodes", mapping)
        self.assertEqual((status, err), (0, ""))
        net = parse(out)
        self.assertEqual(len(net["nodes"]), 11)
        self.assertEqual(len(fibres(net["capacity"])), 28)
        with open(mapping, encoding="utf-8") as f:
            rows = f.read().splitlines()
        self.assertEqual(rows[:3], ["number,name", "1,New York", "2,Chicago"])
        self.assertEqual(rows[-1], "11,Indianapolis")

        status, out, err = run(os.path.join(TOPOLOGIES, "cost239.json"), "--wavelengths", 8)
        self.assertEqual((status, err), (0, ""))
        net = parse(out)
        self.assertEqual(len(fibres(net["capacity"])), 52)
        self.assertEqual(set(fibres(net["capacity"]).values()), {8})

    def test_bundled_examples_are_current(self):
        # the example networks are exactly what the README's commands make
        for name, args in (("cost239", ["cost239.json", "--erlangs", 2.5]),
                           ("usnet", ["usnet.json", "--erlangs", 0.3]),
                           ("abilene", ["abilene.gml", "--erlangs", 0.7])):
            with self.subTest(name):
                status, out, _ = run(os.path.join(TOPOLOGIES, args[0]), *args[1:])
                self.assertEqual(status, 0)
                with open(os.path.join(ROOT, "examples", name + ".txt"), encoding="utf-8") as f:
                    self.assertEqual(out, f.read())


class GraphShape(Files):
    def test_parallel_edges_merge_and_self_loops_go(self):
        net, err = self.convert("p.edges", "A B 4\nB C\nB A 2\nC C\nA B\n")
        self.assertEqual(fibres(net["capacity"]), {**pairs((1, 2), w=22), **pairs((2, 3))})
        notes = err.splitlines()
        self.assertEqual(len(notes), 2, err)
        self.assertRegex(err, r"line 4: self-loop at 'C' dropped")
        self.assertRegex(err, r"line 1: edge 'A' - 'B' repeated \(line 3, line 5\); .* 22 wavelengths")
        # directed: parallel arcs add up in their own direction only
        net, err = self.convert("p.json", NODE_LINK.replace('{"source": "y", "target": "x"}',
                                                            '{"source": "x", "target": "y"}, '
                                                            '{"source": "y", "target": "x"}'))
        self.assertEqual(fibres(net["capacity"]), {(1, 2): 21, (2, 1): 16})
        self.assertIn("merged into one fibre of 21", err)
        # GraphML edges are numbered from 1
        _, err = self.convert("p.graphml", GRAPHML.replace("</graph>", '<edge source="b" target="a"/></graph>'))
        self.assertEqual(err, "lumtra-net: " + self.path("p.graphml") + ": edge 1: edge 'Alpha' - 'b' "
                              "repeated (edge 4); merged into one fibre pair of 12 wavelengths\n")
        # GML edges are named by their lines; repeated edges are kept also when
        # the file does not say "multigraph 1"
        net, err = self.convert("p.gml", "graph [\n node [ id 0 label \"A\" ] node [ id 1 label \"A\" ] node [ id 2 ]\n"
                                         " edge [ source 0 target 1 ] edge [ source 1 target 0 wavelengths 4 ]\n"
                                         " edge [ source 1 target 2 ] edge [ source 2 target 2 ]\n]\n")
        self.assertEqual(fibres(net["capacity"]), {**pairs((1, 2), w=20), **pairs((2, 3))})
        self.assertEqual(err.splitlines(), [f"lumtra-net: {self.path('p.gml')}: {note}" for note in (
            "line 4: self-loop at '2' dropped",
            "line 3: edge 'A' - 'A' repeated (line 3); merged into one fibre pair of 20 wavelengths")])

    def test_components(self):
        path = self.path("d.edges", "A B\nC D\nD E\nB F\nG H\nH I\nI G\n")
        status, out, err = run(path, "-o", self.path("d.txt"))
        self.assertEqual((status, out), (1, ""))
        self.assertEqual(err, f"lumtra-net: {path}: graph: not connected: 3 components: 3 nodes (A, B, F); "
                              "3 nodes (C, D, E); 3 nodes (G, H, I) (--largest-component keeps the largest)\n")
        self.assertFalse(os.path.exists(self.path("d.txt")))

        mapping = self.path("d.csv")
        status, out, err = run(path, "--largest-component", "--nodes", mapping)
        self.assertEqual(status, 0)
        self.assertEqual(fibres(parse(out)["capacity"]), pairs((1, 2), (2, 3)))
        with open(mapping, encoding="utf-8") as f:
            self.assertEqual(f.read(), "number,name\n1,A\n2,B\n3,F\n")
        self.assertIn("kept the largest component (3 of 9 nodes)", err)

        # a one-way edge leaves a directed graph weakly connected only
        status, _, err = run(self.path("w.json", NODE_LINK.replace('{"source": "y", "target": "x"}',
                                                                   '{"source": "x", "target": "y"}')))
        self.assertEqual(status, 1)
        self.assertIn("graph: not strongly connected: 2 components", err)


class Traffic(Files):
    def test_rates(self):
        net, _ = self.convert("t.edges", EDGES)
        self.assertEqual(net["rates"], [[0, 1, 1], [1, 0, 1], [1, 1, 0]])
        self.assertEqual(net["tail"], ["10", "1000", "0.1", "0.01"])
        # a total spread over the 6 ordered pairs, written so that it reads back exactly
        net, _ = self.convert("t.edges", EDGES, "--total-erlangs", 1, "--batches", 3, "--time", 2.5)
        self.assertEqual(net["rates"][0][1], 1 / 6)
        self.assertEqual(net["tail"][:2], ["3", "2.5"])

    def test_demands(self):
        net, _ = self.convert("d.snd", SNDLIB, "--demands")
        self.assertEqual(net["rates"], [[0, 3, 0], [1, 0, 0], [4, 0, 0]])
        net, _ = self.convert("d.snd", SNDLIB, "--demands", "--total-erlangs", 16)
        self.assertEqual(net["rates"], [[0, 6, 0], [2, 0, 0], [8, 0, 0]])
        net, _ = self.convert("d.xml", SNDLIB_XML, "--demands", "--total-erlangs", 10)
        self.assertEqual(net["rates"], [[0, 10], [0, 0]])
        status, _, err = run(self.path("d.edges", EDGES), "--demands")
        self.assertEqual(status, 1)
        self.assertIn("--demands needs SNDlib demands", err)

    def test_node_options(self):
        net, _ = self.convert("t.edges", EDGES, "--node-type", 2)
        self.assertEqual(net["nodes"][0], "2 n 1 16 16 0.5 0.5")
        net, _ = self.convert("t.edges", EDGES, "--cores", "2:4:0.25:0.75", "--conversion", "y",
                              "--slots", 8, "--call-slots", "2-4")
        self.assertEqual(net["nodes"][0], "4 y 2 4 4 4 4 0.25 0.75")
        self.assertEqual(net["slots"], [8, 2, 4])
        net, _ = self.convert("t.edges", EDGES, "--node-type", 3)
        self.assertEqual(net["nodes"], ["3 n"] * 3)


# Malformed input of every format: (file name, content, expected item).
MALFORMED = [
    ("bad.gml", GML.replace("target 20 wavelengths 8", "target 30"), "line 6: unknown node '30' as target"),
    ("bad2.gml", GML.replace("  edge [ source 20 target 10 ]\n]\n", ""),
     "line 6: expected ']', found the end of the file"),
    ("bad3.gml", 'graph [\n node [ id 0 "two\nlines" ]\n]\n',
     "line 2: expected a key or ], found '\"two\\nlines\"' (column 14)\n"),
    ("bad4.gml", GML.replace("wavelengths 8", "wavelengths 0"), "line 6: wavelengths 0 must be at least 1"),
    ("bad5.gml", "graph [ node [ id 1 ] edge [ source 1 target 1 wavelengths 1%s ] ]" % ("9" * 5000),
     "line 1: a number of 5001 digits is too long\n"),
    ("bad6.gml", "graph [ node [ id 1 label @ ] ]", "line 1: cannot read '@' (column 27)"),
    ("bad.graphml", GRAPHML.replace("<node id=\"c\"/>", "<node id=\"c\">"), "line 12: not well-formed XML"),
    ("bad2.graphml", GRAPHML.replace("<default>4</default>", "<default>-4</default>"),
     "edge 2: default wavelengths -4 must be at least 1"),
    ("bad3.graphml", GRAPHML.replace("UTF-8", "UTF-9"), "line 1: XML in an unknown encoding"),
    ("bad4.graphml", GRAPHML.replace('id="e3"', 'id="e3" directed="true"'),
     "edge 3 ('e3'): directed=true edge found in undirected graph"),
    ("bad5.graphml", GRAPHML.replace('target="c"', 'target="q"'), "edge 2: unknown node 'q' as target"),
    ("bad.json", NODE_LINK.replace('"wavelengths": 5', '"wavelengths": "many"'),
     "edges[0]: wavelengths 'many' is not a whole number"),
    ("bad3.json", NODE_LINK.replace('"target": "y", "key"', '"target": "z", "key"'),
     "edges[0]: unknown node 'z' as target"),
    ("bad4.json", '{"nodes": [{"id": 1}, {"id": 1}], "links": []}', "nodes[1]: node '1' is declared twice"),
    ("bad2.json", NODE_LINK.replace("}]}", "}]"), "line 5: not valid JSON"),
    ("bad.snd", SNDLIB.replace("1 4.0 UNLIMITED", "1 -4.0 UNLIMITED"), "line 18: demand value -4 is negative"),
    ("bad2.snd", SNDLIB.split("LINKS")[0] + "LINKS (\n  L1 ( A B ) 0 0\n", "line 12: the file ends"),
    ("bad.xml", SNDLIB_XML.replace("<target>A</target>", "<target>Q</target>"), "line 9: unknown node 'Q'"),
    ("bad.edges", "A B\nB C x\n", "line 2: wavelengths 'x' is not a whole number"),
    ("bad2.edges", "A B\nB C 2 9\n", "line 2: expected 'A B [wavelengths]', found 4 fields"),
    ("empty.json", '{"nodes": [], "links": []}', "graph: no nodes"),
    ("bad6.graphml", GRAPHML.replace('<node id="b"/>', '<node id="a"/>'), "node 2: node 'a' is declared twice"),
    ("bomb.graphml", GRAPHML.replace("<graphml ", '<!DOCTYPE graphml [\n <!ENTITY a "aaaaaaaa">\n]>\n<graphml '),
     "line 3: an entity declaration ('a'): XML entities are refused\n"),
    ("bomb.xml", SNDLIB_XML.replace("<network ", '<!DOCTYPE network [<!ENTITY b "&#38;b;&#38;b;">]><network '),
     "line 2: an entity declaration ('b'): XML entities are refused\n"),
    ("big.json", '{"nodes": [], "links": [], "n": 1%s}' % ("0" * 5000),
     "file: not valid JSON: a number with too many digits\n"),
    ("escape.edges", "A\x1b[2J B\nC D\n", "graph: not connected: 2 components: 2 nodes (A\\x1b[2J, B)"),
    ("zero.snd", SNDLIB.replace(" 3.0 ", " 0 ").replace(" 1.0 U", " 0 U").replace(" 4.0 ", " 0.0 "),
     "demands: they add up to 0: there is no traffic to simulate\n", "--demands"),
    ("binary", "\0PNG", "file: not a text file"),
    ("words", "this is not a network\n", "file: unknown format"),
]


class BadInput(Files):
    def test_one_line_exit_1_and_outputs_left_alone(self):
        existing = self.path("existing.txt", "keep me\n")
        for name, content, expected, *options in MALFORMED:
            with self.subTest(name):
                path = self.path(name, content)
                status, out, err = run(path, "-o", existing, "--nodes", self.path("map.csv"), *options)
                self.assertEqual((status, out), (1, ""))
                self.assertEqual(len(err.splitlines()), 1, err)
                self.assertTrue(err.startswith(f"lumtra-net: {path}: {expected}"), err)
                self.assertFalse(os.path.exists(self.path("map.csv")))
        with open(existing, encoding="utf-8") as f:
            self.assertEqual(f.read(), "keep me\n")
        self.assertEqual(sorted(os.listdir(self.dir.name)),
                         sorted([name for name, *_ in MALFORMED] + ["existing.txt"]))

    def test_process_exit_statuses(self):
        # the real program: no traceback, one line for bad input, usage for a bad command line
        missing = self.path("missing.gml")
        result = subprocess.run([TOOL, missing], capture_output=True, text=True)
        self.assertEqual((result.returncode, result.stdout), (1, ""))
        self.assertEqual(result.stderr,
                         f"lumtra-net: {missing}: file: cannot read (No such file or directory)\n")
        for args in (["--wavelengths", "0"], ["--call-slots", "2-3"], ["--ports", "2", "--node-type", "4"],
                     ["--demands", "--erlangs", "2"], ["--bogus"]):
            with self.subTest(args):
                result = subprocess.run([TOOL, missing, *args], capture_output=True, text=True)
                self.assertEqual(result.returncode, 2)
                self.assertIn("usage: lumtra-net INPUT", result.stderr)
                self.assertNotIn("Traceback", result.stderr)


class Outputs(Files):
    """Where the files go, through the real program: standard output, a
    descriptor, a device, a FIFO, a symbolic link, and signals mid-write."""

    ABILENE = os.path.join(TOPOLOGIES, "abilene.gml")

    def tool(self, *args, stdout=subprocess.PIPE):
        return subprocess.run([TOOL, self.ABILENE, *args], stdout=stdout, stderr=subprocess.PIPE, timeout=30)

    def test_each_kind_of_target(self):
        network = run(self.ABILENE)[1].encode()
        result = self.tool("-o", "-", "--nodes", "/dev/stderr")
        self.assertEqual((result.returncode, result.stdout), (0, network))
        self.assertTrue(result.stderr.startswith(b"number,name\n1,New York\n"))

        # a redirection in append mode: the earlier content stays, the file is not replaced
        log = self.path("log", "earlier\n")
        inode = os.stat(log).st_ino
        with open(log, "a") as f:
            result = self.tool("-o", "/dev/stdout", "--lengths", "/proc/self/fd/1", stdout=f)
        self.assertEqual(result.returncode, 0, result.stderr)
        with open(log, "rb") as f:
            content = f.read()
        self.assertTrue(content.startswith(b"earlier\n" + network + b"# fibre lengths"), content[:40])
        self.assertEqual(os.stat(log).st_ino, inode)

        with open("/dev/full", "w") as full:
            result = self.tool(stdout=full)
        self.assertEqual((result.returncode, result.stderr),
                         (1, b"lumtra-net: standard output: cannot write (No space left on device)\n"))
        self.assertEqual(run(self.ABILENE, "-o", "/dev/full", "--nodes", self.path("n.csv"))[::2],
                         (1, "lumtra-net: /dev/full: cannot write (No space left on device)\n"))
        self.assertFalse(os.path.exists(self.path("n.csv")))

        # a symbolic link is followed to its file, which is replaced; the link stays
        target = self.path("target.txt", "old\n")
        link = self.path("link.txt")
        os.symlink(target, link)
        self.assertEqual(run(self.ABILENE, "-o", link)[0], 0)
        self.assertTrue(os.path.islink(link))
        with open(target, "rb") as f:
            self.assertEqual(f.read(), network)

        # a FIFO is written into, not replaced
        fifo = self.path("fifo")
        os.mkfifo(fifo)
        received = []
        reader = threading.Thread(target=lambda: received.append(open(fifo, "rb").read()))
        reader.start()
        self.assertEqual(run(self.ABILENE, "-o", fifo)[0], 0)
        reader.join(10)
        self.assertEqual(received, [network])
        self.assertTrue(stat.S_ISFIFO(os.stat(fifo).st_mode))

    def test_signals_leave_no_temporary_file(self):
        # the network is staged, then the tool waits for a reader of the FIFO
        fifo = self.path("nodes.fifo")
        os.mkfifo(fifo)
        for signal_number, status, word in ((signal.SIGTERM, 143, "terminated"),
                                            (signal.SIGINT, 130, "interrupted")):
            with self.subTest(word):
                process = subprocess.Popen([TOOL, self.ABILENE, "-o", self.path("out.txt"), "--nodes", fifo],
                                           stdout=subprocess.PIPE, stderr=subprocess.PIPE)
                deadline = time.monotonic() + 20
                while not any(n.endswith(".tmp") for n in os.listdir(self.dir.name)):
                    self.assertLess(time.monotonic(), deadline, "no temporary file appeared")
                    time.sleep(0.02)
                process.send_signal(signal_number)
                out, err = process.communicate(timeout=20)
                self.assertEqual((process.returncode, out, err.decode()), (status, b"", f"lumtra-net: {word}\n"))
                self.assertEqual(sorted(os.listdir(self.dir.name)), ["nodes.fifo"])


class Hostile(Files):
    def test_unbounded_input_is_refused(self):
        status, out, err = run("/dev/zero")
        self.assertEqual((status, out, err), (1, "", "lumtra-net: /dev/zero: file: larger than 32 MiB, "
                                                     "the most lumtra-net reads\n"))

    def test_long_xml_text_reads_in_linear_time(self):
        # 1.5 MB of line breaks between two nodes: one text of 750 000 pieces
        path = self.path("long.xml", SNDLIB_XML.replace("</nodes>", "\n" * 1_500_000 + "</nodes>"))
        start = time.monotonic()
        status, out, err = run(path)
        self.assertEqual((status, err), (0, ""))
        self.assertLess(time.monotonic() - start, 10)


YED = """<?xml version="1.0" encoding="UTF-8" standalone="no"?>
<graphml xmlns="http://graphml.graphdrawing.org/xmlns" xmlns:y="http://www.yworks.com/xml/graphml">
  <key for="node" id="d6" yfiles.type="nodegraphics"/>
  <key for="edge" id="d10" yfiles.type="edgegraphics"/>
  <graph edgedefault="directed" id="G">
    <node id="n0"><data key="d6"><y:ShapeNode><y:NodeLabel>Oslo</y:NodeLabel></y:ShapeNode></data></node>
    <node id="n1"><data key="d6"><y:ShapeNode><y:NodeLabel>Bergen</y:NodeLabel></y:ShapeNode></data></node>
    <node id="n2"><data key="d6"><y:ShapeNode><y:NodeLabel>Trondheim</y:NodeLabel></y:ShapeNode></data></node>
    <edge id="e0" source="n0" target="n1"/>
    <edge id="e1" source="n2" target="n0"/>
  </graph>
</graphml>
"""


class Direction(Files):
    def test_readings(self):
        net, err = self.convert("y.graphml", YED)
        self.assertEqual(fibres(net["capacity"]), pairs((1, 2), (3, 1)))
        self.assertIn(": graph: a yEd file (yFiles keys), which marks every edge directed; read as undirected", err)
        status, _, err = run(self.path("y.graphml"), "--directed")
        self.assertEqual(status, 1)
        self.assertIn("graph: not strongly connected: 3 components", err)
        # --undirected makes a one-way link a pair; a twin keeps its own wavelengths
        one_way = NODE_LINK.replace('{"source": "y", "target": "x"}', '{"source": "x", "target": "y"}')
        net, _ = self.convert("o.json", one_way, "--undirected")
        self.assertEqual(fibres(net["capacity"]), {(1, 2): 21, (2, 1): 21})
        net, _ = self.convert("t.json", NODE_LINK, "--undirected")
        self.assertEqual(fibres(net["capacity"]), {(1, 2): 5, (2, 1): 16})
        # --directed on an undirected file: one fibre per edge, in its written direction
        net, _ = self.convert("c.edges", "A B\nB C\nC A\n", "--directed")
        self.assertEqual(fibres(net["capacity"]), {(1, 2): 16, (2, 3): 16, (3, 1): 16})


PATH3 = "A B\nB C\n"


class Demands(Files):
    def test_matrix_and_table(self):
        matrix = "# from row to column\n,C,A,B\nA,2,0,1\nB,0,3,-\nC,,4,0\n"
        net, _ = self.convert("t.edges", PATH3, "--demands", self.path("m.csv", matrix))
        self.assertEqual(net["rates"], [[0, 1, 2], [3, 0, 0], [4, 0, 0]])
        # names or numbers, a header, a repeated pair adding up; scaled keeping proportions
        table = "source;destination;erlangs\nA;C;1.5\n3;2;2\nA;3;0.5\n"
        net, _ = self.convert("t.edges", PATH3, "--demands", self.path("l.csv", table), "--total-erlangs", 8)
        self.assertEqual(net["rates"], [[0, 0, 4], [0, 0, 0], [0, 4, 0]])

    def test_bad_demand_files(self):
        network = self.path("t.edges", PATH3)
        for content, expected in (
                (",A,B,C\nA,0,1,1\nB,1,0,1\nD,1,1,0\n", "line 4: unknown node 'D'"),
                (",A,B,C\nA,0,1,1\nB,1,0,1\nC,1,1,7\n", "line 4: diagonal entry '7': a node sends no traffic"),
                (",A,B,C\nA,0,1,1\nB,1,0,x\nC,1,1,0\n", "line 3: demand 'x' is not a number"),
                (",A,B,C\nA,0,1,1\nB,1,0,1\n", "file: not square: the header names 3 nodes, the rows 2"),
                ("A,B,1\nB,C,-2\n", "line 2: demand -2 is negative"),
                ("A,B,1\nB,B,1\n", "line 2: a demand from 'B' to itself"),
                ("A,B,1\nB,4,1\n", "line 2: unknown node '4'"),
                ("A,B,0\nB,C,0\n", "demands: they add up to 0: there is no traffic to simulate\n")):
            with self.subTest(content):
                demands = self.path("d.csv", content)
                status, out, err = run(network, "--demands", demands)
                self.assertEqual((status, out), (1, ""))
                self.assertTrue(err.startswith(f"lumtra-net: {demands}: {expected}"), err)
                self.assertEqual(len(err.splitlines()), 1)

    def test_gravity(self):
        gml = ('graph [\n node [ id 0 label "A" population 1 ]\n node [ id 1 label "B" population 2 ]\n'
               ' node [ id 2 label "C" population 3 ]\n edge [ source 0 target 1 length 100 ]\n'
               ' edge [ source 1 target 2 length 300 ]\n]\n')
        # w(s) w(d): 2, 3 and 6 each way, 22 in all
        net, _ = self.convert("g.gml", gml, "--gravity", "population", "--total-erlangs", 22)
        self.assertEqual(net["rates"], [[0, 2, 3], [2, 0, 6], [3, 6, 0]])
        # divided by the km: 2/100, 3/400, 6/300, 0.095 in all, scaled to 0.95
        net, _ = self.convert("g.gml", gml, "--gravity", "population", "--gravity-distance-exponent", 1,
                              "--total-erlangs", 0.95)
        for got, want in zip(sum(net["rates"], []), [0, 0.2, 0.075, 0.2, 0, 0.2, 0.075, 0.2, 0]):
            self.assertAlmostEqual(got, want, places=12)
        # degree 1, 2, 1; without a total, 1 Erlang per ordered pair on average (6 in all)
        net, _ = self.convert("g.gml", gml, "--gravity", "degree")
        self.assertEqual(net["rates"], [[0, 1.2, 0.6], [1.2, 0, 1.2], [0.6, 1.2, 0]])
        status, _, err = run(self.path("g.gml"), "--gravity", "income")
        self.assertEqual((status, err.split(": ", 2)[2]), (1, "node 'A': no attribute 'income' for --gravity\n"))


class Converters(Files):
    def test_chosen_nodes(self):
        # neighbours: A 2, B 3, C 2, D 3, E 2
        edges = "A B\nB C\nB D\nC D\nD E\nA E\n"
        for spec, letters in (("degree:3", "yynyn"), ("degree:1", "nynnn"), ("C,5", "nnyny")):
            with self.subTest(spec):
                net, _ = self.convert("c.edges", edges, "--converters", spec)
                self.assertEqual("".join(node.split()[1] for node in net["nodes"]), letters)
        gml = GML.replace('label "Chicago"', 'label "Chicago" converter "yes"')
        net, err = self.convert("c.gml", gml, "--converters", "attr:converter")
        self.assertEqual(net["nodes"], ["1 n", "1 y"])
        self.assertIn("converters: 1 node converts: 'Chicago'", err)
        for spec, expected in (("degree:6", "degree:6: K must be a whole number from 1 to the 5 nodes"),
                               ("A,Q", "node list: unknown node 'Q'")):
            status, _, err = run(self.path("c.edges"), "--converters", spec)
            self.assertEqual((status, err), (1, f"lumtra-net: --converters: {expected}\n"))


class Lengths(Files):
    def lengths(self, *args):
        side = self.path("km.txt")
        status, _, err = run(*args, "--lengths", side)
        self.assertEqual(status, 0, err)
        with open(side, encoding="utf-8") as f:
            lines = f.read().splitlines()
        self.assertTrue(lines[0].startswith("# "))
        return {(int(a), int(b)): float(km) for a, b, km in (line.split() for line in lines[1:])}

    def test_from_coordinates_and_attributes(self):
        km = self.lengths(os.path.join(TOPOLOGIES, "abilene.gml"))
        self.assertEqual(len(km), 28)
        # New York (40.71427 N, 74.00597 W) to Chicago (41.85003 N, 87.65005 W), by the
        # spherical law of cosines on a sphere of 6371 km
        lat1, lat2, dlon = map(math.radians, (40.71427, 41.85003, 87.65005 - 74.00597))
        expected = 6371 * math.acos(math.sin(lat1) * math.sin(lat2) + math.cos(lat1) * math.cos(lat2) * math.cos(dlon))
        self.assertAlmostEqual(km[(1, 2)], expected, delta=0.001)
        self.assertEqual(km[(2, 1)], km[(1, 2)])
        km = self.lengths(os.path.join(TOPOLOGIES, "cost239.json"))
        self.assertEqual((len(km), km[(1, 2)], km[(2, 1)]), (52, 1300, 1300))

    def test_missing_or_bad_lengths(self):
        for name, content, expected in (
                ("n.edges", PATH3, "line 1: no length: no numeric length, distance or LinkLength attribute, "
                                   "and node 'A' has no latitude and longitude"),
                ("z.json", NODE_LINK.replace('"wavelengths": 5', '"distance": 0'),
                 "edges[0]: length 0 must be above 0 km")):
            with self.subTest(name):
                path = self.path(name, content)
                status, _, err = run(path, "--lengths", self.path("km.txt"))
                self.assertEqual((status, err), (1, f"lumtra-net: {path}: {expected}\n"))
                self.assertFalse(os.path.exists(self.path("km.txt")))


class Library(Files):
    def test_network_from_graph(self):
        graph = networkx.Graph()
        graph.add_nodes_from([("a", {"label": "A"}), ("b", {"label": "B"}), ("c", {})])
        graph.add_edges_from([("a", "b", {"wavelengths": 4}), ("b", "c")])
        text, names, notes = tool.network_from_graph(graph, wavelengths=8, demands={("a", "c"): 2, ("c", "b"): 1},
                                                     converters=["b"], total_erlangs=6)
        net, _ = self.convert("same.edges", "A B 4\nB c\n", "--wavelengths", 8, "--converters", "B",
                              "--demands", self.path("d.csv", "A,c,2\nc,B,1\n"), "--total-erlangs", 6)
        self.assertEqual(parse(text), net)
        self.assertEqual((names, notes), (["A", "B", "c"], []))
        graph.add_node("d")
        with self.assertRaises(tool.InputError) as caught:
            tool.network_from_graph(graph)
        self.assertEqual(str(caught.exception), "graph: not connected: 2 components: 3 nodes (A, B, c); "
                                                "1 node (d) (--largest-component keeps the largest)")
        with self.assertRaises(tool.InputError) as caught:
            tool.network_from_graph(graph, erlangs=1, total_erlangs=2)
        self.assertEqual(caught.exception.item, "options")


@unittest.skipUnless(os.access(LUMTRA, os.X_OK), f"no lumtra at {LUMTRA}")
class EndToEnd(Files):
    def lumtra(self, network, *options):
        return subprocess.run([LUMTRA, *options, "-nt:" + network],
                              stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=30)

    def test_converted_networks_run(self):
        cases = [
            ("abilene.txt", [os.path.join(TOPOLOGIES, "abilene.gml"), "--ports", "2", "--slots", "4",
                             "--call-slots", "1-2", "--conversion", "y"]),
            ("cost239.txt", [os.path.join(TOPOLOGIES, "cost239.json"), "--cores", 1, "--total-erlangs", 100]),
            ("sndlib.txt", [self.path("d.snd", SNDLIB), "--demands", "--node-type", 3, "--slots", 2,
                            "--call-slots", "1-2"]),
        ]
        for name, args in cases:
            with self.subTest(name):
                network = self.path(name)
                self.assertEqual(run(*args, "-o", network)[0], 0)
                result = self.lumtra(network, "-ff", "-b:1", "-t:50", "-s:1")
                self.assertEqual((result.returncode, result.stderr), (0, ""))
                self.assertIn("Overall Blocking Probability", result.stdout)
                check = self.lumtra(network, "--check")
                self.assertEqual((check.returncode, check.stderr), (0, ""))
                self.assertIn("Capacities that differ between the two directions: none\n", check.stdout)
                self.assertTrue(check.stdout.endswith("The network can run.\n"), check.stdout)

    def test_lengths_make_the_first_candidate_the_shortest_by_km(self):
        network, side = self.path("geant2.txt"), self.path("geant2-km.txt")
        status, _, err = run(os.path.join(TOPOLOGIES, "geant2.json"), "-o", network, "--lengths", side)
        self.assertEqual(status, 0, err)
        graph = networkx.DiGraph()
        with open(side, encoding="utf-8") as f:
            graph.add_weighted_edges_from((int(a), int(b), float(km)) for a, b, km in
                                          (line.split() for line in f if not line.startswith("#")))
        result = self.lumtra(network, "--lengths:" + side, "-s:1", "-b:1", "-t:1")
        self.assertEqual(result.returncode, 0, result.stderr)
        first = {}
        for m in re.finditer(r"\nPath From (\d+) to (\d+): ([\d-]+)\nCost: ([\d.]+) km\n", result.stdout):
            first.setdefault((int(m.group(1)), int(m.group(2))), ([int(x) for x in m.group(3).split("-")],
                                                                  float(m.group(4))))
        self.assertEqual(len(first), 35 * 34)
        shortest = dict(networkx.all_pairs_dijkstra_path_length(graph))
        for (s, d), (nodes, cost) in first.items():
            km = sum(graph[a][b]["weight"] for a, b in zip(nodes, nodes[1:]))
            self.assertAlmostEqual(km, shortest[s][d], places=6, msg=f"{s} to {d}")
            self.assertAlmostEqual(cost, km, places=6)


if __name__ == "__main__":
    if networkx is None:
        print("networkx is not installed (Debian package python3-networkx)")
        sys.exit(1 if os.environ.get("CI") == "true" else 77)
    result = unittest.main(argv=sys.argv[:1], exit=False).result
    if not result.wasSuccessful():
        sys.exit(1)
    sys.exit(77 if result.skipped else 0)
