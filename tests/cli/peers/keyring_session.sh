#!/bin/sh
# Runs a command with a GNOME keyring of its own: call it inside dbus-run-session. The keyring
# lives in DIR (given first; it is kept there from one session to the next) and is unlocked with
# the password in QUILLET_TEST_KEYRING_PASSWORD; the daemon ends with the D-Bus session.
# Usage: dbus-run-session -- sh keyring_session.sh DIR COMMAND [ARGUMENT...]
dir=$1
shift
export HOME="$dir" XDG_DATA_HOME="$dir/data" XDG_RUNTIME_DIR="$dir/run"
mkdir -p "$XDG_DATA_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
printf '%s' "$QUILLET_TEST_KEYRING_PASSWORD" | timeout 20 gnome-keyring-daemon --unlock --components=secrets >/dev/null || exit 125
exec "$@"
