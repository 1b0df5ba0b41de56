#!/usr/bin/env bash
# Checks the two packages in a folder (default out/) as a person installing
# them would, and leaves the machine as it found it:
#   scripts/check-packages.sh [FOLDER]
# lintian on both; install them with apt-get; the converter, its manual page,
# the desktop entry, the metainfo and the icons in their installed places; the
# window started through its desktop entry on a virtual display; then removal,
# after which nothing of them may be left. Needs root or sudo.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
folder=$(cd "${1:-$root/out}" && pwd)
app=org.example.pokopen
packages=(pokopen pokopen-convert)
# The Python module, tested as installed with its pytest suite.
packages+=(python3-pokopen)

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  as_root=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive

fail() {
  echo "check-packages: $*" >&2
  exit 1
}

the_deb() {
  local found=("$folder/$1"_*.deb)
  [ ${#found[@]} -eq 1 ] && [ -f "${found[0]}" ] || fail "expected one $1_*.deb in $folder"
  printf '%s\n' "${found[0]}"
}

installed() {
  dpkg-query -W -f='${Status}\n' "$1" 2>/dev/null | grep -q ' installed$'
}

remove_packages() {
  local present=()
  for package in "${packages[@]}"; do
    if dpkg-query -W "$package" >/dev/null 2>&1; then
      present+=("$package")
    fi
  done
  if [ ${#present[@]} -gt 0 ]; then
    echo "purging ${present[*]}"
    "${as_root[@]}" apt-get purge -y -qq "${present[@]}" >/dev/null
  fi
}

work=$(mktemp -d)
trap 'remove_packages; rm -rf "$work"' EXIT

debs=("$(the_deb pokopen)" "$(the_deb pokopen-convert)")
debs+=("$(the_deb python3-pokopen)")

echo "== lintian"
lintian --fail-on error,warning --pedantic --display-info "${debs[@]}"

echo "== install"
remove_packages
"${as_root[@]}" apt-get install -y -qq "${debs[@]}" >/dev/null
for package in "${packages[@]}"; do
  installed "$package" || fail "$package is not installed"
done
if dpkg-query -W -f='${Depends}\n' pokopen-convert | grep -qi qt; then
  fail "pokopen-convert depends on Qt: $(dpkg-query -W -f='${Depends}' pokopen-convert)"
fi
dpkg -L "${packages[@]}" | grep -v '^$' | sort -u >"$work/listed"
grep -v '^/\.$' "$work/listed" | while read -r path; do
  [ -d "$path" ] || printf '%s\n' "$path"
done >"$work/files"
echo "installed files:"
sed 's/^/  /' "$work/files"

echo "== pokopen-convert"
[ "$(command -v pokopen-convert)" = /usr/bin/pokopen-convert ] ||
  fail "pokopen-convert is not /usr/bin/pokopen-convert"
/usr/bin/pokopen-convert --style=1 --force "$root/samples/sample.txt" >"$work/style1.txt"
grep -q 'りゅん' "$work/style1.txt" || fail "the sample did not come out in ぽこる語"
/usr/bin/pokopen-convert --style=5 --force <"$root/samples/sample.txt" >"$work/style5.txt"
grep -q 'ぴょ' "$work/style5.txt" || fail "standard input did not come out in ぴよこぴょ"
head -n 3 "$work/style1.txt"
for page in pokopen-convert pokopen; do
  man -w "$page"
  # -l formats the page without leaving a formatted copy in man's cache.
  man -P cat -l "$(man -w "$page")" >"$work/$page.man" 2>/dev/null
  grep -q 'SYNOPSIS' "$work/$page.man" || fail "man $page shows no page"
done

echo "== desktop entry, metainfo and icons"
desktop=/usr/share/applications/$app.desktop
desktop-file-validate "$desktop"
appstreamcli validate --no-net "/usr/share/metainfo/$app.metainfo.xml"
for size in 16 32 48 64 128 256; do
  icon=/usr/share/icons/hicolor/${size}x${size}/apps/$app.png
  [ "$(identify -format '%wx%h' "$icon")" = "${size}x${size}" ] || fail "$icon is not ${size}x${size}"
done
[ -f "/usr/share/icons/hicolor/scalable/apps/$app.svg" ] || fail "no scalable icon"

echo "== the window, started by its desktop entry's Exec line"
command=$(sed -n 's/^Exec=//p' "$desktop" | sed 's/ *%[fFuUdDnNickvm]//g')
[ "$(command -v "$command")" = /usr/bin/pokopen ] || fail "Exec=$command does not start /usr/bin/pokopen"
sh "$root/tests/ui/xvfbSmoke.sh" "$command" "$work/smoke" || fail "the installed window did not show"

echo "== python3-pokopen"
# From a folder outside the tree, so that only the installed module imports.
module=$(cd "$work" && /usr/bin/python3 -c 'import pokopen; print(pokopen.__file__)')
[ "$module" = /usr/lib/python3/dist-packages/pokopen/__init__.py ] ||
  fail "import pokopen found $module"
(cd "$work" && PYTHONDONTWRITEBYTECODE=1 POKOPEN_CONVERT=/usr/bin/pokopen-convert \
  /usr/bin/python3 -m pytest -p no:cacheprovider -q "$root/tests/python") ||
  fail "the tests of the installed Python module failed"

echo "== removal"
remove_packages
for package in "${packages[@]}"; do
  if dpkg-query -W "$package" >/dev/null 2>&1; then
    fail "$package is still known to dpkg"
  fi
done
while read -r path; do
  if [ -e "$path" ] || [ -L "$path" ]; then
    fail "$path is left after removal"
  fi
done <"$work/files"
grep -v '^/\.$' "$work/listed" | while read -r path; do
  if [ -d "$path" ] && ! dpkg-query -S "$path" >/dev/null 2>&1; then
    fail "the folder $path is left after removal"
  fi
done
left=$(find /usr /etc /var /opt \( -path "$root" -o -path "$folder" \) -prune -o \
  -name '*pokopen*' -print 2>/dev/null || true)
[ -z "$left" ] || fail "left after removal: $left"
echo "Both packages installed, checked and removed cleanly."
