#!/bin/sh
# Runs one Windows test program under Wine, its output through a file. A program that touches
# the desktop makes Wine start explorer.exe, which inherits the program's standard output and
# error and keeps them open for about 20 s after the program ended: CTest, reading a pipe, would
# wait for it every time.
out=$(mktemp) || exit 1
wine "$@" >"$out" 2>&1
status=$?
cat "$out"
rm -f "$out"
exit "$status"
