#!/usr/bin/env bash
# Builds everything and runs every test: the normal build, the address and
# undefined-behaviour sanitizer build, the format check and the fuzzers.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/check-format.sh

jobs=$(nproc)
for preset in release asan; do
  echo "=== $preset build ==="
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j "$jobs"
  echo "=== $preset tests ==="
  ctest --preset "$preset" -j "$jobs"
done

if [ -x fuzz/run.sh ]; then
  echo "=== fuzzers ==="
  cmake --preset fuzz
  cmake --build --preset fuzz -j "$jobs"
  fuzz/run.sh build/fuzz "${FOLV_FUZZ_SECONDS:-5}"
fi
echo "All builds and tests passed."
