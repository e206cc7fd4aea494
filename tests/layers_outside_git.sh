#!/usr/bin/env bash
# The layers check on a copy of the sources without git, as in an unpacked archive: the copy as
# it is passes, and each include planted against the layers fails it with its place named.
set -uo pipefail
source_tree=$(cd "$(dirname "$0")/.." && pwd)
failed=0
# planted line, file it goes into, exit status expected
while IFS='|' read -r planted into expected; do
    copy=$(mktemp -d)
    cp -r "$source_tree"/{printer_link,firmware,ui,workflow} "$copy/"
    [ -z "$planted" ] || echo "$planted" >>"$copy/$into"
    status=0
    out=$("$source_tree/scripts/check-layers.sh" "$copy" 2>&1) || status=$?
    if [ "$status" != "$expected" ] || { [ -n "$planted" ] && ! grep -q "$into" <<<"$out"; }; then
        echo "FAIL '$planted' in $into: status $status, expected $expected: $out"
        failed=1
    fi
    rm -rf "$copy"
done <<'CASES'
||0
#include "workflow/harness.h"|ui/pictures.h|1
#include "ui/form1.h"|printer_link/platform.cpp|1
#include "ui/form1.h"|ui/log.cpp|1
CASES
exit $failed
