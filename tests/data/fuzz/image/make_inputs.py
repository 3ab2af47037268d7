#!/usr/bin/env python3
"""Writes the hand-made hostile inputs of this folder (explicit VR little endian files, no patient data)."""
import struct
from pathlib import Path

HERE = Path(__file__).resolve().parent
DATA = HERE.parent.parent


def element(group, elem, vr, value):
    if len(value) % 2:
        value += b"\0" if vr == b"UI" else b" "
    if vr in (b"OB", b"OW", b"SQ", b"UN", b"UT"):
        return struct.pack("<HH2sHI", group, elem, vr, 0, len(value)) + value
    return struct.pack("<HH2sH", group, elem, vr, len(value)) + value


def us(group, elem, value):
    return element(group, elem, b"US", struct.pack("<H", value))


def dicom(syntax, body):
    meta = element(0x0002, 0x0010, b"UI", syntax.encode())
    return b"\0" * 128 + b"DICM" + element(0x0002, 0x0000, b"UL", struct.pack("<I", len(meta))) + meta + body


def image_attributes(rows, columns, bits):
    return (us(0x0028, 0x0002, 1) + element(0x0028, 0x0004, b"CS", b"MONOCHROME2") + us(0x0028, 0x0010, rows)
            + us(0x0028, 0x0011, columns) + us(0x0028, 0x0100, bits) + us(0x0028, 0x0101, bits))


def encapsulated(stream):
    items = struct.pack("<HHI", 0xFFFE, 0xE000, 0)
    if len(stream) % 2:
        stream += b"\0"
    items += struct.pack("<HHI", 0xFFFE, 0xE000, len(stream)) + stream
    items += struct.pack("<HHI", 0xFFFE, 0xE0DD, 0)
    return struct.pack("<HH2sHI", 0x7FE0, 0x0010, b"OB", 0, 0xFFFFFFFF) + items


def patch_frame(stream, marker, size):
    at = stream.index(b"\xff" + bytes([marker]))
    return stream[:at + 5] + struct.pack(">HH", size, size) + stream[at + 9:]


EXPLICIT = "1.2.840.10008.1.2.1"
(HERE / "native-16000x16000-in-16-bytes.dcm").write_bytes(
    dicom(EXPLICIT, image_attributes(16000, 16000, 16) + element(0x7FE0, 0x0010, b"OW", bytes(16))))

# The JPEG stream of a sample file, its frame header claiming 16000 x 16000.
sample = (DATA / "files" / "SC_rgb_jpeg_dcmtk.dcm").read_bytes()
jpeg = sample[sample.index(b"\xff\xd8\xff"):]
jpeg = jpeg[:jpeg.rindex(b"\xff\xd9") + 2]
(HERE / "jpeg-frame-16000x16000.dcm").write_bytes(
    dicom("1.2.840.10008.1.2.4.50", image_attributes(16000, 16000, 8) + encapsulated(patch_frame(jpeg, 0xC0, 16000))))

# A small lossless stream in a data set that declares 16000 x 16000 with 16 bits allocated.
lossless = (DATA / "jpegll" / "mr_small_p8.ljpeg").read_bytes()
(HERE / "lossless-in-16000x16000.dcm").write_bytes(
    dicom("1.2.840.10008.1.2.4.70", image_attributes(16000, 16000, 16) + encapsulated(lossless)))

# Two thousand one-pixel images in one file.
tiny = b"".join(us(0x0028, 0x0010, 1) + us(0x0028, 0x0011, 1) + us(0x0028, 0x0100, 16) + us(0x0028, 0x0101, 16)
                + element(0x7FE0, 0x0010, b"OW", b"\x07\x00") for _ in range(2000))
(HERE / "many-one-pixel-images.dcm").write_bytes(
    dicom(EXPLICIT, element(0x0028, 0x0004, b"CS", b"MONOCHROME2") + tiny))
