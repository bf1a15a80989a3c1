#!/usr/bin/python3
"""Tests of tools/lumtra-sweep: a small real sweep (2 methods x 2 loads x
2 seeds on the six-node ring) with its CSV files, intervals and plots;
failed runs, misspelled methods and JSON documents that show another run;
missing programs and wrong command lines; the single-seed summary; the
statistics helpers.

Usage: /usr/bin/python3 tools/sweep_test.py [path/to/lumtra]
(default build/lumtra). Without GNU parallel or gnuplot the tests that run
sweeps are skipped (exit status 77), except under CI (CI=true), where their
absence is a failure.
"""

import contextlib
import csv
import importlib.machinery
import importlib.util
import io
import json
import math
import os
import shutil
import subprocess
import sys
import tempfile
import unittest
import unittest.mock
import xml.etree.ElementTree as ET

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TOOL = os.path.join(ROOT, "tools", "lumtra-sweep")
NET = os.path.join(ROOT, "examples", "ring-6.txt")
LUMTRA = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build", "lumtra"))

# The tool's functions, without running its main.
_loader = importlib.machinery.SourceFileLoader("lumtra_sweep", TOOL)
tool = importlib.util.module_from_spec(importlib.util.spec_from_loader("lumtra_sweep", _loader))
_loader.exec_module(tool)

MISSING = [p for p in ("parallel", "gnuplot") if not shutil.which(p)]
needs_programs = unittest.skipIf(MISSING or not os.access(LUMTRA, os.X_OK),
                                 f"missing: {' '.join(MISSING) or LUMTRA}")


def sweep(*args, path=None):
    """The tool in this process: (exit status, its standard error)."""
    err = io.StringIO()
    with unittest.mock.patch.dict(os.environ, {} if path is None else {"PATH": path}), \
            contextlib.redirect_stderr(err), contextlib.redirect_stdout(io.StringIO()):
        status = tool.main([str(a) for a in args])
    return status, err.getvalue()


def read_csv(path):
    with open(path, newline="") as f:
        return list(csv.reader(f))


class Scratch(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.mkdtemp(prefix="lumtra-sweep-")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.scratch, ignore_errors=True)


@needs_programs
class SmallSweep(Scratch):
    """One sweep with plots; every check reads its outputs."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.out = os.path.join(cls.scratch, "sweep")
        cls.status, cls.log = sweep("--lumtra", LUMTRA, "--net", NET, "-m", "-ff", "-m", "-r -mu",
                                    "--loads", "0.8,1.2", "--seeds", "2", "--batches", "3",
                                    "--time", "40", "--jobs", "2", "--out", cls.out)

    def test_exits_0(self):
        self.assertEqual(self.status, 0, self.log)

    def test_results_hold_one_row_per_run_with_the_json_figures_of_that_run(self):
        header, *rows = read_csv(os.path.join(self.out, "results.csv"))
        self.assertEqual(header, ["network", "method", "load", "seed", "average_blocking",
                                  "overall_blocking", "attempts"])
        self.assertEqual(sorted((r[1], r[2], r[3]) for r in rows),
                         sorted((m, l, s) for m in ("-ff", "-r -mu") for l in ("0.8", "1.2") for s in "12"))
        self.assertEqual({r[0] for r in rows}, {"ring-6"})
        # The figures are those of the same command run by hand, to the last bit.
        row = next(r for r in rows if r[1:4] == ["-r -mu", "1.2", "2"])
        doc_path = os.path.join(self.scratch, "direct.json")
        subprocess.run([LUMTRA, "-r", "-mu", "-f:1.2", "-s:2", f"-nt:{NET}", "-b:3", "-t:40",
                        f"--json:{doc_path}"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       check=True)
        with open(doc_path) as f:
            st = json.load(f)["statistics"]
        self.assertEqual([float(v) for v in row[4:]],
                         [st["average_blocking_probability"], st["overall_blocking_probability"],
                          st["average_number_of_attempts"]])
        for r in rows:
            self.assertTrue(0 < float(r[4]) < 1 and 0 < float(r[5]) < 1 and float(r[6]) >= 1, r)

    def test_summary_gives_mean_and_student_t_interval_over_the_seeds(self):
        _, *rows = read_csv(os.path.join(self.out, "results.csv"))
        with open(os.path.join(self.out, "summary.csv"), newline="") as f:
            summary = list(csv.DictReader(f))
        self.assertEqual(len(summary), 4)
        for s in summary:
            self.assertEqual(s["seeds"], "2")
            seeds = [r for r in rows if r[1] == s["method"] and r[2] == s["load"]]
            for col, k in ((4, "average_blocking"), (5, "overall_blocking"), (6, "attempts")):
                vals = [float(r[col]) for r in seeds]
                mean = float(s[f"{k}_mean"])
                self.assertAlmostEqual(mean, sum(vals) / 2, delta=1e-15)
                self.assertEqual((float(s[f"{k}_min"]), float(s[f"{k}_max"])), (min(vals), max(vals)))
                # two seeds: half-width = t(0.975, 1) * sd / sqrt(2), sd = |a - b| / sqrt(2)
                half = 12.7062047 * abs(vals[0] - vals[1]) / 2
                self.assertTrue(math.isclose(float(s[f"{k}_ci95_half"]), half, rel_tol=1e-7, abs_tol=1e-15))
                self.assertTrue(math.isclose(float(s[f"{k}_ci95_low"]), mean - half, rel_tol=1e-7,
                                             abs_tol=1e-12))
                self.assertTrue(math.isclose(float(s[f"{k}_ci95_high"]), mean + half, rel_tol=1e-7))

    def test_plots_are_a_png_and_an_svg(self):
        with open(os.path.join(self.out, "blocking.png"), "rb") as f:
            self.assertEqual(f.read(8), b"\x89PNG\r\n\x1a\n")
        root = ET.parse(os.path.join(self.out, "blocking.svg")).getroot()
        self.assertEqual(root.tag.rsplit("}", 1)[-1], "svg")
        self.assertTrue(os.path.exists(os.path.join(self.out, "blocking.gp")))

    def test_every_run_keeps_its_json_document_and_outputs(self):
        for run in range(1, 9):
            for name in ("run.json", "stdout", "stderr"):
                self.assertTrue(os.path.exists(os.path.join(self.out, "runs", str(run), name)), (run, name))
        _, *index = read_csv(os.path.join(self.out, "runs", "index.csv"))
        self.assertEqual({r[4] for r in index}, {"0"})
        self.assertTrue(all(" --strict " in r[5] and "--json:" in r[5] for r in index))


@needs_programs
class Failures(Scratch):
    def test_failed_and_misspelled_methods_leave_no_numbers(self):
        # An earlier sweep's results in the same directory go too.
        out = os.path.join(self.scratch, "fail")
        status, log = sweep("--lumtra", LUMTRA, "--net", NET, "-m", "-ff", "--loads", "1", "--seeds", "1",
                            "-b", "1", "-t", "10", "--no-plot", "--out", out)
        self.assertEqual(status, 0, log)
        status, log = sweep("--lumtra", LUMTRA, "--net", NET, "-m", "-ff", "-m", "-wlcr", "-m", "-fff",
                            "-m", "-wlrc -ff", "--loads", "1", "--seeds", "1", "-b", "1", "-t", "10",
                            "--keep-going", "--no-plot", "--out", out)
        self.assertEqual(status, 1, log)
        # a rejected combination: its exit status, and its message on standard output
        self.assertRegex(log, r"run 2 failed \(exit status 2\): \S*lumtra --strict -wlcr ")
        self.assertIn("routing only", log)
        # a method taken by prefix: what was asked and what the JSON reports
        self.assertRegex(log, r"run 3 failed \(the methods differ from those asked\): \S*lumtra --strict -fff ")
        self.assertIn("method asked: -fff\n", log)
        self.assertIn("the JSON reports: -fff taken as -ff; routing -ff (first fit)", log)
        # a misspelled method, refused by --strict
        self.assertRegex(log, r"run 4 failed \(exit status 2\)")
        self.assertIn("-wlrc: unknown option (refused under --strict)", log)
        self.assertIn("1 of 4 runs succeeded", log)
        for name in ("results.csv", "summary.csv"):
            self.assertFalse(os.path.exists(os.path.join(out, name)), name)
        _, *index = read_csv(os.path.join(out, "runs", "index.csv"))
        self.assertEqual([r[4] for r in index], ["0", "exit status 2", "the methods differ from those asked",
                                                 "exit status 2"])

    def test_one_seed_has_no_interval_and_extra_options_get_the_run_number(self):
        out = os.path.join(self.scratch, "one")
        status, log = sweep("--lumtra", LUMTRA, "--net", NET, "-m", "-ff", "--loads", "1", "--seeds", "1",
                            "--first-seed", "4", "-b", "2", "-t", "20", "--extra", "-or:row{run}",
                            "--no-plot", "--out", out)
        self.assertEqual(status, 0, log)
        with open(os.path.join(out, "summary.csv"), newline="") as f:
            (s,) = list(csv.DictReader(f))
        _, row = read_csv(os.path.join(out, "results.csv"))
        self.assertEqual((row[3], s["seeds"], s["average_blocking_sd"], s["average_blocking_ci95_low"]),
                         ("4", "1", "NA", "NA"))
        self.assertEqual(s["average_blocking_mean"], row[4])
        with open(os.path.join(out, "runs", "1", "run.json")) as f:
            self.assertEqual(json.load(f)["configuration"]["row_name"], "row1")


class CommandLine(Scratch):
    def test_missing_programs_are_named_with_status_3(self):
        bare = os.path.join(self.scratch, "bin")
        os.makedirs(bare, exist_ok=True)
        status, log = sweep("--lumtra", LUMTRA, "--net", NET, "-m", "-ff", "--loads", "1",
                            "--out", os.path.join(self.scratch, "none"), path=bare)
        self.assertEqual(status, 3)
        self.assertIn("GNU parallel is not installed", log)
        self.assertIn("gnuplot is not installed", log)
        status, log = sweep("--lumtra", os.path.join(self.scratch, "no-lumtra"), "--net", NET, "-m", "-ff",
                            "--loads", "1", "--out", os.path.join(self.scratch, "none"))
        self.assertEqual((status, "lumtra not found" in log), (3, True), log)

    def test_wrong_command_lines_have_status_2(self):
        for args, says in ((["--loads", "1"], "no method"),
                           (["-m", "-ff", "--loads", "0.6:1.2:0"], "STEP > 0"),
                           (["-m", "-ff", "--loads", "1.2:0.6:0.1"], "STOP >= START"),
                           (["-m", "-ff", "--loads", "0,1"], "positive"),
                           (["-m", "-ff", "--loads", "a,b"], "not a number"),
                           (["-m", "-ff", "--loads", "1", "--extra", "--json:x.json"], "runs/N/run.json"),
                           (["-m", "-ff --json:x.json", "--loads", "1"], "set by the sweep"),
                           (["-m", "-ff", "--loads", "1", "--extra", "-s:3"], "use --seeds")):
            with self.subTest(args=args):
                status, log = sweep("--net", NET, *args)
                self.assertEqual(status, 2, log)
                self.assertIn(says, log)


class Helpers(unittest.TestCase):
    def test_the_sweep_keeps_the_document_path_but_not_its_detail(self):
        self.assertEqual(tool.reserved_by_sweep("--JSON:x.json"), "--json")
        self.assertEqual(tool.reserved_by_sweep("--json"), "--json")
        self.assertIsNone(tool.reserved_by_sweep("--json-detail:summary"))

    def test_student_t_quantiles(self):
        for df, t in ((1, 12.7062047), (2, 4.30265273), (4, 2.77644511), (9, 2.26215716),
                      (29, 2.04522964), (120, 1.97993041)):
            self.assertTrue(math.isclose(tool.t_quantile(0.975, df), t, rel_tol=1e-7), df)
        d = tool.describe([0.1, 0.2, 0.3])
        self.assertTrue(math.isclose(d["ci95_half"], 4.30265273 * 0.1 / math.sqrt(3), rel_tol=1e-7))

    def test_load_ranges_and_lists(self):
        self.assertEqual(tool.parse_loads("0.6:1.2:0.2"), ["0.6", "0.8", "1", "1.2"])
        self.assertEqual(tool.parse_loads("1, 0.5,1"), ["1", "0.5"])

    def test_numbers_are_written_at_full_precision(self):
        for v in (0.1 + 0.2, 1 / 3, 1e-300, 2.0, 0.0, 1e20):
            self.assertEqual(float(tool.fmt(v)), v)
        self.assertEqual((tool.fmt(2.0), tool.fmt(None)), ("2", "NA"))

    def test_figures_come_from_the_document_of_the_run_asked(self):
        job = {"method": "-FF -mx:4", "load": "1.2", "seed": 3}

        def doc(arguments, seed=3, load=1.2, average=0.25):
            return {"seed": seed, "configuration": {
                "method_arguments": [{"argument": a, "method": m} for a, m in arguments],
                "routing_method": "ff", "routing_name": "first fit", "wa_method": "ff",
                "wa_name": "first fit", "rate_factor": load},
                "statistics": {"average_blocking_probability": average,
                               "overall_blocking_probability": 0.5, "average_number_of_attempts": 2}}

        self.assertEqual(tool.figures_of(doc([("-FF", "ff")]), job),
                         {"average_blocking": 0.25, "overall_blocking": 0.5, "attempts": 2.0})
        for wrong, why in ((doc([("-fff", "ff")]), "methods differ"), (doc([("-r", "r"), ("-lax", "la")]),
                           "methods differ"), (doc([("-ff", "ff")], seed=4), "another run"),
                           (doc([("-ff", "ff")], load=1.25), "another run"),
                           (doc([("-ff", "ff")], average=None), "no number"), ({"seed": 3}, "lacks")):
            with self.subTest(doc=wrong), self.assertRaisesRegex(tool.RunProblem, why):
                tool.figures_of(wrong, job)


if __name__ == "__main__":
    result = unittest.main(argv=sys.argv[:1], exit=False).result
    if not result.wasSuccessful():
        sys.exit(1)
    if MISSING:
        message = f"{' and '.join(MISSING)} not installed (Debian packages parallel and gnuplot-nox)"
        print(message, file=sys.stderr)
        sys.exit(1 if os.environ.get("CI") == "true" else 77)
    sys.exit(0)
