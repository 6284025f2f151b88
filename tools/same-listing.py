#!/usr/bin/env python3
"""Checks that listings of the Windows build match the native CLI's.

Usage: tools/same-listing.py LABEL NATIVE.json WINDOWS.json...
Every file must be listed alike, and the file system and offset must agree.
The Windows build decodes no JPEG: a JPEG the native build calls intact or
corrupt may be unknown there, and nothing else may differ in condition.
Exit status 1 on a difference.
"""
import json
import sys

label, native_path, *windows_paths = sys.argv[1:]


def load(path):
    return json.load(open(path, encoding="utf-8"))


def without_conditions(files):
    return [{k: v for k, v in f.items() if k not in ("condition", "conditionWhy")} for f in files]


native = load(native_path)
for path in windows_paths:
    win = load(path)
    for w, n in zip(win["files"], native["files"]):
        if w.get("condition") != n.get("condition"):
            jpeg = n["name"].lower().endswith((".jpg", ".jpeg"))
            if not (jpeg and w.get("condition") == "unknown"):
                sys.exit(f"{label}: {n['path']}/{n['name']} is {w.get('condition')} on Windows, {n.get('condition')} here")
    if without_conditions(win["files"]) != without_conditions(native["files"]):
        sys.exit(f"{label}: listings differ ({path})")
    for key in ("fileSystem", "offset"):
        if win.get(key) != native.get(key):
            sys.exit(f"{label}: {key} {win.get(key)} on Windows, {native.get(key)} here")
    if not win["files"]:
        sys.exit(f"{label}: nothing listed")
print(f"{label}: {len(native['files'])} files listed alike ({native['fileSystem'] or 'no file system'})")
