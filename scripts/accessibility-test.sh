#!/usr/bin/env bash
# The window as assistive technology meets it, proven by a real AT-SPI client: the bench under
# Xvfb with a session bus of its own and the AT-SPI bus and registry (at-spi2-core), driven by
# tests/accessibility/drive_update.py on Debian's python3-pyatspi through the accessibility
# interface alone, a whole update in German and one in French. Screenshots and the bench's logs
# go into OUTPUT_DIR (default build/accessibility). Exits 0 when both runs passed.
#
#   scripts/accessibility-test.sh [OUTPUT_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-build/accessibility}"

scripts/install-deps.sh
cmake --preset default > /dev/null
cmake --build --preset default --target VornikFDU-bench
rm -rf "$out"
mkdir -p "$out"

# A display of its own: Xvfb names the free one it took.
displayfile="$(mktemp)"
Xvfb -displayfd 3 -screen 0 1600x900x24 -nolisten tcp 3> "$displayfile" 2> "$out/xvfb.log" &
xvfb=$!
trap 'kill "$xvfb" 2> /dev/null || true; rm -f "$displayfile"' EXIT
for _ in $(seq 100); do
    [ -s "$displayfile" ] && break
    sleep 0.1
done
[ -s "$displayfile" ] || { echo "accessibility-test: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n 1 "$displayfile")"

# The session bus lives as long as the client; on it the AT-SPI bus, which starts the registry.
# Debian's python3 carries pyatspi; another python3 first on PATH may not.
set +e
dbus-run-session -- sh -c '
    /usr/libexec/at-spi-bus-launcher --launch-immediately &
    /usr/bin/python3 -u tests/accessibility/drive_update.py "$0" "$1"
    status=$?
    kill $! 2> /dev/null
    exit $status
' "$PWD/build/bench/VornikFDU-bench" "$out" 2>&1 | grep -v 'Failed to set fd limit' | tee "$out/drive_update.log"
status=${PIPESTATUS[0]}
set -e
exit "$status"
