#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks to build and test Lumtra.
# Safe to run again: it installs only missing packages.
set -euo pipefail
packages=()
command -v cmake >/dev/null || packages+=(cmake)
command -v g++ >/dev/null || packages+=(g++)
command -v make >/dev/null || packages+=(make)
[ -f /usr/include/gtest/gtest.h ] || packages+=(libgtest-dev)
[ -f /usr/include/gmock/gmock.h ] || packages+=(libgmock-dev)
[ -f /usr/include/benchmark/benchmark.h ] || packages+=(libbenchmark-dev)
command -v parallel >/dev/null || packages+=(parallel)
command -v gnuplot >/dev/null || packages+=(gnuplot-nox)
command -v groff >/dev/null || packages+=(groff-base)
command -v python3 >/dev/null || packages+=(python3)
/usr/bin/python3 -c 'import networkx' 2>/dev/null || packages+=(python3-networkx)
for extra in "$@"; do
  dpkg -s "$extra" >/dev/null 2>&1 || packages+=("$extra")
done
if [ ${#packages[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then sudo=sudo; else sudo=; fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${packages[@]}" </dev/null
fi
