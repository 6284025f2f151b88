#!/usr/bin/env python3
"""Checks marovi-cli's DFXML of one image with a real XML parser.

Usage: tools/check-dfxml.py IMAGE MAROVI_CLI [PARTITION]
The document must parse, name the DFXML namespace, and hold one fileobject
for every file `scan --json` lists, with the same path, name, size, time and
condition. The byte runs of every file whose condition is intact must hold
the very bytes `recover --all` writes for it, read from the image at their
img_offset; for NTFS files they must also match what The Sleuth Kit's icat
reads for the MFT record, at the partition's offset.
Exit status 1 on a difference.
"""
import hashlib
import json
import pathlib
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

DFXML = "{http://www.forensicswiki.org/wiki/Category:Digital_Forensics_XML}"
OWN = "{urn:marovi:dfxml}"

image, cli = sys.argv[1], sys.argv[2]
source = ["--image", image] + (["--partition", sys.argv[3]] if len(sys.argv) > 3 else [])
failures = []

with tempfile.TemporaryDirectory() as work:
    xml_path = pathlib.Path(work) / "found.xml"
    listing = json.loads(subprocess.run([cli, "scan", *source, "--json", "--quiet", "--dfxml", str(xml_path)],
                                        check=True, capture_output=True, text=True).stdout)
    root = ET.parse(xml_path).getroot()
    if root.tag != DFXML + "dfxml":
        sys.exit(f"the root element is {root.tag}")
    volume = root.find(DFXML + "volume")
    offset = int(volume.get("offset"))
    if listing.get("offset", 0) != offset:
        failures.append(f"volume offset {offset}, the drive lies at {listing.get('offset', 0)}")
    objects = volume.findall(DFXML + "fileobject")
    if len(objects) != len(listing["files"]):
        failures.append(f"{len(objects)} fileobjects for {len(listing['files'])} files")

    recovered = pathlib.Path(work) / "out"
    subprocess.run([cli, "recover", *source, "--all", "--quiet", "--to", str(recovered)], check=False,
                   capture_output=True)
    recovered = next(recovered.iterdir())
    with open(image, "rb") as disk:
        for entry, obj in zip(listing["files"], objects):
            where = f"{entry['path']}/{entry['name']}"
            text = lambda tag: obj.findtext(DFXML + tag)
            if text("filename") != where:
                failures.append(f"{where}: filename {text('filename')}")
                continue
            if int(text("filesize")) != entry["size"]:
                failures.append(f"{where}: filesize {text('filesize')}, listed {entry['size']}")
            if obj.findtext(OWN + "condition") != entry["condition"]:
                failures.append(f"{where}: condition {obj.findtext(OWN + 'condition')}, listed {entry['condition']}")
            if obj.findtext(OWN + "origin") != ("carved" if entry["kind"] == "carved" else "deleted"):
                failures.append(f"{where}: origin {obj.findtext(OWN + 'origin')}")
            if text("unalloc") != "1" or text("alloc") != "0":
                failures.append(f"{where}: not marked unallocated")
            if entry["kind"] == "ntfs" and text("inode") != str(entry["record"]):
                failures.append(f"{where}: inode {text('inode')}, record {entry['record']}")
            mtime = text("mtime")
            if entry["time"] and (mtime is None or mtime[:16].replace("T", "  ") != entry["time"]):
                failures.append(f"{where}: mtime {mtime}, listed {entry['time']}")
            if entry["condition"] != "intact":
                continue
            runs = obj.findall(f"{DFXML}byte_runs/{DFXML}byte_run")
            if any(r.get("type") == "resident" for r in runs):
                continue
            content = b""
            for run in sorted(runs, key=lambda r: int(r.get("file_offset"))):
                if int(run.get("img_offset")) != int(run.get("fs_offset")) + offset:
                    failures.append(f"{where}: img_offset {run.get('img_offset')} is not fs_offset + {offset}")
                disk.seek(int(run.get("img_offset")))
                content += disk.read(int(run.get("len")))
            written = (recovered / entry["path"] / entry["name"]).read_bytes()
            if hashlib.sha256(content).digest() != hashlib.sha256(written).digest():
                failures.append(f"{where}: its byte runs hold other bytes than the file recovered")
            if entry["kind"] == "ntfs":
                icat = subprocess.run(["icat", "-o", str(offset // 512), image, str(entry["record"])],
                                      check=True, capture_output=True).stdout
                if icat != content:
                    failures.append(f"{where}: its byte runs hold other bytes than icat reads")

for failure in failures:
    print(failure)
print(f"{image}: {len(objects)} fileobjects checked, {len(failures)} differences")
sys.exit(1 if failures else 0)
