#!/bin/sh
# A small mailing from the real desktop program under Xvfb: opens a project of three readers,
# types a free port for the built-in mail server into the Program options, selects the group,
# presses Ctrl+E, writes subject and body in the send window, sends through the built-in mail
# server and waits for "Mail sending complete!". Screenshots of the send window and of the
# run's end (the completion message in front with its count, the status window already closed)
# are kept as <output>/send-window.png and <output>/status-window.png, and the pre-flight check
# shown before the run as <output>/preflight.png.
# Usage: xvfb-mailing-smoke.sh <quillet-gui> <mailing_smoke_driver> <output folder>
set -eu
gui=$1
driver=$2
out=$3
common=$(cd "$(dirname "$0")/../../support" && pwd)/xvfb-smoke-common.sh
. "$common"
smoke_prepare "$gui" "$out"

smoke_in_xvfb "$out" sh -eu -c '
  gui=$1; driver=$2; out=$3
  . "$4"
  QT_QPA_PLATFORM=offscreen "$driver" prepare "$QUILLET_HOME" "Smoke mailing.oqf"
  # A free port for the built-in server, typed into the Program options.
  port=$(/usr/bin/python3 -c "import socket; s = socket.socket(); s.bind((\"127.0.0.1\", 0)); print(s.getsockname()[1])")
  "$gui" >"$out/gui.log" 2>&1 &
  pid=$!
  fail() { echo "mailing smoke: $1" >&2; "$driver" screenshot "$out/failure.png" || true; kill $pid 2>/dev/null || true; cat "$out/gui.log" >&2; exit 1; }
  step() { [ -z "${SMOKE_STEPS:-}" ] || "$driver" screenshot "$out/step-$1.png"; }

  dialog=$(smoke_find_window "^Select project\$") || fail "no start-up dialog"
  sleep 0.5
  xdotool windowfocus --sync "$dialog" || true
  step 1
  # Its first choice, "Open last used project".
  xdotool mousemove --window "$dialog" 168 58 click 1
  main=$(smoke_find_window "^Orv Quillet:Smoke mailing\$") || fail "the project did not open"
  sleep 1
  xdotool windowfocus --sync "$main" || true
  xdotool key alt+o p
  props=$(smoke_find_window "^Properties\$") || fail "no Program options"
  sleep 0.5
  xdotool windowfocus --sync "$props" || true
  step 4
  xdotool mousemove --window "$props" '"${PORT_TAB_X:-220}"' '"${PORT_TAB_Y:-20}"' click 1
  sleep 0.3
  step 5
  # From the tab of the page, Tab moves into its first field, Port.
  xdotool key Tab ctrl+a
  xdotool type --delay 20 "$port"
  sleep 0.5
  step 6
  xdotool key Return
  sleep 0.5
  xdotool windowfocus --sync "$main" || true
  step 2
  # The group list: click its first row, then Ctrl+E mails the whole group.
  eval "$(xdotool getwindowgeometry --shell "$main")"
  xdotool mousemove --window "$main" 50 '"${GROUP_ROW_Y:-135}"' click 1
  sleep 0.5
  step 3
  xdotool key ctrl+e
  send=$(smoke_find_window "^Send E-mail\$") || fail "the send window did not open"
  sleep 0.5
  xdotool windowfocus --sync "$send" || true
  xdotool type --delay 20 "Hello %NAME%"
  xdotool key Tab
  xdotool type --delay 20 "Dear %NAME%, this came through the built-in server."
  sleep 0.5
  "$driver" screenshot "$out/send-window.png" || fail "no screenshot of the send window"
  # The second toolbar button sends.
  xdotool mousemove --window "$send" '"${SEND_BUTTON_X:-40}"' '"${SEND_BUTTON_Y:-16}"' click 1
  method=$(smoke_find_window "^Send method\$") || fail "no send method dialog"
  sleep 0.3
  xdotool windowfocus --sync "$method" || true
  xdotool key Down Down Return
  # The pre-flight check lists what it found (here: no From) before anything is sent.
  preflight=$(smoke_find_window "^Pre-flight check\$") || fail "no pre-flight check"
  sleep 0.5
  "$driver" screenshot "$out/preflight.png" || fail "no screenshot of the pre-flight check"
  xdotool windowfocus --sync "$preflight" || true
  xdotool key alt+s
  done_box=$(smoke_find_window "^Orv Quillet!\$") || fail "no completion message"
  sleep 0.5
  "$driver" screenshot "$out/status-window.png" || fail "no screenshot of the status window"
  if xdotool search --onlyvisible --name "^Orv Quillet\$" >/dev/null 2>&1; then fail "an error was shown"; fi
  xdotool windowfocus --sync "$done_box" || true
  xdotool key Return
  sleep 0.5
  xdotool search --onlyvisible --name "^Status\$" >/dev/null 2>&1 && fail "the status window stayed open"
  xdotool windowfocus --sync "$send" || true
  xdotool key Escape
  sleep 0.5
  xdotool windowfocus --sync "$main" || true
  xdotool key alt+F4
  smoke_wait_for_end $pid
  [ -s "$out/send-window.png" ] && [ -s "$out/status-window.png" ] || fail "empty screenshot"
  echo "mailing smoke: ok, screenshots in $out"
' smoke "$gui" "$driver" "$out" "$common"
