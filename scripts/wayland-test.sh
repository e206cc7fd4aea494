#!/usr/bin/env bash
# The window on a real Wayland compositor: weston's headless backend, Qt's wayland platform.
# Runs the desktop-session test (bench and window, one printer updated with clicks, CLOSE) and
# the event-delivery tests there, then starts the product and the bench and checks that each
# comes up and stays up. Needs a build (BUILD_DIR, default build/).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

scripts/install-deps.sh
cmake --build "$build" --target test_desktop_session test_event_delivery VornikFDU VornikFDU-bench

# A compositor of our own, in a runtime folder of our own, stopped on every way out.
runtime=$(mktemp -d)
chmod 700 "$runtime"
weston_pid=""
cleanup() {
    [ -n "$weston_pid" ] && kill "$weston_pid" 2>/dev/null && wait "$weston_pid" 2>/dev/null || true
    rm -rf "$runtime"
}
trap cleanup EXIT
export XDG_RUNTIME_DIR=$runtime
XDG_RUNTIME_DIR=$runtime weston --backend=headless-backend.so --socket=vornik-wayland \
    --idle-time=0 > "$runtime/weston.log" 2>&1 &
weston_pid=$!
for _ in $(seq 50); do
    [ -S "$runtime/vornik-wayland" ] && break
    sleep 0.1
done
if [ ! -S "$runtime/vornik-wayland" ]; then
    echo "weston did not start:"; cat "$runtime/weston.log"; exit 1
fi
unset DISPLAY
export WAYLAND_DISPLAY=vornik-wayland QT_QPA_PLATFORM=wayland
export QT_LOGGING_RULES=qt.qpa.fonts=false

failed=0
for t in tests/ui/test_desktop_session tests/workflow/test_event_delivery; do
    echo "== $t on Wayland"
    timeout 120 "$build/$t" || failed=1
done

# The product (no printers here) and the bench open their windows and keep running until
# stopped; a program that cannot reach the compositor ends at once.
for program in VornikFDU bench/VornikFDU-bench; do
    echo "== $program on Wayland"
    rc=0
    timeout 5 "$build/$program" > "$runtime/out.log" 2>&1 || rc=$?
    cat "$runtime/out.log"
    if [ "$rc" -ne 124 ]; then
        echo "$program ended on its own (exit $rc) instead of showing its window"; failed=1
    fi
done

[ "$failed" -eq 0 ] && echo "Wayland: all passed"
exit "$failed"
