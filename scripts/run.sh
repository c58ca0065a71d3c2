#!/usr/bin/env bash
# Sets up what is missing, builds, and starts Halvane.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh -DHALVANE_BUILD_TESTS=OFF -DHALVANE_BUILD_BENCH=OFF

if [ "$(id -u)" -eq 0 ]; then
    export QTWEBENGINE_DISABLE_SANDBOX=1
    echo "WARNING: running as root: the web engine's sandbox is turned OFF (QTWEBENGINE_DISABLE_SANDBOX=1)." >&2
    echo "         Pages then run without that protection; run Halvane as an ordinary user where you can." >&2
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: starting Halvane on a virtual display (Xvfb)." >&2
    exec xvfb-run -a -s "-screen 0 1280x1024x24" build/halvane
fi
exec build/halvane
