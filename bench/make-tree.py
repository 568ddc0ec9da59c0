#!/usr/bin/env python3
"""make-tree.py ROOT COUNT: COUNT files of 4 KiB of random bytes under ROOT, in folders of 100
(d00/f0000.dat ...), synced, so that every benchmark wipes the same kind of tree."""
import os
import sys

root, count = sys.argv[1], int(sys.argv[2])
for i in range(count):
    folder = os.path.join(root, "d%02d" % (i // 100))
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "f%04d.dat" % i), "wb") as f:
        f.write(os.urandom(4096))
os.sync()
