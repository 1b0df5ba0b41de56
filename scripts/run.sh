#!/usr/bin/env bash
# Sets up, builds and opens ぽこぺん. Without a display it says so and shows
# instead what the converter makes of a sample text in all six styles.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh run
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DPOKOPEN_TESTS=OFF -DPOKOPEN_BENCH=OFF >/dev/null
cmake --build build -j"$(nproc)" --target pokopen pokopen-convert

status=0
build/ui/pokopen "$@" || status=$?
if [ "$status" -ne 3 ]; then
  exit "$status"
fi

echo "Showing the conversion of samples/sample.txt in every style instead:"
styles=("標準ぽこる語" "元気なぽこる語" "お悩みぽこる語" "ぷちこにゅ" "でじこにょ" "ぴよこぴょ")
for style in 0 1 2 3 4 5; do
  echo
  echo "== ${styles[$style]} (--style=$style --force) =="
  build/cli/pokopen-convert --style="$style" --force samples/sample.txt
done
