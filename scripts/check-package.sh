#!/usr/bin/env bash
# Checks a Debian package of Halvane: lintian finds no error in it, and the program
# unpacked from it (dpkg-deb -x into a scratch folder), started through its link in
# usr/bin on a virtual display, prints the package's version, shows Document 1 on its
# home page and opens Help and Info from the help file beside it.
#   scripts/check-package.sh build/halvane_<version>_amd64.deb
# Nothing leaves loopback: the engine's flags send every address to a proxy that is not
# there, so Document 1's home page is an error page, committed like any other.
set -euo pipefail
cd "$(dirname "$0")/.."
deb=$(realpath "${1:?the .deb to check}")

echo "== lintian $(basename "$deb")"
lintian --fail-on error "$deb"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
root="$scratch/unpacked"
dpkg-deb -x "$deb" "$root"

version=$(dpkg-deb -f "$deb" Version)
said=$("$root/usr/bin/halvane" --version)
if [ "$said" != "Halvane $version" ]; then
    echo "check-package: --version says '$said', the package is $version" >&2
    exit 1
fi

echo "== the unpacked program on a virtual display"
export XDG_CONFIG_HOME="$scratch/config" XDG_DATA_HOME="$scratch/data" XDG_CACHE_HOME="$scratch/cache"
export QT_QPA_PLATFORM=xcb QT_LOGGING_RULES="halvane.help.info=true"
QTWEBENGINE_CHROMIUM_FLAGS="$(cat scripts/engine-flags)"
export QTWEBENGINE_CHROMIUM_FLAGS
# The engine cannot use its sandbox as root (CI runs as root).
[ "$(id -u)" -ne 0 ] || export QTWEBENGINE_DISABLE_SANDBOX=1
# shellcheck disable=SC2016 # expanded by the inner shell
xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" bash -c '
    set -euo pipefail
    root=$1 log=$2
    "$root/usr/bin/halvane" 2>"$log" & program=$!
    trap "kill $program 2>/dev/null || true; wait $program 2>/dev/null || true" EXIT
    # Until the check holds, for at most $1 seconds while the program runs.
    within() {
        local deadline=$((SECONDS + $1)); shift
        until "$@"; do
            kill -0 "$program" 2>/dev/null || { echo "check-package: the program ended" >&2; return 1; }
            ((SECONDS < deadline)) || return 1
            sleep 0.1
        done
    }
    shown() { xdotool search --onlyvisible --name "$1" >/dev/null 2>&1; }
    # Document 1 has committed its home page when its address is in the history, which
    # the program keeps beside itself in the (writable) scratch folder.
    home_page() { grep -qs "^http://www.marrowdyne.com/" "$root/usr/lib/halvane/address.lst"; }
    help_read() { grep -qxF "halvane.help: Help and Info shows $root/usr/lib/halvane/hv.hlp.rtf" "$log"; }

    within 60 shown "^Halvane\$" || { echo "check-package: no main window" >&2; exit 1; }
    within 60 home_page || { echo "check-package: Document 1 showed no home page" >&2; exit 1; }
    echo "main window shown, Document 1 on its home page"
    main=$(xdotool search --onlyvisible --name "^Halvane\$" | head -n1)
    xdotool mousemove --window "$main" 200 5 windowfocus --sync "$main"
    # Help > Help and Info, the menu'"'"'s first item.
    xdotool key --clearmodifiers alt+h Return
    within 30 shown "^Halvane Help and Info\$" || { echo "check-package: no Help and Info window" >&2; exit 1; }
    within 10 help_read || { echo "check-package: Help and Info did not show the packaged help file" >&2; exit 1; }
    echo "Help and Info shown from the help file beside the program"
' check "$root" "$scratch/program.log" || { cat "$scratch/program.log" >&2; exit 1; }
echo "== $(basename "$deb"): no lintian error; the unpacked program starts and opens its help"
