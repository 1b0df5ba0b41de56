#!/usr/bin/env bash
# Builds pokopen.wasm with Emscripten (the text functions of libpokopen) and
# assembles the npm package in js/dist from it.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh web
emcmake cmake -S . -B build-wasm -DCMAKE_BUILD_TYPE=Release -DPOKOPEN_WERROR=ON >/dev/null
cmake --build build-wasm -j"$(nproc)"
(cd js && npm ci --no-audit --no-fund --loglevel=error && npm run --silent build)
