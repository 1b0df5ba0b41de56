#!/bin/sh
# Peak resident memory of reading a large text whose one line never ends: the
# window's reader (pokopen-bench-read) and pokopen-convert, against the size
# of the input, and against a baseline build of pokopen-convert when given.
#
#   bench/files/read-memory.sh [BUILD_DIR [BASELINE_BUILD_DIR]]
#
# BUILD_DIR (default: build-release) is configured as a Release build and
# brought up to date first. Environment: SIZE (default 200M). Needs GNU time.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
build=${1:-$source_dir/build-release}
baseline=${2:-}
size=${SIZE:-300M}

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$source_dir" -B "$build" -DCMAKE_BUILD_TYPE=Release -DPOKOPEN_GUI=OFF \
    -DPOKOPEN_TESTS=OFF >/dev/null
fi
cmake --build "$build" -j2 --target pokopen-convert pokopen-bench-text pokopen-bench-read >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/pokopen-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

# Japanese prose in code page 932 with every ASCII byte taken out, line
# breaks among them: no byte of it is below 0x40.
"$build/bench/texts/pokopen-bench-text" prose "$size" | tr -d '\000-\177' |
  iconv -f UTF-8 -t CP932 >"$work/one-line.txt"
bytes=$(wc -c <"$work/one-line.txt")
echo "one line of code page 932: $bytes bytes"

peak() {
  /usr/bin/time -f %M -o "$work/rss" "$@" >/dev/null
  awk -v r="$(tail -n 1 "$work/rss")" -v b="$bytes" 'BEGIN { printf "%8.1f MiB = %.2fx the input", r / 1024, r * 1024 / b }'
}

printf '  window reader (pokopen-bench-read):        %s\n' \
  "$(peak "$build/bench/files/pokopen-bench-read" "$work/one-line.txt")"
printf '  pokopen-convert (encoding detected):       %s\n' \
  "$(peak "$build/cli/pokopen-convert" "$work/one-line.txt")"
printf '  pokopen-convert -o FILE:                   %s\n' \
  "$(peak "$build/cli/pokopen-convert" -o "$work/out.txt" "$work/one-line.txt")"
if [ -n "$baseline" ]; then
  printf '  baseline pokopen-convert -e cp932:         %s\n' \
    "$(peak "$baseline/cli/pokopen-convert" -e cp932 "$work/one-line.txt")"
fi
