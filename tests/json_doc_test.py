#!/usr/bin/python3
"""The JSON document against its description: reads the field table of
docs/json.md and checks the documents written by real runs of every method
family against it (every field described, of its type, present, null only
where allowed), and that names that are not UTF-8 come back byte for byte.

Usage: /usr/bin/python3 tests/json_doc_test.py [path/to/lumtra]
(default build/lumtra).
"""

import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DOC = os.path.join(ROOT, "docs", "json.md")
EXAMPLES = os.path.join(ROOT, "examples")
LUMTRA = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build", "lumtra")
PLUGINS = os.path.join(os.path.dirname(os.path.abspath(LUMTRA)), "plugins")

TYPES = {
    "integer": lambda v: isinstance(v, int) and not isinstance(v, bool),
    "number": lambda v: isinstance(v, (int, float)) and not isinstance(v, bool),
    "string": lambda v: isinstance(v, str),
    "boolean": lambda v: isinstance(v, bool),
    "object": lambda v: isinstance(v, dict),
    "array": lambda v: isinstance(v, list),
}
ROW = re.compile(r"^\|\s*`([^`]+)`\s*\|\s*(\w+)\s*\|\s*(yes|no)\s*\|")


def read_table(path=DOC):
    """({path: (type, nullable)}, schema version stated in the text)."""
    fields, version = {}, None
    with open(path, encoding="utf-8") as f:
        for line in f:
            m = ROW.match(line)
            if m:
                if m.group(1) in fields:
                    raise ValueError(f"{path}: {m.group(1)} has two rows")
                fields[m.group(1)] = (m.group(2), m.group(3) == "yes")
            m = re.match(r"^Schema version: (\d+)\s*$", line)
            if m:
                version = int(m.group(1))
    return fields, version


def parent(path):
    """The containing field of a path ('' for the top); an array's elements
    belong to the array."""
    if path.endswith("[]"):
        return path[:-2]
    return path.rsplit(".", 1)[0] if "." in path else ""


def check(doc, fields):
    """The problems of one document against the table, as text lines."""
    problems = []

    def walk(value, path):
        if path:
            if path not in fields:
                problems.append(f"{path}: written but not in docs/json.md")
                return
            kind, nullable = fields[path]
            if value is None:
                if not nullable:
                    problems.append(f"{path}: null, which the table does not allow")
                return
            if not TYPES[kind](value):
                problems.append(f"{path}: {json.dumps(value)[:60]} is not of type {kind}")
                return
        if isinstance(value, dict):
            for name in [p for p in fields if parent(p) == path and not p.endswith("[]")]:
                if name.rsplit(".", 1)[-1] not in value:
                    problems.append(f"{name}: in the table but missing")
            for key, item in value.items():
                walk(item, f"{path}.{key}" if path else key)
        elif isinstance(value, list):
            for item in value:
                walk(item, path + "[]")

    walk(doc, "")
    return problems


def strict_json(raw):
    """The document from its bytes: strict UTF-8 and strict JSON (no NaN)."""
    def refuse(constant):
        raise ValueError(f"{constant} is not JSON")
    return json.loads(raw.decode("utf-8", errors="strict"), parse_constant=refuse)


# Runs covering every method family and the options that fill the nullable
# fields: (name, arguments, standard input as bytes or as the name of a
# file). {ex} stands for examples/, {dir} for a scratch directory; every run
# without -s gets -s:1 -b:2 -t:20.
RUNS = [
    ("first fit, one batch", "-ff -s:1 -b:1 -t:20 -nt:{ex}/ring-6.txt", None),
    ("fast learning automata",
     "-la -al:0.1 -ep:0.01 -sh -sc -mp:3 -at:20 -or:la-run -nt:{ex}/ring-6.txt", None),
    ("exhaustive learning automata", "-xla -al:0.2 -ep:0.02 -mx:4 -nt:{ex}/three-node.txt", None),
    ("most used, split calls", "-mu -m -px:1 -pn:1 -nt:{ex}/all-node-types.txt", None),
    ("least loaded, priority groups", "-ll -e:1 -sh -pr -dr:2 -f:1.5 -c:2 -nt:{ex}/nsfnet.txt", None),
    ("Virtual nodes reported, local calls", "-vi -vo -lo -r -llu -nt:{ex}/all-node-types-vi.txt", None),
    ("deterministic automata, typed network", "-dla -lf -i", "{ex}/ring-6.txt"),
    ("generated network with a sink",
     "-wmcr -lmu -g:{ex}/generator-params.txt -nt:{dir}/drawn.txt -sn:2", b"5\n"),
    ("one real node and its port", "-vi -ff -nt:{dir}/one-node.txt", None),
    ("parallel batches to a precision", "--parallel:2 --precision:0.05 -s:1 -b:3 -t:20 -nt:{ex}/nsfnet.txt", None),
    ("a precision nothing blocked can reach", "--precision:0.05 -f:0.001 -s:1 -b:2 -t:10 -nt:{ex}/nsfnet.txt", None),
    ("a plug-in", "--plugin:{plugins}/first_fit.so -nt:{ex}/ring-6.txt", None),
]

# One real node with a grooming port (given with -vi): without -vo no node
# pair is reported, so there is no maximum or minimum.
ONE_NODE = "1\n2 y 1\n8\n1\n4\n0 2\n2 0\n0 0.5\n0.5 0\n2\n20\n"

# Nullable fields that no run can make null: every batch sees at least one
# arrival, since a network without traffic is refused.
NULL_UNREACHED = {"batches[].blocking"}
# Only a program that embeds Lumtra hands over a plug-in without a file.
NULL_UNREACHED.add("configuration.plugin.sha256")


def null_or_set(value, path="", seen=None):
    """{path: set of (value is None)} over a whole document."""
    seen = {} if seen is None else seen
    if path:
        seen.setdefault(path, set()).add(value is None)
    if isinstance(value, dict):
        for key, item in value.items():
            null_or_set(item, f"{path}.{key}" if path else key, seen)
    elif isinstance(value, list):
        for item in value:
            null_or_set(item, path + "[]", seen)
    return seen


@unittest.skipUnless(os.access(LUMTRA, os.X_OK), f"no lumtra at {LUMTRA}")
class Documents(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.fields, cls.version = read_table()
        cls.dir = tempfile.mkdtemp(prefix="lumtra-json-")
        cls.docs = {}
        with open(os.path.join(cls.dir, "one-node.txt"), "w") as f:
            f.write(ONE_NODE)
        for k, (name, args, stdin) in enumerate(RUNS):
            path = os.path.join(cls.dir, f"run{k}.json")
            argv = [LUMTRA] + [a.format(ex=EXAMPLES, dir=cls.dir, plugins=PLUGINS) for a in args.split()]
            argv += [] if "-s:1" in args else ["-s:1", "-b:2", "-t:20"]
            if isinstance(stdin, str):
                with open(stdin.format(ex=EXAMPLES), "rb") as f:
                    stdin = f.read()
            proc = subprocess.run(argv + ["--json:" + path], input=stdin,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
            raw = b""
            if proc.returncode == 0:
                with open(path, "rb") as f:
                    raw = f.read()
            cls.docs[name] = (proc, raw)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir, ignore_errors=True)

    def test_table_is_well_formed(self):
        for path, (kind, _) in self.fields.items():
            self.assertIn(kind, TYPES, f"{path}: unknown type {kind}")
            up = parent(path)
            if up:
                self.assertIn(up, self.fields, f"{path}: no row for {up}")
                want = "array" if path.endswith("[]") else "object"
                self.assertEqual(self.fields[up][0], want, f"{path}: {up} is not an {want}")
        self.assertIsNotNone(self.version, "docs/json.md states no schema version")

    def test_every_run_writes_a_document_the_table_describes(self):
        for name, (proc, raw) in self.docs.items():
            with self.subTest(run=name):
                self.assertEqual(proc.returncode, 0, proc.stderr.decode(errors="replace"))
                doc = strict_json(raw)
                self.assertEqual(check(doc, self.fields), [])
                self.assertEqual(doc["schema"], self.version, "schema differs from docs/json.md")

    def test_nullable_fields_are_written_both_ways(self):
        # The runs above were chosen so that every nullable field is seen
        # null and set: a field that never is hints at a wrong row.
        seen = {}
        for _, raw in self.docs.values():
            if raw:
                null_or_set(strict_json(raw), seen=seen)
        for path, (_, nullable) in self.fields.items():
            if nullable and path not in NULL_UNREACHED:
                self.assertEqual(seen.get(path), {True, False}, f"{path} is not seen both null and set")

    def test_the_plugin_is_named_with_the_hash_of_its_file(self):
        with open(os.path.join(PLUGINS, "first_fit.so"), "rb") as f:
            digest = hashlib.sha256(f.read()).hexdigest()
        doc = strict_json(self.docs["a plug-in"][1])
        self.assertEqual(doc["configuration"]["plugin"],
                         {"name": "first-fit", "version": "1.0", "sha256": digest, "arguments": ""})

    def test_check_reports_what_the_table_lacks_or_forbids(self):
        fields = {"a": ("integer", False), "b": ("object", True), "b.c": ("string", False),
                  "d": ("array", False), "d[]": ("number", False)}
        self.assertEqual(check({"a": 1, "b": None, "d": [1, 2.5]}, fields), [])
        self.assertEqual(check({"a": True, "b": {"c": 1, "e": 0}, "d": [None]}, fields), [
            "a: true is not of type integer", "b.c: 1 is not of type string",
            "b.e: written but not in docs/json.md", "d[]: null, which the table does not allow"])
        self.assertEqual(check({"b": None, "d": []}, fields), ["a: in the table but missing"])
        with self.assertRaises(ValueError):
            strict_json(b'{"a": NaN}')


@unittest.skipUnless(os.access(LUMTRA, os.X_OK), f"no lumtra at {LUMTRA}")
class NamesThatAreNotUtf8(unittest.TestCase):
    def test_latin1_names_come_back_through_surrogateescape(self):
        with tempfile.TemporaryDirectory() as scratch:
            base = os.fsencode(scratch)
            net = os.path.join(base, b"r\xe9seau-6.txt")        # 'réseau' in Latin-1
            shutil.copyfile(os.path.join(EXAMPLES, "ring-6.txt"), net)
            doc_path = os.path.join(base, b"\xe9t\xe9.json")
            proc = subprocess.run([os.fsencode(LUMTRA), b"-ff", b"-s:1", b"-b:2", b"-t:20",
                                   b"-or:caf\xe9", b"-nt:" + net, b"--json:" + doc_path],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
            self.assertEqual(proc.returncode, 0, proc.stderr)
            with open(doc_path, "rb") as f:
                raw = f.read()
        doc = strict_json(raw)  # the whole document is valid UTF-8
        self.assertIn(b"\\udce9", raw)
        name = doc["configuration"]["network_file"]
        self.assertEqual(name.encode("utf-8", "surrogateescape"), net)
        self.assertEqual(doc["configuration"]["row_name"].encode("utf-8", "surrogateescape"), b"caf\xe9")


if __name__ == "__main__":
    result = unittest.main(argv=sys.argv[:1], exit=False).result
    sys.exit(0 if result.wasSuccessful() else 1)
