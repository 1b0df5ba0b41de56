#!/usr/bin/env bash
# Builds pokopen.wasm, the npm package and the web page, and serves the page
# on http://localhost:8080/ (localhost only; PORT=N for another port).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/build-wasm.sh
cd web
npm ci --no-audit --no-fund --loglevel=error
node build.mjs >/dev/null
exec node serve.mjs --port="${PORT:-8080}"
