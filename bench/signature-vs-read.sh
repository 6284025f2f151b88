#!/usr/bin/env bash
# The signature scan against the raw sequential read of the same image and
# against PhotoRec restricted to the same formats (JPEG, ZIP, BMP, PNG, GIF,
# RIFF, ISO media, Matroska, TIFF, PDF, compound files, MP3, FLAC, Ogg, 7z,
# RAR, GZIP, SQLite; PhotoRec has no RTF of its own), in one run, from a warm
# page cache. Run by hand. Usage: bench/signature-vs-read.sh [IMAGE]
# The default image (made when missing) is 1 GiB of random bytes with no
# file system, so every sector is free space, with BMP pictures laid in it.
set -euo pipefail
cd "$(dirname "$0")/.."
image=${1:-build/bench-carve.img}
command -v photorec >/dev/null && [ -x /usr/bin/time ] || apt-get install -y -qq testdisk time >/dev/null
if [ ! -f "$image" ]; then
  head -c 1G /dev/urandom > "$image"
  source fixtures/fixture-lib.sh
  for sector in 1000 400000 1200000 2000000; do
    bmp 1 "bench$sector" 300 200 | dd of="$image" bs=512 seek="$sector" conv=notrunc status=none
  done
fi
cmake --build build --target marovi_bench marovi-cli >/dev/null
cat "$image" > /dev/null

seconds() {  # command...: wall seconds
  local report
  report=$(mktemp)
  /usr/bin/time -o "$report" -f '%e %M' "$@" > /dev/null 2>&1
  cat "$report"
  rm -f "$report"
}
out=$(mktemp -d)
mkdir -p "$out/recup"
read -r cat_s cat_kb <<< "$(seconds cat "$image")"
# The scan reads runs of 40000 sectors; the same read in pieces of that size:
read -r dd_s dd_kb <<< "$(seconds dd if="$image" of=/dev/null bs=$((40000 * 512)))"
read -r our_s our_kb <<< "$(seconds build/marovi-cli scan --image "$image" --mode universal --json --quiet)"
# PhotoRec writes its log and session files into the folder it runs in: the temporary one.
image=$(realpath "$image")
read -r pr_s pr_kb <<< "$(cd "$out" && seconds photorec /log /d "$out/recup" /cmd "$image" partition_none,fileopt,everything,disable,jpg,enable,zip,enable,bmp,enable,png,enable,gif,enable,riff,enable,mov,enable,mkv,enable,tif,enable,pdf,enable,doc,enable,mp3,enable,flac,enable,ogg,enable,7z,enable,rar,enable,gz,enable,sqlite,enable,search)"
found=$(build/marovi-cli scan --image "$image" --mode universal --json --quiet | grep -c '"kind": "carved"' || true)
recovered=$(find "$out" -name '*.bmp' | wc -l)
rm -rf "$out"
size=$(stat -c %s "$image")
printf 'image: %s, %d MiB\n' "$image" $((size >> 20))
printf 'cat:              %6.2f s\n' "$cat_s"
printf 'dd in runs:       %6.2f s\n' "$dd_s"
printf 'marovi-cli scan:  %6.2f s  %7d KiB peak  %s files\n' "$our_s" "$our_kb" "$found"
printf 'photorec:         %6.2f s  %7d KiB peak  %s files\n' "$pr_s" "$pr_kb" "$recovered"
python3 - "$cat_s" "$dd_s" "$our_s" "$pr_s" <<'PY'
import sys
cat, dd, ours, pr = (max(float(v), 0.01) for v in sys.argv[1:])
print(f"scan / cat = {ours / cat:.2f}   scan / dd in runs = {ours / dd:.2f}   photorec / scan = {pr / ours:.1f}x")
PY
MAROVI_BENCH_CARVE_IMAGE="$image" build/bench/marovi_bench --benchmark_filter=SignatureScan
