#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright 2026 The Snapsalvager developers
"""Writes a Windows icon file holding PNG pictures (one per size), as Windows Vista and later
read them: make-ico.py OUT.ico IN16.png IN32.png ..."""
import struct
import sys


def png_size(data):
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise SystemExit("not a PNG picture")
    return struct.unpack(">II", data[16:24])


def main(out, pictures):
    images = [open(p, "rb").read() for p in pictures]
    entries, body = b"", b""
    offset = 6 + 16 * len(images)
    for data in images:
        width, height = png_size(data)
        # 0 stands for 256 in the one-byte sizes.
        entries += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32, len(data),
                               offset + len(body))
        body += data
    with open(out, "wb") as f:
        f.write(struct.pack("<HHH", 0, 1, len(images)) + entries + body)


if __name__ == "__main__":
    if len(sys.argv) < 3:
        raise SystemExit(__doc__)
    main(sys.argv[1], sys.argv[2:])
