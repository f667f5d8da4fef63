# Sourced by the smoke scripts that drive the real desktop program under Xvfb.

# smoke_prepare <quillet-gui> <output folder>: empties the output folder and makes in it a
# program folder (home) with the program's templates, help pages and logo, a settings folder and
# a runtime folder; exports what points the program at them and at the X display.
smoke_prepare() {
  rm -rf "$2"
  mkdir -p "$2/home" "$2/config" "$2/runtime"
  chmod 700 "$2/runtime"
  for item in Templates quillet-help qlogo.dat; do
    if [ -e "$(dirname "$1")/$item" ]; then cp -R "$(dirname "$1")/$item" "$2/home/"; fi
  done
  export QUILLET_HOME="$2/home" XDG_CONFIG_HOME="$2/config" XDG_RUNTIME_DIR="$2/runtime"
  export QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8
  unset WAYLAND_DISPLAY
}

# smoke_in_xvfb <output folder> <command...>: runs the command with DISPLAY set to an Xvfb server
# of its own and ends the server afterwards; returns the command's status. The server picks a
# free display itself (-displayfd) and takes its lock file as it does: xvfb-run -a looks for a
# free number first and starts the server after, so two smoke tests starting together could
# pick the same display, and one of them then found no server ("could not connect to display").
smoke_in_xvfb() {
  smoke_display_file="$1/display"
  shift
  rm -f "$smoke_display_file"
  Xvfb -displayfd 3 -screen 0 1024x700x24 -nolisten tcp 3>"$smoke_display_file" 2>"$(dirname "$smoke_display_file")/xvfb.log" &
  smoke_xvfb=$!
  smoke_deadline=$(($(date +%s) + 30))
  until grep -q '^[0-9][0-9]*$' "$smoke_display_file" 2>/dev/null; do
    if ! kill -0 "$smoke_xvfb" 2>/dev/null || [ "$(date +%s)" -ge "$smoke_deadline" ]; then
      echo "smoke: Xvfb did not start" >&2
      cat "$(dirname "$smoke_display_file")/xvfb.log" >&2
      kill "$smoke_xvfb" 2>/dev/null || true
      return 1
    fi
    sleep 0.1
  done
  smoke_status=0
  DISPLAY=":$(cat "$smoke_display_file")" "$@" || smoke_status=$?
  kill "$smoke_xvfb" 2>/dev/null || true
  wait "$smoke_xvfb" 2>/dev/null || true
  return "$smoke_status"
}

# smoke_find_window <title pattern>: the id of a visible window of that title, waiting at most
# 30 s; fails (status 1, no output) when none shows. The search is asked again until then, as
# one search ends at once with an X error when a window closes while it looks (seen as a failure
# three seconds into a run, right after the start-up dialog closed).
smoke_find_window() {
  smoke_deadline=$(($(date +%s) + 30))
  while :; do
    found=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1) || true
    if [ -n "$found" ]; then
      echo "$found"
      return 0
    fi
    [ "$(date +%s)" -lt "$smoke_deadline" ] || return 1
    sleep 0.2
  done
}

# smoke_wait_for_end <pid>: waits at most 20 s for the program to end, and for status 0; calls
# the script's own fail otherwise.
smoke_wait_for_end() {
  timeout 20 sh -c "while kill -0 $1 2>/dev/null; do sleep 0.2; done" || fail "the program did not end"
  end_status=0
  wait "$1" || end_status=$?
  [ "$end_status" -eq 0 ] || fail "exit status $end_status"
}
