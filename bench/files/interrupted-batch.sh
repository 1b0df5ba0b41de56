#!/bin/sh
# What an interrupted batch leaves behind: pokopen-convert -i (or -d into a
# folder whose files exist) over FILES files, ended by each signal at a random
# moment of the run, RUNS times per signal. Counts the temporary files left
# (.pokopen-* and .NAME.pokopen-*) and the runs that left any.
#
#   bench/files/interrupted-batch.sh CONVERT [RUNS [FILES]]
#
# Environment: MODE (-i, the default, or -d), SIGNALS (default: TERM INT HUP
# QUIT KILL), WORK (default: a new folder under TMPDIR, or /tmp; the file
# system it is on matters: unnamed files, and the time fsync takes).
set -eu

convert=$1
runs=${2:-100}
files=${3:-3000}
mode=${MODE:--i}
signals=${SIGNALS:-TERM INT HUP QUIT KILL}
work=${WORK:-$(mktemp -d "${TMPDIR:-/tmp}/pokopen-interrupt-XXXXXX")}
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/source"
i=0
while [ "$i" -lt "$files" ]; do
  printf 'わたしはあなたが好きです。\n' >"$work/source/f$i.txt"
  i=$((i + 1))
done

# A fresh batch whose targets all exist.
prepare() {
  rm -rf "$work/in" "$work/out"
  cp -r "$work/source" "$work/in"
  [ "$mode" = -d ] && cp -r "$work/source" "$work/out"
  return 0
}

# A command run in the background by a script ignores SIGINT and SIGQUIT:
# env gives them back their default action.
run() {
  cd "$work/in"
  if [ "$mode" = -d ]; then
    exec env --default-signal=INT,QUIT "$convert" -q -d ../out ./*.txt
  fi
  exec env --default-signal=INT,QUIT "$convert" -q -i ./*.txt
}

leftovers() {
  find "$work/in" "$work/out" -name '*.pokopen-*' 2>/dev/null | wc -l
}

prepare
start=$(date +%s%N)
(run)
whole=$(($(date +%s%N) - start))
echo "== $files files, pokopen-convert $mode, a whole run $((whole / 1000000)) ms, $runs runs per signal =="

for signal in $signals; do
  left=0
  runsLeaving=0
  n=0
  while [ "$n" -lt "$runs" ]; do
    prepare
    (run) &
    pid=$!
    # A moment within the run, in nanoseconds.
    delay=$(awk -v seed="$(date +%N)" -v whole="$whole" 'BEGIN { srand(seed); printf "%.4f", rand() * whole / 1e9 }')
    sleep "$delay"
    kill -s "$signal" "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    # A child that names a file finishes on its own: give it a moment.
    sleep 0.05
    count=$(leftovers)
    left=$((left + count))
    [ "$count" -gt 0 ] && runsLeaving=$((runsLeaving + 1))
    n=$((n + 1))
  done
  printf '  SIG%-5s %4d of %d runs left temporary files (%d files)\n' "$signal" "$runsLeaving" "$runs" "$left"
done
