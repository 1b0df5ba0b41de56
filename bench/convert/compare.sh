#!/bin/bash
# pokopen-convert at the machine's limit, against GNU sed, against passing the
# file through a pipe (cat FILE | cat), with one job and with all, and its
# peak resident memory on a large input, beside a baseline build when given.
# The jobs are compared with the output thrown away as well, where the reading
# cat takes no share of the cores.
#
#   bench/convert/compare.sh [BUILD_DIR [BASELINE_BUILD_DIR]]
#
# BUILD_DIR (default: build-release) is configured as a Release build and
# brought up to date first. Environment: SIZE (default 32M) of each text,
# RUNS (default 5, the median is shown), BIG (default 1024, MiB of the large
# input; 0 skips it), SED_LOCALE (default C.UTF-8), KINDS (default: the
# generated prose and technical texts and the real documents manual, manpages
# and catalogues of bench/texts/real-documents.sh). Needs GNU sed and GNU time,
# and for the real documents their Debian packages.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
build=${1:-$source_dir/build-release}
baseline=${2:-}
size=${SIZE:-32M}
runs=${RUNS:-5}
big=${BIG:-1024}
sed_locale=${SED_LOCALE:-C.UTF-8}
kinds=${KINDS:-prose technical manual manpages catalogues}

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$source_dir" -B "$build" -DCMAKE_BUILD_TYPE=Release -DPOKOPEN_GUI=OFF \
    -DPOKOPEN_TESTS=OFF >/dev/null
fi
cmake --build "$build" -j2 --target pokopen-convert pokopen-bench-text >/dev/null
convert=$build/cli/pokopen-convert
generate=$build/bench/texts/pokopen-bench-text
flags="-s 1 --pokoru --force"

work=$(mktemp -d "${TMPDIR:-/tmp}/pokopen-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

# Seconds of wall time a shell command takes, its output thrown away. Every
# command runs in sh, as a script would run it (bash's pipelines pass data
# more slowly, which would flatter the converter against cat | cat); the clock
# is this shell's own, so that no process started for the measuring adds to
# any figure.
seconds() {
  local start=${EPOCHREALTIME/[^0-9]/}
  sh -c "$1" >/dev/null
  local end=${EPOCHREALTIME/[^0-9]/}
  awk -v us=$((end - start)) 'BEGIN { printf "%.4f\n", us / 1e6 }'
}

median() {
  sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

for kind in $kinds; do
  text=$work/$kind.txt
  case $kind in
    manual | manpages | catalogues | guides) "$here/../texts/real-documents.sh" "$kind" "$size" >"$text" ;;
    *) "$generate" "$kind" "$size" >"$text" ;;
  esac
  echo "== $kind: $(wc -c <"$text") bytes of UTF-8, $flags, median of $runs =="
  names="cat sed j1 jall j1null jallnull"
  [ -n "$baseline" ] && names="$names baseline"
  for name in $names; do : >"$work/$name"; done
  i=0
  while [ "$i" -lt "$runs" ]; do
    seconds "cat '$text' | cat" >>"$work/cat"
    seconds "LC_ALL=$sed_locale sed -E -f '$source_dir/bench/sed/style1-all-flags.sed' '$text'" >>"$work/sed"
    seconds "'$convert' $flags -j 1 '$text' | cat" >>"$work/j1"
    seconds "'$convert' $flags '$text' | cat" >>"$work/jall"
    seconds "'$convert' $flags -j 1 '$text'" >>"$work/j1null"
    seconds "'$convert' $flags '$text'" >>"$work/jallnull"
    if [ -n "$baseline" ]; then
      seconds "'$baseline/cli/pokopen-convert' $flags '$text' | cat" >>"$work/baseline"
    fi
    i=$((i + 1))
  done
  for name in $names; do median <"$work/$name" >"$work/$name.median"; done
  awk -v cat="$(cat "$work/cat.median")" -v sed="$(cat "$work/sed.median")" \
    -v j1="$(cat "$work/j1.median")" -v jall="$(cat "$work/jall.median")" \
    -v j1null="$(cat "$work/j1null.median")" -v jallnull="$(cat "$work/jallnull.median")" \
    -v base="$( [ -n "$baseline" ] && cat "$work/baseline.median" || echo 0)" 'BEGIN {
    printf "  cat FILE | cat                 %7.3f s\n", cat
    printf "  GNU sed                        %7.3f s\n", sed
    printf "  pokopen-convert -j 1 | cat     %7.3f s\n", j1
    printf "  pokopen-convert | cat          %7.3f s\n", jall
    printf "  pokopen-convert -j 1 > null   %7.3f s\n", j1null
    printf "  pokopen-convert > null        %7.3f s\n", jallnull
    if (base > 0) printf "  baseline pokopen-convert | cat %7.3f s\n", base
    printf "  sed / pokopen-convert          %7.1fx (target: at least 20x)\n", sed / jall
    printf "  pokopen-convert / cat | cat    %7.2fx (target: at most 3x)\n", jall / cat
    printf "  -j 1 / all jobs, | cat        %7.2fx\n", j1 / jall
    # Without cat taking its share of the cores.
    printf "  -j 1 / all jobs, > null       %7.2fx (target: at least 1.7x on 2 cores)\n", j1null / jallnull
    if (base > 0) printf "  baseline / pokopen-convert     %7.2fx\n", base / jall
  }'
done

if [ "$big" -gt 0 ]; then
  one=$work/prose.txt
  : >"$work/big.txt"
  while [ "$(wc -c <"$work/big.txt")" -lt $((big * 1048576)) ]; do
    cat "$one" >>"$work/big.txt"
  done
  for kind in $kinds; do [ "$kind" = prose ] || rm -f "$work/$kind.txt"; done
  bytes=$(wc -c <"$work/big.txt")
  echo "== peak resident memory, $flags -o FILE, on $bytes bytes =="
  peak() {
    /usr/bin/time -f %M -o "$work/rss" "$@" -o "$work/out.txt" "$work/big.txt"
    rm -f "$work/out.txt"
    awk -v r="$(tail -n 1 "$work/rss")" 'BEGIN { printf "%.1f MiB\n", r / 1024 }'
  }
  echo "  pokopen-convert                $(peak "$convert" $flags)"
  if [ -n "$baseline" ]; then
    echo "  baseline pokopen-convert       $(peak "$baseline/cli/pokopen-convert" $flags)"
  fi
fi
