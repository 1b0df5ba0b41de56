#!/usr/bin/env bash
# Builds the Debian packages pokopen, pokopen-convert, libpokopen1 and
# libpokopen-dev and puts the .deb files into a folder (default out/):
#   scripts/build-packages.sh [FOLDER]
# dpkg-buildpackage writes beside the tree it builds, so it builds a copy of
# this tree in a temporary folder and the checkout stays as it was.
# DEB_BUILD_OPTIONS is passed on; with "nocheck" the tests are not built.
# The build's output goes to FOLDER/dpkg-buildpackage.log.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" package
out=${1:-$root/out}
mkdir -p "$out"
out=$(cd "$out" && pwd)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/pokopen"
tar -C "$root" --exclude-vcs --exclude='./build*' --exclude=./out --exclude='./obj-*' -cf - . |
  tar -C "$work/pokopen" -xf -

profiles=()
case " ${DEB_BUILD_OPTIONS:-} " in
  *" nocheck "*) profiles=(--build-profiles=nocheck) ;;
esac
log=$out/dpkg-buildpackage.log
if ! (cd "$work/pokopen" && dpkg-buildpackage -us -uc -b "${profiles[@]}") >"$log" 2>&1; then
  tail -n 60 "$log"
  echo "dpkg-buildpackage failed; its whole output is in $log" >&2
  exit 1
fi

rm -f "$out"/pokopen_*.deb "$out"/pokopen-convert_*.deb "$out"/pokopen*-dbgsym_*.deb
rm -f "$out"/libpokopen1_*.deb "$out"/libpokopen-dev_*.deb "$out"/libpokopen*-dbgsym_*.deb
mv "$work"/*.deb "$out"/
ls "$out"/*.deb
