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
