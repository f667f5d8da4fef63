#!/bin/sh
# Starts an installed Orv Quillet program (quillet-gui or quillet, after this script's name).
# The program keeps the default project, the templates and the menu layout in its program
# folder, which must be writable: each user gets a folder of their own (QUILLET_HOME), filled
# from the installed copy the first time.
set -e
installed="$(dirname "$(readlink -f "$0")")/../lib/orv-quillet"
home="${QUILLET_HOME:-${XDG_DATA_HOME:-$HOME/.local/share}/orv-quillet}"
if [ ! -d "$home" ]; then
  mkdir -p "$home"
  cp -R "$installed/Templates" "$installed/quillet-help" "$installed/qlogo.dat" "$home/" 2>/dev/null || true
fi
QUILLET_HOME="$home"
export QUILLET_HOME
exec "$installed/$(basename "$0")" "$@"
