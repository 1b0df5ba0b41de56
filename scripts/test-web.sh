#!/usr/bin/env bash
# Builds pokopen.wasm and the npm package, tests the package from its packed
# tarball, then tests the web page in Debian's Chromium; both compare their
# conversions with the native pokopen-convert of build-test (built first).
set -euo pipefail
cd "$(dirname "$0")/.."

export POKOPEN_CONVERT="$PWD/build-test/cli/pokopen-convert"
[ -x "$POKOPEN_CONVERT" ] || { echo "test-web.sh: build $POKOPEN_CONVERT first" >&2; exit 1; }

scripts/build-wasm.sh
(cd js && npm test)
cd web
npm ci --no-audit --no-fund --loglevel=error
node build.mjs >/dev/null
npm test
