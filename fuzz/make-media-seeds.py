#!/usr/bin/env python3
"""Writes fuzz_carvers' seeds of a carving fixture: one file of each kind cut
out of the unpacked image by its manifest, behind the byte that splits the
input into two touching runs (3: after three sectors).
Usage: fuzz/make-media-seeds.py UNPACKED-IMAGE [PREFIX]  (from the repository's root)
  media-carve.img with the prefix "media" (the default), docs-carve.img with "docs".
"""
import pathlib
import re
import sys

image = pathlib.Path(sys.argv[1]).read_bytes()
prefix = sys.argv[2] if len(sys.argv) > 2 else "media"
out = pathlib.Path("fuzz/corpus/fuzz_carvers")
seen = set()
for line in pathlib.Path(f"fixtures/{pathlib.Path(sys.argv[1]).name}.manifest.tsv").read_text(encoding="utf-8").splitlines()[1:]:
    state, path, name, size = line.split("\t")[:4]
    sector = int(re.search(r"(\d+)", name).group(1))
    kind = name.rsplit(".", 1)[1]
    data = image[sector * 512:sector * 512 + int(size)]
    # One of each kind and start: RAR 4 and 5, MP3 with and without a tag.
    if (kind, data[:7]) in seen or int(size) > 512 * 1024:
        continue
    count = sum(1 for k, _ in seen if k == kind)
    seen.add((kind, data[:7]))
    (out / f"{prefix}.{kind}{count or ''}").write_bytes(b"\x03" + data + b"\0" * (512 - len(data) % 512))
