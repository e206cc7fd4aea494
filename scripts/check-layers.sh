#!/usr/bin/env bash
# The layers as the includes draw them (docs/architecture.md, "Layers"): each folder includes
# only itself and the folders below it, and in ui/ only the window's own sources include the
# window's header; the delegates and pictures reach the row types through ui/status_row.h.
# Exits 1 naming each include that runs the wrong way, 2 when the sources cannot be searched.
# Usage: scripts/check-layers.sh [SOURCE_TREE]   (default: this one; it needs no git)
set -uo pipefail
cd "${1:-$(dirname "$0")/..}" || exit 2

# folder: the folders its sources may include from
allowed=(
    "printer_link: printer_link"
    "firmware: firmware printer_link"
    "ui: ui firmware printer_link"
    "workflow: workflow ui firmware printer_link"
)
# The ui/ sources that are the window itself (methods of Form1).
window_sources="ui/form1.cpp ui/languages.cpp ui/operator_messages.cpp"

# file:line:text of every line under FOLDER that matches PATTERN; grep, not git, so that a copy
# without git is checked as well. A search that fails ends the check, never passes it.
matching() {
    local status=0 folder=$1
    shift
    [ -d "$folder" ] || { echo "check-layers: no folder $folder/ in $PWD" >&2; exit 2; }
    grep -rnI "$@" -- "$folder/" || status=$?
    [ "$status" -le 1 ] || { echo "check-layers: cannot search $folder/" >&2; exit 2; }
}

faults=0
complain() {
    echo "check-layers: $*" >&2
    faults=$((faults + 1))
}

for rule in "${allowed[@]}"; do
    folder="${rule%%:*}"
    below=" ${rule#*: } "
    found=$(matching "$folder" -E '^#include "[a-z_]+/') || exit 2
    while IFS=: read -r file line text; do
        target="$(sed -E 's/^#include "([a-z_]+)\/.*/\1/' <<<"$text")"
        case "$below" in
        *" $target "*) ;;
        *) complain "$file:$line: $folder/ includes from $target/: $text" ;;
        esac
    done < <(grep -v '^[^:]*:[0-9]*:#include "[a-z_]*\.' <<<"$found" | grep .)
done

found=$(matching ui -F '#include "ui/form1.h"') || exit 2
while IFS=: read -r file line text; do
    case " $window_sources " in
    *" $file "*) ;;
    *) complain "$file:$line: only the window's own sources include ui/form1.h" ;;
    esac
done < <(grep . <<<"$found")

if [ "$faults" -gt 0 ]; then
    echo "check-layers: $faults include(s) against the layers" >&2
    exit 1
fi
echo "check-layers: every include runs down the layers"
