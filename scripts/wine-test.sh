#!/usr/bin/env bash
# Builds the Qt-free printer layer, the firmware core and their test suites for 64-bit Windows
# with MinGW-w64 and runs them under Wine: the same suites as on Linux against the simulated
# printers, the Windows backend against the real system calls (no printer attached: plain
# files stand in for device paths), and the firmware image as resource 111 read back at an odd
# size and at the build's full size.
#
# Wine gets its own prefix inside the build folder and no display, so a message box returns at
# once: that a box is called is shown here, not that an operator would see it.
#
# Usage: scripts/wine-test.sh [BUILD_DIR]        (default: build-wine)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build-wine}"

for tool in x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-windres wine; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "wine-test: $tool not found (scripts/install-deps.sh installs it)" >&2
        exit 2
    fi
done

mkdir -p "$build"
export WINEPREFIX="$(cd "$build" && pwd)/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine-test: making the Wine prefix $WINEPREFIX"
fi
# One Wine server for the whole run, started here: a server that a test program starts keeps
# that program's output open, and CTest and Ninja wait for it to go away.
mkdir -p "$WINEPREFIX"
wineserver --persistent
trap 'wineserver --kill >/dev/null 2>&1 || true' EXIT
wineboot --init >/dev/null 2>&1 || true

cmake --preset mingw-qt-free -B "$build" >"$build/configure.log" 2>&1 || {
    cat "$build/configure.log"
    echo "wine-test: configuring the Windows build failed" >&2
    exit 1
}
nice cmake --build "$build"
status=0
ctest --test-dir "$build" --output-on-failure --timeout 300 || status=$?
if [ "$status" -ne 0 ]; then
    echo "wine-test: a suite failed under Wine" >&2
    exit 1
fi
echo "wine-test: every Qt-free suite and the Windows backend passed under Wine"
