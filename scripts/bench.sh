#!/usr/bin/env bash
# Builds the benchmarks and runs them all, showing each one's output; then prints what
# machine they ran on and a Markdown table of their headline figures (the lines they
# print as FIGURE<tab>name<tab>Halvane<tab>bare or peer<tab>ratio<tab>goal<tab>met), and writes
# both to <build-dir>/bench-table.md. They print figures only; none passes or fails on
# time. The exit status is non-zero only when a benchmark itself failed.
#   scripts/bench.sh [build-dir]      (default: build, configured as setup.sh does)
# Extra arguments for bench_pageload go in $PAGELOAD_ARGS (e.g. --parts).
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${1:-build}
# Run in this order; bench_startup also builds the bare reference program.
benches=(bench_history_window bench_favorites_menu bench_visits bench_linkping bench_pageload bench_parsers bench_startup bench_memory bench_efficiency)

if [ -f "$build_dir/build.ninja" ] || [ -f "$build_dir/Makefile" ]; then
    scripts/install-missing.sh libbenchmark-dev
    # Again, so a Google Benchmark installed since the last configure is found.
    cmake -S . -B "$build_dir" -DHALVANE_BUILD_TESTS=ON -DHALVANE_BUILD_BENCH=ON >/dev/null
else
    BUILD_DIR=$build_dir scripts/setup.sh -DHALVANE_BUILD_TESTS=ON -DHALVANE_BUILD_BENCH=ON
fi
# bench_efficiency starts its own Xvfb and opens document windows with xdotool's Ctrl+N;
# bench_startup's start from a link times the browsers a user would pick instead (for
# measurement only) on a chapter of valgrind's manual, under a session bus of its own.
scripts/install-missing.sh xvfb xdotool iproute2 dbus falkon qutebrowser epiphany-browser valgrind
cmake --build "$build_dir" --target "${benches[@]}" -j"$(nproc)"

# Offscreen, and nothing leaves loopback: every address but loopback goes to a proxy
# that is not there. As root the engine refuses to start with its sandbox.
export QT_QPA_PLATFORM=offscreen
QTWEBENGINE_CHROMIUM_FLAGS="$(cat scripts/engine-flags)"
export QTWEBENGINE_CHROMIUM_FLAGS
export QTWEBENGINE_DISABLE_SANDBOX=1
export QT_LOGGING_RULES="qt.webenginecontext.info=false"

logs="$build_dir/bench-logs"
mkdir -p "$logs"
load_start=$(cut -d' ' -f1-3 /proc/loadavg)
started=$(date -u '+%Y-%m-%d %H:%M UTC')

status=0
notes=()
for b in "${benches[@]}"; do
    echo
    echo "== $b"
    args=()
    [ "$b" = bench_pageload ] && [ -n "${PAGELOAD_ARGS:-}" ] && read -r -a args <<<"$PAGELOAD_ARGS"
    # Line-buffered, so the output shows as it comes and is kept in order.
    rc=0
    stdbuf -oL -eL "$build_dir/bench/$b" "${args[@]}" 2>&1 | tee "$logs/$b.log" || rc=$?
    if [ "$rc" -ne 0 ]; then
        echo "$b exited with $rc"
        notes+=("$b exited with $rc.")
        status=1
    elif ! grep -q $'^FIGURE\t' "$logs/$b.log"; then
        notes+=("$b printed no figure.")
    fi
done

# One cell of a Markdown table: a '|' in it would end the cell.
cell() { printf '%s' "${1//|/\\|}"; }

qt_version=$(qtpaths6 --qt-version 2>/dev/null ||
             dpkg-query -W -f='${Version} (qt6-base-dev)' qt6-base-dev 2>/dev/null || echo unknown)
debian="$(. /etc/os-release 2>/dev/null && echo "${PRETTY_NAME:-unknown}")"
[ -r /etc/debian_version ] && debian+=", $(cat /etc/debian_version)"
report=$(
    echo "Benchmarks run $started on:"
    echo
    echo "- CPU: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(nproc) cores"
    echo "- RAM: $(awk '/^MemTotal/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo)"
    echo "- Kernel: $(uname -r); $debian; Qt $qt_version"
    echo "- Load average (1, 5, 15 min): $load_start before the runs, $(cut -d' ' -f1-3 /proc/loadavg) after"
    echo
    echo "| Figure | Halvane | Bare or peer | Ratio | Goal | Met |"
    echo "|---|---|---|---|---|---|"
    for b in "${benches[@]}"; do
        while IFS=$'\t' read -r _ name mine bare ratio goal met; do
            printf '| %s | %s | %s | %s | %s | %s |\n' "$(cell "$name")" "$(cell "$mine")" "$(cell "$bare")" \
                "$(cell "$ratio")" "$(cell "$goal")" "$(cell "$met")"
        done < <(grep $'^FIGURE\t' "$logs/$b.log" || true)
    done
    for n in "${notes[@]}"; do
        echo
        echo "$n"
    done
)
echo
echo "$report"
echo "$report" >"$build_dir/bench-table.md"
echo
echo "(written to $build_dir/bench-table.md; each benchmark's output is in $logs/)"
exit $status
