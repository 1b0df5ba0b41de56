#!/bin/sh
# Compares pokopen-convert with the equivalent GNU sed script on the same
# prose file, and measures the converter's peak resident memory.
#
#   bench/sed/compare-with-sed.sh [BUILD_DIR]
#
# BUILD_DIR (default: build-release in the source tree) is configured as a
# Release build and brought up to date first. Environment: SIZE (default 64M),
# RUNS (default 5), SED_LOCALE (default C.UTF-8), KEEP_FILES=1 to keep the
# generated texts and outputs. Needs GNU sed and GNU time (Debian: sed, time).
set -eu

here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
build=${1:-$source_dir/build-release}
size=${SIZE:-64M}
runs=${RUNS:-5}
sed_locale=${SED_LOCALE:-C.UTF-8}

sed --version 2>/dev/null | head -n 1 | grep -q 'GNU sed' || {
  echo "compare-with-sed.sh: GNU sed is needed" >&2
  exit 1
}
[ -x /usr/bin/time ] || {
  echo "compare-with-sed.sh: GNU time is needed (/usr/bin/time, Debian package time)" >&2
  exit 1
}

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$source_dir" -B "$build" -DCMAKE_BUILD_TYPE=Release -DPOKOPEN_GUI=OFF \
    -DPOKOPEN_TESTS=OFF >/dev/null
fi
cmake --build "$build" -j2 --target pokopen-convert pokopen-bench-text >/dev/null
convert=$build/cli/pokopen-convert
generate=$build/bench/texts/pokopen-bench-text

work=$(mktemp -d "${TMPDIR:-/tmp}/pokopen-bench-XXXXXX")
if [ "${KEEP_FILES:-0}" = 1 ]; then
  echo "files kept in $work"
else
  trap 'rm -rf "$work"' EXIT
fi

# Nanoseconds of wall time taken by the command; its output goes to $work/out.
elapsed() {
  start=$(date +%s%N)
  "$@" >"$work/out"
  end=$(date +%s%N)
  echo $((end - start))
}

median() {
  sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

"$generate" prose "$size" >"$work/prose.txt"
bytes=$(wc -c <"$work/prose.txt")
echo "prose: $bytes bytes of UTF-8; $runs runs each, alternating"
echo "pokopen-convert -s 1 --pokoru --force   against   LC_ALL=$sed_locale sed -E -f style1-all-flags.sed"

: >"$work/times-convert"
: >"$work/times-sed"
i=0
while [ "$i" -lt "$runs" ]; do
  elapsed "$convert" -s 1 --pokoru --force "$work/prose.txt" >>"$work/times-convert"
  elapsed env LC_ALL="$sed_locale" sed -E -f "$here/style1-all-flags.sed" "$work/prose.txt" \
    >>"$work/times-sed"
  i=$((i + 1))
done

convert_ns=$(median <"$work/times-convert")
sed_ns=$(median <"$work/times-sed")
awk -v c="$convert_ns" -v s="$sed_ns" -v b="$bytes" 'BEGIN {
  printf "median wall time: pokopen-convert %.3f s (%.1f MiB/s), sed %.3f s (%.1f MiB/s)\n",
    c / 1e9, b / 1048576 / (c / 1e9), s / 1e9, b / 1048576 / (s / 1e9)
  printf "sed / pokopen-convert: %.1fx (target: at least 10x)\n", s / c
}'

echo "peak resident memory of pokopen-convert -s 1 --pokoru --force (target: at most 8x the input):"
for kind in prose desu-maru desu-run nanoda pronouns; do
  "$generate" "$kind" "$size" >"$work/$kind.txt"
  input=$(wc -c <"$work/$kind.txt")
  /usr/bin/time -f %M -o "$work/rss" "$convert" -s 1 --pokoru --force "$work/$kind.txt" \
    >"$work/out"
  output=$(wc -c <"$work/out")
  awk -v k="$kind" -v r="$(tail -n 1 "$work/rss")" -v i="$input" -v o="$output" 'BEGIN {
    printf "  %-10s input %9d bytes, output %10d bytes, peak %8.1f MiB = %.2fx the input\n",
      k, i, o, r / 1024, r * 1024 / i
  }'
  [ "$kind" = prose ] || rm -f "$work/$kind.txt"
done
