#!/usr/bin/env python3
"""Wraps the lossless streams of tests/data/jpegll/ in small data sets, so that the image target reaches the lossless
decoder through a whole file (explicit VR little endian, JPEG lossless first-order prediction; no patient data)."""
import struct
from pathlib import Path

HERE = Path(__file__).resolve().parent
STREAMS = HERE.parent.parent.parent / "tests" / "data" / "jpegll"


def element(group, elem, vr, value):
    if len(value) % 2:
        value += b"\0" if vr == b"UI" else b" "
    if vr in (b"OB", b"OW", b"SQ", b"UN", b"UT"):
        return struct.pack("<HH2sHI", group, elem, vr, 0, len(value)) + value
    return struct.pack("<HH2sH", group, elem, vr, len(value)) + value


def us(group, elem, value):
    return element(group, elem, b"US", struct.pack("<H", value))


def lossless_file(stream, rows, columns, bits):
    meta = element(0x0002, 0x0010, b"UI", b"1.2.840.10008.1.2.4.70")
    body = (us(0x0028, 0x0002, 1) + element(0x0028, 0x0004, b"CS", b"MONOCHROME2") + us(0x0028, 0x0010, rows)
            + us(0x0028, 0x0011, columns) + us(0x0028, 0x0100, bits) + us(0x0028, 0x0101, bits))
    if len(stream) % 2:
        stream += b"\0"
    items = struct.pack("<HHI", 0xFFFE, 0xE000, 0) + struct.pack("<HHI", 0xFFFE, 0xE000, len(stream)) + stream
    items += struct.pack("<HHI", 0xFFFE, 0xE0DD, 0)
    pixels = struct.pack("<HH2sHI", 0x7FE0, 0x0010, b"OB", 0, 0xFFFFFFFF) + items
    return (b"\0" * 128 + b"DICM" + element(0x0002, 0x0000, b"UL", struct.pack("<I", len(meta))) + meta + body
            + pixels)


for name, rows, columns, bits in (("mr_small_p16", 64, 64, 16), ("mr_small_p8", 64, 64, 8),
                                  ("mr_small_predictor2", 64, 64, 16)):
    stream = (STREAMS / f"{name}.ljpeg").read_bytes()
    (HERE / f"lossless_{name}.dcm").write_bytes(lossless_file(stream, rows, columns, bits))
