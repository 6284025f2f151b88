#!/usr/bin/env python3
"""Writes fuzz_carvers' seeds of the pictures and videos: each file of the
media fixture cut out of the unpacked image by its manifest, behind the byte
that splits the input into two touching runs (3: after three sectors).
Usage: fuzz/make-media-seeds.py UNPACKED-IMAGE  (from the repository's root)
"""
import pathlib
import re
import sys

image = pathlib.Path(sys.argv[1]).read_bytes()
out = pathlib.Path("fuzz/corpus/fuzz_carvers")
seen = set()
for line in pathlib.Path("fixtures/media-carve.img.manifest.tsv").read_text(encoding="utf-8").splitlines()[1:]:
    state, path, name, size = line.split("\t")[:4]
    sector = int(re.search(r"(\d+)", name).group(1))
    kind = name.rsplit(".", 1)[1]
    if kind in seen or int(size) > 512 * 1024:
        continue
    seen.add(kind)
    data = image[sector * 512:sector * 512 + int(size)]
    (out / f"media.{kind}").write_bytes(b"\x03" + data + b"\0" * (512 - len(data) % 512))
