#!/usr/bin/env python3
"""Writes Orblane.ico, the Windows viewer's icon, from the viewer's own icon pictures (resources/icons/199-*.png).

Each size is stored as its PNG (an icon format Windows reads since Vista), so the pictures are not re-encoded.
Run from the repository's root: resources/windows/make_icon.py
"""
import struct
import sys
from pathlib import Path

root = Path(__file__).resolve().parents[2]
sizes = [16, 32, 48, 64, 256]
images = [(root / f"resources/icons/199-{size}.png").read_bytes() for size in sizes]
header = struct.pack("<HHH", 0, 1, len(images))
offset = len(header) + 16 * len(images)
entries = b""
for size, png in zip(sizes, images):
    # A width or height of 256 is written as 0.
    entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(png), offset)
    offset += len(png)
out = root / "resources/windows/Orblane.ico"
out.write_bytes(header + entries + b"".join(images))
sys.stdout.write(f"{out}: {offset} bytes\n")
