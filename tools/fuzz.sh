#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan and UBSan on), runs every
# committed seed and regression input through each, then fuzzes each target
# from a copy of its corpus for a bounded number of runs with a fixed seed,
# so that a run here repeats in CI. Usage: tools/fuzz.sh [SCALE]
# SCALE multiplies the runs (default 1; a long local session takes 100 or more).
# A crash or hang leaves its input in build-san/artifacts/ and fails the run:
# commit it under fuzz/regressions/TARGET/ together with the fix.
set -euo pipefail
cd "$(dirname "$0")/.."
scale=${1:-1}
# Runs per target at scale 1: a few seconds each on this machine.
declare -A runs=([fuzz_file_record]=100000 [fuzz_data_runs]=100000 [fuzz_fat32]=75000
                 [fuzz_carvers]=40000 [fuzz_scan]=2000 [fuzz_zip_listing]=100000 [fuzz_markup]=200000
                 [fuzz_partitions]=4000 [fuzz_exfat]=8000 [fuzz_format_check]=20000)
jobs=$(nproc)
source tools/ccache.sh
targets=$(sed -n 's/^set(MAROVI_FUZZ_TARGETS \(.*\))$/\1/p' fuzz/CMakeLists.txt)
source tools/configure-sanitized.sh
# shellcheck disable=SC2086
cmake --build build-san -j"$jobs" --target $targets
mkdir -p build-san/artifacts
export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1
for target in $targets; do
  binary=build-san/fuzz/$target
  inputs=(fuzz/corpus/$target)
  [ -d fuzz/regressions/$target ] && inputs+=(fuzz/regressions/$target)
  "$binary" -runs=0 -timeout=10 "${inputs[@]}" > "build-san/$target.regressions.log" 2>&1 ||
    { tail -30 "build-san/$target.regressions.log"; echo "$target: a committed input fails"; exit 1; }
  work=$(mktemp -d)
  cp -r fuzz/corpus/$target/. "$work/"
  if ! "$binary" -runs=$((${runs[$target]} * scale)) -seed=1 -timeout=10 -max_len=1048576 -print_final_stats=1 \
      -artifact_prefix="build-san/artifacts/$target-" "$work" > "build-san/$target.log" 2>&1; then
    tail -40 "build-san/$target.log"
    echo "$target: crash or hang, input in build-san/artifacts/"
    exit 1
  fi
  echo "$target: $(sed -n 's/^stat::number_of_executed_units: *//p' "build-san/$target.log") executions, no finding"
  rm -rf "$work"
done
