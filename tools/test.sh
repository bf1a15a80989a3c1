#!/usr/bin/env bash
# Builds Lumtra and runs every test (installing what they use if missing); the
# tests are switched on even if the build directory was configured without them.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DLUMTRA_TESTS=ON -DBUILD_TESTING=ON >/dev/null
cmake --build build -j"$(nproc)"
ctest --test-dir build --output-on-failure -j"$(nproc)"
