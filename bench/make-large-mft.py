#!/usr/bin/env python3
"""An NTFS image with an MFT of RECORDS records (1,000,000 by default), made
in seconds: mkntfs makes the volume, then this script moves the MFT to a
free area large enough, gives $MFT's $DATA and $BITMAP one run each there,
and writes every record from 64 up itself: deleted files (flag 0) in a few
hundred deleted folders, half of them with a resident $DATA, half with a
non-resident one. The image is sparse.

Usage: make-large-mft.py IMAGE [RECORDS]
"""
import os
import struct
import subprocess
import sys

CLUSTER = 4096
RECORD = 1024
SECTOR = 512
FIRST_WRITTEN = 64          # records below are mkntfs's own
FOLDERS = 500               # deleted folders the files lie in
ATTR_END = 0xFFFFFFFF


def undo_fixups(rec):
    usa = struct.unpack_from("<H", rec, 4)[0]
    count = struct.unpack_from("<H", rec, 6)[0]
    for i in range(1, count):
        rec[i * SECTOR - 2:i * SECTOR] = rec[usa + 2 * i:usa + 2 * i + 2]


def apply_fixups(rec, usn):
    usa = struct.unpack_from("<H", rec, 4)[0]
    count = struct.unpack_from("<H", rec, 6)[0]
    struct.pack_into("<H", rec, usa, usn)
    for i in range(1, count):
        rec[usa + 2 * i:usa + 2 * i + 2] = rec[i * SECTOR - 2:i * SECTOR]
        struct.pack_into("<H", rec, i * SECTOR - 2, usn)


def attributes(rec):
    """(offset, type, length) of each attribute of a record."""
    out = []
    off = struct.unpack_from("<H", rec, 0x14)[0]
    while off + 8 <= len(rec):
        kind, length = struct.unpack_from("<II", rec, off)
        if kind == ATTR_END or length == 0:
            break
        out.append((off, kind, length))
        off += length
    return out


def run_list(lcn, clusters):
    def field(v, signed):
        n = 1
        while True:
            try:
                return v.to_bytes(n, "little", signed=signed)
            except OverflowError:
                n += 1
    length, offset = field(clusters, False), field(lcn, True)
    return bytes([len(offset) << 4 | len(length)]) + length + offset + b"\0"


def non_resident(kind, lcn, clusters, size):
    runs = run_list(lcn, clusters)
    length = (0x40 + len(runs) + 7) & ~7
    a = bytearray(length)
    struct.pack_into("<IIBBHHH", a, 0, kind, length, 1, 0, 0x40, 0, 0)
    struct.pack_into("<QQHHIQQQ", a, 0x10, 0, clusters - 1, 0x40, 0, 0, clusters * CLUSTER, size, size)
    a[0x40:0x40 + len(runs)] = runs
    return bytes(a)


def rebuild_mft_record(rec, data_attr, bitmap_attr):
    """Record 0 with its $DATA and $BITMAP replaced."""
    undo_fixups(rec)
    first = struct.unpack_from("<H", rec, 0x14)[0]
    kept = []
    for off, kind, length in attributes(rec):
        if kind == 0x80:
            kept.append(data_attr)
        elif kind == 0xB0:
            kept.append(bitmap_attr)
        else:
            kept.append(bytes(rec[off:off + length]))
    body = b"".join(kept) + struct.pack("<II", ATTR_END, 0)
    assert first + len(body) <= RECORD, "record 0 does not hold the new attributes"
    rec[first:] = body + bytes(RECORD - first - len(body))
    struct.pack_into("<I", rec, 0x18, first + len(body))
    apply_fixups(rec, struct.unpack_from("<H", rec, struct.unpack_from("<H", rec, 4)[0])[0])
    return rec


def resident(kind, value, name=""):
    encoded = name.encode("utf-16-le")
    value_offset = (0x18 + len(encoded) + 7) & ~7
    length = (value_offset + len(value) + 7) & ~7
    a = bytearray(length)
    struct.pack_into("<IIBBHHHIHBB", a, 0, kind, length, 0, len(name), 0x18, 0, 0, len(value), value_offset, 0, 0)
    a[0x18:0x18 + len(encoded)] = encoded
    a[value_offset:value_offset + len(value)] = value
    return bytes(a)


def empty_index_root():
    """$INDEX_ROOT of a folder of file names with no entries: only the end entry."""
    v = bytearray(0x30)
    struct.pack_into("<IIIB", v, 0, 0x30, 1, CLUSTER, 1)   # indexed type, collation, block size, clusters
    struct.pack_into("<IIIB", v, 0x10, 0x10, 0x20, 0x20, 0)  # node header: first entry, used, allocated, flags
    struct.pack_into("<QHHI", v, 0x20, 0, 0x10, 0, 2)      # the end entry
    return resident(0x90, bytes(v), "$I30")


def file_name_value(parent, name, size):
    encoded = name.encode("utf-16-le")
    v = bytearray(0x42 + len(encoded))
    t = 0x01D5000000000000
    struct.pack_into("<QQQQQQQIIBB", v, 0, parent | (1 << 48), t, t, t, t, size, size, 0x20, 0,
                     len(name), 1)
    v[0x42:] = encoded
    return bytes(v)


def record_bytes(number, flags, attrs):
    rec = bytearray(RECORD)
    rec[0:4] = b"FILE"
    struct.pack_into("<HHQHHHHII", rec, 4, 0x30, 3, 0, 1, 1, 0x38, flags, 0, RECORD)
    struct.pack_into("<I", rec, 0x2C, number & 0xFFFFFFFF)
    body = b"".join(attrs) + struct.pack("<II", ATTR_END, 0)
    rec[0x38:0x38 + len(body)] = body
    struct.pack_into("<I", rec, 0x18, 0x38 + len(body))
    apply_fixups(rec, 1)
    return rec


def main():
    image = sys.argv[1]
    records = int(sys.argv[2]) if len(sys.argv) > 2 else 1_000_000
    mft_clusters = (records * RECORD + CLUSTER - 1) // CLUSTER
    volume_bytes = 4 * (mft_clusters * CLUSTER) + (256 << 20)
    if os.path.exists(image):
        os.remove(image)
    with open(image, "wb") as f:
        f.truncate(volume_bytes)
    subprocess.run(["mkntfs", "-F", "-q", "-Q", "-c", str(CLUSTER), image], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    with open(image, "r+b") as f:
        boot = bytearray(f.read(SECTOR))
        old_lcn = struct.unpack_from("<Q", boot, 0x30)[0]
        # mkntfs keeps the middle of the volume for $MFTMirr and $LogFile; past
        # five eighths of it all is free: the MFT and its bitmap go there.
        new_lcn = (volume_bytes // CLUSTER) * 5 // 8
        bitmap_bytes = (records + 7) // 8
        bitmap_clusters = (bitmap_bytes + CLUSTER - 1) // CLUSTER
        bitmap_lcn = new_lcn + mft_clusters
        f.seek(old_lcn * CLUSTER)
        head = bytearray(f.read(FIRST_WRITTEN * RECORD))
        rec0 = rebuild_mft_record(bytearray(head[:RECORD]),
                                  non_resident(0x80, new_lcn, mft_clusters, records * RECORD),
                                  non_resident(0xB0, bitmap_lcn, bitmap_clusters, bitmap_bytes))
        head[:RECORD] = rec0
        f.seek(old_lcn * CLUSTER)
        f.write(rec0)
        f.seek(new_lcn * CLUSTER)
        f.write(head)
        # Records 0 to 63 are in use as mkntfs left them (unused ones among them stay so).
        bitmap = bytearray(bitmap_clusters * CLUSTER)
        for n in range(FIRST_WRITTEN):
            if struct.unpack_from("<H", head, n * RECORD + 0x16)[0] & 1:
                bitmap[n // 8] |= 1 << (n % 8)
        f.seek(bitmap_lcn * CLUSTER)
        f.write(bitmap)

        folders = list(range(FIRST_WRITTEN, FIRST_WRITTEN + FOLDERS))
        data_lcn = bitmap_lcn + bitmap_clusters
        f.seek(new_lcn * CLUSTER + FIRST_WRITTEN * RECORD)
        chunk = []
        for n in range(FIRST_WRITTEN, records):
            if n < FIRST_WRITTEN + FOLDERS:
                rec = record_bytes(n, 0x2, [resident(0x10, bytes(0x48)), resident(0x30, file_name_value(5, f"folder{n}", 0)),
                                            empty_index_root()])
            else:
                parent = folders[n % FOLDERS]
                name = f"file{n:07d}.dat"
                if n % 2:
                    content = b"x" * (n % 600)
                    data = resident(0x80, content)
                    size = len(content)
                else:
                    size = CLUSTER * 2
                    data = non_resident(0x80, data_lcn + (n % 4096) * 2, 2, size)
                rec = record_bytes(n, 0, [resident(0x10, bytes(0x48)), resident(0x30, file_name_value(parent, name, size)),
                                          data])
            chunk.append(rec)
            if len(chunk) == 4096:
                f.write(b"".join(chunk))
                chunk = []
        f.write(b"".join(chunk))
        # The boot sector names the MFT's new first cluster; the backup at the end too.
        struct.pack_into("<Q", boot, 0x30, new_lcn)
        f.seek(0)
        f.write(boot)
        f.seek(volume_bytes - SECTOR)
        f.write(boot)
    print(f"{image}: {records} MFT records, {records - FIRST_WRITTEN - FOLDERS} deleted files in {FOLDERS} deleted folders")


if __name__ == "__main__":
    main()
