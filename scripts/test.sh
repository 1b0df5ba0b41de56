#!/usr/bin/env bash
# Sets up, builds and runs every test: the whole suite with warnings as
# errors, then the engine, codec, common and converter tests again under
# AddressSanitizer and UndefinedBehaviorSanitizer, the threaded parts' and the
# library's tests under ThreadSanitizer, then the WebAssembly build, the npm
# package and the web page in Chromium, then a short fuzzing run,
# then the Debian packages: built, checked with lintian, installed, tried and
# removed again.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh test
jobs="$(nproc)"

cmake -S . -B build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPOKOPEN_WERROR=ON >/dev/null
cmake --build build-test -j"$jobs"
ctest --test-dir build-test --output-on-failure -j"$jobs"

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DPOKOPEN_WERROR=ON -DPOKOPEN_SANITIZE=address \
  -DPOKOPEN_GUI=OFF -DPOKOPEN_BENCH=OFF >/dev/null
cmake --build build-asan -j"$jobs"
ctest --test-dir build-asan --output-on-failure -j"$jobs"

# The tests of the parts that run threads (the stream unit, the writer's
# signals and naming child, the converter, the library's C interface) again
# under ThreadSanitizer.
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPOKOPEN_WERROR=ON \
  -DPOKOPEN_SANITIZE=thread -DPOKOPEN_GUI=OFF -DPOKOPEN_BENCH=OFF >/dev/null
cmake --build build-tsan -j"$jobs" --target pokopen_stream_tests pokopen_files_tests \
  pokopen_cli_tests pokopen_capi_tests pokopen_wrapper_tests
ctest --test-dir build-tsan --output-on-failure -j"$jobs" -L 'threads|library' -E pokopen_examples

# The WebAssembly build, the npm package and the web page, compared with the
# pokopen-convert built above.
scripts/test-web.sh

if [ -x fuzz/run.sh ]; then
  fuzz/run.sh 60
fi

# The tests have run above, so the package build skips them.
started=$SECONDS
DEB_BUILD_OPTIONS="nocheck noddebs parallel=$jobs" scripts/build-packages.sh out
scripts/check-packages.sh out
echo "Packages built, installed, checked and removed in $((SECONDS - started)) s."
echo "All tests passed."
