#!/usr/bin/python3
"""The program as scripts and shells use it: the JSON document through pipes,
sockets, '-' and descriptor names; the run record and replaying it; the
outputs checked before anything is written; the option lists of the help
screen, the parser and the manual page agreeing.

Usage: /usr/bin/python3 tests/interface_test.py [path/to/lumtra]
(default build/lumtra).
"""

import json
import os
import re
import resource
import shutil
import socket
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
NSFNET = os.path.join(ROOT, "examples", "nsfnet.txt")
PARAMS = os.path.join(ROOT, "examples", "generator-params.txt")
MANUAL = os.path.join(ROOT, "lumtra.1")
LUMTRA = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build", "lumtra"))
SHORT = ["-s:1", "-b:2", "-t:20"]


def lumtra(*args, **kw):
    """A finished run: (exit status, stdout bytes, stderr text)."""
    kw.setdefault("stdout", subprocess.PIPE)
    kw.setdefault("stderr", subprocess.PIPE)
    kw.setdefault("stdin", subprocess.DEVNULL)
    p = subprocess.run([LUMTRA, *args], timeout=60, **kw)
    return p.returncode, p.stdout, (p.stderr or b"").decode(errors="surrogateescape")


def first_document(raw):
    """The JSON document at the start of `raw` and the text after it."""
    text = raw.decode()
    doc, end = json.JSONDecoder().raw_decode(text)
    return doc, text[end:]


@unittest.skipUnless(os.access(LUMTRA, os.X_OK), f"no lumtra at {LUMTRA}")
class Scratch(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="lumtra-interface-")
        self.net = os.path.join(self.dir, "net.txt")
        shutil.copyfile(NSFNET, self.net)

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def path(self, name):
        return os.path.join(self.dir, name)


class JsonAnywhere(Scratch):
    def test_dash_gives_pure_json_on_stdout_and_the_report_elsewhere(self):
        status, out, err = lumtra("--json:-", *SHORT, "-nt:" + self.net)
        self.assertEqual(status, 0, err)
        doc = json.loads(out)  # nothing but the document
        self.assertIn("Average Blocking Probability", err)
        self.assertEqual(doc["run"]["argv"][1:], ["--json:-", *SHORT, "-nt:" + self.net])
        status, out, err = lumtra("--quiet", "--json:-", *SHORT, "-nt:" + self.net)
        self.assertEqual((status, err), (0, ""))
        self.assertEqual(json.loads(out)["statistics"], doc["statistics"])
        # an estimate alone, as quiet
        status, out, err = lumtra("--quiet", "--json:-", "--estimate", "-nt:" + self.net)
        self.assertEqual((status, err), (0, ""))
        self.assertIsNone(json.loads(out)["statistics"])

    def test_descriptor_names_write_through_pipes_sockets_and_redirections(self):
        os.symlink("/dev/stdout", self.path("link.json"))
        for name in ("/dev/stdout", "/proc/self/fd/1", "/dev/fd/1", self.path("link.json")):
            with self.subTest(name=name):
                status, out, err = lumtra("--summary", "--json:" + name, *SHORT, "-nt:" + self.net)
                self.assertEqual(status, 0, err)
                doc, rest = first_document(out)
                self.assertIn("Average Blocking Probability", rest)
        # a socket as standard output
        a, b = socket.socketpair()
        with a, b:
            p = subprocess.Popen([LUMTRA, "--quiet", "--json:/dev/stdout", *SHORT, "-nt:" + self.net],
                                 stdout=a.fileno(), stderr=subprocess.PIPE)
            a.close()
            got = b""
            while chunk := b.recv(65536):
                got += chunk
            self.assertEqual(p.wait(), 0, p.stderr.read())
        self.assertEqual(json.loads(got)["schema"], 2)
        # a listening socket named by its path
        with socket.socket(socket.AF_UNIX) as listener:
            listener.bind(self.path("sock"))
            listener.listen(1)
            listener.settimeout(30)
            p = subprocess.Popen([LUMTRA, "--json:" + self.path("sock"), *SHORT, "-nt:" + self.net],
                                 stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
            connection, _ = listener.accept()
            with connection, connection.makefile("rb") as stream:
                got = stream.read()
            self.assertEqual(p.wait(), 0, p.stderr.read())
        self.assertEqual(json.loads(got)["run"]["argv"][1], "--json:" + self.path("sock"))
        # >> keeps what the file held; > keeps the report beside the document
        for mode, before in (("ab", b"earlier\n"), ("wb", b"")):
            target = self.path("out.txt")
            with open(target, "wb") as f:
                f.write(b"earlier\n")
            with open(target, mode) as f:
                status, _, _ = lumtra("--summary", "--json:/dev/stderr", *SHORT, "-nt:" + self.net,
                                      stdout=f, stderr=f)
            self.assertEqual(status, 0)
            with open(target, "rb") as f:
                text = f.read()
            self.assertTrue(text.startswith(before + b"{\"schema\":2,"), text[:60])
            self.assertIn(b"Average Blocking Probability", text)
        # a drawn network written to standard output is not lost either
        status, out, err = lumtra("-g:" + PARAMS, "-nt:/dev/stdout", *SHORT, input=b"5\n", stdin=None)
        self.assertEqual(status, 0, err)
        self.assertIn(b"Simulation Started", out)

    def test_a_name_at_the_length_limit_is_written(self):
        name = self.path("j" * 250 + ".json")
        status, _, err = lumtra("--json:" + name, *SHORT, "-nt:" + self.net)
        self.assertEqual(status, 0, err)
        with open(name) as f:
            self.assertEqual(json.load(f)["schema"], 2)
        self.assertEqual(sorted(os.listdir(self.dir)), sorted(["net.txt", os.path.basename(name)]))


class Outputs(Scratch):
    def test_nothing_is_written_before_every_output_is_known_to_work(self):
        drawn = self.path("drawn.txt")
        with open(drawn, "w") as f:
            f.write("kept\n")
        status, out, err = lumtra("-g:" + PARAMS, "-nt:" + drawn, "--json:" + self.path("no/such/dir.json"),
                                  *SHORT, input=b"5\n", stdin=None)
        self.assertEqual(status, 1)
        self.assertRegex(err, r"^lumtra: \S+no/such/dir.json: JSON document: cannot be written")
        with open(drawn) as f:
            self.assertEqual(f.read(), "kept\n")

    def test_two_result_files_that_are_one_file_are_refused_at_once(self):
        prefix = self.path("res")
        with open(prefix + "_Blocking_Probability.csv", "w") as f:
            f.write("earlier,0.5\n")
        os.link(prefix + "_Blocking_Probability.csv", prefix + "_Variance.csv")
        status, out, err = lumtra("-of:" + prefix, *SHORT, "-nt:" + self.net)
        self.assertEqual(status, 1)
        self.assertEqual(err, f"lumtra: {prefix}_Variance.csv: result file: is the same file as "
                              f"{prefix}_Blocking_Probability.csv; each record needs a file of its own\n")
        self.assertNotIn(b"Simulation Started", out)
        with open(prefix + "_Variance.csv") as f:
            self.assertEqual(f.read(), "earlier,0.5\n")

    def test_more_lanes_than_fit_run_fewer(self):
        with open(LUMTRA, "rb") as f:
            if b"__asan_init" in f.read():
                self.skipTest("no address-space limit under a sanitizer")
        def limit():
            resource.setrlimit(resource.RLIMIT_AS, (400 << 20, 400 << 20))
        p = subprocess.run([LUMTRA, "--parallel:64", "-s:1", "-b:64", "-t:50", "-nt:" + self.net],
                           stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, preexec_fn=limit, timeout=60)
        self.assertEqual(p.returncode, 0, p.stderr)
        self.assertRegex(p.stderr.decode(), r"the memory left holds \d+ of the 64 simulation lanes")


class Replay(Scratch):
    def setUp(self):
        super().setUp()
        # A Latin-1 name: the recorded command line gives back its bytes.
        latin1 = os.fsdecode(os.path.join(os.fsencode(self.dir), b"r\xe9seau.txt"))
        os.rename(self.net, latin1)
        self.net = latin1

    def record(self, *args):
        doc = self.path("run.json")
        status, _, err = lumtra(*args, "--json:" + doc, "-of:" + self.path("res"), "-nt:" + self.net)
        self.assertEqual(status, 0, err)
        return doc

    def test_classic_and_parallel_runs_replay_to_the_same_figures(self):
        results = self.path("res_Variance.csv")
        for mode in (["-b:2", "-t:20"], ["--parallel:2", "-b:3", "-t:20"]):
            with self.subTest(mode=mode):
                doc = self.record("-la", "-al:0.1", "-ep:0.1", *mode)  # the seed from the clock
                with open(doc) as f:
                    run = json.load(f)["run"]
                self.assertEqual(run["mode"], "replication" if "--parallel:2" in mode else "classic")
                self.assertEqual(run["threads_requested"], 2 if "--parallel:2" in mode else 1)
                with open(results) as f:
                    rows = f.read()
                again = self.path("again.json")
                status, out, err = lumtra("--replay:" + doc, "--verify", "--json:" + again)
                self.assertEqual(status, 0, err)
                self.assertIn("the replay gave every recorded figure", err)
                with open(again) as f:
                    self.assertIn("-la", json.load(f)["run"]["argv"])
                with open(results) as f:
                    self.assertEqual(f.read(), rows, "the Result rows are written again")

    def test_a_changed_figure_or_network_is_named(self):
        doc = self.record("-s:3", "-b:2", "-t:20")
        with open(doc) as f:
            recorded = json.load(f)
        recorded["batches"][1]["pairs"][4]["blocked"] += 1
        with open(self.path("edited.json"), "w") as f:
            json.dump(recorded, f)
        status, _, err = lumtra("--replay:" + self.path("edited.json"), "--verify")
        self.assertEqual(status, 3)
        self.assertRegex(err, r"edited.json: batches\[1\]\.pairs\[4\]\.blocked: differs: recorded \d+, replayed \d+\n$")
        with open(self.net, "a") as f:
            f.write("\n")
        status, out, err = lumtra("--replay:" + doc)
        self.assertEqual(status, 1)
        self.assertIn(f"lumtra: {self.net}: network file: is not the file the recorded run read", err)
        self.assertEqual(out, b"")


class OptionLists(unittest.TestCase):
    @unittest.skipUnless(os.access(LUMTRA, os.X_OK), f"no lumtra at {LUMTRA}")
    def test_help_parser_and_manual_name_the_same_options(self):
        status, out, _ = lumtra("-?")
        self.assertEqual(status, 0)
        screen = out.decode()
        listed = re.findall(r"^  --([a-z-]+)", screen, re.M)
        with open(MANUAL) as f:
            manual = f.read().replace("\\-", "-")
        section = manual[manual.index(".SS Long options"):]
        section = section[:section.index("\n.SH ")]
        documented = re.findall(r"^\.TP\n\.B[IR]? --([a-z-]+)", section, re.M)
        self.assertEqual(sorted(listed), sorted(documented))
        self.assertEqual(status, lumtra("--help")[0])
        self.assertEqual(out, lumtra("--help")[1])
        # Every option either screen names is one the parser takes.
        usage = re.search(r"^Usage: Lumtra (.*)$", screen, re.M).group(1)
        classic = re.findall(r"-[a-z?]+(?::[a-z_]+)?", usage)
        self.assertGreater(len(classic), 35)
        with tempfile.TemporaryDirectory() as scratch:
            for option in classic + ["--" + name + ":1" if ":" in line else "--" + name
                                     for name, line in re.findall(r"^  --([a-z-]+)(\S*)", screen, re.M)]:
                option = re.sub(r":[a-z_]+$", ":1", option)
                _, _, err = lumtra("--strict", "-nt:" + os.path.join(scratch, "none"), option, cwd=scratch)
                self.assertNotIn("unknown option", err, option)
                self.assertNotIn("refused under --strict", err, option)
            for junk in ("-m5", "-afoo", "-vix", "-shortest", "-fff", "-dx:2"):
                status, _, err = lumtra("--strict", "-nt:" + NSFNET, junk, *SHORT)
                self.assertEqual(status, 2, junk)


if __name__ == "__main__":
    result = unittest.main(argv=sys.argv[:1], exit=False).result
    sys.exit(0 if result.wasSuccessful() else 1)
