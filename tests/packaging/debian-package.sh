#!/bin/bash
# Builds the Debian package, checks it with lintian (no error), installs it with apt-get as any
# user would, runs the installed programs (version, help, a dry run of a demo project, the
# desktop program under Xvfb until its main window shows, opened on that project), then purges
# it and checks that none of its files is left. Needs root; skips (77) otherwise, and when the
# package is installed on this machine already (it is not this test's to remove).
# Usage: debian-package.sh <build folder> <scratch folder>
set -euo pipefail
build=$(cd "$1" && pwd)
scratch=$2
package=orv-quillet
if [ "$(id -u)" -ne 0 ]; then
  echo "package test: needs root (apt-get install)"
  exit 77
fi
if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "installed"; then
  echo "package test: $package is installed on this machine already; left alone"
  exit 77
fi
rm -rf "$scratch"
mkdir -p "$scratch"
scratch=$(cd "$scratch" && pwd)
fail() { echo "package test: $*" >&2; exit 1; }

# The package, built into the scratch folder so that `make package`'s copy is not touched.
(cd "$build" && cpack -G DEB --config CPackConfig.cmake -B "$scratch/cpack" >"$scratch/cpack.log" 2>&1) ||
  { cat "$scratch/cpack.log" >&2; fail "cpack failed"; }
deb=$(ls "$scratch"/cpack/${package}_*.deb)
echo "package: $(basename "$deb"), $(du -k "$deb" | cut -f1) kB"
echo "Depends: $(dpkg-deb -f "$deb" Depends)"
dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6' || fail "Depends was not computed from the libraries"
if command -v lintian >/dev/null; then
  lintian --fail-on error "$deb" | tee "$scratch/lintian.log" ||
    fail "lintian reports errors"
fi

installed=no
cleanup() {
  if [ "$installed" = yes ]; then
    DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq "$package" >/dev/null 2>&1 || true
  fi
  if [ -n "${smoke_xvfb:-}" ]; then kill "$smoke_xvfb" 2>/dev/null || true; fi
}
trap cleanup EXIT
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$deb" >"$scratch/apt.log" 2>&1 ||
  { cat "$scratch/apt.log" >&2; fail "apt-get install failed"; }
installed=yes
dpkg -L "$package" >"$scratch/files"

# The installed programs, as a user without any set-up runs them (no QUILLET_HOME).
export HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/home/.config" XDG_RUNTIME_DIR="$scratch/runtime" LC_ALL=C.UTF-8
unset QUILLET_HOME XDG_DATA_HOME XDG_STATE_HOME QUILLET_CODEPAGE
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
/usr/bin/quillet --version | grep -qE '^quillet [0-9]+\.[0-9]+\.[0-9]+ \(.+\)$' || fail "quillet --version: $(/usr/bin/quillet --version)"
/usr/bin/quillet --help | grep -q '^Commands:' || fail "quillet --help"
/usr/bin/quillet-gui --version | grep -q '^quillet-gui ' || fail "quillet-gui --version"
man -w quillet >/dev/null 2>&1 || [ -f /usr/share/man/man1/quillet.1.gz ] || fail "no manual page"

project="$scratch/Club.oqf"
q=/usr/bin/quillet
$q project new "$project" --name "Reading club" --author-name "Orv Demo" --author-email demo@example.org >/dev/null
$q group add "$project" Members >/dev/null
$q recipient add "$project" --group Members --email ann@example.org --name Ann --param CITY=Lisbon >/dev/null
$q recipient add "$project" --group Members --email bob@example.org --name Bob --param CITY=Oslo >/dev/null
# The installed templates reach the user's own program folder; the run renders one of them.
$q template list | grep -q '^Invitation' || fail "the installed templates are not listed"
$q send "$project" --group Members --template Invitation --dry-run "$scratch/out" >"$scratch/send.log" 2>&1 ||
  { cat "$scratch/send.log" >&2; fail "the dry run failed"; }
[ "$(ls "$scratch/out" | wc -l)" -eq 2 ] || fail "the dry run did not render two messages"
grep -rq 'ann@example.org' "$scratch/out" || fail "the dry run lost a recipient"

# The desktop program opens the project given to it (as a double-click on the file does).
if command -v Xvfb >/dev/null && command -v xdotool >/dev/null; then
  # shellcheck source=../support/xvfb-smoke-common.sh
  . "$(dirname "$0")/../support/xvfb-smoke-common.sh"
  export QT_QPA_PLATFORM=xcb
  unset WAYLAND_DISPLAY
  smoke_in_xvfb "$scratch" sh -eu -c '
    . "$1"
    /usr/bin/quillet-gui "$2" >"$3/gui.log" 2>&1 &
    pid=$!
    if ! smoke_find_window "^Orv Quillet:Reading club\$" >/dev/null; then
      kill $pid; cat "$3/gui.log" >&2; echo "package test: the project did not open in the main window" >&2; exit 1
    fi
    kill $pid
    wait $pid || true' smoke "$(dirname "$0")/../support/xvfb-smoke-common.sh" "$project" "$scratch" ||
    fail "quillet-gui did not show its main window"
fi

DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq "$package" >"$scratch/purge.log" 2>&1 ||
  { cat "$scratch/purge.log" >&2; fail "apt-get purge failed"; }
installed=no
! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q installed || fail "still installed"
left=0
while IFS= read -r path; do
  if [ -e "$path" ] && { [ ! -d "$path" ] || [[ $path == */orv-quillet ]]; }; then
    echo "left behind: $path" >&2
    left=1
  fi
done <"$scratch/files"
[ "$left" -eq 0 ] || fail "files of the package are left after the purge"
echo "package test: ok"
