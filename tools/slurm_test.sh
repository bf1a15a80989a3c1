#!/usr/bin/env bash
# Runs a small sweep through a real Slurm and compares its tables with the
# same sweep run locally with GNU parallel: they must be identical.
#
# Starts a single-node Slurm on this machine for the test (munged, slurmctld
# and slurmd, as root and without systemd: process tracking by
# proctrack/linuxproc, no task plug-in), with its configuration, state and
# logs in a temporary directory, and stops the daemons it started at the end.
# Needs root and the Debian packages slurmctld, slurmd, slurm-client and
# munge (tools/setup.sh installs them).
#
# Usage: tools/slurm_test.sh [path/to/lumtra]     (default build/lumtra)
set -euo pipefail
cd "$(dirname "$0")/.."
lumtra=$(realpath "${1:-build/lumtra}")
if [ "$(id -u)" -ne 0 ]; then
  echo "tools/slurm_test.sh: needs root, to start munged, slurmctld and slurmd" >&2
  exit 77
fi
for program in munged slurmctld slurmd sbatch sinfo; do
  command -v "$program" >/dev/null || { echo "tools/slurm_test.sh: $program is not installed (tools/setup.sh)" >&2; exit 1; }
done

work=$(mktemp -d /tmp/lumtra-slurm.XXXXXX)
chmod 755 "$work"
started=()
stop() {
  for pidfile in "${started[@]}"; do
    [ -s "$pidfile" ] && kill "$(cat "$pidfile")" 2>/dev/null || true
  done
  sleep 1
  rm -rf "$work"
}
trap stop EXIT

# munge: the daemon that authenticates Slurm's messages. One that already
# runs is used as it is.
if ! munge -n </dev/null >/dev/null 2>&1; then
  install -d -o munge -g munge -m 0755 /run/munge
  install -d -o munge -g munge -m 0700 /var/lib/munge /var/log/munge
  [ -s /etc/munge/munge.key ] || { dd if=/dev/urandom bs=1 count=1024 of=/etc/munge/munge.key 2>/dev/null
                                    chown munge:munge /etc/munge/munge.key; chmod 0400 /etc/munge/munge.key; }
  runuser -u munge -- /usr/sbin/munged --pid-file=/run/munge/munged.pid
  started+=(/run/munge/munged.pid)
  for _ in $(seq 50); do munge -n </dev/null >/dev/null 2>&1 && break; sleep 0.1; done
fi

host=$(hostname -s)
mkdir -p "$work/state" "$work/spool"
export SLURM_CONF="$work/slurm.conf"
cat >"$SLURM_CONF" <<EOF
ClusterName=lumtratest
SlurmctldHost=$host
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SchedulerType=sched/backfill
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
MpiDefault=none
ReturnToService=2
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/slurmctld.log
SlurmdLogFile=$work/slurmd.log
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
NodeName=$host CPUs=$(nproc) State=UNKNOWN
PartitionName=test Nodes=$host Default=YES MaxTime=INFINITE State=UP
EOF
slurmctld -f "$SLURM_CONF"
started+=("$work/slurmctld.pid")
slurmd -f "$SLURM_CONF"
started+=("$work/slurmd.pid")
for _ in $(seq 100); do
  sinfo -h -o %t 2>/dev/null | grep -q idle && break
  sleep 0.2
done
sinfo -h -o %t | grep -q idle || { echo "Slurm did not start:"; tail -n 20 "$work"/*.log; exit 1; } >&2

grid=(--lumtra "$lumtra" --net examples/ring-6.txt --net examples/three-node.txt -m -ff -m "-r -mu"
      --erlangs 3,6 --seeds 2 --batches 3 --time 30 --baseline -ff --no-plot)
tools/lumtra-sweep "${grid[@]}" --slurm --slurm-opt=--partition=test --slurm-opt=--time=10 \
  --slurm-tasks 3 --wait --out "$work/slurm-sweep"
tools/lumtra-sweep "${grid[@]}" --jobs 2 --out "$work/local-sweep"
# Submitted without --wait: collect builds the tables once the job has left the queue.
tools/lumtra-sweep "${grid[@]}" --slurm --out "$work/later-sweep"
for _ in $(seq 600); do
  [ -z "$(squeue -h -n lumtra-sweep 2>/dev/null)" ] && break
  sleep 0.5
done
tools/lumtra-sweep collect "$work/later-sweep"
for table in results.csv summary.csv compare.csv; do
  cmp "$work/slurm-sweep/$table" "$work/local-sweep/$table"
  cmp "$work/later-sweep/$table" "$work/local-sweep/$table"
done
logs=$(ls "$work/slurm-sweep/slurm/"*.log | wc -l)
[ "$logs" -eq 3 ] || { echo "tools/slurm_test.sh: $logs array task logs, not 3" >&2; exit 1; }
echo "Slurm sweeps (waited for and collected later) and the local sweep give identical tables ($(($(wc -l <"$work/local-sweep/results.csv") - 1)) runs, 3 array tasks)"
