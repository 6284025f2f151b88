#!/usr/bin/env bash
# Writes fuzz_scan's seeds of the FAT family, and fuzz_exfat's, with the real tools: a FAT12
# floppy, the first MiB of a FAT16 volume and of an exFAT one, each with a
# deleted folder and deleted files, so that mutations reach their directory
# readers. A seed's first byte chooses the scan's mode, as the target reads it.
# Needs root, losetup, dosfstools, mtools, exfatprogs and exfat-fuse.
# Usage: fuzz/make-fat-seeds.sh  (from the repository's root)
set -euo pipefail
export MTOOLS_SKIP_CHECK=1
out=fuzz/corpus/fuzz_scan
work=$(mktemp -d)
mnt="$work/mnt"
loop=""
trap 'mountpoint -q "$mnt" && umount "$mnt"; [ -z "$loop" ] || losetup -d "$loop"; rm -rf "$work"' EXIT
mkdir -p "$mnt"
head -c 3000 /dev/urandom > "$work/data.bin"

fat_tree() {  # image
  mmd -i "$1" "::Old Folder"
  mcopy -i "$1" "$work/data.bin" "::Old Folder/Some Long Name.bin"
  mcopy -i "$1" "$work/data.bin" ::ROOT.BIN
  mdel -i "$1" ::ROOT.BIN
  mdeltree -i "$1" "::Old Folder"
}

seed() {  # name image
  { printf '\0'; head -c 1048575 "$2"; } > "$out/$1"
}

mkfs.fat -C -F 12 "$work/fat12.img" 360 >/dev/null
fat_tree "$work/fat12.img"
seed fat12 "$work/fat12.img"

mkfs.fat -C -F 16 -s 1 "$work/fat16.img" 4096 >/dev/null
fat_tree "$work/fat16.img"
seed fat16 "$work/fat16.img"

truncate -s 4M "$work/exfat.img"
mkfs.exfat -c 512 -b 4K "$work/exfat.img" >/dev/null
loop=$(losetup -f --show "$work/exfat.img")
mount.exfat-fuse "$loop" "$mnt" >/dev/null
mkdir "$mnt/Old Folder"
cp "$work/data.bin" "$mnt/Old Folder/Some Long Name.bin"
cp "$work/data.bin" "$mnt/root.bin"
sync
rm -r "$mnt/Old Folder" "$mnt/root.bin"
umount "$mnt"
losetup -d "$loop"
loop=""
seed exfat "$work/exfat.img"
# fuzz_exfat reads the volume alone, without the mode byte.
mkdir -p fuzz/corpus/fuzz_exfat
head -c 1048576 "$work/exfat.img" > fuzz/corpus/fuzz_exfat/deleted-folder
echo "seeds written to $out and fuzz/corpus/fuzz_exfat"
