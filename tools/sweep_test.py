#!/usr/bin/python3
"""Tests of tools/lumtra-sweep: a small real sweep (2 methods x 2 loads x
2 seeds on the six-node ring) with its tables, intervals, figures and lean
storage; loads in Erlangs and rewritten wavelengths on two networks; a sweep
extended and resumed; paired comparisons; the analytic estimates and their
lines; failed runs and misspelled methods; wrong command lines; the
statistics helpers. The Slurm back end is
tested by tools/slurm_test.sh (it needs root to start Slurm).

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
EXAMPLES = os.path.join(ROOT, "examples")
RING, NSFNET = os.path.join(EXAMPLES, "ring-6.txt"), os.path.join(EXAMPLES, "nsfnet.txt")
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


def rows_of(path):
    with open(path, newline="") as f:
        return list(csv.DictReader(f))


class Scratch(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.mkdtemp(prefix="lumtra-sweep-")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.scratch, ignore_errors=True)


@needs_programs
class SmallSweep(Scratch):
    """One sweep with figures; every check reads its outputs."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.out = os.path.join(cls.scratch, "sweep")
        cls.status, cls.log = sweep("--lumtra", LUMTRA, "--net", RING, "-m", "-ff", "-m", "-r -mu",
                                    "--loads", "0.8,1.2", "--seeds", "2", "--batches", "3",
                                    "--time", "40", "--jobs", "2", "--baseline", "-ff", "--out", cls.out)

    def test_exits_0(self):
        self.assertEqual(self.status, 0, self.log)

    def test_results_hold_one_row_per_run_with_the_figures_of_that_run(self):
        rows = rows_of(os.path.join(self.out, "results.csv"))
        self.assertEqual(sorted((r["method"], r["load_factor"], r["seed"]) for r in rows),
                         sorted((m, l, s) for m in ("-ff", "-r -mu") for l in ("0.8", "1.2") for s in "12"))
        self.assertEqual({(r["network"], r["wavelengths"]) for r in rows}, {("ring-6", "4")})
        self.assertEqual({r["label"] for r in rows}, {"First fit", "Random + most used"})
        # The figures are those of the same command run by hand, to the last bit.
        row = next(r for r in rows if (r["method"], r["load_factor"], r["seed"]) == ("-r -mu", "1.2", "2"))
        doc_path = os.path.join(self.scratch, "direct.json")
        subprocess.run([LUMTRA, "-r", "-mu", "-f:1.2", "-s:2", f"-nt:{RING}", "-b:3", "-t:40", "--parallel:1",
                        f"--json:{doc_path}"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, check=True)
        with open(doc_path) as f:
            doc = json.load(f)
        st = doc["statistics"]
        # The tool's pooled interval over batch totals is the program's own.
        p = tool.pooled([(b["arrived"], b["blocked"]) for b in doc["batches"]])
        interval = st["pooled_interval_95"]
        for mine, its in ((p["low"], interval["low"]), (p["high"], interval["high"]),
                          (float(row["pooled_ci95_high"]), interval["high"])):
            self.assertTrue(math.isclose(mine, its, rel_tol=1e-9), (mine, its))
        self.assertEqual([float(row[k]) for k in ("average_blocking", "overall_blocking", "attempts")],
                         [st["average_blocking_probability"], st["overall_blocking_probability"],
                          st["average_number_of_attempts"]])
        self.assertEqual((int(row["arrived"]), int(row["blocked"])), (st["total_arrived"], st["total_blocked"]))
        # 15 ordered pairs of rate 0.4 at factor 1.2: 30 * 0.4 * 1.2 Erlangs.
        self.assertEqual((row["erlangs"], row["erlangs_per_pair"]), ("14.4", "0.48"))

    def test_summary_pools_the_batches_of_all_seeds_and_gives_the_spread_over_seeds(self):
        rows = rows_of(os.path.join(self.out, "results.csv"))
        summary = rows_of(os.path.join(self.out, "summary.csv"))
        self.assertEqual(len(summary), 4)
        for s in summary:
            self.assertEqual((s["seeds"], s["batches"]), ("2", "6"))
            mine = [r for r in rows if (r["method"], r["load_factor"]) == (s["method"], s["load_factor"])]
            arrived, blocked = (sum(int(r[k]) for r in mine) for k in ("arrived", "blocked"))
            self.assertEqual((int(s["arrived"]), int(s["blocked"])), (arrived, blocked))
            self.assertEqual(float(s["pooled_blocking"]), blocked / arrived)
            self.assertLess(float(s["pooled_ci95_low"]), blocked / arrived)
            for k in ("average_blocking", "overall_blocking", "attempts"):
                vals = [float(r[k]) for r in rows if (r["method"], r["load_factor"]) == (s["method"], s["load_factor"])]
                mean = float(s[f"{k}_mean"])
                self.assertAlmostEqual(mean, sum(vals) / 2, delta=1e-15)
                # two seeds: half-width = t(0.975, 1) * sd / sqrt(2), sd = |a - b| / sqrt(2)
                half = 12.7062047 * abs(vals[0] - vals[1]) / 2
                self.assertTrue(math.isclose(float(s[f"{k}_ci95_half"]), half, rel_tol=1e-7, abs_tol=1e-15))
                self.assertTrue(math.isclose(float(s[f"{k}_ci95_low"]), mean - half, rel_tol=1e-7, abs_tol=1e-12))

    def test_figures_are_pdf_png_and_svg_with_names_and_a_colour_blind_safe_palette(self):
        for name, magic in (("blocking.pdf", b"%PDF"), ("blocking.png", b"\x89PNG"), ("compare.pdf", b"%PDF")):
            with open(os.path.join(self.out, name), "rb") as f:
                self.assertEqual(f.read(4), magic, name)
        root = ET.parse(os.path.join(self.out, "compare.svg")).getroot()
        self.assertEqual(root.tag.rsplit("}", 1)[-1], "svg")
        with open(os.path.join(self.out, "blocking.gp")) as f:
            script = f.read()
        self.assertIn('title "First fit"', script)
        self.assertIn('title "Random + most used"', script)
        self.assertNotIn('title "-ff"', script)
        # Okabe-Ito black and orange; markers and dashes differ between the methods.
        self.assertIn("set style line 1 lc rgb '#000000' lw 2 dt 1 pt 7", script)
        self.assertIn("set style line 2 lc rgb '#E69F00' lw 2 dt 2 pt 5", script)
        self.assertIn('set xlabel "Offered load (Erlangs, all node pairs)"', script)

    def test_collect_rebuilds_the_tables_against_a_baseline_named_by_its_label(self):
        copy = os.path.join(self.scratch, "copy")
        shutil.copytree(self.out, copy)
        status, log = sweep("collect", copy, "--baseline", "Random + most used", "--no-plot")
        self.assertEqual(status, 0, log)
        self.assertEqual({(r["method"], r["baseline"], r["pairs"]) for r in rows_of(os.path.join(copy, "compare.csv"))},
                         {("-ff", "-r -mu", "6")})
        with open(os.path.join(self.out, "results.csv")) as a, open(os.path.join(copy, "results.csv")) as b:
            self.assertEqual(a.read(), b.read())

    def test_only_each_runs_summary_is_kept(self):
        names = os.listdir(os.path.join(self.out, "runs"))
        self.assertEqual(len([n for n in names if n.endswith(".json")]), 8)
        self.assertFalse([n for n in names if n.startswith(".") or n.endswith((".stdout", ".stderr", ".failed"))])
        self.assertFalse(os.path.exists(os.path.join(self.out, "full")))
        with open(os.path.join(self.out, "runs", next(n for n in names if n.endswith(".json")))) as f:
            doc = json.load(f)
        self.assertNotIn("pair_averages", doc)
        self.assertEqual([sorted(b) for b in doc["batches"]], [["arrived", "batch", "blocked", "blocking"]] * 3)


@needs_programs
class Loads(Scratch):
    def test_erlangs_follow_the_rates_factor_cofactor_and_departure_rate_on_two_networks(self):
        # nsfnet.txt: 182 ordered pairs of rate 0.8 = 145.6; all-node-types.txt:
        # 12 ordered pairs of rate 0.5 = 6 (its ports move traffic, not add it).
        # -c:0.5 doubles and -dr:4 quarters the load: 1.5 * 145.6 / 2 = 109.2 and 1.5 * 6 / 2 = 4.5.
        out = os.path.join(self.scratch, "factor")
        args = ["--lumtra", LUMTRA, "--net", NSFNET, "--net", os.path.join(EXAMPLES, "all-node-types.txt"),
                "--name", "mixed", "-m", "-ff", "--seeds", "1", "-b", "1", "-t", "2", "--extra", "-c:0.5 -dr:4",
                "--no-plot"]
        status, log = sweep(*args, "--loads", "1.5", "--out", out)
        self.assertEqual(status, 0, log)
        got = {(r["network"], r["wavelengths"], r["load_factor"], r["erlangs"], r["erlangs_per_pair"])
               for r in rows_of(os.path.join(out, "results.csv"))}
        self.assertEqual(got, {("nsfnet", "16", "1.5", "109.2", "0.6"), ("mixed", "mixed", "1.5", "4.5", "0.375")})
        # Asked in Erlangs, with every fibre and port rewritten to 8 wavelengths.
        out = os.path.join(self.scratch, "erlangs")
        status, log = sweep(*args, "--erlangs", "4.5,109.2", "--wavelengths", "8", "--out", out)
        self.assertEqual(status, 0, log)
        factors = {(r["network"], r["erlangs"]): float(r["load_factor"])
                   for r in rows_of(os.path.join(out, "results.csv"))}
        expected = {("nsfnet", "4.5"): 4.5 / 72.8, ("nsfnet", "109.2"): 1.5,
                    ("mixed", "4.5"): 1.5, ("mixed", "109.2"): 109.2 / 3}
        self.assertEqual(factors.keys(), expected.keys())
        for k, v in expected.items():
            self.assertTrue(math.isclose(factors[k], v, rel_tol=1e-12), (k, factors[k]))
        with open(os.path.join(out, "nets", "mixed-w8.txt")) as f:
            self.assertEqual(f.read().split("\n")[:14], [
                "4", "2 y 2 8 8 8 8 0.5 0.5", "3 n", "4 y 1 8 8 0.25 0.25", "1 n", "4", "1", "3",
                "0 8 8 8", "8 0 8 0", "8 8 0 8", "8 0 8 0", "0 0.5 0.5 0.5", "0.5 0 0.5 0.5"])
        self.assertEqual({r["wavelengths"] for r in rows_of(os.path.join(out, "summary.csv"))}, {"8"})


@needs_programs
class Resume(Scratch):
    def test_a_sweep_into_its_directory_runs_only_what_is_missing(self):
        out = os.path.join(self.scratch, "grow")
        base = ["--lumtra", LUMTRA, "--net", RING, "-m", "-ff", "--loads", "1", "-b", "1", "-t", "10",
                "--no-plot", "--out", out]
        status, log = sweep(*base, "--seeds", "1")
        self.assertEqual(status, 0, log)
        (first,) = [os.path.join(out, "runs", n) for n in os.listdir(os.path.join(out, "runs")) if n.endswith(".json")]
        stamp = os.stat(first).st_mtime_ns
        # One more seed and one more method: 4 runs, of which 1 finished.
        status, log = sweep(*base, "--seeds", "2", "-m", "-r")
        self.assertEqual(status, 0, log)
        self.assertIn("4 runs (1 network x 1 wavelength count(s) x 2 method(s) x 1 load(s) x 2 seed(s)): "
                      "1 finished before, 3 to run", log)
        self.assertEqual(os.stat(first).st_mtime_ns, stamp)
        # An interrupted sweep: --resume runs the one run without a summary.
        os.remove(first)
        status, log = sweep("--resume", "--out", out)
        self.assertEqual(status, 0, log)
        self.assertIn("3 finished before, 1 to run", log)
        self.assertEqual(len(rows_of(os.path.join(out, "results.csv"))), 4)
        # Other settings would mix runs that do not belong together.
        status, log = sweep(*base[:-5], "-t", "20", "--no-plot", "--out", out)
        self.assertEqual(status, 2, log)
        self.assertIn("holds runs made with --batches 1, --time 10", log)


@needs_programs
class Compare(Scratch):
    def test_paired_intervals_cover_no_difference_and_find_a_real_one(self):
        out = os.path.join(self.scratch, "compare")
        status, log = sweep("--lumtra", LUMTRA, "--net", NSFNET, "-m", "-ff", "-m", "-FF", "-m", "-wlcr -ff",
                            "--erlangs", "150", "--seeds", "2", "-b", "4", "-t", "100", "--baseline", "-ff",
                            "--out", out)
        self.assertEqual(status, 0, log)
        rows = {r["method"]: r for r in rows_of(os.path.join(out, "compare.csv"))}
        self.assertEqual(set(rows), {"-FF", "-wlcr -ff"})
        same, wlcr = rows["-FF"], rows["-wlcr -ff"]
        self.assertEqual((same["pairs"], same["difference"], same["difference_ci95_half"], same["ratio"]),
                         ("8", "0", "0", "1"))
        # Weighted least congestion routing blocks less than first fit on
        # NSFNET; on the same calls the paired interval is the narrower.
        self.assertLess(float(wlcr["difference_ci95_high"]), 0)
        self.assertLess(float(wlcr["ratio_ci95_high"]), 1)
        self.assertLess(float(wlcr["difference_ci95_half"]), float(wlcr["unpaired_ci95_half"]))
        self.assertTrue(os.path.exists(os.path.join(out, "compare.png")))


@needs_programs
class Estimates(Scratch):
    def test_the_estimate_is_drawn_for_the_methods_it_describes_and_named_as_nearest_for_others(self):
        # One fibre of 8 wavelengths offered 4 Erlangs: Erlang B 0.0304201,
        # which the model gives exactly; it describes random routing, and
        # is only the nearest assumption for most used.
        link, wide = os.path.join(self.scratch, "link.txt"), os.path.join(self.scratch, "wide.txt")
        with open(link, "w") as f:
            f.write("2\n1 n\n1 n\n1\n1\n1\n0 8\n0 0\n0 4\n0 0\n5\n100\n")
        # Two hops of 80 wavelengths without conversion: past what the model
        # computes, so the simulation runs and the estimate is refused.
        with open(wide, "w") as f:
            f.write("3\n1 n\n1 n\n1 n\n1\n1\n1\n0 80 0\n80 0 80\n0 80 0\n0 1 1\n1 0 1\n1 1 0\n4\n100\n")
        out = os.path.join(self.scratch, "estimate")
        status, log = sweep("--lumtra", LUMTRA, "--net", link, "--net", wide, "-m", "-r", "-m", "-mu",
                            "--erlangs", "2,4", "--seeds", "1", "-b", "2", "-t", "20", "--out", out)
        self.assertEqual(status, 0, log)
        rows = {(r["network"], r["method"], r["erlangs"]): r for r in rows_of(os.path.join(out, "summary.csv"))}
        for method, describes in (("-r", "true"), ("-mu", "false")):
            row = rows[("link", method, "4")]
            self.assertTrue(math.isclose(float(row["estimate_blocking"]), 0.0304201, rel_tol=1e-5), row)
            self.assertEqual((row["estimate_model"], row["estimate_describes_method"]),
                             ("erlang_fixed_point", describes))
        self.assertEqual(rows[("wide", "-r", "4")]["estimate_blocking"], "NA")
        self.assertIn("no estimate for -r on wide (exit status 1: ", log)
        with open(os.path.join(out, "blocking.gp")) as f:
            self.assertIn('title "Estimate: Random (nearest for Most used)"', f.read())
        self.assertEqual([n for n in os.listdir(os.path.join(out, "plot")) if "estimate" in n],
                         ["blocking-link-w8-estimate-1.dat"])


@needs_programs
class Failures(Scratch):
    def test_failed_and_misspelled_methods_leave_the_tables_as_they_were(self):
        out = os.path.join(self.scratch, "fail")
        common = ["--lumtra", LUMTRA, "--net", RING, "-m", "-ff", "--loads", "1", "--seeds", "1", "-b", "1",
                  "-t", "10", "--no-plot", "--out", out]
        status, log = sweep(*common)
        self.assertEqual(status, 0, log)
        with open(os.path.join(out, "results.csv")) as f:
            before = f.read()
        status, log = sweep(*common, "-m", "-wlcr", "-m", "-fff", "-m", "-wlrc -ff", "--keep-going")
        self.assertEqual(status, 1, log)
        # a rejected combination: its exit status, and its message on standard output
        self.assertRegex(log, r"run \w+ failed \(exit status 2\): \S*lumtra --strict -wlcr ")
        self.assertIn("routing only", log)
        # a method with more after its letters, refused by --strict
        self.assertRegex(log, r"run \w+ failed \(exit status 2\): \S*lumtra --strict -fff ")
        # a misspelled method, refused by --strict
        self.assertIn("-wlrc: unknown option (refused under --strict)", log)
        with open(os.path.join(out, "results.csv")) as f:
            self.assertEqual(f.read(), before)
        self.assertEqual([r["status"] for r in rows_of(os.path.join(out, "runs", "index.csv"))],
                         ["finished before", "exit status 2", "exit status 2", "exit status 2"])


class CommandLine(Scratch):
    def test_missing_programs_are_named_with_status_3(self):
        bare = os.path.join(self.scratch, "bin")
        os.makedirs(bare, exist_ok=True)
        status, log = sweep("--lumtra", LUMTRA, "--net", RING, "-m", "-ff", "--loads", "1",
                            "--out", os.path.join(self.scratch, "none"), path=bare)
        self.assertEqual(status, 3)
        self.assertIn("GNU parallel is not installed", log)
        self.assertIn("gnuplot is not installed", log)
        status, log = sweep("--lumtra", LUMTRA, "--net", RING, "-m", "-ff", "--loads", "1", "--slurm",
                            "--no-plot", "--out", os.path.join(self.scratch, "none"), path=bare)
        self.assertEqual((status, "sbatch is not installed" in log), (3, True), log)

    def test_a_network_that_cannot_be_read_is_named_with_the_item(self):
        bad = os.path.join(self.scratch, "bad.txt")
        with open(bad, "w") as f:
            f.write("2\n1 n\n1 yes\n")
        status, log = sweep("--lumtra", LUMTRA, "--net", bad, "-m", "-ff", "--loads", "1", "--no-plot",
                            "--out", os.path.join(self.scratch, "bad"))
        self.assertEqual(status, 3, log)
        self.assertIn(f"{bad}: node 2 conversion letter: 'yes' is not one letter (y or n)", log)

    def test_wrong_command_lines_have_status_2(self):
        for args, says in ((["--loads", "1"], "no method"),
                           (["-m", "-ff"], "no load"),
                           (["-m", "-ff", "--loads", "1", "--erlangs", "5"], "one of --erlangs"),
                           (["-m", "-ff", "--loads", "0.6:1.2:0"], "STEP > 0"),
                           (["-m", "-ff", "--erlangs", "0,1"], "positive"),
                           (["-m", "-ff", "--loads", "1", "--wavelengths", "8,x"], "not a whole number"),
                           (["--label", "A", "-m", "-ff", "--loads", "1"], "right after that --method"),
                           (["-m", "-ff", "--loads", "1", "--baseline", "-r"], "none of the methods"),
                           (["-m", "-ff", "--loads", "1", "--wait"], "with --slurm"),
                           (["-m", "-ff", "--loads", "1", "--extra", "--parallel:2"], "--jobs"),
                           (["-m", "-ff --json:x.json", "--loads", "1"], "set by the sweep"),
                           (["-m", "-ff", "--loads", "1", "--extra", "-s:3"], "use --seeds")):
            with self.subTest(args=args):
                status, log = sweep("--net", RING, *args)
                self.assertEqual(status, 2, log)
                self.assertIn(says, log)


class Helpers(unittest.TestCase):
    def test_the_sweep_keeps_the_document_path_but_not_its_detail(self):
        self.assertIn("JSON document", tool.reserved_by_sweep("--JSON:x.json"))
        self.assertIn("JSON document", tool.reserved_by_sweep("--json"))
        self.assertIsNone(tool.reserved_by_sweep("--json-detail:summary"))

    def test_student_t_quantiles(self):
        for df, t in ((1, 12.7062047), (2, 4.30265273), (4, 2.77644511), (9, 2.26215716),
                      (29, 2.04522964), (120, 1.97993041)):
            self.assertTrue(math.isclose(tool.t_quantile(0.975, df), t, rel_tol=1e-7), df)

    def test_pooled_blocking_and_paired_comparison_from_batch_totals(self):
        # 6 of 200 calls blocked in two batches; the interval's ends are the
        # roots of (C - r A)^2 = t^2 phi r A with phi = 1 - R = 0.97 (the
        # residuals, 1 and 1, give less).
        p = tool.pooled([(100, 2), (100, 4)])
        self.assertEqual((p["blocking"], p["upper_bound_95"]), (0.03, None))
        for r in (p["low"], p["high"]):
            self.assertTrue(math.isclose((6 - 200 * r) ** 2, 12.7062047 ** 2 * 0.97 * 200 * r, rel_tol=1e-6), r)
        # Nothing blocked: no interval, the bound 1 - 0.05^(1/1000).
        p = tool.pooled([(400, 0), (600, 0)])
        self.assertEqual((p["blocking"], p["low"]), (0, None))
        self.assertTrue(math.isclose(p["upper_bound_95"], 0.0029912, rel_tol=1e-4))
        # Pooled 0.2 and 0.3; residuals over the mean arrivals -0.1, 0, 0.1
        # and -0.1, -0.1, 0.2, differenced 0, -0.1, 0.1.
        base, other = [(100, 10), (100, 20), (100, 30)], [(100, 20), (100, 20), (100, 50)]
        c = tool.paired(base, other)
        self.assertTrue(math.isclose(c["difference"], 0.1, rel_tol=1e-12))
        self.assertTrue(math.isclose(c["difference_ci95_half"], 4.30265273 * math.sqrt(0.02 / 6), rel_tol=1e-7))
        self.assertTrue(math.isclose(c["unpaired_ci95_half"], 2.77644511 * math.sqrt(0.08 / 6), rel_tol=1e-7))
        # The ratio 1.5; log-scale residuals 1/6, -1/3, 1/6: standard error 1/6.
        self.assertTrue(math.isclose(c["ratio"], 1.5, rel_tol=1e-12))
        self.assertTrue(math.isclose(c["ratio_ci95_high"], 1.5 * math.exp(4.30265273 / 6), rel_tol=1e-7))
        # The same method twice: difference exactly 0; nothing blocked: no interval.
        self.assertEqual(tool.paired(base, base)["difference_ci95_half"], 0)
        none = tool.paired([(100, 0)] * 3, [(100, 0)] * 3)
        self.assertEqual((none["difference"], none["difference_ci95_half"], none["ratio"]), (0, None, None))

    def test_load_ranges_and_lists(self):
        self.assertEqual(tool.parse_values("--loads", "0.6:1.2:0.2"), ["0.6", "0.8", "1", "1.2"])
        self.assertEqual(tool.parse_values("--erlangs", "100, 50,100"), ["100", "50"])

    def test_numbers_are_written_at_full_precision(self):
        for v in (0.1 + 0.2, 1 / 3, 1e-300, 2.0, 0.0, 1e20):
            self.assertEqual(float(tool.fmt(v)), v)
        self.assertEqual((tool.fmt(2.0), tool.fmt(None)), ("2", "NA"))

    def test_figures_come_from_the_document_of_the_run_asked(self):
        job = {"method": "-FF -mx:4", "load_factor": "1.2", "seed": 3, "cofactor": 1.0, "departure_rate": 2.0}

        def doc(arguments, seed=3, load=1.2, departure=2, average=0.25):
            return {"seed": seed, "configuration": {
                "method_arguments": [{"argument": a, "method": m} for a, m in arguments],
                "routing_method": "ff", "routing_name": "first fit", "wa_method": "ff",
                "wa_name": "first fit", "rate_factor": load, "rate_cofactor": 1, "departure_rate": departure},
                "batches": [{"batch": 1, "arrived": 4, "blocked": 1}],
                "statistics": {"average_blocking_probability": average,
                               "overall_blocking_probability": 0.5, "average_number_of_attempts": 2}}

        self.assertEqual(tool.figures_of(doc([("-FF", "ff")]), job),
                         {"average_blocking": 0.25, "overall_blocking": 0.5, "attempts": 2.0, "batches": [(4, 1)]})
        for wrong, why in ((doc([("-fff", "ff")]), "methods differ"), (doc([("-r", "r"), ("-lax", "la")]),
                           "methods differ"), (doc([("-ff", "ff")], seed=4), "another run"),
                           (doc([("-ff", "ff")], load=1.25), "another run"),
                           (doc([("-ff", "ff")], departure=1), "another run"),
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
