#!/usr/bin/python3
"""Writes enhanced_frames.dcm: an Enhanced CT of three 32 x 32 frames whose spacing lives only in its functional groups.

Run with Debian's /usr/bin/python3 (pydicom 2.3, numpy) from this folder. No Pixel Spacing at the top level; the
shared Pixel Measures say 0.5 \\ 0.5; frame 2 has its own, 0.8 between rows and 0.6 between columns; frame 3 has a
per-frame item without Pixel Measures, so the shared ones hold for it. A length of 20 pixels along a row is therefore
10 mm on frames 1 and 3 and 12 mm on frame 2; down a column 10, 16 and 10 mm.
"""
import numpy as np
import pydicom
from pydicom.dataset import Dataset, FileMetaDataset
from pydicom.sequence import Sequence
from pydicom.uid import ExplicitVRLittleEndian

rng = np.random.default_rng(29)

meta = FileMetaDataset()
meta.MediaStorageSOPClassUID = "1.2.840.10008.5.1.4.1.1.2.1"  # Enhanced CT Image Storage
meta.MediaStorageSOPInstanceUID = "1.2.826.0.1.3680043.10.1234.79.29"
meta.TransferSyntaxUID = ExplicitVRLittleEndian
ds = Dataset()
ds.file_meta = meta
ds.SOPClassUID = meta.MediaStorageSOPClassUID
ds.SOPInstanceUID = meta.MediaStorageSOPInstanceUID
ds.StudyInstanceUID = "1.2.826.0.1.3680043.10.1234.79.29.1"
ds.SeriesInstanceUID = "1.2.826.0.1.3680043.10.1234.79.29.2"
ds.Modality = "CT"
ds.PatientName = "Measure^Enhanced"
ds.PatientID = "MEASURE-ENH"
ds.Rows = 32
ds.Columns = 32
ds.NumberOfFrames = 3
ds.SamplesPerPixel = 1
ds.PhotometricInterpretation = "MONOCHROME2"
ds.BitsAllocated = 16
ds.BitsStored = 12
ds.HighBit = 11
ds.PixelRepresentation = 0
ds.PixelData = rng.integers(0, 4096, size=(3, 32, 32), dtype=np.uint16).astype("<u2").tobytes()


def measures(rows, columns):
    item = Dataset()
    item.PixelSpacing = [rows, columns]
    item.SliceThickness = "1"
    return Sequence([item])


shared = Dataset()
shared.PixelMeasuresSequence = measures("0.5", "0.5")
ds.SharedFunctionalGroupsSequence = Sequence([shared])
frames = []
for k in range(3):
    item = Dataset()
    position = Dataset()
    position.ImagePositionPatient = ["0", "0", str(k)]
    item.PlanePositionSequence = Sequence([position])
    if k == 1:
        item.PixelMeasuresSequence = measures("0.8", "0.6")
    frames.append(item)
ds.PerFrameFunctionalGroupsSequence = Sequence(frames)

ds.is_little_endian = True
ds.is_implicit_VR = False
ds.save_as("enhanced_frames.dcm", write_like_original=False)
