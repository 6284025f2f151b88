#!/usr/bin/env bash
# An NTFS image with over 100,000 MFT records, half of them deleted files,
# written with mkntfs and an ntfs-3g mount. Needs root and ntfs-3g.
# Usage: make-mft-image.sh IMAGE [FILES]
set -euo pipefail
image=${1:?usage: make-mft-image.sh IMAGE [FILES]}
files=${2:-110000}
mnt=$(mktemp -d)
trap 'mountpoint -q "$mnt" && umount "$mnt"; rmdir "$mnt"' EXIT
rm -f "$image"
truncate -s 1G "$image"
mkntfs -F -q -Q -c 4096 "$image" >/dev/null 2>&1
ntfs-3g "$image" "$mnt"
python3 - "$mnt" "$files" <<'PY'
import os, sys
root, count = sys.argv[1], int(sys.argv[2])
per_dir = 1000
for d in range((count + per_dir - 1) // per_dir):
    folder = os.path.join(root, f"dir{d:04d}")
    os.mkdir(folder)
    for i in range(min(per_dir, count - d * per_dir)):
        with open(os.path.join(folder, f"file{i:05d}.txt"), "wb") as f:
            f.write(b"x" * (i % 3000))
for d in range((count + per_dir - 1) // per_dir):
    folder = os.path.join(root, f"dir{d:04d}")
    for i in range(0, per_dir, 2):
        p = os.path.join(folder, f"file{i:05d}.txt")
        if os.path.exists(p):
            os.remove(p)
PY
umount "$mnt"
echo "$image: $files files written, half of them deleted"
