#!/usr/bin/env bash
# Builds the benchmarks and runs them all, printing each one's table. They print figures
# only; none passes or fails on time.
#   scripts/bench.sh [build-dir]      (default: build, configured as setup.sh does)
# Extra arguments for bench_pageload go in $PAGELOAD_ARGS (e.g. --parts).
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${1:-build}
benches=(bench_history_window bench_linkping bench_pageload)

if [ -f "$build_dir/build.ninja" ] || [ -f "$build_dir/Makefile" ]; then
    cmake --build "$build_dir" --target "${benches[@]}" -j"$(nproc)"
else
    BUILD_DIR=$build_dir scripts/setup.sh -DHALVANE_BUILD_TESTS=ON -DHALVANE_BUILD_BENCH=ON
fi

# Offscreen, and nothing leaves loopback: every address but loopback goes to a proxy
# that is not there. As root the engine refuses to start with its sandbox.
export QT_QPA_PLATFORM=offscreen
export QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu --proxy-server=127.0.0.1:9"
export QTWEBENGINE_DISABLE_SANDBOX=1
export QT_LOGGING_RULES="qt.webenginecontext.info=false"

status=0
for b in "${benches[@]}"; do
    echo
    echo "== $b"
    args=()
    [ "$b" = bench_pageload ] && [ -n "${PAGELOAD_ARGS:-}" ] && read -r -a args <<<"$PAGELOAD_ARGS"
    "$build_dir/bench/$b" "${args[@]}" || { echo "$b exited with $?"; status=1; }
done
exit $status
