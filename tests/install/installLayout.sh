#!/bin/sh
# Installs each component under a DESTDIR and the whole build under a prefix,
# and compares what lands there with the files each package is to hold.
# Usage: installLayout.sh BUILD-DIR STAGING-DIR POKOPEN-CONVERT LIBDIR EXAMPLES-DIR
build=$1
staging=$2
converter=$3
libdir=$4
examples=$5
status=0

app=org.example.pokopen
convert_files="bin/pokopen-convert
share/bash-completion/completions/pokopen-convert
share/man/man1/pokopen-convert.1"
window_files="bin/pokopen
share/applications/$app.desktop
share/metainfo/$app.metainfo.xml
share/man/man1/pokopen.1
share/icons/hicolor/scalable/apps/$app.svg"
for size in 16 32 48 64 128 256; do
  window_files="$window_files
share/icons/hicolor/${size}x${size}/apps/$app.png"
done
library_files="$libdir/libpokopen.so.1
$libdir/libpokopen.so.1.0.2000"
# The CMake file of the build type is named PokopenTargets-CONFIG.cmake here.
dev_files="$libdir/libpokopen.so
include/pokopen.h
include/pokopen.hpp
$libdir/pkgconfig/pokopen.pc
$libdir/cmake/Pokopen/PokopenConfig.cmake
$libdir/cmake/Pokopen/PokopenConfigVersion.cmake
$libdir/cmake/Pokopen/PokopenTargets.cmake
$libdir/cmake/Pokopen/PokopenTargets-CONFIG.cmake
share/man/man3/libpokopen.3"
for example in README.md convert.c convert.cpp Makefile CMakeLists.txt; do
  dev_files="$dev_files
$examples/$example"
done

# The Python package, where the build has one: every file of it as built.
python_dir=$(sed -n 's/^POKOPEN_PYTHON_DIR:STRING=//p' "$build/CMakeCache.txt")
python_files=
if [ -n "$python_dir" ]; then
  python_files=$(cd "$build/python" && find pokopen -type f ! -path '*/__pycache__/*' | sed "s|^|$python_dir/|")
fi

# compare LABEL ROOT EXPECTED: the files under ROOT are exactly EXPECTED.
compare() {
  printf '%s\n' "$3" | sort >"$staging/expected"
  (cd "$2" && find . ! -type d | sed -e 's|^\./||' -e 's|PokopenTargets-.*\.cmake|PokopenTargets-CONFIG.cmake|' |
    sort) >"$staging/installed"
  if ! diff "$staging/expected" "$staging/installed" >"$staging/difference"; then
    echo "$1: installed files differ from the expected ones (< expected, > installed):"
    cat "$staging/difference"
    status=1
  fi
}

rm -rf "$staging"
mkdir -p "$staging"
for component in pokopen-convert pokopen libpokopen1 libpokopen-dev; do
  DESTDIR="$staging/$component" cmake --install "$build" --prefix /usr \
    --component "$component" >/dev/null || status=1
done
compare "component pokopen-convert" "$staging/pokopen-convert/usr" "$convert_files"
compare "component pokopen" "$staging/pokopen/usr" "$window_files"
if [ -n "$python_files" ]; then
  DESTDIR="$staging/python3-pokopen" cmake --install "$build" --prefix /usr \
    --component python3-pokopen >/dev/null || status=1
  compare "component python3-pokopen" "$staging/python3-pokopen/usr" "$python_files"
fi
compare "component libpokopen1" "$staging/libpokopen1/usr" "$library_files"
compare "component libpokopen-dev" "$staging/libpokopen-dev/usr" "$dev_files"

cmake --install "$build" --prefix "$staging/prefix" >/dev/null || status=1
compare "--prefix" "$staging/prefix" "$(printf '%s\n' "$convert_files" "$window_files" \
  "$library_files" "$dev_files" "$python_files" | sed '/^$/d')"

if objdump -p "$converter" | grep -q 'NEEDED.*Qt'; then
  echo "pokopen-convert links Qt:"
  objdump -p "$converter" | grep NEEDED
  status=1
fi
exit $status
