#!/usr/bin/env bash
# Installs, builds and runs every test: a release build with warnings as
# errors, the same suite under AddressSanitizer and UBSan (the widget tests
# headless in both), every fuzz target over its seeds and regression inputs
# plus a short bounded run, and the Windows build's tests and CLI under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
source tools/ccache.sh
jobs=$(nproc)
start=$SECONDS

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DMAROVI_WERROR=ON "${CCACHE_LAUNCHER[@]}"
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs")
echo "release build and suite: $((SECONDS - start)) s"

# The sanitizers' build, shared with the fuzz targets, holds only what they run.
source tools/configure-sanitized.sh
cmake --build build-san -j"$jobs" --target marovi_tests marovi_gui_tests marovi-cli fixtures
(cd build-san && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j"$jobs")
echo "sanitized build and suite: $((SECONDS - start)) s"

tools/fuzz.sh
echo "fuzzing: $((SECONDS - start)) s"

tools/test-windows.sh

echo "test command: $((SECONDS - start)) s"
