#!/usr/bin/env bash
# Installs what is missing, builds, and starts the printer bench: the tool's own window over
# simulated printers, with a bench window to attach, detach and misbehave them.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default
cmake --build --preset default --target VornikFDU-bench
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ "${QT_QPA_PLATFORM:-}" != "offscreen" ]; then
  echo "No display found. Run the bench under a virtual display instead:" >&2
  echo "  xvfb-run -a scripts/bench.sh" >&2
  exit 1
fi
exec build/bench/VornikFDU-bench
