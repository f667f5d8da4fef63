#!/bin/sh
# Starts the real desktop program under Xvfb with a sample project remembered as the last used
# one, chooses "Open last used project" in the start-up dialog, takes a screenshot of the main
# window (kept as <output>/main-window.png) and ends the program with its Exit key (Alt+F4).
# Usage: xvfb-smoke.sh <quillet-gui> <app_smoke_driver> <output folder>
set -eu
gui=$1
driver=$2
out=$3
rm -rf "$out"
mkdir -p "$out/home" "$out/config" "$out/runtime"
chmod 700 "$out/runtime"
bin=$(dirname "$gui")
cp -R "$bin/Templates" "$bin/quillet-help" "$bin/qlogo.dat" "$out/home/"

export QUILLET_HOME="$out/home" XDG_CONFIG_HOME="$out/config" XDG_RUNTIME_DIR="$out/runtime"
export QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8
unset WAYLAND_DISPLAY

exec xvfb-run -a -s "-screen 0 1024x700x24" sh -eu -c '
  gui=$1; driver=$2; out=$3
  QT_QPA_PLATFORM=offscreen "$driver" prepare "$QUILLET_HOME" "Sample project.oqf"
  "$gui" >"$out/gui.log" 2>&1 &
  pid=$!
  fail() { echo "smoke: $1" >&2; kill $pid 2>/dev/null || true; cat "$out/gui.log" >&2; exit 1; }
  dialog=$(timeout 30 xdotool search --sync --onlyvisible --name "^Select project\$" | head -n 1) || fail "no start-up dialog"
  sleep 0.5
  xdotool windowfocus --sync "$dialog" || true
  # The first choice has the focus: "Open last used project".
  xdotool key space
  main=$(timeout 30 xdotool search --sync --onlyvisible --name "^Orv Quillet:Sample project.oqf\$" | head -n 1) \
    || fail "the sample project did not open"
  sleep 1
  "$driver" screenshot "$out/main-window.png" || fail "no screenshot"
  xdotool windowfocus --sync "$main" || true
  xdotool key alt+F4
  status=0
  timeout 20 sh -c "while kill -0 $pid 2>/dev/null; do sleep 0.2; done" || fail "the program did not end"
  wait $pid || status=$?
  [ "$status" -eq 0 ] || fail "exit status $status"
  [ -s "$out/main-window.png" ] || fail "empty screenshot"
  grep -q "Project%20Name=.*Sample project.oqf" "$XDG_CONFIG_HOME/Orv/Quillet.conf" || fail "settings not written"
  echo "smoke: ok, screenshot in $out/main-window.png"
' smoke "$gui" "$driver" "$out"
