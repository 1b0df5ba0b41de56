#!/usr/bin/env bash
# The JavaScript package against the native converter:
#   bench/js/compare.sh BUILD [RUNS]
# BUILD holds a native build (cli/pokopen-convert, bench/texts/pokopen-bench-text);
# js/dist the built package (scripts/build-wasm.sh). Prints the gzip sizes of
# what a browser loads, then the median time to convert 32 MiB of each text
# (-s 1 --pokoru --force, UTF-8 in and out): pokopen-convert -j 1 file to
# file, and in Node convert() on a string and file to file through
# decode/convert/encode. Real documents need debian-reference-ja and manpages-ja.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:?usage: compare.sh BUILD [RUNS]}
runs=${2:-5}

echo "| file | bytes | gzip -9 |"
echo "|---|---:|---:|"
total=0
for file in js/dist/pokopen.wasm js/dist/core.js js/dist/browser.js; do
  size=$(gzip -9c "$file" | wc -c)
  total=$((total + size))
  echo "| $(basename "$file") | $(wc -c <"$file") | $size |"
done
echo "| together | | $total |"
echo

texts=$(mktemp -d)
trap 'rm -rf "$texts"' EXIT
"$build/bench/texts/pokopen-bench-text" prose 32M >"$texts/prose.txt"
"$build/bench/texts/pokopen-bench-text" technical 32M >"$texts/technical.txt"
bench/texts/real-documents.sh manual 32M >"$texts/manual.txt"
bench/texts/real-documents.sh manpages 32M >"$texts/manpages.txt"
node bench/js/speed.mjs "$build/cli/pokopen-convert" "$runs" "$texts"/{prose,technical,manual,manpages}.txt
