#!/usr/bin/env bash
# Installs, builds, and runs the main job on the sample image: lists the
# deleted files of fixtures/ntfs-sample.img and recovers them all into
# recovered/ (or the folder given).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$(nproc)"
target=${1:-recovered}
mkdir -p "$target"
build/marovi-cli scan --image build/fixtures/ntfs-sample.img=E
build/marovi-cli recover --image build/fixtures/ntfs-sample.img=E --all --to "$target"
