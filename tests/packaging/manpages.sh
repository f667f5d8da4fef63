#!/bin/bash
# The manual pages name exactly the options the programs' help names: for each command of
# `quillet --help`, the options of its section in quillet(1) against `quillet COMMAND --help`,
# and the options of quillet-gui(1) against `quillet-gui --help`; and the pages carry the
# sections the help does not give.
# Usage: manpages.sh <quillet> <quillet-gui> <folder of the pages>
set -euo pipefail
quillet=$1
gui=$2
pages=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME="$work" QUILLET_HOME="$work" XDG_CONFIG_HOME="$work" LC_ALL=C.UTF-8
status=0

# The long options a help text defines (its option lines), sorted.
help_options() { grep -E '^  -' | grep -oE -- '--[a-z0-9][a-z0-9-]*' | sort -u; }
# The long options the tagged paragraphs of a page section name, sorted.
page_options() { awk '/^\.TP/ {getline; print}' | sed 's/\\-/-/g' | grep -oE -- '--[a-z0-9][a-z0-9-]*' | sort -u || true; }
compare() { # name, expected (help), found (page)
  if [ "$2" != "$3" ]; then
    echo "$1: the page and the help differ:" >&2
    diff <(echo "$2") <(echo "$3") >&2 || true
    status=1
  fi
}

page=$(gzip -dc "$pages/quillet.1.gz")
commands=$("$quillet" --help | awk '/^Commands:/ {on = 1; next} on && /^$/ {exit}
  on {name = substr($0, 3, 18); sub(/ +$/, "", name); print name}')
[ "$(echo "$commands" | wc -l)" -ge 20 ] || { echo "too few commands: $commands" >&2; exit 1; }
# The page's command sections, in order, are the help's commands.
compare "commands" "$commands" "$(echo "$page" | sed -n '/^\.SH COMMANDS/,$ s/^\.SS "\(.*\)"$/\1/p')"
while IFS= read -r command; do
  # shellcheck disable=SC2086 # the command's words are separate arguments
  expected=$("$quillet" $command --help | help_options)
  found=$(echo "$page" | awk -v want=".SS \"$command\"" '$0 == want {on = 1; next} /^\.S[SH] / {on = 0} on' | page_options)
  compare "quillet $command" "$expected" "$found"
done <<<"$commands"
for section in "EXIT STATUS" FILES ENVIRONMENT COMMANDS; do
  echo "$page" | grep -q "^\.SH \"\?$section\"\?$" || { echo "quillet(1) has no $section section" >&2; status=1; }
done

gui_page=$(gzip -dc "$pages/quillet-gui.1.gz")
compare "quillet-gui" "$("$gui" --help | help_options)" "$(echo "$gui_page" | page_options)"
exit $status
