#!/usr/bin/env bash
# Builds the engine's fuzz target with clang and runs it for a while.
#   fuzz/run.sh [seconds, default 60] [build directory, default build-fuzz]
# The corpus is kept in the build directory, and so is any input that makes
# the engine and the reference disagree (crash-*). The build's and the run's
# output go to fuzz.log there; a run that finds nothing prints one summary
# line, a run that finds something the end of its output.
set -euo pipefail

seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${2:-$root/build-fuzz}
mkdir -p "$build/fuzz/corpus"
log=$build/fuzz/fuzz.log

fail() {
  tail -n 60 "$log"
  echo "fuzz: $1; the whole output is in $log" >&2
  exit 1
}

{
  cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DPOKOPEN_FUZZ=ON -DPOKOPEN_GUI=OFF -DPOKOPEN_TESTS=OFF -DPOKOPEN_BENCH=OFF &&
    cmake --build "$build" -j2 --target pokopen_engine_fuzz
} >"$log" 2>&1 || fail "the fuzz target did not build"

"$build/fuzz/pokopen_engine_fuzz" -max_total_time="$seconds" -max_len=512 -timeout=10 \
  -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/fuzz/" "$build/fuzz/corpus" \
  >>"$log" 2>&1 || fail "the engine and the reference disagree, or the engine crashed"

runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
echo "fuzz: ${runs:-?} inputs in ${seconds} s, nothing found;" \
  "corpus $(find "$build/fuzz/corpus" -type f | wc -l) inputs (log: $log)"
