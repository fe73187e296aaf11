#!/usr/bin/env python3
"""Writes a system.reg COPIES times the size of a fresh Wine 8 prefix's one.

The first copy is the sample itself, every key where Wine put it, so that a
machine holding the file still opens and loads as it did. Copy N (from 2 on)
repeats each key below a second-level key of its own: Software\\Classes\\X
becomes Software\\Classes 02\\X, as a prefix with many programs installed has
many more keys under Software. The keys are sorted as Wine sorts them, so the
result is canonical: read and written back unchanged it comes out identical.

Usage: bench/big_hive.py COPIES OUTPUT [SAMPLE]
  SAMPLE defaults to samples/wine8-win64/system.reg.gz (gzip or plain text).
"""

import gzip
import os
import sys


def read_sample(path):
    with open(path, "rb") as f:
        data = f.read()
    return gzip.decompress(data) if data[:2] == b"\x1f\x8b" else data


def main():
    if len(sys.argv) not in (3, 4) or not sys.argv[1].isdigit() or int(sys.argv[1]) < 1:
        sys.exit(__doc__.split("\n\n")[-1])
    copies, output = int(sys.argv[1]), sys.argv[2]
    here = os.path.dirname(os.path.abspath(__file__))
    sample = sys.argv[3] if len(sys.argv) == 4 else os.path.join(here, "..", "samples", "wine8-win64", "system.reg.gz")
    text = read_sample(sample)

    first = text.index(b"\n[") + 1
    header, body = text[:first], text[first:]
    # Each block is one key: "[path] seconds", its options and values, then a
    # blank line (except for the last). Strings never hold a raw line end.
    blocks = [b if b.startswith(b"[") else b"[" + b for b in body.rstrip(b"\n").split(b"\n\n[")]

    def path_of(block):
        return block[1:block.index(b"] ")]

    keys = []
    for block in blocks:
        path = path_of(block)
        # Sorting compares the escaped text, which is Wine's order only for
        # names without escapes: a name with one would land in the wrong place.
        if b"\\" in path.replace(b"\\\\", b""):
            sys.exit("error: a key name with escapes (%r); this script sorts plain names only" % path)
        parts = path.split(b"\\\\")
        for n in range(1, copies + 1):
            if n == 1:
                keys.append((parts, block))
            elif len(parts) >= 2:
                moved = [parts[0], parts[1] + b" %02d" % n] + parts[2:]
                keys.append((moved, b"[" + b"\\\\".join(moved) + block[1 + len(path):]))
    # Wine's order: depth first, siblings without regard to case, a parent before its subkeys.
    keys.sort(key=lambda k: [p.lower() for p in k[0]])
    with open(output, "wb") as f:
        f.write(header + b"\n\n".join(block for _, block in keys) + b"\n")


if __name__ == "__main__":
    main()
