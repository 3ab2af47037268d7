#!/usr/bin/python3
"""Writes the measurement and overlay fixtures and works out what they should measure.

Run with Debian's /usr/bin/python3 (pydicom 2.3, numpy) from this folder. The expected statistics are numpy's over
masks built here by the formulas themselves (every pixel tested, no row spans), in float64 after the rescale; the
expected overlay masks are placed here by numpy slicing and written as binary PBM files (expected-*.pbm). The table
of numbers it prints is pasted into tests/unit/imaging/MeasurementTest.cpp.
"""
import zlib

import numpy as np
import pydicom
from pydicom.dataset import Dataset, FileMetaDataset
from pydicom.sequence import Sequence
from pydicom.uid import ExplicitVRLittleEndian

rng = np.random.default_rng(27)


def base(name, modality, rows, columns, frames=1):
    meta = FileMetaDataset()
    meta.MediaStorageSOPClassUID = "1.2.840.10008.5.1.4.1.1.7"
    meta.MediaStorageSOPInstanceUID = "1.2.826.0.1.3680043.10.1234.79." + str(zlib.crc32(name.encode()))
    meta.TransferSyntaxUID = ExplicitVRLittleEndian
    ds = Dataset()
    ds.file_meta = meta
    ds.SOPClassUID = meta.MediaStorageSOPClassUID
    ds.SOPInstanceUID = meta.MediaStorageSOPInstanceUID
    ds.Modality = modality
    ds.PatientName = "Measure^Fixture"
    ds.Rows = rows
    ds.Columns = columns
    if frames > 1:
        ds.NumberOfFrames = frames
    return ds


def grey(ds, array, signed, bits_stored=16):
    ds.SamplesPerPixel = 1
    ds.PhotometricInterpretation = "MONOCHROME2"
    ds.BitsAllocated = 16
    ds.BitsStored = bits_stored
    ds.HighBit = bits_stored - 1
    ds.PixelRepresentation = 1 if signed else 0
    ds.PixelData = array.astype("<i2" if signed else "<u2").tobytes()


def save(ds, name):
    ds.is_little_endian = True
    ds.is_implicit_VR = False
    ds.save_as(name, write_like_original=False)


def pack_bits(mask):
    flat = mask.astype(np.uint8).ravel()
    packed = np.packbits(flat, bitorder="little")
    if len(packed) % 2:
        packed = np.concatenate([packed, np.zeros(1, dtype=np.uint8)])
    return packed.tobytes()


def write_pbm(mask, name):
    rows, columns = mask.shape
    with open(name, "wb") as f:
        f.write(b"P4\n%d %d\n" % (columns, rows))
        f.write(np.packbits(mask.astype(np.uint8), axis=1).tobytes())


# --- Statistics and lengths -------------------------------------------------------------------------------------
images = {}

ct = rng.integers(-200, 1800, size=(48, 64), dtype=np.int16)
ds = base("ct", "CT", 48, 64)
grey(ds, ct, True)
ds.RescaleIntercept = "-1024"
ds.RescaleSlope = "1"
ds.PixelSpacing = ["0.7", "0.5"]
save(ds, "ct_rescale.dcm")
images["ct_rescale.dcm"] = (ct.astype(np.float64) * 1 - 1024, (0.7, 0.5))

mr = rng.integers(0, 60000, size=(40, 32), dtype=np.uint16)
ds = base("tiny", "MR", 40, 32)
grey(ds, mr, False)
ds.RescaleIntercept = "0.5"
ds.RescaleSlope = "1e-06"
ds.PixelSpacing = ["1", "1"]
save(ds, "tiny_slope.dcm")
images["tiny_slope.dcm"] = (mr.astype(np.float64) * 1e-06 + 0.5, (1.0, 1.0))

rgb = rng.integers(0, 256, size=(20, 24, 3), dtype=np.uint8)
ds = base("rgb", "OT", 20, 24)
ds.SamplesPerPixel = 3
ds.PhotometricInterpretation = "RGB"
ds.PlanarConfiguration = 0
ds.BitsAllocated = 8
ds.BitsStored = 8
ds.HighBit = 7
ds.PixelRepresentation = 0
ds.PixelData = rgb.tobytes()
save(ds, "rgb.dcm")
luma = 0.299 * rgb[..., 0] + 0.587 * rgb[..., 1] + 0.114 * rgb[..., 2]
images["rgb.dcm"] = (luma, None)

frames = rng.integers(0, 4000, size=(2, 16, 16), dtype=np.uint16)
ds = base("frames", "MR", 16, 16, frames=2)
grey(ds, frames, False, bits_stored=12)
ds.PixelSpacing = ["0.25", "0.25"]
save(ds, "two_frames.dcm")
images["two_frames.dcm:2"] = (frames[1].astype(np.float64), (0.25, 0.25))

# Two ultrasound regions side by side with different deltas, and one without physical units.
ds = base("us", "US", 60, 100)
grey(ds, np.zeros((60, 100), dtype=np.uint16), False, bits_stored=8)
regions = []
for x0, y0, x1, y1, units, dx, dy in [(0, 0, 49, 59, 3, 0.01, 0.02), (50, 0, 89, 59, 3, 0.05, 0.04),
                                      (90, 0, 99, 59, 0, 1.0, 1.0)]:
    item = Dataset()
    item.RegionSpatialFormat = 1
    item.RegionDataType = 1
    item.RegionFlags = 0
    item.RegionLocationMinX0 = x0
    item.RegionLocationMinY0 = y0
    item.RegionLocationMaxX1 = x1
    item.RegionLocationMaxY1 = y1
    item.PhysicalUnitsXDirection = units
    item.PhysicalUnitsYDirection = units
    item.PhysicalDeltaX = dx
    item.PhysicalDeltaY = dy
    regions.append(item)
ds.SequenceOfUltrasoundRegions = Sequence(regions)
save(ds, "us_regions.dcm")


def region_stats(key, mask):
    values, spacing = images[key]
    picked = values[mask]
    area = "std::nullopt" if spacing is None else repr(float(mask.sum() * spacing[0] * spacing[1]))
    return "%d, %s, %r, %r, %r, %r" % (mask.sum(), area, float(picked.mean()), float(picked.std()),
                                       float(picked.min()), float(picked.max()))


print("// Regions: file, kind, a, b, c, d, count, areaMm2, mean, sd, min, max")
for key, cx, cy, rx, ry in [("ct_rescale.dcm", 20, 15, 5, 5), ("ct_rescale.dcm", 10.5, 7.25, 6.3, 4.1),
                            ("ct_rescale.dcm", 2, 2, 8, 6), ("tiny_slope.dcm", 16, 20, 9.5, 12),
                            ("rgb.dcm", 12, 10, 7, 5), ("two_frames.dcm:2", 8, 8, 4, 6)]:
    values, _ = images[key]
    rr, cc = np.mgrid[0:values.shape[0], 0:values.shape[1]]
    mask = ((cc - cx) / rx) ** 2 + ((rr - cy) / ry) ** 2 <= 1
    print('{"%s", "ellipse", %r, %r, %r, %r, %s},' % (key, cx, cy, rx, ry, region_stats(key, mask)))
for key, c0, r0, c1, r1 in [("ct_rescale.dcm", 3, 4, 12, 9), ("ct_rescale.dcm", 60.5, 40.2, 70, 50),
                            ("tiny_slope.dcm", 0, 0, 31, 39)]:
    values, _ = images[key]
    rr, cc = np.mgrid[0:values.shape[0], 0:values.shape[1]]
    mask = (cc >= min(c0, c1)) & (cc <= max(c0, c1)) & (rr >= min(r0, r1)) & (rr <= max(r0, r1))
    print('{"%s", "rect", %r, %r, %r, %r, %s},' % (key, c0, r0, c1, r1, region_stats(key, mask)))

print("// Lengths on ct_rescale.dcm (row spacing 0.7, column spacing 0.5)")
for c0, r0, c1, r1 in [(0, 0, 10, 0), (0, 0, 0, 10), (3, 4, 13.5, 20.25)]:
    print("{%r, %r, %r, %r, %r}," % (c0, r0, c1, r1, float(np.hypot((c1 - c0) * 0.5, (r1 - r0) * 0.7))))
print("// Angles on ct_rescale.dcm, in mm space")
for pts in [(10, 0, 0, 0, 0, 10), (10, 10, 0, 0, 10, 0), (5, 3, 20, 20, 40, 9)]:
    a = np.array([(pts[0] - pts[2]) * 0.5, (pts[1] - pts[3]) * 0.7])
    b = np.array([(pts[4] - pts[2]) * 0.5, (pts[5] - pts[3]) * 0.7])
    angle = np.degrees(np.arccos(np.dot(a, b) / np.linalg.norm(a) / np.linalg.norm(b)))
    print("{%s, %r}," % (", ".join(repr(p) for p in pts), round(float(angle), 1)))

# --- Overlay planes -------------------------------------------------------------------------------------------
ROWS, COLUMNS = 24, 32
image = rng.integers(0, 4096, size=(ROWS, COLUMNS), dtype=np.uint16)


def placed(plane, origin_row, origin_column):
    """The plane on the image: numpy slicing of the overlap, origin from 1."""
    out = np.zeros((ROWS, COLUMNS), dtype=bool)
    top, left = origin_row - 1, origin_column - 1
    r0, c0 = max(0, top), max(0, left)
    r1, c1 = min(ROWS, top + plane.shape[0]), min(COLUMNS, left + plane.shape[1])
    if r0 < r1 and c0 < c1:
        out[r0:r1, c0:c1] = plane[r0 - top:r1 - top, c0 - left:c1 - left]
    return out


def add_plane(ds, group, plane, origin, kind="G", frames=None, frame_origin=None, data=None, rows=None):
    ds.add_new((group, 0x0010), "US", rows if rows is not None else plane.shape[-2])
    ds.add_new((group, 0x0011), "US", plane.shape[-1])
    ds.add_new((group, 0x0040), "CS", kind)
    ds.add_new((group, 0x0050), "SS", list(origin))
    ds.add_new((group, 0x0100), "US", 1)
    ds.add_new((group, 0x0102), "US", 0)
    if frames is not None:
        ds.add_new((group, 0x0015), "IS", str(frames))
        ds.add_new((group, 0x0051), "US", frame_origin)
    ds.add_new((group, 0x3000), "OW", data if data is not None else pack_bits(plane))


ds = base("overlays", "MR", ROWS, COLUMNS)
grey(ds, image, False, bits_stored=12)
p0 = rng.random((10, 12)) < 0.4
add_plane(ds, 0x6000, p0, (3, 5))
p2 = rng.random((8, 9)) < 0.5
add_plane(ds, 0x6002, p2, (-2, 27), kind="R")  # partly outside: above and to the right
p1e = rng.random((ROWS, COLUMNS)) < 0.3
add_plane(ds, 0x601E, p1e, (1, 1))
# Damaged groups: data shorter than the size, a bit position beyond 15, an origin far outside.
add_plane(ds, 0x6004, p0, (1, 1), rows=40)
add_plane(ds, 0x6006, p0, (1, 1))
ds[0x6006, 0x0102].value = 16
add_plane(ds, 0x6008, p0, (30000, -30000))
save(ds, "overlays.dcm")
write_pbm(placed(p0, 3, 5), "expected-1-6000.pbm")
write_pbm(placed(p2, -2, 27), "expected-1-6002.pbm")
write_pbm(placed(p1e, 1, 1), "expected-1-601E.pbm")

# A three-frame image whose two-frame overlay starts at its second frame.
ds = base("overlay-frames", "MR", ROWS, COLUMNS, frames=3)
grey(ds, rng.integers(0, 4096, size=(3, ROWS, COLUMNS), dtype=np.uint16), False, bits_stored=12)
pf = rng.random((2, 6, 7)) < 0.5
add_plane(ds, 0x6000, pf, (4, 4), frames=2, frame_origin=2)
save(ds, "overlay_frames.dcm")
write_pbm(placed(pf[0], 4, 4), "expected-frames-2-6000.pbm")
write_pbm(placed(pf[1], 4, 4), "expected-frames-3-6000.pbm")

# The retired embedded form: 12 stored bits, the overlay in bit 14 of each pixel word.
embedded = rng.random((ROWS, COLUMNS)) < 0.35
ds = base("overlay-embedded", "CR", ROWS, COLUMNS)
grey(ds, image | (embedded.astype(np.uint16) << 14), False, bits_stored=12)
for element, vr, value in [(0x0010, "US", ROWS), (0x0011, "US", COLUMNS), (0x0040, "CS", "G"),
                           (0x0050, "SS", [1, 1]), (0x0100, "US", 16), (0x0102, "US", 14)]:
    ds.add_new((0x6000, element), vr, value)
# An embedded plane that names a bit inside the stored bits is image data, not an overlay.
for element, vr, value in [(0x0010, "US", ROWS), (0x0011, "US", COLUMNS), (0x0040, "CS", "G"),
                           (0x0050, "SS", [1, 1]), (0x0100, "US", 16), (0x0102, "US", 3)]:
    ds.add_new((0x6002, element), vr, value)
save(ds, "overlay_embedded.dcm")
write_pbm(embedded, "expected-embedded-1-6000.pbm")

# An enhanced two-frame image: shared Pixel Measures 0.9 \ 0.9, and frame 2's own 0.8 \ 0.6, which wins for it.
ds = base("enhanced", "CT", 8, 8, frames=2)
grey(ds, np.zeros((2, 8, 8), dtype=np.uint16), False, bits_stored=12)
measures = Dataset()
measures.PixelSpacing = ["0.9", "0.9"]
shared = Dataset()
shared.PixelMeasuresSequence = Sequence([measures])
ds.SharedFunctionalGroupsSequence = Sequence([shared])
own = Dataset()
own.PixelSpacing = ["0.8", "0.6"]
second = Dataset()
second.PixelMeasuresSequence = Sequence([own])
ds.PerFrameFunctionalGroupsSequence = Sequence([Dataset(), second])
save(ds, "enhanced_spacing.dcm")
