#!/bin/sh
# Writes real Japanese documents from Debian's packages to standard output,
# repeated until SIZE bytes and ended at a line break:
#   bench/texts/real-documents.sh KIND SIZE
# KIND is
#   manual      the Debian reference in Japanese, as plain text: a technical
#               manual, mostly ASCII in short lines, Japanese and ASCII
#               changing every few characters (debian-reference-ja)
#   manpages    the Japanese manual pages, formatted 80 columns wide
#               (manpages-ja, man-db)
#   catalogues  the Japanese message catalogues of the installed packages,
#               as message and translation side by side, in UTF-8 (gettext)
#   guides      the Debian new maintainers' guide and developer's reference
#               in Japanese (maint-guide-ja, developers-reference-ja)
# SIZE is bytes, or a number followed by K or M. The texts are UTF-8 with LF.
# Nothing is installed: a missing package is named and the script fails.
set -eu

kind=${1:?usage: real-documents.sh KIND SIZE}
size=${2:?usage: real-documents.sh KIND SIZE}
case $size in
  *K) bytes=$((${size%K} * 1024)) ;;
  *M) bytes=$((${size%M} * 1048576)) ;;
  *) bytes=$size ;;
esac

need() {
  [ -e "$2" ] || { echo "real-documents.sh: $1 needs the Debian package $3" >&2; exit 1; }
}

# One copy of the documents of a kind.
documents() {
  case $kind in
    manual)
      file=/usr/share/debian-reference/debian-reference.ja.txt.gz
      need manual "$file" debian-reference-ja
      zcat "$file"
      ;;
    manpages)
      need manpages /usr/share/man/ja/man1 manpages-ja
      # Formatting every page takes minutes; 4 MiB of them, or SIZE, serve.
      formatted=0
      for page in /usr/share/man/ja/man1/*; do
        [ "$formatted" -lt "$bytes" ] && [ "$formatted" -lt 4194304 ] || break
        text=$(MANWIDTH=80 man -l "$page" 2>/dev/null | col -b)
        printf '%s\n' "$text"
        formatted=$((formatted + ${#text}))
      done
      ;;
    catalogues)
      need catalogues /usr/bin/msgunfmt gettext
      for catalogue in /usr/share/locale/ja/LC_MESSAGES/*.mo; do
        msgunfmt "$catalogue" 2>/dev/null | msgconv --to-code=UTF-8 2>/dev/null || true
      done
      ;;
    guides)
      need guides /usr/share/doc/maint-guide-ja/maint-guide.ja.txt.gz maint-guide-ja
      need guides /usr/share/developers-reference/ja/_sources developers-reference-ja
      zcat /usr/share/doc/maint-guide-ja/maint-guide.ja.txt.gz
      cat /usr/share/developers-reference/ja/_sources/*.txt
      ;;
    *)
      echo "real-documents.sh: unknown kind '$kind' (manual, manpages, catalogues or guides)" >&2
      exit 2
      ;;
  esac
}

one=$(mktemp)
trap 'rm -f "$one" "$one.part"' EXIT
documents >"$one"
[ -s "$one" ] || { echo "real-documents.sh: no documents of kind $kind" >&2; exit 1; }
# Whole copies, then the start of one more, cut after its last line break.
copies=$((bytes / $(wc -c <"$one")))
i=0
while [ "$i" -lt "$copies" ]; do
  cat "$one"
  i=$((i + 1))
done
head -c $((bytes % $(wc -c <"$one"))) "$one" >"$one.part"
if [ -n "$(tail -c 1 "$one.part")" ]; then
  sed '$d' "$one.part"
else
  cat "$one.part"
fi
