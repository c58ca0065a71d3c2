#!/usr/bin/env bash
# Builds the fuzz targets (clang's libFuzzer with AddressSanitizer and
# UndefinedBehaviorSanitizer) in ./build-fuzz and runs each for a bounded time:
#   scripts/fuzz.sh [seconds] [target...]     (default 60 s each; rtfreader historyreader bookmarkshtml)
# Each seed corpus is copied to a scratch folder first, so the fuzzer's additions never
# touch the repository. An input that crashes is saved as build-fuzz/<target>-crash-<hash>
# (or -timeout-, -oom-); the script then fails, after running the remaining targets.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(rtfreader historyreader bookmarkshtml)
build_dir=${BUILD_DIR:-build-fuzz}

# Per target: its seed corpus, extra libFuzzer options, and whether leaks count as crashes:
# the RTF reader needs Qt's GUI side, whose caches (fonts, fontconfig) live for the life of
# the process and are never freed, which the check at exit would report as a leak.
declare -A corpus_of=([rtfreader]=rtf [historyreader]=history [bookmarkshtml]=bookmarks)
declare -A leaks_of=([rtfreader]=0 [historyreader]=1 [bookmarkshtml]=1)
declare -A options_of=(
    [rtfreader]="-dict=tests/fuzz/rtf.dict -max_len=65536"
    [historyreader]="-dict=tests/fuzz/history.dict -max_len=4096"
    [bookmarkshtml]="-dict=tests/fuzz/bookmarks.dict -max_len=65536"
)
for t in "${targets[@]}"; do
    [ -n "${corpus_of[$t]:-}" ] || { echo "fuzz.sh: no target '$t' (rtfreader, historyreader, bookmarkshtml)" >&2; exit 2; }
done

# clang and its libFuzzer runtime, if missing (scripts/setup.sh installs the rest).
scripts/install-missing.sh clang-14 libclang-rt-14-dev

CC=clang-14 CXX=clang++-14 cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DHALVANE_FUZZ=ON -DHALVANE_BUILD_BENCH=OFF
cmake --build "$build_dir" -j"$(nproc)" --target "${targets[@]/#/fuzz_}"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failed=()
for t in "${targets[@]}"; do
    corpus="$scratch/$t"
    mkdir "$corpus"
    cp "tests/fuzz/corpus/${corpus_of[$t]}"/* "$corpus"/
    echo "== fuzz_$t for ${seconds} s"
    # shellcheck disable=SC2086 # the options are words
    if ! ASAN_OPTIONS=detect_leaks=${leaks_of[$t]} UBSAN_OPTIONS=print_stacktrace=1 \
        "$build_dir/tests/fuzz/fuzz_$t" "$corpus" \
            ${options_of[$t]} \
            -max_total_time="$seconds" \
            -timeout=10 \
            -rss_limit_mb=4096 \
            -print_final_stats=1 \
            -artifact_prefix="$build_dir/$t-"; then
        failed+=("$t")
    fi
done

if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzz.sh: crash found by: ${failed[*]}; the input is in $build_dir/ (<target>-crash-*, -timeout-*, -oom-*)" >&2
    exit 1
fi
