#!/usr/bin/env bash
# Checks the five packages in a folder (default out/) as a person installing
# them would, and leaves the machine as it found it:
#   scripts/check-packages.sh [FOLDER]
# lintian on all five; install them with apt-get; the converter, the manual
# pages, the desktop entry, the metainfo and the icons in their installed
# places; the window started through its desktop entry on a virtual display;
# the library's examples built against the installed development package and
# run; then removal, after which nothing of the packages' own files may be
# left. A machine that already has one of the packages installed keeps it:
# only lintian runs there. Needs root or sudo.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
folder=$(cd "${1:-$root/out}" && pwd)
app=org.example.pokopen
packages=(pokopen pokopen-convert libpokopen1 libpokopen-dev)
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

# Known to dpkg in any state: installed, unpacked, or its configuration kept.
known() {
  local status
  status=$(dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null) && [ "$status" != not-installed ]
}

# Purges the packages; called only once this script has installed them.
ours=0
remove_packages() {
  [ "$ours" -eq 1 ] || return 0
  local present=()
  for package in "${packages[@]}"; do
    if known "$package"; then
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

debs=()
for package in "${packages[@]}"; do
  debs+=("$(the_deb "$package")")
done

echo "== lintian"
lintian --fail-on error,warning --pedantic --display-info "${debs[@]}"

already=()
for package in "${packages[@]}"; do
  if known "$package"; then
    already+=("$package $(dpkg-query -W -f='${Version}' "$package")")
  fi
done
if [ ${#already[@]} -gt 0 ]; then
  echo "check-packages: SKIPPED installing, trying and removing the packages: this machine"
  echo "  already has $(printf '%s, ' "${already[@]}" | sed 's/, $//'), which would be replaced and then"
  echo "  removed. Remove them first (apt-get purge) to run the whole check; lintian has run."
  exit 0
fi

echo "== install"
ours=1
"${as_root[@]}" apt-get install -y -qq "${debs[@]}" >/dev/null
for package in "${packages[@]}"; do
  installed "$package" || fail "$package is not installed"
done
for package in pokopen-convert libpokopen1 libpokopen-dev; do
  if dpkg-query -W -f='${Depends}\n' "$package" | grep -qi qt; then
    fail "$package depends on Qt: $(dpkg-query -W -f='${Depends}' "$package")"
  fi
done
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
for page in pokopen-convert.1 pokopen.1 libpokopen.3; do
  path=$(man -w "${page##*.}" "${page%.*}")
  echo "$path"
  # -l formats the page without leaving a formatted copy in man's cache.
  man -P cat -l "$path" >"$work/page.man" 2>/dev/null
  grep -q 'SYNOPSIS' "$work/page.man" || fail "man $page shows no page"
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

echo "== libpokopen: its symbols, and the examples built against the installed package"
library=$(dpkg -L libpokopen1 | grep '/libpokopen\.so\.1$')
others=$(nm -D --defined-only "$library" | awk '{print $3}' | grep -v -e '^pokopen_' -e '^LIBPOKOPEN_1$' || true)
[ -z "$others" ] || fail "$library exports more than pokopen_*: $others"
echo "$library exports $(nm -D --defined-only "$library" | grep -c ' pokopen_') pokopen_* functions and nothing else"
echo "pkg-config: pokopen $(pkg-config --modversion pokopen): $(pkg-config --cflags --libs pokopen)"
cp -r /usr/share/doc/libpokopen-dev/examples "$work/examples"
make -s -C "$work/examples" CFLAGS='-O2 -Wall -Wextra -Wpedantic -Werror'
cmake -S "$work/examples" -B "$work/examples/build" -DCMAKE_CXX_FLAGS='-Wall -Wextra -Werror' >/dev/null
cmake --build "$work/examples/build" >/dev/null
sh "$root/tests/capi/examplesRun.sh" "$work/examples/convert" "$work/examples/build/convert-cpp" ||
  fail "the examples built against the installed package do not work"
"$work/examples/convert" 1 'わたしは学生です。'
printf 'あなたです。\r\nでした。\n' | "$work/examples/build/convert-cpp" 4
printf 'ab\377' | "$work/examples/convert" 2>&1 || true

echo "== removal"
remove_packages
ours=0
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
# dpkg's own records of the packages (their file lists, scripts, sums).
for package in "${packages[@]}"; do
  for record in /var/lib/dpkg/info/"$package".* /var/lib/dpkg/info/"$package":*.*; do
    if [ -e "$record" ]; then
      fail "$record is left after removal"
    fi
  done
done
echo "All five packages installed, checked and removed cleanly."
