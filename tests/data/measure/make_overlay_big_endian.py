#!/usr/bin/python3
"""Writes overlay planes in an Explicit VR Big Endian file, and the masks they should give.

Run with Debian's /usr/bin/python3 (pydicom 2.3, numpy) from this folder. Overlay Data (OW) is a run of 16-bit words
whose bit 0 is the first pixel; in big-endian order each word's two bytes are stored high byte first, so the words
are built here little-endian and then swapped by numpy. pydicom writes OW values as they are given. The expected
masks are placed by numpy slicing, as make_measure.py places its own.
"""
import zlib

import numpy as np
from pydicom.dataset import Dataset, FileMetaDataset
from pydicom.uid import ExplicitVRBigEndian

rng = np.random.default_rng(2701)
ROWS, COLUMNS = 20, 30


def words_big_endian(mask):
    packed = np.packbits(mask.astype(np.uint8).ravel(), bitorder="little")
    if len(packed) % 2:
        packed = np.concatenate([packed, np.zeros(1, dtype=np.uint8)])
    return packed.reshape(-1, 2)[:, ::-1].tobytes()


def placed(plane, origin_row, origin_column):
    out = np.zeros((ROWS, COLUMNS), dtype=bool)
    top, left = origin_row - 1, origin_column - 1
    r0, c0 = max(0, top), max(0, left)
    r1, c1 = min(ROWS, top + plane.shape[0]), min(COLUMNS, left + plane.shape[1])
    if r0 < r1 and c0 < c1:
        out[r0:r1, c0:c1] = plane[r0 - top:r1 - top, c0 - left:c1 - left]
    return out


def write_pbm(mask, name):
    rows, columns = mask.shape
    with open(name, "wb") as f:
        f.write(b"P4\n%d %d\n" % (columns, rows))
        f.write(np.packbits(mask.astype(np.uint8), axis=1).tobytes())


meta = FileMetaDataset()
meta.MediaStorageSOPClassUID = "1.2.840.10008.5.1.4.1.1.4"
meta.MediaStorageSOPInstanceUID = "1.2.826.0.1.3680043.10.1234.79." + str(zlib.crc32(b"overlay-big-endian"))
meta.TransferSyntaxUID = ExplicitVRBigEndian
ds = Dataset()
ds.file_meta = meta
ds.SOPClassUID = meta.MediaStorageSOPClassUID
ds.SOPInstanceUID = meta.MediaStorageSOPInstanceUID
ds.Modality = "MR"
ds.PatientName = "Measure^Fixture"
ds.Rows = ROWS
ds.Columns = COLUMNS
ds.SamplesPerPixel = 1
ds.PhotometricInterpretation = "MONOCHROME2"
ds.BitsAllocated = 16
ds.BitsStored = 12
ds.HighBit = 11
ds.PixelRepresentation = 0
ds.PixelData = rng.integers(0, 4096, size=(ROWS, COLUMNS), dtype=np.uint16).astype(">u2").tobytes()

# 7 x 9 = 63 bits: the last word is partly used. 5 x 13 = 65 bits: an odd byte count, padded to a word.
planes = [(0x6000, rng.random((7, 9)) < 0.5, (2, 3), "G"), (0x6002, rng.random((5, 13)) < 0.5, (-1, 25), "R")]
for group, plane, origin, kind in planes:
    ds.add_new((group, 0x0010), "US", plane.shape[0])
    ds.add_new((group, 0x0011), "US", plane.shape[1])
    ds.add_new((group, 0x0040), "CS", kind)
    ds.add_new((group, 0x0050), "SS", list(origin))
    ds.add_new((group, 0x0100), "US", 1)
    ds.add_new((group, 0x0102), "US", 0)
    ds.add_new((group, 0x3000), "OW", words_big_endian(plane))
    write_pbm(placed(plane, *origin), "expected-big-endian-1-%04X.pbm" % group)
ds.is_little_endian = False
ds.is_implicit_VR = False
ds.save_as("overlay_big_endian.dcm", write_like_original=False)
