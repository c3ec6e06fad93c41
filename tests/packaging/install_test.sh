#!/usr/bin/env bash
# Installs the build into a temporary prefix, then runs what was installed from there: qx80
# inspects the carried package, qx80-sim answers, and the bash completion completes from
# the installed programs' own help.
#   install_test.sh CMAKE BUILD_DIR PACKAGE
set -euo pipefail
cmake="$1"
build="$2"
package="$3"
prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT

"$cmake" --install "$build" --prefix "$prefix" >/dev/null

for file in bin/qx80 bin/qx80-sim share/man/man1/qx80.1.gz share/man/man1/qx80-sim.1.gz share/bash-completion/completions/qx80; do
  [ -f "$prefix/$file" ] || { echo "not installed: $file"; exit 1; }
done
# Every mode of the device must be reachable by the user at the seat.
rules="$prefix/lib/udev/rules.d/70-qx80.rules"
for product in 2a01 2a06 2a02; do
  grep -q "SUBSYSTEM==\"hidraw\", ATTRS{idVendor}==\"1f5e\", ATTRS{idProduct}==\"$product\", TAG+=\"uaccess\"" "$rules" ||
    { echo "no udev rule for 1f5e:$product"; exit 1; }
done

out="$("$prefix/bin/qx80" inspect --json "$package")"
echo "$out"
grep -q '"version": "2.09"' <<<"$out" || { echo "the installed qx80 did not read the package"; exit 1; }
"$prefix/bin/qx80-sim" --help | grep -q -- '--listen' || { echo "the installed qx80-sim does not answer"; exit 1; }

# What the completion offers for the words typed, between spaces.
complete_words() {
  PATH="$prefix/bin:$PATH" bash -c '
    source "$1"
    read -r -a COMP_WORDS <<<"$2"
    [[ $2 == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _qx80
    echo " ${COMPREPLY[*]} "' _ "$prefix/share/bash-completion/completions/qx80" "$1"
}

# words typed | what the completion must offer among its answers
cases=(
  "qx80 |update"
  "qx80 upd|update"
  "qx80 l|list"
  "qx80 update --y|--yes"
  "qx80 list --j|--json"
  "qx80 update --in|--index"
  "qx80 status --pa|--path"
  "qx80 status --device s|sim"
  "qx80 status --device sim:up|sim:up-to-date"
  "qx80 status --device sim:two-devices --index |1"
  "qx80 update --device=sim:two-devices --path |sim:2:0"
)
for case in "${cases[@]}"; do
  typed="${case%%|*}"
  want="${case#*|}"
  got="$(complete_words "$typed")"
  [[ $got == *" $want "* ]] || { echo "completing '$typed' offered '$got', not $want"; exit 1; }
done
# Every option in every command's list of options is offered, and nothing the texts only
# mention.
for command in $("$prefix/bin/qx80" --help | sed -n 's/^  \([a-z][a-z-]*\) .*/\1/p'); do
  got="$(complete_words "qx80 $command --")"
  for option in $("$prefix/bin/qx80" "$command" --help | sed -n 's/^  \(--[a-z][a-z-]*\).*/\1/p'); do
    [[ $got == *" $option "* ]] || { echo "completing 'qx80 $command --' offered '$got', not $option"; exit 1; }
  done
done
got="$(complete_words "qx80 update --re")"
[[ $got == "  " ]] || { echo "completing 'qx80 update --re' offered '$got', an option qx80 does not have"; exit 1; }
echo "installed and ran from $prefix"
