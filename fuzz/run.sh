#!/usr/bin/env bash
# Builds the engine's fuzz target with clang and runs it for a while.
#   fuzz/run.sh [seconds, default 60] [build directory, default build-fuzz]
# The corpus is kept in the build directory, and so is any input that makes
# the engine and the reference disagree (crash-*).
set -euo pipefail

seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${2:-$root/build-fuzz}

cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPOKOPEN_FUZZ=ON -DPOKOPEN_GUI=OFF -DPOKOPEN_TESTS=OFF -DPOKOPEN_BENCH=OFF
cmake --build "$build" -j2 --target pokopen_engine_fuzz

corpus=$build/fuzz/corpus
mkdir -p "$corpus"
"$build/fuzz/pokopen_engine_fuzz" -max_total_time="$seconds" -max_len=512 -timeout=10 \
  -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/fuzz/" "$corpus"
