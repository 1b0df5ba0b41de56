#!/bin/sh
# Runs the example programs as their README shows them: one line, standard
# input to standard output, and an error's message. Used on the examples
# built in the tree and on those built against the installed packages.
# Usage: examplesRun.sh PROGRAM...
status=0
fail() {
  echo "$program: $*"
  status=1
}
for program in "$@"; do
  line=$("$program" 1 'わたしは学生です。')
  [ "$line" = 'ぽこりゅんっは学生だりゅん。' ] || fail "one line gave: $line"
  stream=$(printf 'あなたです。\r\nでした。' | "$program" 4)
  [ "$stream" = "$(printf 'あなただにょ。\nだったにょ。')" ] || fail "standard input gave: $stream"
  if message=$(printf 'ab\377' | "$program" 2>&1 >/dev/null); then
    fail "invalid UTF-8 did not fail"
  fi
  case $message in
    *'invalid UTF-8 at byte offset 2'*) ;;
    *) fail "the error's message is: $message" ;;
  esac
done
exit $status
