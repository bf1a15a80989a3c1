#!/usr/bin/env bash
# Builds Lumtra and runs it on the bundled NSFNET example with a fixed seed.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target lumtra
./build/lumtra -ff -s:1 -nt:examples/nsfnet.txt "$@"
