#!/bin/sh
# Starts the real desktop program under Xvfb with a sample project remembered as the last used
# one, chooses "Open last used project" in the start-up dialog, takes a screenshot of the main
# window (kept as <output>/main-window.png), of the About box, the Customize dialog and the Mail
# Server Status window (about.png, customize.png, mail-server.png: names, labels and version
# must stand whole) and ends the program with its Exit key (Alt+F4).
# Usage: xvfb-smoke.sh <quillet-gui> <app_smoke_driver> <output folder>
set -eu
gui=$1
driver=$2
out=$3
common=$(cd "$(dirname "$0")/../support" && pwd)/xvfb-smoke-common.sh
. "$common"
smoke_prepare "$gui" "$out"

smoke_in_xvfb "$out" sh -eu -c '
  gui=$1; driver=$2; out=$3
  . "$4"
  QT_QPA_PLATFORM=offscreen "$driver" prepare "$QUILLET_HOME" "Sample project.oqf"
  "$gui" >"$out/gui.log" 2>&1 &
  pid=$!
  fail() { echo "smoke: $1" >&2; kill $pid 2>/dev/null || true; cat "$out/gui.log" >&2; exit 1; }
  dialog=$(smoke_find_window "^Select project\$") || fail "no start-up dialog"
  sleep 0.5
  xdotool windowfocus --sync "$dialog" || true
  # The first choice has the focus: "Open last used project".
  xdotool key space
  main=$(smoke_find_window "^Orv Quillet:Sample project.oqf\$") || fail "the sample project did not open"
  sleep 1
  "$driver" screenshot "$out/main-window.png" || fail "no screenshot"
  # The smaller windows whose texts must not be cut.
  xdotool windowfocus --sync "$main" || true
  xdotool key ctrl+F1
  about=$(smoke_find_window "^About Orv Quillet\$") || fail "no About box"
  sleep 0.5
  "$driver" screenshot "$out/about.png" || fail "no screenshot of About"
  xdotool windowfocus --sync "$about" || true
  xdotool key Escape
  sleep 0.3
  xdotool windowfocus --sync "$main" || true
  xdotool key alt+o c
  customize=$(smoke_find_window "^Customize") || fail "no Customize dialog"
  sleep 0.5
  "$driver" screenshot "$out/customize.png" || fail "no screenshot of Customize"
  xdotool windowfocus --sync "$customize" || true
  xdotool key Escape
  sleep 0.3
  xdotool windowfocus --sync "$main" || true
  xdotool key alt+o m
  server=$(smoke_find_window "^Mail Server Status\$") || fail "no Mail Server Status window"
  sleep 0.5
  "$driver" screenshot "$out/mail-server.png" || fail "no screenshot of the mail server window"
  xdotool windowfocus --sync "$main" || true
  xdotool key alt+F4
  smoke_wait_for_end $pid
  [ -s "$out/main-window.png" ] || fail "empty screenshot"
  grep -q "Project%20Name=.*Sample project.oqf" "$XDG_CONFIG_HOME/Orv/Quillet.conf" || fail "settings not written"
  echo "smoke: ok, screenshot in $out/main-window.png"
' smoke "$gui" "$driver" "$out" "$common"
