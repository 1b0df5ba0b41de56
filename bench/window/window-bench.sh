#!/usr/bin/env bash
# Drives the real window on a virtual X display as a person would, and times
# each step from the key press until the window answers again:
#
#   load     Ctrl+O, the path typed into the file dialog, Enter
#   convert  Ctrl+E
#   save     Ctrl+S, the path typed into the save dialog, Enter
#   type     20 characters typed at the top of the upper and of the lower box
#   page     300 Page Down presses through the upper and the lower box
#
# "Answers again" is measured with a probe that travels the same queue as the
# keys: Alt+P, which opens the ファイル menu. Qt handles keys one after the
# other, so the menu opens only once every key before it has been handled, and
# its popup window is something the X server reports without the program's
# help. The time of a step runs from its first key to the popup (the probe's
# own cost, measured on the idle window, is shown as "probe"). A modal
# progress dialog drops keys meant for the window; when one shows, the probe
# is sent again once it has gone.
#
# Also measured: the peak resident memory of the window (VmHWM) after load,
# convert and save, and pokopen-convert on the same file in the same run.
#
# Usage: window-bench.sh [--sizes=all|small|smoke] [--runs=N] BUILD [BASELINE-BUILD]
#   BUILD holds ui/pokopen, cli/pokopen-convert and bench/texts/pokopen-bench-text.
#   --sizes=small runs only the few-line and the 1 MB files (a quick check),
#   --sizes=smoke the few lines once (it only shows that the script still
#   works, and exits with 77 where Xvfb or xdotool is missing).
#   --only=NAME[,NAME...] runs only the files of these names (10mb-lf, ...).
#   --runs: how often typing and paging are repeated (the median is shown).
# Environment: BENCH_WORK (default /tmp/pokopen-window-bench) for the files,
# BENCH_STEP_TIMEOUT (seconds, default 300) after which a step counts as hung.
set -euo pipefail

sizes=all
runs=3
only=
while [[ $# -gt 0 && $1 == --* ]]; do
  case $1 in
    --sizes=*) sizes=${1#--sizes=} ;;
    --only=*) only=${1#--only=} ;;
    --runs=*) runs=${1#--runs=} ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
  shift
done
if [[ $# -lt 1 ]]; then
  sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'
  exit 2
fi
builds=("$@")
work=${BENCH_WORK:-/tmp/pokopen-window-bench}
step_timeout=${BENCH_STEP_TIMEOUT:-300}
for tool in Xvfb xdotool iconv; do
  if ! command -v "$tool" >/dev/null; then
    echo "$tool is missing" >&2
    [[ $sizes == smoke ]] && exit 77
    exit 1
  fi
done
mkdir -p "$work"
work=$(cd "$work" && pwd)

now_ms() { echo $(($(date +%s%N) / 1000000)); }
log() { echo "$*" >&2; }
trace() { [[ -z ${BENCH_TRACE:-} ]] || echo "  $(date +%T.%N | cut -c1-12) $*" >&2; }

# --- The files ---------------------------------------------------------------

generator=${builds[0]}/bench/texts/pokopen-bench-text
documents=$(cd "$(dirname "$0")/../texts" && pwd)/real-documents.sh
# name, size for the generator, what to make of its UTF-8 LF lines. 15 MiB of
# UTF-8 prose make 10 MiB in code page 932. (Lower case: xdotool types
# capitals unreliably without a delay.)
files=(
  "few-lines 2K utf8-lf"
  "1mb-lf 1M utf8-lf"
  "10mb-lf 10M utf8-lf"
  "10mb-cp932-lf 15M cp932-lf"
  "10mb-crlf 10M utf8-crlf"
  "50mb-lf 50M utf8-lf"
  "50mb-crlf 50M utf8-crlf"
  "10mb-manual-lf 10M manual-lf"
  "10mb-manual-cp932 10M manual-cp932"
)
case $sizes in
  small) files=("${files[@]:0:2}") ;;
  smoke) files=("${files[@]:0:1}") runs=1 ;;
esac
if [[ -n $only ]]; then
  chosen=()
  for entry in "${files[@]}"; do
    [[ ,$only, == *,${entry%% *},* ]] && chosen+=("$entry")
  done
  files=("${chosen[@]}")
fi

make_file() {
  local name=$1 size=$2 kind=$3 path=$work/$1.txt
  [[ -s $path ]] && return
  case $kind in
    utf8-lf) "$generator" prose "$size" >"$path" ;;
    utf8-crlf) "$generator" prose "$size" | sed 's/$/\r/' >"$path" ;;
    cp932-lf) "$generator" prose "$size" | iconv -f UTF-8 -t CP932 >"$path" ;;
    # A real technical manual, short lines of ASCII and Japanese mixed. Code
    # page 932 lacks a few of its characters (©, ...): iconv spells them out,
    # so that the save step (first filter, code page 932) asks no question.
    manual-lf)
      "$documents" manual "$size" | iconv -f UTF-8 -t CP932//TRANSLIT |
        iconv -f CP932 -t UTF-8 >"$path"
      ;;
    manual-cp932)
      "$documents" manual "$size" | sed 's/$/\r/' | iconv -f UTF-8 -t CP932//TRANSLIT >"$path"
      ;;
  esac
}

encoding_of() { [[ $1 == *cp932* ]] && echo cp932 || echo utf-8; }

# --- The display and the window ---------------------------------------------

display=
xvfb_pid=
start_display() {
  for n in $(seq 90 120); do
    if [[ ! -e /tmp/.X$n-lock ]]; then
      Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
      xvfb_pid=$!
      display=:$n
      for _ in $(seq 50); do
        if DISPLAY=$display xdotool getmouselocation >/dev/null 2>&1; then
          # Another run may have taken the number a moment before: the
          # display answering is then its, and this Xvfb has given up.
          sleep 0.3
          kill -0 "$xvfb_pid" 2>/dev/null && return
          break
        fi
        sleep 0.1
      done
      kill "$xvfb_pid" 2>/dev/null || true
    fi
  done
  echo "no virtual display could be started" >&2
  exit 1
}

app_pid=
main_window=
start_window() {
  local program=$1
  mkdir -p -m 700 "$work/runtime"
  # Qt's file dialogs keep their settings under $work, not in ~/.config.
  XDG_RUNTIME_DIR=$work/runtime XDG_CONFIG_HOME=$work/config DISPLAY=$display \
    QT_QPA_PLATFORM=xcb "$program" \
    >"$work/window.log" 2>&1 &
  app_pid=$!
  main_window=
  # A loaded machine may take many seconds to start the first window.
  local deadline=$(($(now_ms) + step_timeout * 1000))
  while (($(now_ms) < deadline)); do
    main_window=$(DISPLAY=$display xdotool search --onlyvisible --pid "$app_pid" \
      --name '^ぽこぺん$' 2>/dev/null | head -1) || true
    [[ -n $main_window ]] && break
    sleep 0.1
  done
  [[ -n $main_window ]] || { echo "the window did not appear" >&2; exit 1; }
  trace "window $main_window"
  x windowfocus --sync "$main_window"
  # Until the window has the keyboard focus, the probe goes nowhere.
  for _ in $(seq 20); do
    x key alt+p
    if wait_window "$menu_popup" shown 1; then
      x key Escape Escape
      wait_window "$menu_popup" gone
      return
    fi
  done
  echo "the window takes no keys" >&2
  exit 1
}

stop_window() {
  kill "$app_pid" 2>/dev/null || true
  wait "$app_pid" 2>/dev/null || true
}

cleanup() {
  [[ -n $app_pid ]] && stop_window
  [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null
  true
}
trap cleanup EXIT

x() { DISPLAY=$display xdotool "$@"; }

# Windows of the program that are shown and whose title matches. (--all: by
# default xdotool takes a window that meets any one of the conditions.)
visible_named() {
  x search --all --onlyvisible --pid "$app_pid" --name "$1" 2>/dev/null | head -1 || true
}

# Waits until a window of the program with this title is shown (or, with
# "gone", until none is), for at most the given seconds or the step timeout.
wait_window() {
  local title=$1 want=${2:-shown} deadline=$(($(now_ms) + ${3:-$step_timeout} * 1000))
  while (($(now_ms) < deadline)); do
    local found
    found=$(visible_named "$title")
    if [[ $want == shown && -n $found ]] || [[ $want == gone && -z $found ]]; then
      return 0
    fi
    sleep 0.005
  done
  return 1
}

# A progress dialog: a window with one of these titles other than the file
# dialog the step started from.
progress_titles='^(読み込み|変換|保存) - ぽこぺん$'
file_dialog=
progress_shown() {
  x search --all --onlyvisible --pid "$app_pid" --name "$progress_titles" 2>/dev/null |
    grep -qvx "${file_dialog:-none}"
}

# The probe: Alt+P, then the time at which the menu's popup shows. Prints the
# time in ms since the epoch, or nothing when the step timed out. The popup is
# the program's one window without a title.
menu_popup='^$'
await_answer() {
  local deadline=$(($(now_ms) + step_timeout * 1000)) dialog_seen=0
  x key alt+p
  while (($(now_ms) < deadline)); do
    if [[ -n $(visible_named "$menu_popup") ]]; then
      now_ms
      x key Escape Escape
      wait_window "$menu_popup" gone
      return 0
    fi
    if progress_shown; then
      dialog_seen=1
    elif ((dialog_seen)); then
      # The progress dialog has gone and may have taken the probe with it.
      dialog_seen=0
      refocus
      sleep 0.1
      [[ -n $(visible_named "$menu_popup") ]] || x key alt+p
    fi
    sleep 0.005
  done
  return 1
}

# Runs a step: sends the keys given as a command, then waits for the answer.
# Prints the seconds it took, or "hung".
timed() {
  local start answered
  trace "$@"
  start=$(now_ms)
  "$@"
  if answered=$(await_answer) && [[ -n $answered ]]; then
    awk -v ms=$((answered - start)) 'BEGIN { printf "%.3f", ms / 1000 }'
  else
    echo hung
  fi
}

peak_mb() {
  awk '/^VmHWM:/ { printf "%.0f", $2 / 1024 }' "/proc/$app_pid/status" 2>/dev/null || echo -
}

median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{ v[NR] = $1 } END { print (NR ? v[int((NR + 1) / 2)] : "-") }'; }

# --- The steps ----------------------------------------------------------------

# Without a window manager nobody gives the keyboard back to the window when a
# dialog closes; the script does, as a person would by clicking it.
refocus() { x windowfocus --sync "$main_window" 2>/dev/null || true; }

# Enter in a file dialog; once the dialog is gone, the window gets the keys.
press_enter() {
  local deadline=$(($(now_ms) + step_timeout * 1000))
  x key Return
  while x search --onlyvisible --all --pid "$app_pid" --name . 2>/dev/null |
    grep -qx "$file_dialog" && (($(now_ms) < deadline)); do
    sleep 0.005
  done
  refocus
}
press_convert() { x key ctrl+e; }
type_twenty() { x type --delay 0 abcdefghijklmnopqrst; }
page_down() {
  local keys=()
  for _ in $(seq 300); do keys+=(Next); done
  x key --delay 0 "${keys[@]}"
}

# Opens a file dialog with its shortcut and types the path into it.
fill_dialog() {
  local shortcut=$1 title=$2 path=$3
  trace "$title"
  x key "$shortcut"
  wait_window "^$title\$" || return 1
  file_dialog=$(visible_named "^$title\$")
  # A window that is slow to answer may not have handed the dialog the keys
  # yet; without this the first characters of the path can go astray.
  x windowfocus --sync "$file_dialog" 2>/dev/null || true
  sleep 0.3
  x key ctrl+a
  x type --delay 10 "$path"
  sleep 0.5
}

# Moves to the top of a box through its label's access key, then lets the
# window settle.
to_top() {
  x key "$1" ctrl+Home
  await_answer >/dev/null || true
}

# The median of the runs; a step that takes over ten seconds (or hangs) is
# not run again.
repeated() {
  local box_key=$1 step=$2 times=() time
  for _ in $(seq "$runs"); do
    to_top "$box_key"
    time=$(timed "$step")
    times+=("$time")
    [[ $time == hung ]] && { echo hung; return; }
    awk -v t="$time" 'BEGIN { exit !(t > 10) }' && break
  done
  echo "${times[*]}" | median
}

probe_cost() {
  local times=()
  for _ in $(seq 5); do times+=("$(timed true)"); done
  echo "${times[*]}" | median
}

convert_cli() {
  local build=$1 file=$2 enc times=()
  enc=$(encoding_of "$file")
  for _ in $(seq 3); do
    local start end
    start=$(now_ms)
    "$build/cli/pokopen-convert" -e "$enc" "$work/$file.txt" -o "$work/$file.cli-out.txt"
    end=$(now_ms)
    times+=("$(awk -v ms=$((end - start)) 'BEGIN { printf "%.3f", ms / 1000 }')")
  done
  echo "${times[*]}" | median
}

# Loads a file and converts it, without timing either.
load_and_convert() {
  if fill_dialog ctrl+o '読み込み - ぽこぺん' "$1"; then
    press_enter
    await_answer >/dev/null || true
  fi
  file_dialog=
  x key ctrl+e
  await_answer >/dev/null || true
}

# The first pass through a box: nothing below its first page is laid out yet.
first_pass() {
  to_top "$1"
  timed page_down
}

# One file through one program: prints a result line. The typing and paging
# of a few lines that the file's figures are set against are measured in the
# same window just before, so that both meet the same load of the machine.
bench_file() {
  local build=$1 label=$2 file=$3 out=$work/$3.saved.txt
  rm -f "$out"
  start_window "$build/ui/pokopen"
  local probe cli load=hung convert=hung save=hung peak=- ref=(- - - -) big=(- - - - - - - -)
  probe=$(probe_cost)
  load_and_convert "$work/few-lines.txt"
  ref=("$(repeated alt+s type_twenty)" "$(repeated alt+e type_twenty)"
       "$(repeated alt+s page_down)" "$(repeated alt+e page_down)")
  if fill_dialog ctrl+o '読み込み - ぽこぺん' "$work/$file.txt"; then
    load=$(timed press_enter)
  fi
  file_dialog=
  if [[ $load != hung ]]; then
    convert=$(timed press_convert)
  fi
  if [[ $convert != hung ]] && fill_dialog ctrl+s '保存 - ぽこぺん' "$out"; then
    save=$(timed press_enter)
    peak=$(peak_mb)
  fi
  file_dialog=
  if [[ $save != hung ]]; then
    big=("$(repeated alt+s type_twenty)" "$(repeated alt+e type_twenty)"
         "$(first_pass alt+s)" "$(first_pass alt+e)"
         "$(repeated alt+s page_down)" "$(repeated alt+e page_down)")
  fi
  stop_window
  cli=$(convert_cli "$build" "$file")
  local size
  size=$(stat -c %s "$work/$file.txt")
  echo "$label $file $size $probe $cli $load $convert $save $peak ${big[*]:0:2} ${ref[*]:0:2}" \
    "${big[*]:2:4} ${ref[*]:2:2}" | tr ' ' '\t'
}

# The figures set against their targets: load and convert against
# pokopen-convert, peak memory against the file, typing and paging against
# the same in a few lines.
ratios() {
  awk -F'\t' 'NR == 1 { next }
    function r(a, b) { return (a + 0 > 0 && b + 0 > 0) ? sprintf("%.1fx", a / b) : "-" }
    { printf "%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n", $1, $2,
        r($6, $5), r($7, $5), r($9 * 1048576, $3), r($10, $12), r($11, $13),
        r($14, $18), r($15, $19), r($16, $18), r($17, $19), $4 }' "$1"
}

# --- The run --------------------------------------------------------------------

for entry in "${files[@]}"; do
  read -r name size kind <<<"$entry"
  log "making $name"
  make_file "$name" "$size" "$kind"
done
make_file few-lines 2K utf8-lf
start_display
results=$work/results.tsv
columns=(build file bytes probe cli load convert save peakMiB type-up type-low ref-type-up
  ref-type-low page1-up page1-low page-up page-low ref-page-up ref-page-low)
(IFS=$'\t'; echo "${columns[*]}") >"$results"
for i in "${!builds[@]}"; do
  label=$([[ $i == 0 ]] && echo new || echo baseline)
  for entry in "${files[@]}"; do
    read -r name _ <<<"$entry"
    log "$label: $name"
    bench_file "${builds[$i]}" "$label" "$name" | tee -a "$results"
  done
done
log "results in $results"
column -t -s $'\t' "$results"
echo
{
  echo -e "build\tfile\tload/cli\tconvert/cli\tpeak/file\ttype-up\ttype-low\tpage1-up\tpage1-low\tpage-up\tpage-low\tprobe"
  ratios "$results"
} | column -t -s $'\t'
