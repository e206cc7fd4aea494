#!/bin/sh
# The product started where there is no display at all: one line that says what is missing,
# and an exit status that says it failed.
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u XDG_SESSION_TYPE "$1" 2>&1)
rc=$?
printf '%s\n' "$out"
[ "$rc" -ne 0 ] || { echo "FAIL: exit status 0"; exit 1; }
[ "$(printf '%s\n' "$out" | wc -l)" -eq 1 ] || { echo "FAIL: not one line"; exit 1; }
case "$out" in
*"needs a graphical session"*) ;;
*) echo "FAIL: does not say what is missing"; exit 1 ;;
esac

# A display that is named but does not open: the toolkit's own reason, not "no display".
out=$(env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u XDG_SESSION_TYPE DISPLAY=:97 "$1" 2>&1)
rc=$?
printf '%s\n' "$out"
[ "$rc" -ne 0 ] || { echo "FAIL: exit status 0 with a display that does not open"; exit 1; }
case "$out" in
*"needs a graphical session"*) echo "FAIL: a named display reported as none"; exit 1 ;;
*"could not open its window"*":97"*|*":97"*"could not open its window"*) ;;
*) echo "FAIL: the toolkit's reason is missing"; exit 1 ;;
esac
