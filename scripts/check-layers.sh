#!/usr/bin/env bash
# The layers as the includes draw them (docs/architecture.md, "Layers"): each folder includes
# only itself and the folders below it, and in ui/ only the window's own sources include the
# window's header; the delegates and pictures reach the row types through ui/status_row.h.
# Exits 1 naming each include that runs the wrong way.
set -uo pipefail
cd "$(dirname "$0")/.."

# folder: the folders its sources may include from
allowed=(
    "printer_link: printer_link"
    "firmware: firmware printer_link"
    "ui: ui firmware printer_link"
    "workflow: workflow ui firmware printer_link"
)
# The ui/ sources that are the window itself (methods of Form1).
window_sources="ui/form1.cpp ui/languages.cpp ui/operator_messages.cpp"

faults=0
complain() {
    echo "check-layers: $*" >&2
    faults=$((faults + 1))
}

for rule in "${allowed[@]}"; do
    folder="${rule%%:*}"
    below=" ${rule#*: } "
    while IFS=: read -r file line text; do
        target="$(sed -E 's/^#include "([a-z_]+)\/.*/\1/' <<<"$text")"
        case "$below" in
        *" $target "*) ;;
        *) complain "$file:$line: $folder/ includes from $target/: $text" ;;
        esac
    done < <(git grep --untracked -n -E '^#include "[a-z_]+/' -- "$folder/" | grep -v '^[^:]*:[0-9]*:#include "[a-z_]*\.' || true)
done

while IFS=: read -r file line text; do
    case " $window_sources " in
    *" $file "*) ;;
    *) complain "$file:$line: only the window's own sources include ui/form1.h" ;;
    esac
done < <(git grep --untracked -n -F '#include "ui/form1.h"' -- 'ui/*.cpp' 'ui/*.h' || true)

if [ "$faults" -gt 0 ]; then
    echo "check-layers: $faults include(s) against the layers" >&2
    exit 1
fi
echo "check-layers: every include runs down the layers"
