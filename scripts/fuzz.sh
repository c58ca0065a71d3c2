#!/usr/bin/env bash
# Builds the RTF reader's fuzz target (clang's libFuzzer with AddressSanitizer and
# UndefinedBehaviorSanitizer) in ./build-fuzz and runs it for a bounded time:
#   scripts/fuzz.sh [seconds]        (default 60)
# The seed corpus is copied to a scratch folder first, so the fuzzer's additions never
# touch the repository. An input that crashes is saved as build-fuzz/crash-<hash>.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build_dir=${BUILD_DIR:-build-fuzz}

CC=clang-14 CXX=clang++-14 cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DHALVANE_FUZZ=ON -DHALVANE_BUILD_BENCH=OFF
cmake --build "$build_dir" --target fuzz_rtfreader -j"$(nproc)"

corpus=$(mktemp -d)
trap 'rm -rf "$corpus"' EXIT
cp tests/fuzz/corpus/rtf/* "$corpus"/

# Leak checks stay off: Qt and fontconfig keep caches for the life of the process and
# never free them, which the check at exit would report as a crash.
ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
    "$build_dir/tests/fuzz/fuzz_rtfreader" "$corpus" \
        -dict=tests/fuzz/rtf.dict \
        -max_total_time="$seconds" \
        -max_len=65536 \
        -timeout=10 \
        -rss_limit_mb=4096 \
        -print_final_stats=1 \
        -artifact_prefix="$build_dir/"
