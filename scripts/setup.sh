#!/usr/bin/env bash
# Installs the Debian packages a purpose needs and that are missing:
#   scripts/setup.sh run       build and run the program
#   scripts/setup.sh package   build the Debian packages as well
#   scripts/setup.sh web       build the WebAssembly module, npm package and web page
#   scripts/setup.sh test      run every test and check the packages as well
set -euo pipefail

run_packages=(cmake g++ make qt6-base-dev fonts-ipafont-gothic librsvg2-bin)
package_packages=(debhelper libgtest-dev libgmock-dev)
test_packages=(libbenchmark-dev xvfb xauth x11-utils imagemagick clang libclang-rt-14-dev
               qt6-translations-l10n lintian desktop-file-utils appstream man-db
               pkgconf)
# Emscripten for pokopen.wasm; Node and npm from Debian unless already there.
web_packages=(emscripten librsvg2-bin)
command -v npm >/dev/null || web_packages+=(nodejs npm)
# The page's tests: a real browser and a real Japanese document.
web_test_packages=(chromium debian-reference-ja)
# The Python module: its build, and its tests with the Dask recipe on real
# Japanese documents (manual pages).
package_packages+=(dh-python python3-dev)
test_packages+=(python3-pytest python3-dask python3-distributed manpages-ja)

case "${1:-run}" in
  run) wanted=("${run_packages[@]}") ;;
  package) wanted=("${run_packages[@]}" "${package_packages[@]}") ;;
  web) wanted=("${web_packages[@]}") ;;
  test) wanted=("${run_packages[@]}" "${package_packages[@]}" "${test_packages[@]}"
                "${web_packages[@]}" "${web_test_packages[@]}") ;;
  *) echo "usage: $0 run|package|web|test" >&2; exit 2 ;;
esac

missing=()
for package in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
as_root=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "Please install as root: ${missing[*]}" >&2; exit 1; }
  as_root=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
