#!/usr/bin/env bash
# Soak test: every method family on the NSFNET example for 10^6 and 10^7
# calls in one batch each; the peak resident memory of both runs must be the
# same (memory stays flat however long a run lasts). Prints a Markdown table.
#   tools/soak.sh [BUILD_DIR]      (default build; the Release build is meant)
# Needs /usr/bin/time (package time). A family fails when its run fails or
# when the 10^7 run's peak exceeds the 10^6 run's by more than 10 % + 2 MiB.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
lumtra=$build/lumtra
net=examples/nsfnet.txt
[ -x "$lumtra" ] || { echo "soak: $lumtra is not built" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "soak: /usr/bin/time is missing (apt-get install time)" >&2; exit 2; }

# NSFNET offers 182 pairs x 0.8 = 145.6 calls per time unit.
time_for() { awk -v calls="$1" 'BEGIN { printf "%.6f", calls / 145.6 }'; }

families=("-ff" "-r" "-la" "-xla" "-dla" "-mu" "-lmu" "-ll" "-wlcr -ff")
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failed=0
echo "| method | calls | arrived | peak RSS (KiB) | seconds |"
echo "|---|---:|---:|---:|---:|"
for family in "${families[@]}"; do
  peaks=()
  for calls in 1000000 10000000; do
    # shellcheck disable=SC2086
    if ! /usr/bin/time -f "%M %e" -o "$tmp/time" "$lumtra" $family -s:1 -b:1 -t:"$(time_for $calls)" \
         -al:0.1 -ep:0.01 -nt:"$net" >"$tmp/out" 2>"$tmp/err"; then
      echo "| $family | $calls | run failed: $(head -c 200 "$tmp/err") | | |"
      failed=1
      continue
    fi
    read -r peak seconds <"$tmp/time"
    arrived=$(sed -n 's/^Total Arrived = //p' "$tmp/out")
    echo "| $family | $calls | $arrived | $peak | $seconds |"
    peaks+=("$peak")
  done
  if [ ${#peaks[@]} -eq 2 ] && [ "${peaks[1]}" -gt $(( peaks[0] + peaks[0] / 10 + 2048 )) ]; then
    echo "soak: $family grew from ${peaks[0]} KiB to ${peaks[1]} KiB" >&2
    failed=1
  fi
done
exit $failed
