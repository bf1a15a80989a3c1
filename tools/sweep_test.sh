#!/usr/bin/env bash
# Tests of tools/lumtra-sweep: a tiny real sweep (2 methods x 2 loads x
# 2 seeds on the six-node ring, short batches) and its CSV files and plots,
# the handling of failed runs and of missing programs, the single-seed
# summary, and the statistics helpers.
#
# Usage: tools/sweep_test.sh [path/to/lumtra]   (default: build/lumtra)
# Needs GNU parallel and gnuplot; without them the test is skipped (exit 77),
# except under CI (CI=true), where their absence is a failure.
set -uo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
sweep="$root/tools/lumtra-sweep"
lumtra="${1:-${LUMTRA:-$root/build/lumtra}}"
net="$root/examples/ring-6.txt"

passed=0
failed=0
fail() { echo "FAIL: $*" >&2; failed=$((failed + 1)); }
pass() { echo "ok: $*"; passed=$((passed + 1)); }

for tool in parallel gnuplot; do
  if ! command -v "$tool" >/dev/null; then
    if [ "${CI:-}" = true ]; then
      echo "FAIL: $tool is not installed (Debian packages parallel and gnuplot-nox)" >&2
      exit 1
    fi
    echo "skipped: $tool is not installed (Debian packages parallel and gnuplot-nox)"
    exit 77
  fi
done
if [ ! -x "$lumtra" ]; then
  echo "FAIL: no lumtra program at $lumtra (build it, or give its path)" >&2
  exit 1
fi

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

# ---------------------------------------------------------------- tiny sweep
out="$scratch/sweep"
if "$sweep" --lumtra "$lumtra" --net "$net" -m -ff -m "-r" --loads 0.8,1.2 \
     --seeds 2 --batches 3 --time 60 --jobs 2 --out "$out" \
     >"$scratch/sweep.log" 2>&1; then
  pass "tiny sweep exits 0"
else
  fail "tiny sweep exited non-zero:"; sed 's/^/    /' "$scratch/sweep.log" >&2
fi

if python3 - "$out" "$lumtra" "$net" <<'PY'

import csv, math, os, re, subprocess, sys, xml.etree.ElementTree as ET
out, lumtra, net = sys.argv[1:4]
problems = []

def check(cond, msg):
    if not cond:
        problems.append(msg)

# results.csv: columns, one row per run, numbers in range
with open(os.path.join(out, "results.csv"), newline="") as f:
    rows = list(csv.DictReader(f))
    f.seek(0)
    header = next(csv.reader(f))
check(header == ["network", "method", "load", "seed", "average_blocking",
                 "overall_blocking", "attempts"], f"results.csv columns are {header}")
check(len(rows) == 8, f"results.csv has {len(rows)} rows, not 8")
grid = {(r["method"], r["load"], r["seed"]) for r in rows}
check(grid == {(m, l, s) for m in ("-ff", "-r") for l in ("0.8", "1.2") for s in ("1", "2")},
      f"results.csv covers {sorted(grid)}")
for r in rows:
    check(r["network"] == "ring-6", f"network column is {r['network']!r}")
    for k in ("average_blocking", "overall_blocking"):
        v = float(r[k])
        check(0.0 <= v <= 1.0, f"{k} {v} outside [0, 1]")
    check(float(r["attempts"]) >= 1.0, f"attempts {r['attempts']} below 1")

# the numbers are the ones the program prints for the same command line
row = next(r for r in rows if r["method"] == "-r" and r["load"] == "1.2" and r["seed"] == "2")
direct = subprocess.run([lumtra, "-r", "-f:1.2", "-s:2", f"-nt:{net}", "-b:3", "-t:60"],
                        stdin=subprocess.DEVNULL, capture_output=True, text=True).stdout
for key, label in (("average_blocking", "Average Blocking Probability"),
                   ("overall_blocking", "Overall Blocking Probability"),
                   ("attempts", "Average Number of attempts")):
    m = re.findall(rf"^{label} = (\S+)$", direct, re.M)
    check(m and math.isclose(float(m[-1]), float(row[key]), rel_tol=1e-9, abs_tol=1e-12),
          f"{key} {row[key]} differs from the direct run's {m}")

# summary.csv: one row per (method, load), mean within the seeds' range,
# interval present and around the mean
with open(os.path.join(out, "summary.csv"), newline="") as f:
    summary = list(csv.DictReader(f))
check(len(summary) == 4, f"summary.csv has {len(summary)} rows, not 4")
for s in summary:
    check(s["seeds"] == "2", f"summary seeds {s['seeds']}")
    seeds = [r for r in rows if r["method"] == s["method"] and r["load"] == s["load"]]
    for k in ("average_blocking", "overall_blocking", "attempts"):
        vals = [float(r[k]) for r in seeds]
        mean = float(s[f"{k}_mean"])
        check(min(vals) - 1e-12 <= mean <= max(vals) + 1e-12,
              f"{s['method']} {s['load']} {k} mean {mean} outside {vals}")
        check(math.isclose(mean, sum(vals) / len(vals), rel_tol=1e-8, abs_tol=1e-12),
              f"{k} mean {mean} is not the mean of {vals}")
        lo, hi = s[f"{k}_ci95_low"], s[f"{k}_ci95_high"]
        check(lo not in ("", "NA") and hi not in ("", "NA"), f"{k} interval missing: {lo} {hi}")
        if lo not in ("", "NA") and hi not in ("", "NA"):
            check(float(lo) <= mean <= float(hi), f"{k} interval [{lo}, {hi}] misses {mean}")
            # two seeds: half-width = t(0.975, 1) * sd / sqrt(2)
            sd = abs(vals[0] - vals[1]) / math.sqrt(2)
            check(math.isclose(float(hi) - mean, 12.7062047 * sd / math.sqrt(2),
                               rel_tol=1e-6, abs_tol=1e-12),
                  f"{k} half-width {float(hi) - mean} is not the Student t one")

# the plots: a PNG by its signature and an SVG that parses with an <svg> root
with open(os.path.join(out, "blocking.png"), "rb") as f:
    check(f.read(8) == b"\x89PNG\r\n\x1a\n", "blocking.png lacks the PNG signature")
try:
    root = ET.parse(os.path.join(out, "blocking.svg")).getroot()
    check(root.tag.rsplit("}", 1)[-1] == "svg", f"blocking.svg root is {root.tag}")
except (ET.ParseError, OSError) as e:
    problems.append(f"blocking.svg does not parse: {e}")

for p in problems:
    print("   ", p, file=sys.stderr)
sys.exit(1 if problems else 0)
PY
then
  pass "results.csv, summary.csv, blocking.png and blocking.svg"
else
  fail "tiny sweep outputs (see above)"
fi

# ---------------------------------------------------------------- failures
# A rejected method combination fails its runs: the tool reports the run and
# the program's message, exits 1 and leaves no numbers behind, not even those
# of the earlier sweep into the same directory.
"$sweep" --lumtra "$lumtra" --net "$net" -m -ff -m "-wlcr" --loads 1 --seeds 2 \
  --batches 2 --time 20 --jobs 2 --keep-going --out "$out" >"$scratch/fail.log" 2>&1
status=$?
[ "$status" -eq 1 ] && pass "a failed run makes the tool exit 1" \
  || fail "a failed run gave exit status $status"
grep -q "failed (exit status 2).*-wlcr" "$scratch/fail.log" \
  && pass "the failed run is named with its exit status" \
  || { fail "the failed run is not reported:"; sed 's/^/    /' "$scratch/fail.log" >&2; }
grep -q "routing only" "$scratch/fail.log" \
  && pass "the failed run's message is shown" \
  || fail "the program's message about -wlcr is not shown"
for f in results.csv summary.csv blocking.png blocking.svg; do
  [ ! -e "$out/$f" ] || fail "$f exists after a failed sweep"
done
[ -s "$out/runs/index.csv" ] && pass "no results after a failure; run index kept" \
  || fail "runs/index.csv missing after a failed sweep"

# ---------------------------------------------------------------- missing programs
bin="$scratch/bin"
mkdir -p "$bin"
ln -s "$(python3 -c 'import sys; print(sys.executable)')" "$bin/python3"
PATH="$bin" "$sweep" --lumtra "$lumtra" --net "$net" -m -ff --loads 1 \
  --out "$scratch/none" >"$scratch/missing.log" 2>&1
status=$?
if [ "$status" -eq 3 ] && grep -q "GNU parallel is not installed" "$scratch/missing.log" \
   && grep -q "gnuplot is not installed" "$scratch/missing.log"; then
  pass "missing parallel and gnuplot are named, exit status 3"
else
  fail "missing programs: status $status"; sed 's/^/    /' "$scratch/missing.log" >&2
fi
"$sweep" --lumtra "$scratch/no-such-lumtra" --net "$net" -m -ff --loads 1 \
  --out "$scratch/none" >"$scratch/missing.log" 2>&1
status=$?
[ "$status" -eq 3 ] && grep -q "lumtra not found" "$scratch/missing.log" \
  && pass "a missing lumtra is named, exit status 3" \
  || fail "missing lumtra: status $status, $(cat "$scratch/missing.log")"
"$sweep" --net "$net" --loads 1 >"$scratch/usage.log" 2>&1
status=$?
[ "$status" -eq 2 ] && grep -q "no method" "$scratch/usage.log" \
  && pass "a command line without method is refused, exit status 2" \
  || fail "no method: status $status"
for bad in "0.6:1.2:0" "1.2:0.6:0.1" "0,1" "a,b"; do
  "$sweep" --net "$net" -m -ff --loads "$bad" >/dev/null 2>&1
  status=$?
  [ "$status" -eq 2 ] || fail "--loads $bad gave status $status, not 2"
done
pass "bad load lists and ranges are refused"

# ---------------------------------------------------------------- one seed
one="$scratch/one"
if "$sweep" --lumtra "$lumtra" --net "$net" -m -ff --loads 1 --seeds 1 --first-seed 4 \
     --batches 2 --time 40 --extra "--json:$scratch/run{run}.json" --out "$one" \
     >"$scratch/one.log" 2>&1; then
  if python3 - "$one" "$scratch/run1.json" <<'PY'

import csv, json, os, sys
out, doc = sys.argv[1:3]
s = list(csv.DictReader(open(os.path.join(out, "summary.csv"))))
r = list(csv.DictReader(open(os.path.join(out, "results.csv"))))
ok = (len(s) == 1 and s[0]["seeds"] == "1" and r[0]["seed"] == "4"
      and s[0]["average_blocking_ci95_low"] == "NA" and s[0]["average_blocking_sd"] == "NA"
      and float(s[0]["average_blocking_mean"]) == float(r[0]["average_blocking"]))
try:
    with open(doc) as f:
        ok = ok and json.load(f)["seed"] == 4  # --extra with {run} reached the program
except (OSError, ValueError, KeyError) as e:
    print(f"no JSON document of run 1: {e}", file=sys.stderr)
    ok = False
if not ok:
    print(s, r, file=sys.stderr)
sys.exit(0 if ok else 1)
PY
  then pass "one seed: interval NA, -s:4 used, --extra with {run} passed on"; else fail "one-seed summary"; fi
else
  fail "one-seed sweep exited non-zero:"; sed 's/^/    /' "$scratch/one.log" >&2
fi

# ---------------------------------------------------------------- helpers
if python3 - "$sweep" <<'PY'

import math, sys, types
m = types.ModuleType("sweep")  # the tool's functions, without running its main
m.__file__ = sys.argv[1]
with open(sys.argv[1]) as f:
    exec(compile(f.read(), sys.argv[1], "exec"), m.__dict__)
bad = []
for df, t in ((1, 12.7062047), (2, 4.30265273), (4, 2.77644511), (9, 2.26215716),
              (29, 2.04522964), (120, 1.97993041)):
    if not math.isclose(m.t_quantile(0.975, df), t, rel_tol=1e-7):
        bad.append(f"t(0.975, {df}) = {m.t_quantile(0.975, df)}, not {t}")
if m.parse_loads("0.6:1.2:0.2") != ["0.6", "0.8", "1", "1.2"]:
    bad.append(f"range gives {m.parse_loads('0.6:1.2:0.2')}")
if m.parse_loads("1, 0.5,1") != ["1", "0.5"]:
    bad.append(f"list gives {m.parse_loads('1, 0.5,1')}")
text = ("\nbp[1][2] = 0.5\t Arrived: 2\tBlocked: 1\nTotal Blocked = 1\nTotal Arrived = 2"
        "\nAverage Blocking Probability = 0.25\nOverall Blocking Probability = 5e-01"
        "\nAverage of Averages Blocking Probability = 0.25\nAverage Number of attempts = 1.5"
        "\nAverage Blocking Probability 95% Confidence Half-Width = 0.1\nSimulation Time: 0 sec\n")
if m.parse_final_statistics(text) != {"average_blocking": 0.25, "overall_blocking": 0.5,
                                      "attempts": 1.5}:
    bad.append(f"parsed {m.parse_final_statistics(text)}")
for broken in (text.replace("Overall", "Total"), text.replace("= 0.25\nOverall", "= nan\nOverall")):
    try:
        m.parse_final_statistics(broken)
        bad.append("an incomplete or non-finite output was accepted")
    except ValueError:
        pass
d = m.describe([0.1, 0.2, 0.3])
if not (math.isclose(d["mean"], 0.2) and math.isclose(d["ci95_half"], 4.30265273 * 0.1 / math.sqrt(3))):
    bad.append(f"describe gives {d}")
for b in bad:
    print("   ", b, file=sys.stderr)
sys.exit(1 if bad else 0)
PY
then pass "Student t quantiles, load ranges, output parsing"; else fail "statistics helpers"; fi

echo "sweep: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
