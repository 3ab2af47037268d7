#!/usr/bin/python3
"""Writes the pixel data fixtures of this folder with pydicom, and each file's expected values.

Run with Debian's python3-pydicom 2.3.1 and numpy: /usr/bin/python3 make_fixtures.py [NAME...]
(without names it writes every file; the UIDs are new each time).
"""
import sys

import numpy as np
from pydicom.dataset import Dataset, FileMetaDataset
from pydicom.encaps import encapsulate
from pydicom.encoders.native import _encode_segment
from pydicom.pixel_data_handlers.numpy_handler import pack_bits
from pydicom.uid import ExplicitVRLittleEndian, RLELossless, generate_uid


def base(syntax, rows, columns, bits, stored, photometric, frames=1):
    meta = FileMetaDataset()
    meta.MediaStorageSOPClassUID = "1.2.840.10008.5.1.4.1.1.7"
    meta.MediaStorageSOPInstanceUID = generate_uid(prefix="1.2.826.0.1.3680043.8.498.")
    meta.TransferSyntaxUID = syntax
    ds = Dataset()
    ds.file_meta = meta
    ds.SOPClassUID = meta.MediaStorageSOPClassUID
    ds.SOPInstanceUID = meta.MediaStorageSOPInstanceUID
    ds.Modality = "OT"
    ds.PatientName = "Pixel^Fixture"
    ds.PatientID = "PIXELS"
    ds.Rows, ds.Columns = rows, columns
    ds.SamplesPerPixel = 1
    ds.PhotometricInterpretation = photometric
    ds.BitsAllocated, ds.BitsStored, ds.HighBit = bits, stored, stored - 1
    ds.PixelRepresentation = 0
    if frames > 1:
        ds.NumberOfFrames = frames
    ds.is_little_endian, ds.is_implicit_VR = True, False
    return ds


def save(ds, name, expected):
    """Writes the file and its expected values: one image row a line, frame after frame."""
    ds.save_as(name, write_like_original=False)
    np.savetxt(name.replace(".dcm", ".expected.txt"), np.asarray(expected).reshape(-1, ds.Columns), fmt="%d")


def segmentation_frames():
    # Three frames of 5 x 7 = 35 pixels: frame 1 starts at bit 3 of byte 4, frame 2 at bit 6 of byte 8. Each frame
    # differs from the others, so that a frame read from the wrong bit shows.
    rows, columns = 5, 7
    frames = np.zeros((3, rows, columns), dtype=np.uint8)
    frames[0] = [[(r + c) % 2 for c in range(columns)] for r in range(rows)]
    frames[1][1:4, 2:6] = 1
    frames[1][0, 0] = 1
    frames[2] = 1
    frames[2][2, :] = 0
    frames[2][4, 6] = 0
    return frames


def seg1bit():
    frames = segmentation_frames()
    ds = base(ExplicitVRLittleEndian, 5, 7, 1, 1, "MONOCHROME2", len(frames))
    # Frames follow each other bit by bit, the bits of a byte from its lowest.
    ds.PixelData = pack_bits(frames.ravel())
    ds["PixelData"].VR = "OB"
    check = ds.pixel_array
    assert (check == frames).all()
    save(ds, "seg1bit.dcm", check)


def seg1bit_rle():
    frames = segmentation_frames()
    ds = base(RLELossless, 5, 7, 1, 1, "MONOCHROME2", len(frames))
    encoded = []
    for frame in frames:
        # One segment: the frame's own bits packed from bit 0, as PackBits runs.
        packed = pack_bits(frame.ravel())
        segment = _encode_segment(packed, columns=len(packed))
        header = np.zeros(16, dtype="<u4")
        header[0], header[1] = 1, 64
        encoded.append(header.tobytes() + bytes(segment))
    ds.PixelData = encapsulate(encoded)
    ds["PixelData"].VR = "OB"
    ds["PixelData"].is_undefined_length = True
    save(ds, "seg1bit_rle.dcm", frames)


WRITERS = {"seg1bit.dcm": seg1bit, "seg1bit_rle.dcm": seg1bit_rle}

for name in sys.argv[1:] or WRITERS:
    WRITERS[name]()
