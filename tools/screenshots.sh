#!/usr/bin/env bash
# Takes a picture of each wizard step and of the results window with each
# preview page, under Xvfb with a window manager, on the NTFS sample image.
#   tools/screenshots.sh [OUTPUT_FOLDER]   (default: tools/screenshots)
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-tools/screenshots}
tools/install-deps.sh
tools/install-deps.sh xvfb openbox
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target marovi_screenshots fixtures
mkdir -p "$out"
display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp &
xvfb=$!
trap 'kill $wm $xvfb 2>/dev/null || true' EXIT
sleep 1
DISPLAY=$display openbox >/dev/null 2>&1 &
wm=$!
sleep 1
DISPLAY=$display QT_QPA_PLATFORM=xcb build/marovi_screenshots "$out" build/fixtures/ntfs-sample.img
