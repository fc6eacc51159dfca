#!/usr/bin/env bash
# Builds the fuzz targets with clang, writes a seed corpus with our own encoders and runs
# every fuzzer for SECONDS (default 5). Fails when a fuzzer finds a crash, a leak, a hang
# or an allocation over the cap.
#   fuzz/run.sh [BUILD_DIR] [SECONDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/fuzz}
seconds=${2:-5}
case $build in /*) ;; *) build=$PWD/$build ;; esac

if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DFOLV_FUZZ=ON -DFOLV_BUILD_TESTS=OFF -DFOLV_BUILD_BENCH=OFF
fi
cmake --build "$build" --target folv_fuzzers -- -j2

corpus=$build/fuzz-corpus
rm -rf "$corpus"
"$build/bin/fuzz_seeds" "$corpus/seeds"

failed=0
while read -r fuzzer; do
  [ -n "$fuzzer" ] || continue
  seeds=$corpus/seeds/${fuzzer#fuzz_}
  if [ -d "$seeds" ]; then
    seedDirs=("$seeds")
  else
    seedDirs=("$corpus"/seeds/*)
  fi
  work=$corpus/$fuzzer
  mkdir -p "$work"
  echo "== $fuzzer for ${seconds}s"
  if ! (cd "$corpus" && ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 \
      UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
      "$build/bin/$fuzzer" -max_total_time="$seconds" -timeout=20 \
        -rss_limit_mb=3072 -malloc_limit_mb=1536 -print_final_stats=1 \
        "$work" "${seedDirs[@]}" >"$corpus/$fuzzer.log" 2>&1); then
    echo "$fuzzer failed; its output:"
    tail -n 60 "$corpus/$fuzzer.log"
    failed=1
  else
    grep -E "stat::number_of_executed_units|Done [0-9]+ runs" "$corpus/$fuzzer.log" | tail -n 1 || true
  fi
done <"$build/fuzz/fuzzers.txt"
exit $failed
