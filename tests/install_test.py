#!/usr/bin/python3
"""Installation: `cmake --install BUILD --prefix P` into a scratch prefix puts
the program, the tools, the manual page, the examples and the JSON reference
where they belong, and the installed programs work from there on their own
(run from outside the source tree, with nothing of it on the PATH).

Usage: /usr/bin/python3 tests/install_test.py CMAKE BUILD_DIR
"""

import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CMAKE, BUILD = (sys.argv[1:3] if len(sys.argv) > 2 else ("cmake", os.path.join(ROOT, "build")))


def tree(top):
    """Every file below top, as paths relative to it."""
    return {os.path.relpath(os.path.join(d, f), top) for d, _, files in os.walk(top) for f in files}


class Installed(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.mkdtemp(prefix="lumtra-install-")
        cls.prefix = os.path.join(cls.scratch, "prefix")
        cls.install = subprocess.run([CMAKE, "--install", BUILD, "--prefix", cls.prefix],
                                     capture_output=True, text=True)
        # The installed programs alone: the system's directories, no source tree.
        cls.env = dict(os.environ, PATH=os.path.join(cls.prefix, "bin") + ":/usr/bin:/bin")
        cls.examples = os.path.join(cls.prefix, "share", "lumtra", "examples")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.scratch, ignore_errors=True)

    def run_installed(self, *argv, **kw):
        return subprocess.run(list(argv), cwd=self.scratch, env=self.env, stdin=subprocess.DEVNULL,
                              capture_output=True, text=True, **kw)

    def test_files_are_where_they_belong(self):
        self.assertEqual(self.install.returncode, 0, self.install.stderr)
        for program in ("lumtra", "lumtra-sweep", "lumtra-net"):
            path = os.path.join(self.prefix, "bin", program)
            self.assertTrue(os.path.isfile(path) and os.access(path, os.X_OK), path)
        for name in ("share/man/man1/lumtra.1", "share/doc/lumtra/json.md", "share/doc/lumtra/README.md"):
            self.assertTrue(os.path.isfile(os.path.join(self.prefix, name)), name)
        self.assertEqual(tree(self.examples), tree(os.path.join(ROOT, "examples")))
        self.assertIn(os.path.join("topologies", "abilene.gml"), tree(self.examples))

    def test_installed_lumtra_runs_an_installed_example(self):
        doc = os.path.join(self.scratch, "nsfnet.json")
        proc = self.run_installed("lumtra", "-ff", "-s:1", "-b:2", "-t:50",
                                  "-nt:" + os.path.join(self.examples, "nsfnet.txt"), "--json:" + doc)
        self.assertEqual(proc.returncode, 0, proc.stderr)
        self.assertIn("Overall Blocking Probability = ", proc.stdout)
        with open(doc) as f:
            self.assertEqual(json.load(f)["configuration"]["nodes"], 14)

    @unittest.skipUnless(shutil.which("parallel"), "GNU parallel is not installed")
    def test_installed_sweep_finds_the_lumtra_beside_it(self):
        out = os.path.join(self.scratch, "sweep")
        proc = self.run_installed("lumtra-sweep", "--net", os.path.join(self.examples, "ring-6.txt"),
                                  "-m", "-ff", "--loads", "1", "--seeds", "1", "-b", "1", "-t", "10",
                                  "--no-plot", "--out", out)
        self.assertEqual(proc.returncode, 0, proc.stderr)
        with open(os.path.join(out, "sweep.txt")) as f:
            self.assertIn(f"lumtra: {os.path.join(self.prefix, 'bin', 'lumtra')}\n", f.read())

    def test_installed_net_tool_converts_an_installed_topology(self):
        probe = subprocess.run(["/usr/bin/python3", "-c", "import networkx"], capture_output=True)
        if probe.returncode != 0:
            self.skipTest("networkx is not installed")
        net = os.path.join(self.scratch, "abilene.txt")
        proc = self.run_installed("lumtra-net", os.path.join(self.examples, "topologies", "abilene.gml"),
                                  "--erlangs", "0.7", "-o", net)
        self.assertEqual(proc.returncode, 0, proc.stderr)
        with open(net) as made, open(os.path.join(self.examples, "abilene.txt")) as shipped:
            self.assertEqual(made.read(), shipped.read())

    def test_installed_python_module_runs_from_site_packages(self):
        packages = [d for d, _, files in os.walk(self.prefix) if "__init__.py" in files
                    and os.path.basename(d) == "lumtra"]
        if not os.path.isdir(os.path.join(BUILD, "python", "lumtra")):
            self.skipTest("the build has no Python module")
        self.assertEqual(len(packages), 1, packages)
        script = ("import lumtra, networkx as nx; "
                  "n = lumtra.Network.from_networkx(nx.cycle_graph(['a', 'b', 'c']), wavelengths=2); "
                  "print(lumtra.simulate(n, batches=2, time=20).pairs['source'].iloc[0])")
        proc = subprocess.run(["/usr/bin/python3", "-c", script], cwd=self.scratch, capture_output=True, text=True,
                              env=dict(self.env, PYTHONPATH=os.path.dirname(packages[0])))
        self.assertEqual((proc.returncode, proc.stdout), (0, "a\n"), proc.stderr)


if __name__ == "__main__":
    result = unittest.main(argv=sys.argv[:1], exit=False).result
    sys.exit(0 if result.wasSuccessful() else 1)
