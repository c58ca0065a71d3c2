#!/usr/bin/env bash
# Takes a screenshot of Halvane on a virtual display: scripts/screenshot.sh out.png [seconds] [xdotool key...]
# Uses openbox as window manager when it is installed, so windows get frames and maximize.
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:?output png}"); wait_s=${2:-8}; shift $(( $# >= 2 ? 2 : 1 ))
QTWEBENGINE_CHROMIUM_FLAGS="$(cat scripts/engine-flags)"
export QTWEBENGINE_DISABLE_SANDBOX=1 QTWEBENGINE_CHROMIUM_FLAGS
xvfb-run -a -s "-screen 0 1280x800x24 -noreset" bash -c '
    command -v openbox >/dev/null && { openbox & sleep 1; }
    build/halvane & app=$!
    sleep "$1"; shift
    for k in "$@"; do xdotool key --clearmodifiers "$k"; sleep 0.5; done
    sleep 1
    import -window root "$0"
    kill $app' "$out" "$wait_s" "$@"
echo "wrote $out"
