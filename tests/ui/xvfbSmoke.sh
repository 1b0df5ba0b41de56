#!/bin/sh
# Starts the real program on a virtual X display, waits for its window, takes
# a screenshot into the build tree and ends the program again.
# Usage: xvfbSmoke.sh PROGRAM OUTPUT-FOLDER
if [ "$1" = --on-display ]; then
  program=$2
  out=$3
  "$program" &
  pid=$!
  window=
  for _ in $(seq 1 100); do
    window=$(xwininfo -name "ぽこぺん" 2>/dev/null | sed -n 's/^xwininfo: Window id: \(0x[0-9a-f]*\).*/\1/p')
    [ -n "$window" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if [ -z "$window" ]; then
    echo "the window ぽこぺん did not appear"
    kill "$pid" 2>/dev/null
    exit 1
  fi
  xwininfo -id "$window" | sed -n 's/^ *\(Width\|Height\|Map State\): */\1 /p'
  sleep 1
  status=0
  if ! import -window "$window" "$out/pokopen-window.png"; then
    echo "no screenshot"
    status=1
  else
    # An empty or unpainted window would show one or two colours only.
    colours=$(identify -format '%k' "$out/pokopen-window.png")
    echo "screenshot $out/pokopen-window.png: $colours colours"
    [ "$colours" -ge 8 ] || status=1
  fi
  if ! kill -0 "$pid" 2>/dev/null; then
    echo "the program ended by itself"
    status=1
  fi
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  exit $status
fi

if ! command -v xvfb-run >/dev/null 2>&1; then
  echo "xvfb-run is not installed: skipped"
  exit 77
fi
program=$1
out=$2
mkdir -p "$out"
export XDG_RUNTIME_DIR="$out/runtime"
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
exec xvfb-run -a -s "-screen 0 1024x768x24" sh "$0" --on-display "$program" "$out"
