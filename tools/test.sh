#!/usr/bin/env bash
# Installs, builds and runs every test: a release build with warnings as
# errors, the same suite under AddressSanitizer and UBSan (the widget tests
# headless in both), every fuzz target over its seeds and regression inputs
# plus a short bounded run, and the Windows build's tests and CLI under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
jobs=$(nproc)

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DMAROVI_WERROR=ON
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs")

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DMAROVI_WERROR=ON -DMAROVI_SANITIZE=ON -DMAROVI_BENCH=OFF
cmake --build build-asan -j"$jobs"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j"$jobs")

tools/fuzz.sh

tools/test-windows.sh
