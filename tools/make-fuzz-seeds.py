#!/usr/bin/env python3
"""Writes the fuzz targets' seed corpora from the unpacked fixture images.

Usage: tools/make-fuzz-seeds.py FIXTURE_DIR CARVING_FILES_DIR
FIXTURE_DIR holds the unpacked images (build/fixtures); CARVING_FILES_DIR
the output of fixtures/make-carving-files.py. Seeds are small: records,
table heads and the first sectors of files, not whole images.
"""
import os
import struct
import sys

fixtures, carving = sys.argv[1], sys.argv[2]
root = os.path.join(os.path.dirname(__file__), "..", "fuzz", "corpus")


def write(target, name, data):
    folder = os.path.join(root, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def image(name, length, offset=0):
    with open(os.path.join(fixtures, name), "rb") as f:
        f.seek(offset)
        return f.read(length)


# File records: raw MFT records of the sample's deleted files, as stored.
mft = 4 * 4096
for first in (64, 68, 72, 76):
    write("fuzz_file_record", f"sample-{first}", b"\0" + image("ntfs-sample.img", 4 * 1024, mft + first * 1024))
write("fuzz_file_record", "fixed-up", b"\1" + image("ntfs-sample.img", 4 * 1024, mft + 80 * 1024))

# Run lists: VCN range, data size, offset, runs.
for name, start, count, size, runs in (("one-run", 0, 0x17, 0x18 * 4096, b"\x21\x18\x40\x00"),
                                       ("sparse", 0, 15, 16 * 4096, b"\x01\x10"),
                                       ("two-runs", 0, 5, 6 * 4096, b"\x11\x04\x40\x11\x02\xf0"),
                                       ("extent", 100, 3, 4 * 4096, b"\x11\x04\x48")):
    write("fuzz_data_runs", name, struct.pack("<QQQQ", start, count, size, 4095) + runs)

# FAT32: the start of the sample's FAT, then its first data clusters.
fat = image("fat32-sample.img", 256, 32 * 512 + 8)
data_start = (32 + 2 * 536) * 512
write("fuzz_fat32", "sample", fat + image("fat32-sample.img", 64 * 512, data_start))

# Carvers: the first sectors of each kind of file, split at various places.
for i, name in enumerate(sorted(os.listdir(carving))):
    with open(os.path.join(carving, name), "rb") as f:
        body = f.read(16 * 512)
    write("fuzz_carvers", name, bytes([i % 8]) + body)
write("fuzz_carvers", "tiff", b"\x02" + b"II*\x00\x08\x00\x00\x00\x01\x00\x00\x01\x03\x00\x01\x00\x00\x00\x05\x00\x00\x00\x00\x00\x00\x00".ljust(1024, b"\0"))



def mini_fat32():
    """A FAT32 volume of 126 one-sector clusters: a root with a label, a
    deleted file and a deleted folder holding another, and a BMP in free space."""
    sector = 512
    reserved, fats, per_fat = 32, 2, 1
    boot = bytearray(sector)
    boot[3:11] = b"MSWIN4.1"
    struct.pack_into("<HBHB", boot, 0x0B, sector, 1, reserved, fats)
    struct.pack_into("<I", boot, 0x24, per_fat)
    struct.pack_into("<I", boot, 0x2C, 2)
    clusters = per_fat * sector // 4
    img = bytearray((reserved + fats * per_fat + clusters) * sector)
    img[:sector] = boot
    struct.pack_into("<III", img, reserved * sector, 0x0FFFFFF8, 0x0FFFFFFF, 0x0FFFFFFF)

    def entry(name, attributes, cluster, size):
        e = bytearray(32)
        e[0:11] = name
        e[11] = attributes
        struct.pack_into("<HHH", e, 0x0E, 0x5000, 0x5871, 0x5871)
        struct.pack_into("<HHHHI", e, 0x14, cluster >> 16, 0x5000, 0x5871, cluster & 0xFFFF, size)
        return bytes(e)

    def cluster_offset(c):
        return (reserved + fats * per_fat + c - 2) * sector

    root = entry(b"MAROVI     ", 0x08, 0, 0) + entry(b"\xe5OLD       ", 0x10, 3, 0) + entry(b"\xe5ILE    TXT", 0x20, 6, 700)
    img[cluster_offset(2):cluster_offset(2) + len(root)] = root
    folder = entry(b".          ", 0x10, 3, 0) + entry(b"..         ", 0x10, 0, 0) + entry(b"\xe5NNER   BIN", 0x20, 8, 300)
    img[cluster_offset(3):cluster_offset(3) + len(folder)] = folder
    bmp = b"BM" + struct.pack("<IHHII", 1100, 0, 0, 54, 40)
    img[cluster_offset(20):cluster_offset(20) + len(bmp)] = bmp
    return bytes(img)


# Whole scans: small volumes, with the file-system name and mode they want.
write("fuzz_scan", "ntfs-deleted", b"\x00" + image("ntfs-sample.img", 128 * 1024))
write("fuzz_scan", "ntfs-universal", b"\x04" + image("ntfs-sample.img", 128 * 1024))
write("fuzz_scan", "fat32", b"\x01" + mini_fat32())
write("fuzz_scan", "raw", b"\x02" + image("raw-carve.img", 32 * 1024, 3000 * 512))
