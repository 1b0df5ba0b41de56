#!/bin/sh
# Without a display the program says so in one line and ends with status 3.
program=$1
status=0

check() {
  label=$1
  expected=$2
  shift 2
  output=$("$@" 2>&1 >/dev/null)
  code=$?
  if [ "$code" -ne 3 ]; then
    echo "$label: exit status $code, expected 3"
    status=1
  fi
  lines=$(printf '%s\n' "$output" | wc -l)
  case $output in
    $expected) ;;
    *) echo "$label: unexpected message: $output"; status=1 ;;
  esac
  if [ "$lines" -ne 1 ]; then
    echo "$label: $lines lines of messages, expected 1"
    status=1
  fi
}

check "no DISPLAY" "pokopen: no display available (DISPLAY is not set)" \
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program"
check "unreachable DISPLAY" "pokopen: no display available (*)" \
  env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=:4093 "$program"
exit $status
