#!/usr/bin/env bash
# Sets up what is missing, builds with warnings as errors, and runs every test; then
# builds the unit tests with AddressSanitizer (leak checks on) and UndefinedBehaviorSanitizer
# and runs them; last, fuzzes the file readers for a bounded time (a minute each).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh -DHALVANE_WERROR=ON -DHALVANE_BUILD_BENCH=ON
ctest --test-dir build --output-on-failure -j2

BUILD_DIR=build-sanitize scripts/setup.sh -DHALVANE_WERROR=ON -DHALVANE_SANITIZE=ON -DHALVANE_BUILD_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-sanitize --output-on-failure -j2 -L unit

# A crash found here fails the run; the input is left in build-fuzz/.
scripts/fuzz.sh 60
