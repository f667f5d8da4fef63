#!/bin/bash
# Drives the bash completion in an interactive bash as the shell does (complete -p, then the
# completion function with COMP_WORDS set): command words, options, and the values that fit:
# groups of the project given earlier, template names, run IDs, project files.
# Usage: completion.sh <folder of the built programs> <folder of the completion scripts>
set -euo pipefail
bin=$(cd "$1" && pwd)
scripts=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export PATH="$bin:$PATH" HOME="$work" QUILLET_HOME="$work/home" XDG_CONFIG_HOME="$work/config"
export XDG_STATE_HOME="$work/state" LC_ALL=C.UTF-8
mkdir -p "$QUILLET_HOME/Templates" "$XDG_STATE_HOME/orv-quillet/runs" "$work/here/sub"
cd "$work/here"
quillet project new club.oqf --name Club >/dev/null
quillet group add club.oqf "Book lovers" >/dev/null
quillet group add club.oqf Members >/dev/null
echo "Hello %NAME%" >body.txt
quillet template add Invitation --subject Hi --body-file body.txt >/dev/null
touch "$XDG_STATE_HOME/orv-quillet/runs/20261208-013045-3fa9.jsonl"

got=$(PS1='' bash --norc --noprofile -i 2>/dev/null <<EOS
. "$scripts/quillet.bash-completion"
. "$scripts/quillet-gui.bash-completion"
complete -p quillet quillet-gui
c() { COMP_WORDS=("\$@"); COMP_CWORD=\$((\$# - 1)); COMPREPLY=(); _\${1//-/_}; echo "[\$*] \${COMPREPLY[*]}"; }
c quillet pro
c quillet project ''
c quillet send --gr
c quillet send club.oqf --group ''
c quillet send --resume ''
c quillet send club.oqf --template I
c quillet group list ''
c quillet --codepage utf-8 recipient list club.oqf --j
c quillet-gui ''
EOS
)
status=0
while IFS= read -r want; do
  grep -qxF -- "$want" <<<"$got" || { echo "missing: $want" >&2; status=1; }
done <<'WANT'
complete -F _quillet quillet
complete -F _quillet_gui quillet-gui
[quillet pro] project
[quillet project ] new show
[quillet send --gr] --group
[quillet send club.oqf --group ] Club Book\ lovers Members
[quillet send --resume ] 20261208-013045-3fa9
[quillet send club.oqf --template I] Invitation
[quillet group list ] sub club.oqf
[quillet --codepage utf-8 recipient list club.oqf --j] --json
[quillet-gui ] sub club.oqf
WANT
[ "$status" -eq 0 ] || echo "completions were: $got" >&2
exit $status
