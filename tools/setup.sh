#!/usr/bin/env bash
# Installs the Debian packages that building, testing and the tools of Lumtra
# use, where they are missing; safe to run again. What each is for:
#   cmake, g++, make      building the program
#   libgtest-dev          the unit tests (a build with -DLUMTRA_TESTS=OFF needs none)
#   python3               the tools and their tests
#   parallel, gnuplot-nox tools/lumtra-sweep (runs in parallel, plots)
#   python3-networkx      tools/lumtra-net (GML, GraphML and JSON topologies)
#   groff-base            checking that the manual page renders
#   python3-dev, pybind11-dev
#                         the Python module lumtra (built when both are found)
#   python3-pandas, python3-matplotlib, python3-pytest
#                         its result tables, the example's plot, its tests
# With --slurm also what tools/slurm_test.sh starts a single-node Slurm with
# (slurmctld, slurmd, slurm-client, munge), for tools/lumtra-sweep --slurm;
# left out otherwise, since on a machine with systemd they come as services.
# Recommended packages are left out: gnuplot-nox would pull in ImageMagick and
# Ghostscript otherwise.
set -euo pipefail
packages=()
command -v cmake >/dev/null || packages+=(cmake)
command -v g++ >/dev/null || packages+=(g++)
command -v make >/dev/null || packages+=(make)
[ -f /usr/include/gtest/gtest.h ] || packages+=(libgtest-dev)
[ -x /usr/bin/python3 ] || packages+=(python3)
command -v parallel >/dev/null || packages+=(parallel)
command -v gnuplot >/dev/null || packages+=(gnuplot-nox)
[ -x /usr/bin/python3 ] && /usr/bin/python3 -c 'import networkx' 2>/dev/null || packages+=(python3-networkx)
command -v groff >/dev/null || packages+=(groff-base)
[ -f "/usr/include/python3.$(/usr/bin/python3 -c 'import sys; print(sys.version_info[1])' 2>/dev/null)/Python.h" ] \
  || packages+=(python3-dev)
[ -f /usr/include/pybind11/pybind11.h ] || packages+=(pybind11-dev)
for module in pandas matplotlib pytest; do
  [ -x /usr/bin/python3 ] && /usr/bin/python3 -c "import $module" 2>/dev/null || packages+=("python3-$module")
done
if [ "${1:-}" = "--slurm" ]; then
  command -v slurmctld >/dev/null || packages+=(slurmctld)
  command -v slurmd >/dev/null || packages+=(slurmd)
  command -v sbatch >/dev/null || packages+=(slurm-client)
  command -v munged >/dev/null || packages+=(munge)
fi
[ ${#packages[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  as_root=()
elif command -v sudo >/dev/null; then
  as_root=(sudo)
else
  echo "tools/setup.sh: needs root or sudo to install the Debian packages ${packages[*]}," \
       "which building, testing and the tools of Lumtra use (see the top of this script)" >&2
  exit 1
fi
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
  apt-get install -y -qq --no-install-recommends "${packages[@]}" </dev/null
