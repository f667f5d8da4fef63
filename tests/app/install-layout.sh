#!/bin/sh
# Installs the build into a scratch prefix and checks the program folder it lays out: both
# executables with their launchers, the help pages, the logo, the sample templates (read back
# through the installed command line) and the desktop entry.
# Usage: install-layout.sh <build folder> <scratch folder>
set -eu
build=$1
scratch=$2
rm -rf "$scratch"
mkdir -p "$scratch"
cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
folder="$scratch/prefix/lib/orv-quillet"
for f in quillet quillet-gui qlogo.dat quillet-help/index.htm quillet-help/l1.htm quillet-help/l2.htm \
         Templates/Newsletter.tmpl Templates/Invitation.tmpl; do
  [ -e "$folder/$f" ] || { echo "missing $f" >&2; exit 1; }
done
[ -x "$scratch/prefix/bin/quillet-gui" ] && [ -x "$scratch/prefix/bin/quillet" ] || { echo "no launchers" >&2; exit 1; }
grep -q '^Exec=quillet-gui$' "$scratch/prefix/share/applications/orv-quillet.desktop"
# The launcher gives the user a program folder of their own, filled from the installed one.
listed=$(HOME="$scratch/home" XDG_DATA_HOME= QUILLET_HOME= "$scratch/prefix/bin/quillet" template list)
echo "$listed" | grep -q '^Newsletter' || { echo "templates not listed: $listed" >&2; exit 1; }
[ -f "$scratch/home/.local/share/orv-quillet/qlogo.dat" ] || { echo "user program folder not filled" >&2; exit 1; }
echo "install layout: ok"
