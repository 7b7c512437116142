#!/usr/bin/env bash
# Builds and runs every test twice: an optimised build and an
# AddressSanitizer + UndefinedBehaviorSanitizer build that halts on the first report;
# then runs the threaded tests (suites named *Threaded) in a ThreadSanitizer build.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
jobs=$(nproc)
for preset in release asan tsan; do
    echo "=== ${preset} ==="
    cmake --preset "$preset"
    cmake --build --preset "$preset" -j "$jobs"
    ctest --preset "$preset" -j "$jobs"
done
