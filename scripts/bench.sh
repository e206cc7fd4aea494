#!/usr/bin/env bash
# Installs what is missing, builds, and starts the printer bench: the tool's own window over
# simulated printers, with a bench window to attach, detach and misbehave them.
#
# Without a display (a server, a container, CI) it plays the rehearsal instead: three printers
# updated through the window on a fast clock, every status printed as it changes, screenshots in
# build/rehearsal/, exit status 0 when every printer ended as its behaviour predicts.
# `scripts/bench.sh --rehearse` plays it on a display too.
set -euo pipefail
cd "$(dirname "$0")/.."

rehearse=0
case "${1:-}" in
    --rehearse) rehearse=1 ;;
    "") ;;
    *) echo "Usage: scripts/bench.sh [--rehearse]" >&2; exit 2 ;;
esac
# Decided before the build, so a machine without a display learns at once what it will get.
# The offscreen platform (as CI sets it) draws nowhere a person could see: no display either.
case "${QT_QPA_PLATFORM:-}" in
    offscreen*|minimal*) platform_shows=0 ;;
    "") platform_shows=0 ;;
    *) platform_shows=1 ;;
esac
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ "$platform_shows" = 0 ]; then
    if [ "$rehearse" = 0 ]; then
        echo "No display found: building and playing the rehearsal on the offscreen platform instead."
        echo "(On a machine with a display this command opens the bench.)"
    fi
    rehearse=1
    export QT_QPA_PLATFORM=offscreen
fi

scripts/install-deps.sh
cmake --preset default
cmake --build --preset default --target VornikFDU-bench
if [ "$rehearse" = 1 ]; then
    exec build/bench/VornikFDU-bench --rehearse build/rehearsal
fi
exec build/bench/VornikFDU-bench
