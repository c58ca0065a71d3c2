#!/usr/bin/env bash
# Checks that no function of the program is over 80 lines; sets up what is missing, builds
# with warnings as errors, and runs every test; makes the Debian package and checks it; then
# builds the tests with AddressSanitizer (leak checks on) and UndefinedBehaviorSanitizer
# and runs the unit and window tests, and the real-engine tests, in that build; last,
# fuzzes the file readers for a bounded time (40 s each, which keeps the whole run under 20 minutes on two cores).
set -euo pipefail
cd "$(dirname "$0")/.."
# Every function of the program within 80 lines (the one exception is named there).
scripts/check-function-length.py
scripts/setup.sh -DHALVANE_WERROR=ON -DHALVANE_BUILD_BENCH=ON
ctest --test-dir build --output-on-failure -j2
# The Debian package from that build: no lintian error, and the program unpacked from it
# starts, shows Document 1 and opens its help.
scripts/package.sh
scripts/check-package.sh build/halvane_*.deb

BUILD_DIR=build-sanitize scripts/setup.sh -DHALVANE_WERROR=ON -DHALVANE_SANITIZE=ON -DHALVANE_BUILD_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-sanitize --output-on-failure -j2 -L unit
# The engine library frees some of its own objects through a pointer of another size, and
# leaves objects on its threads at exit: that check is off, and leaks allocated inside the
# libraries named in the suppressions file are not reported (all of it explained there).
# Only the three innermost frames of an allocation are kept, so a suppression matches
# where the memory was allocated and never hides our own handler run from the engine.
ASAN_OPTIONS=detect_leaks=1:new_delete_type_mismatch=0:malloc_context_size=3 UBSAN_OPTIONS=print_stacktrace=1 \
    LSAN_OPTIONS="suppressions=$PWD/tests/sanitizer/engine-leaks.supp:print_suppressions=0" \
    ctest --test-dir build-sanitize --output-on-failure -j2 -L engine

# A crash found here fails the run; the input is left in build-fuzz/.
scripts/fuzz.sh 40
