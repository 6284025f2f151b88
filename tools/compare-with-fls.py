#!/usr/bin/env python3
"""Compares marovi-cli's deleted files with The Sleuth Kit's on one image.

Usage: tools/compare-with-fls.py IMAGE [MAROVI_CLI [PARTITION]]
With PARTITION, the partition of that number is compared, fls reading it at
the offset marovi-cli gives, which must be a partition start mmls lists.
NTFS: every file that `fls -r -d -l -p` lists with a name must appear with
the same folder path (below 删除的文件, or under a 找到的文件 placeholder for
fls's $OrphanFiles) and size; nothing else may be listed.
FAT12, FAT16, FAT32, exFAT: every file fls lists under a surviving folder or
a deleted folder must appear below 删除的文件 with its name and size; '#'
for a short name's lost first character is compared as fls's '_'. A file
listed that fls does not list must be one fls lists as an orphan (the
entries of a deleted folder it cannot load), by size. Carved files and found
folders are not compared.
Exit status 1 on a difference.
"""
import json
import re
import subprocess
import sys

image = sys.argv[1]
cli = sys.argv[2] if len(sys.argv) > 2 else "build/marovi-cli"
partition = sys.argv[3] if len(sys.argv) > 3 else None

scan = [cli, "scan", "--image", image, "--json", "--quiet"]
fls_at = []
if partition is not None:
    scan += ["--partition", partition]
    drives = json.loads(subprocess.run([cli, "drives", "--json", "--image", image],
                                       check=True, capture_output=True, text=True).stdout)
    offset = next(d["offset"] for d in drives if d.get("device") == image and d.get("partition") == int(partition))
    starts = [int(line.split()[2]) for line in subprocess.run(["mmls", image], check=True, capture_output=True,
                                                              text=True).stdout.splitlines()
              if re.match(r"\d+:\s+\d+(:\d+)?\s", line)]
    if offset % 512 or offset // 512 not in starts:
        print(f"partition {partition} at byte {offset}: mmls lists partitions at sectors {starts}")
        sys.exit(1)
    fls_at = ["-o", str(offset // 512)]
ours = json.loads(subprocess.run(scan, check=True, capture_output=True, text=True).stdout)
fat = ours["resultSource"] in ("fat32", "fat16", "fat12", "exfat")


def fls_form(name):
    """A FAT short name as fls writes it: '_' for a lost first character."""
    return "_" + name[1:] if fat and name.startswith("#") else name


listed = {}
for f in ours["files"]:
    if f["kind"] == "carved":
        continue
    top, _, rest = f["path"].partition("/")
    if fat and top != "删除的文件":
        continue
    rest = "/".join(fls_form(part) for part in rest.split("/") if part)
    key = (rest + "/" + fls_form(f["name"])).lstrip("/") if top == "删除的文件" else "$Orphan/" + f["name"]
    listed.setdefault(key, []).append(f["size"])

expected = {}
orphans = []  # sizes of the files fls lists only as orphans, without their folder
for line in subprocess.run(["fls", "-r", "-d", "-l", "-p"] + fls_at + [image], check=True,
                           capture_output=True, text=True).stdout.splitlines():
    head, path = line.split("\t", 1)[0], line.split("\t")[1]
    fields = line.split("\t")
    if not head.startswith("r/r") and not head.startswith("-/r"):
        continue  # directories are shown as tree nodes, not as files
    if path.startswith("$OrphanFiles/OrphanFile-"):
        continue  # records without a name
    if fat and path.startswith("$OrphanFiles/"):
        orphans.append(int(fields[6]))
        continue  # found folders and entries of folders fls cannot load
    size = int(fields[6])
    key = "$Orphan/" + path.split("/")[-1] if path.startswith("$OrphanFiles/") else path
    expected.setdefault(key, []).append(size)

problems = 0
for key, sizes in sorted(expected.items()):
    if sorted(listed.get(key, [])) != sorted(sizes):
        print(f"fls lists {key} {sizes}, marovi {listed.get(key)}")
        problems += 1
for key in sorted(set(listed) - set(expected)):
    # fls lists the entries of a deleted folder it cannot load as orphans: each
    # such file of ours must be one of them, by size.
    for size in listed[key]:
        if fat and size in orphans:
            orphans.remove(size)
            continue
        print(f"marovi lists {key} {size}, fls does not")
        problems += 1
print(f"{sum(len(v) for v in expected.values())} files from fls, "
      f"{sum(len(v) for v in listed.values())} from marovi, {problems} differences")
sys.exit(1 if problems else 0)
