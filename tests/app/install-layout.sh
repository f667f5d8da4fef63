#!/bin/sh
# Installs the build into a scratch prefix and checks what it lays out: both executables in bin/,
# the program's shared files (help pages, logo, sample templates) in share/orv-quillet, which the
# installed command line finds without QUILLET_HOME (the templates reach the user's own program
# folder), and the files of the desktop, the manual and the shell.
# Usage: install-layout.sh <build folder> <scratch folder>
set -eu
build=$1
scratch=$2
rm -rf "$scratch"
mkdir -p "$scratch"
cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
prefix="$scratch/prefix"
for f in bin/quillet bin/quillet-gui share/orv-quillet/qlogo.dat share/orv-quillet/quillet-help/index.htm \
         share/orv-quillet/quillet-help/l1.htm share/orv-quillet/quillet-help/l2.htm \
         share/orv-quillet/Templates/Newsletter.tmpl share/orv-quillet/Templates/Invitation.tmpl \
         share/applications/orv-quillet.desktop share/icons/hicolor/256x256/apps/orv-quillet.png \
         share/icons/hicolor/16x16/apps/orv-quillet.png share/mime/packages/orv-quillet.xml \
         share/metainfo/io.github.orvquillet.Quillet.metainfo.xml share/man/man1/quillet.1.gz \
         share/man/man1/quillet-gui.1.gz share/bash-completion/completions/quillet \
         share/doc/orv-quillet/copyright share/doc/orv-quillet/changelog.gz; do
  [ -e "$prefix/$f" ] || { echo "missing $f" >&2; exit 1; }
done
[ -x "$prefix/bin/quillet-gui" ] && [ -x "$prefix/bin/quillet" ] || { echo "programs not executable" >&2; exit 1; }
[ ! -e "$prefix/lib/orv-quillet" ] || { echo "left in lib/orv-quillet" >&2; exit 1; }
grep -q '^Exec=quillet-gui %f$' "$prefix/share/applications/orv-quillet.desktop"
# The installed program gives the user a program folder of their own, with the installed templates.
listed=$(HOME="$scratch/home" XDG_DATA_HOME= QUILLET_HOME= "$prefix/bin/quillet" template list)
echo "$listed" | grep -q '^Newsletter' || { echo "templates not listed: $listed" >&2; exit 1; }
[ -f "$scratch/home/.local/share/orv-quillet/Templates/Newsletter.tmpl" ] || { echo "user program folder not filled" >&2; exit 1; }
echo "install layout: ok"
