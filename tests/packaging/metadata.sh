#!/bin/bash
# The desktop entry, the AppStream metainfo and the type of project files pass the validators
# Debian checks them with, and agree with each other: the entry opens the type the type file
# registers, and the metainfo launches the entry.
# Usage: metadata.sh <packaging source folder> <packaging build folder>
set -euo pipefail
src=$1
gen=$2
desktop-file-validate "$src/orv-quillet.desktop"
appstreamcli validate --no-net "$gen/io.github.orvquillet.Quillet.metainfo.xml"
type=$(sed -n 's/.*<mime-type type="\([^"]*\)".*/\1/p' "$src/orv-quillet-mime.xml")
[ "$type" = application/x-orv-quillet-project ] || { echo "project file type: $type" >&2; exit 1; }
grep -q '<glob pattern="\*\.oqf"/>' "$src/orv-quillet-mime.xml"
grep -qx "MimeType=$type;" "$src/orv-quillet.desktop"
grep -qx 'Exec=quillet-gui %f' "$src/orv-quillet.desktop"
grep -q '<launchable type="desktop-id">orv-quillet.desktop</launchable>' "$gen/io.github.orvquillet.Quillet.metainfo.xml"
echo "metadata: ok"
