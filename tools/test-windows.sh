#!/usr/bin/env bash
# Cross-builds the core, the CLI and the core tests for Windows with
# mingw-w64, runs the tests under Wine in a fresh prefix, then runs the CLI
# under Wine on fixture images mapped to drive E: (a dosdevices link makes
# \\.\E: open the image) and checks that it lists and recovers the same
# files as the native CLI, byte for byte.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
tools/install-deps.sh g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine wine64 googletest python3
source tools/ccache.sh
jobs=$(nproc)

cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=platform/win32/toolchain-mingw-w64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DMAROVI_WERROR=ON "${CCACHE_LAUNCHER[@]}" >/dev/null
cmake --build build-win -j"$jobs"
# The native CLI is the reference: the test command's release build, when it has run.
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release "${CCACHE_LAUNCHER[@]}" >/dev/null
cmake --build build -j"$jobs" --target marovi-cli fixtures

work=$(mktemp -d)
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineboot -i >/dev/null 2>&1
wine --version

echo "== core tests under Wine"
(cd build-win/tests && TZ=UTC wine marovi_tests.exe 2>/dev/null | tee "$work/tests.log" | grep -E "^\[  (FAILED|PASSED) |^\[==========\]")
grep -q "^\[  PASSED  \]" "$work/tests.log"
! grep -q "^\[  FAILED  \]" "$work/tests.log"

echo "== CLI under Wine against the native CLI"
cli=$(realpath build-win/marovi-cli.exe)
for case in "ntfs-sample.img deleted" "ntfs-sample.img universal" "fat32-sample.img deleted" "raw-carve.img deleted" \
            "ntfs-4k.img universal" "fat32-4k.img deleted" "fat32-full.img deleted" \
            "fat12.img deleted" "fat16.img deleted" "fat32-edge.img deleted" "exfat.img deleted"; do
  set -- $case
  image=$(realpath "build/fixtures/$1")
  mode=$2
  ln -sfn "$image" "$WINEPREFIX/dosdevices/e::"
  wine "$cli" scan --drive E --mode "$mode" --json --quiet --codepage CP936 2>/dev/null | tr -d '\r' >"$work/win.json"
  build/marovi-cli scan --image "$image=E" --mode "$mode" --json --quiet >"$work/native.json" 2>/dev/null
  python3 tools/same-listing.py "$1 $mode" "$work/native.json" "$work/win.json"
  rm -rf "$work/win-out" "$work/native-out"
  mkdir -p "$work/win-out" "$work/native-out"
  wine "$cli" recover --drive E --mode "$mode" --all --quiet --codepage CP936 --to "Z:$work/win-out" >"$work/win.out" 2>&1 ||
    { echo "$1 $mode: the recovery under Wine ended with status $?"; tail -20 "$work/win.out"; exit 1; }
  build/marovi-cli recover --image "$image=E" --mode "$mode" --all --quiet --to "$work/native-out" >"$work/native.out" 2>&1 ||
    { echo "$1 $mode: the native recovery ended with status $?"; tail -20 "$work/native.out"; exit 1; }
  # The reports differ only in the conditions of JPEG files; the digests of what was written agree.
  diff -r -x 恢复报告.csv "$work/win-out" "$work/native-out"
  python3 - "$work/win-out" "$work/native-out" <<'PY'
import csv, pathlib, sys
def rows(root):
    report = next(pathlib.Path(root).glob("*/恢复报告.csv"))
    return [(r["tree path"], r["name"], r["result"], r["sha256"], r["md5"])
            for r in csv.DictReader(open(report, encoding="utf-8-sig", newline=""))]
assert rows(sys.argv[1]) == rows(sys.argv[2]), "the recovery reports differ"
PY
  echo "$1 $mode: $(find "$work/win-out" -type f | wc -l) files recovered alike, byte for byte"
done
echo "== the diagnostic when the geometry query fails (Wine does not answer it for a file)"
ln -sfn "$(realpath build/fixtures/ntfs-sample.img)" "$WINEPREFIX/dosdevices/f::"
wine "$cli" scan --drive F --verbose 2>&1 >/dev/null | tr -d '\r' | grep '^Geometry'
wine "$cli" scan --drive E --verbose --codepage CP936 2>&1 >/dev/null | tr -d '\r' | grep '^Geometry'

echo "== image files given with --image under Wine, plain and gzip-compressed"
image=$(realpath build/fixtures/ntfs-sample.img)
wine "$cli" scan --image "Z:$image=E" --json --quiet 2>/dev/null | tr -d '\r' >"$work/win.json"
wine "$cli" scan --image "Z:$(realpath fixtures/ntfs-sample.img.gz)=E" --json --quiet 2>/dev/null | tr -d '\r' >"$work/win-gz.json"
build/marovi-cli scan --image "$image=E" --json --quiet >"$work/native.json" 2>/dev/null
python3 tools/same-listing.py "--image ntfs-sample.img and .img.gz" "$work/native.json" "$work/win.json" "$work/win-gz.json"

echo "== partitions of a whole-disk image under Wine; containers refused"
disk=$(realpath build/fixtures/disk-fs.img)
for part in 1 5 6; do
  wine "$cli" scan --image "Z:$disk" --partition $part --json --quiet 2>/dev/null | tr -d '\r' >"$work/win.json"
  build/marovi-cli scan --image "$disk" --partition $part --json --quiet >"$work/native.json" 2>/dev/null
  python3 tools/same-listing.py "disk-fs.img partition $part" "$work/native.json" "$work/win.json"
done
refusal=$(wine "$cli" scan --image "Z:$(realpath build/fixtures/disk-fs.vhdx)" --quiet 2>&1 | tr -d '\r' || true)
grep -q "VHDX image, which the Windows build cannot read" <<<"$refusal" || { echo "no refusal: $refusal"; exit 1; }
echo "disk-fs.vhdx: refused with the way out"
