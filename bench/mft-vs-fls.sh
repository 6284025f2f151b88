#!/usr/bin/env bash
# The MFT walk against The Sleuth Kit's fls on the same image, in one run:
# wall time and peak memory of each, and their ratio, then the Google
# Benchmark runs of the walk and of the results model built from it. Run by hand.
# Usage: bench/mft-vs-fls.sh [IMAGE]   (the image is made when missing)
#        bench/mft-vs-fls.sh --large [RECORDS]
# The first image holds 110,000 files written with ntfs-3g; --large makes
# one of 1,000,000 MFT records (or RECORDS) written directly (make-large-mft.py).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = "--large" ]; then
  records=${2:-1000000}
  image=build/bench-mft-$records.img
  [ -f "$image" ] || bench/make-large-mft.py "$image" "$records"
else
  image=${1:-build/bench-mft.img}
fi
for tool in fls /usr/bin/time ntfs-3g; do
  command -v "$tool" >/dev/null || { apt-get install -y -qq sleuthkit time ntfs-3g >/dev/null; break; }
done
[ -f "$image" ] || bench/make-mft-image.sh "$image"
cmake --build build --target marovi_bench marovi-cli >/dev/null
cat "$image" > /dev/null  # both tools start from a warm page cache

measure() {  # command...: prints seconds and peak KiB
  local report
  report=$(mktemp)
  /usr/bin/time -o "$report" -f '%e %M' "$@" > /dev/null 2>&1
  cat "$report"
  rm -f "$report"
}
ours=$(measure build/marovi-cli scan --image "$image" --json --quiet)
theirs=$(measure fls -r -d -p "$image")
read -r our_s our_kb <<< "$ours"
read -r fls_s fls_kb <<< "$theirs"
printf 'marovi-cli scan: %6.2f s  %7d KiB peak\n' "$our_s" "$our_kb"
printf 'fls -r -d -p:    %6.2f s  %7d KiB peak\n' "$fls_s" "$fls_kb"
python3 -c "import sys; o,f=float(sys.argv[1]),float(sys.argv[2]); print(f'fls time / marovi time = {f/o if o else float(\"inf\"):.1f}x')" "$our_s" "$fls_s"
MAROVI_BENCH_IMAGE="$image" build/bench/marovi_bench
