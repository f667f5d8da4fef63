#!/bin/bash
# Writes the manual pages quillet.1.gz and quillet-gui.1.gz from the programs' own help, so
# that they never drift from it: help2man reads each program's --help, the include files
# (*.h2m) add what the help does not say, and the COMMANDS section of quillet(1) holds every
# command's "quillet COMMAND --help" with its options as tagged paragraphs.
# Usage: make-manpages.sh <quillet> <quillet-gui> <include folder> <output folder> <version>
set -euo pipefail
quillet=$1
gui=$2
includes=$3
out=$4
version=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The programs read their settings while starting: give them empty ones of their own.
export HOME="$work" QUILLET_HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state"
export XDG_DATA_HOME="$work/data" LC_ALL=C.UTF-8 QT_QPA_PLATFORM=offscreen
unset QUILLET_CODEPAGE

# The command words, as the overview lists them (the name fills the first 18 columns after two).
commands=$("$quillet" --help | awk '/^Commands:/ {on = 1; next} on && /^$/ {exit}
  on {name = substr($0, 3, 18); sub(/ +$/, "", name); print name}')
[ -n "$commands" ] || { echo "make-manpages: quillet --help lists no command" >&2; exit 1; }

# One command's help as roff: the usage line and description as a paragraph, each option and
# argument as a tagged paragraph (its continuation lines joined to its text).
to_roff() {
  awk '
    function esc(s) { gsub(/\\/, "\\e", s); if (s ~ /^[.\047]/) s = "\\&" s; return s }
    function term(s) { gsub(/\\/, "\\e", s); gsub(/-/, "\\-", s); return s }
    function flush() { if (tag != "") { print ".TP"; print "\\fB" term(tag) "\\fR"; print esc(text) } tag = ""; text = "" }
    /^Usage: / { sub(/^Usage: /, ""); print ".PP"; print "\\fB" term($0) "\\fR"; print ".br"; next }
    /^(Options|Arguments):$/ { flush(); print ".PP"; print "\\fI" $0 "\\fR"; list = 1; next }
    /^$/ { flush(); next }
    list && /^  [^ ]/ {
      flush(); line = substr($0, 3)
      if (match(line, /  +/)) { tag = substr(line, 1, RSTART - 1); text = substr(line, RSTART + RLENGTH) }
      else { tag = line; text = "" }
      next
    }
    list && /^   +[^ ]/ { sub(/^ +/, ""); text = (text == "" ? $0 : text " " $0); next }
    { sub(/^ +/, ""); print esc($0) }
    END { flush() }'
}

{
  echo "[COMMANDS]"
  while IFS= read -r command; do
    echo ".SS \"$command\""
    # shellcheck disable=SC2086 # the command's words are separate arguments
    "$quillet" $command --help | to_roff
  done <<<"$commands"
} >"$work/commands.h2m"

export SOURCE_DATE_EPOCH="${SOURCE_DATE_EPOCH:-$(date +%s)}"
help2man --no-info --no-discard-stderr --version-string="$version" --section=1 \
  --include="$includes/quillet.h2m" --include="$work/commands.h2m" --output="$work/quillet.1" "$quillet"
help2man --no-info --no-discard-stderr --version-string="$version" --section=1 \
  --include="$includes/quillet-gui.h2m" --output="$work/quillet-gui.1" "$gui"
mkdir -p "$out"
for page in quillet quillet-gui; do
  gzip -9n <"$work/$page.1" >"$out/$page.1.gz.new"
  mv "$out/$page.1.gz.new" "$out/$page.1.gz"
done
