#!/usr/bin/env python3
"""The byte-level half of bench/free-space-forensic.sh.

  free-space-scan.py marker FILE FS SIZE   SIZE bytes of the token VTMARK-FS-SIZE- padded
                                           to 32 bytes and repeated, so that every 512-byte
                                           sector of the file holds whole tokens
  free-space-scan.py scan IMAGE            the 512-byte sectors of a raw image that hold a
                                           whole token: their count on the first line, then
                                           per marker "SIZE:SECTORS" (and how many of those
                                           lie in an NTFS file record) on the second
  free-space-scan.py json-bytes FILE       "KEY VALUE" of the byte count a wipe's JSON
                                           reports as written, or nothing
  free-space-scan.py json-fill FILE        "BYTES MILLISECONDS" of the fill alone (the
                                           first pass), or nothing
"""
import json
import os
import re
import sys

SECTOR = 512
UNIT = 32
TOKEN = re.compile(rb"VTMARK-([a-z0-9]+)-([0-9]+)-")


def marker(path, fs, size):
    token = ("VTMARK-%s-%d-" % (fs, size)).encode()
    assert len(token) <= UNIT
    unit = token.ljust(UNIT, b".")
    data = (unit * (size // UNIT + 1))[:size]
    with open(path, "wb") as f:
        f.write(data)


def scan(path):
    # Sector-aligned chunks: a token across a chunk boundary crosses a sector boundary too,
    # and a sector counts only when it holds a whole token.
    chunk = 16 << 20
    hits = {}  # sector -> set of marker sizes
    with open(path, "rb") as f:
        base = 0
        while True:
            data = f.read(chunk)
            if not data:
                break
            for m in TOKEN.finditer(data):
                start, end = base + m.start(), base + m.end() - 1
                if start // SECTOR == end // SECTOR:
                    hits.setdefault(start // SECTOR, set()).add(int(m.group(2)))
            base += len(data)
        per_marker = {}
        in_record = {}
        for sector, sizes in hits.items():
            # NTFS file records are 1 KiB, aligned, and begin with "FILE".
            f.seek(sector * SECTOR // 1024 * 1024)
            record = f.read(4) == b"FILE"
            for size in sizes:
                per_marker[size] = per_marker.get(size, 0) + 1
                in_record[size] = in_record.get(size, 0) + record
    print(len(hits))
    parts = []
    for size in sorted(per_marker):
        note = " (%d in file records)" % in_record[size] if in_record[size] else ""
        parts.append("%d B: %d%s" % (size, per_marker[size], note))
    print(", ".join(parts) if parts else "none")


def json_bytes(path):
    text = open(path, encoding="utf-8", errors="replace").read()
    docs = []
    try:
        docs.append(json.loads(text))
    except ValueError:
        # One object per line is as good.
        for line in text.splitlines():
            try:
                docs.append(json.loads(line))
            except ValueError:
                pass
    found = []

    def walk(node):
        if isinstance(node, dict):
            for key, value in node.items():
                k = key.lower()
                if (isinstance(value, (int, float)) and not isinstance(value, bool)
                        and "byte" in k and ("writ" in k or "fill" in k)):
                    found.append((key, int(value)))
                walk(value)
        elif isinstance(node, list):
            for value in node:
                walk(value)

    for doc in docs:
        walk(doc)
    if found:
        key, value = max(found, key=lambda kv: kv[1])
        print(key, value)


def json_fill(path):
    try:
        doc = json.load(open(path, encoding="utf-8", errors="replace"))
        fs = doc["freeSpace"]
        print(int(fs["bytesCovered"]), int(fs["firstPassMilliseconds"]))
    except (ValueError, KeyError, TypeError):
        pass


def main():
    if len(sys.argv) == 5 and sys.argv[1] == "marker":
        marker(sys.argv[2], sys.argv[3], int(sys.argv[4]))
    elif len(sys.argv) == 3 and sys.argv[1] == "scan":
        scan(sys.argv[2])
    elif len(sys.argv) == 3 and sys.argv[1] == "json-bytes":
        json_bytes(sys.argv[2])
    elif len(sys.argv) == 3 and sys.argv[1] == "json-fill":
        json_fill(sys.argv[2])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
