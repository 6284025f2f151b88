#!/usr/bin/env python3
"""Writes the seeds of fuzz_partitions: the fuzz_scan seeds put inside an
MBR partition (a primary and a logical one) and inside a GPT partition, so
that mutations reach the tables and the file systems behind them.
Usage: fuzz/make-partition-seeds.py  (from the repository's root)
"""
import pathlib
import struct
import zlib

SECTOR = 512
START = 64  # sectors before the first partition


def mbr_entry(kind, first, count):
    return struct.pack("<B3sB3sII", 0, b"\0\0\0", kind, b"\0\0\0", first, count)


def with_mbr(volume, kind):
    count = len(volume) // SECTOR + 1
    disk = bytearray((START + count + 8) * SECTOR)
    disk[446:462] = mbr_entry(kind, START, count)
    disk[510:512] = b"\x55\xaa"
    disk[START * SECTOR:START * SECTOR + len(volume)] = volume
    return bytes(disk)


def with_logical(volume, kind):
    count = len(volume) // SECTOR + 1
    ext = START - 2
    disk = bytearray((START + count + 8) * SECTOR)
    disk[446:462] = mbr_entry(0x05, ext, count + 2)
    disk[510:512] = b"\x55\xaa"
    ebr = ext * SECTOR
    disk[ebr + 446:ebr + 462] = mbr_entry(kind, 2, count)
    disk[ebr + 510:ebr + 512] = b"\x55\xaa"
    disk[START * SECTOR:START * SECTOR + len(volume)] = volume
    return bytes(disk)


def with_gpt(volume):
    count = len(volume) // SECTOR + 1
    total = START + count + 40
    disk = bytearray(total * SECTOR)
    disk[446:462] = mbr_entry(0xEE, 1, total - 1)
    disk[510:512] = b"\x55\xaa"
    entries = bytearray(128 * 128)
    entries[0:16] = bytes(range(1, 17))
    entries[32:48] = struct.pack("<QQ", START, START + count - 1)
    disk[2 * SECTOR:2 * SECTOR + len(entries)] = entries
    header = bytearray(92)
    header[0:8] = b"EFI PART"
    struct.pack_into("<IIIIQQQQ", header, 8, 0x10000, 92, 0, 0, 1, total - 1, 34, total - 34)
    struct.pack_into("<QIII", header, 72, 2, 128, 128, zlib.crc32(entries))
    struct.pack_into("<I", header, 16, zlib.crc32(header))
    disk[SECTOR:SECTOR + 92] = header
    disk[START * SECTOR:START * SECTOR + len(volume)] = volume
    return bytes(disk)


scan = pathlib.Path("fuzz/corpus/fuzz_scan")
out = pathlib.Path("fuzz/corpus/fuzz_partitions")
out.mkdir(parents=True, exist_ok=True)
# fuzz_scan's first byte chooses the mode; the image follows.
fat = (scan / "fat32").read_bytes()[1:]
ntfs = (scan / "ntfs-deleted").read_bytes()[1:]
(out / "mbr-fat32").write_bytes(with_mbr(fat, 0x0C))
(out / "logical-ntfs").write_bytes(with_logical(ntfs, 0x07))
(out / "gpt-fat32").write_bytes(with_gpt(fat))
