#!/usr/bin/python3
"""Writes the geometry fixtures and their expected reference lines.

Run with Debian's /usr/bin/python3 (pydicom 2.3, numpy) from this folder. The expected lines are worked here with
numpy in a way of their own: each of the four edges of B's image area is a segment in patient space, A's plane cuts
it where the signed distances of its ends change sign, and the cut points go back to B's pixel coordinates by
least squares. The viewer's code solves the line in pixel space instead; the two must agree.
"""
import json
import zlib
import math
import subprocess

import numpy as np
import pydicom
from pydicom.dataset import Dataset, FileMetaDataset
from pydicom.sequence import Sequence
from pydicom.uid import ExplicitVRLittleEndian

FOR_CHEST = "1.2.826.0.1.3680043.10.1234.77.1"
FOR_OTHER = "1.2.826.0.1.3680043.10.1234.77.2"
CT = "1.2.840.10008.5.1.4.1.1.2"
ENHANCED_CT = "1.2.840.10008.5.1.4.1.1.2.1"


def base(name, sop_class, rows, columns, frames=1):
    meta = FileMetaDataset()
    meta.MediaStorageSOPClassUID = sop_class
    meta.MediaStorageSOPInstanceUID = "1.2.826.0.1.3680043.10.1234.78." + str(zlib.crc32(name.encode()))
    meta.TransferSyntaxUID = ExplicitVRLittleEndian
    meta.ImplementationClassUID = "1.2.826.0.1.3680043.10.1234.79"
    ds = Dataset()
    ds.file_meta = meta
    ds.SOPClassUID = sop_class
    ds.SOPInstanceUID = meta.MediaStorageSOPInstanceUID
    ds.Modality = "CT"
    ds.PatientName = "Geometry^Fixture"
    ds.Rows = rows
    ds.Columns = columns
    ds.SamplesPerPixel = 1
    ds.PhotometricInterpretation = "MONOCHROME2"
    ds.BitsAllocated = 8
    ds.BitsStored = 8
    ds.HighBit = 7
    ds.PixelRepresentation = 0
    if frames > 1:
        ds.NumberOfFrames = frames
    ds.PixelData = bytes(rows * columns * frames + (rows * columns * frames) % 2)
    return ds


def fmt(value):
    """A DS value within its 16 characters; the expected lines use the value as written."""
    return "%.10g" % float(value)


def written(values):
    return [float(fmt(v)) for v in values]


def classic(name, rows, columns, position, orientation, spacing, frame_of_reference=FOR_CHEST, raw=None):
    ds = base(name, CT, rows, columns)
    if frame_of_reference:
        ds.FrameOfReferenceUID = frame_of_reference
    ds.add_new(0x00200032, "DS", [fmt(v) for v in position])
    ds.add_new(0x00200037, "DS", [fmt(v) for v in orientation])
    ds.add_new(0x00280030, "DS", [fmt(v) for v in spacing])
    ds.save_as(name + ".dcm", write_like_original=False)
    if raw:
        # Damaged text pydicom would refuse to write: the written value is replaced by one of the same length.
        data = open(name + ".dcm", "rb").read()
        old, new = raw
        assert len(old) == len(new) and data.count(old) == 1
        open(name + ".dcm", "wb").write(data.replace(old, new))
    return dict(position=written(position), orientation=written(orientation), spacing=written(spacing), rows=rows,
                columns=columns, frameOfReference=frame_of_reference)


def enhanced(name, rows, columns, frames):
    """frames: list of (position, orientation, spacing); the first frame's orientation and spacing go into the
    shared group when every frame has the same, so both places are read."""
    ds = base(name, ENHANCED_CT, rows, columns, len(frames))
    ds.FrameOfReferenceUID = FOR_CHEST
    shared = Dataset()
    orientations = {tuple(f[1]) for f in frames}
    if len(orientations) == 1:
        po = Dataset()
        po.add_new(0x00200037, "DS", [fmt(v) for v in frames[0][1]])
        shared.PlaneOrientationSequence = Sequence([po])
    pm = Dataset()
    pm.add_new(0x00280030, "DS", [fmt(v) for v in frames[0][2]])
    pm.SliceThickness = "2"
    shared.PixelMeasuresSequence = Sequence([pm])
    per_frame = []
    for k, (position, orientation, _) in enumerate(frames):
        item = Dataset()
        pp = Dataset()
        pp.add_new(0x00200032, "DS", [fmt(v) for v in position])
        item.PlanePositionSequence = Sequence([pp])
        if len(orientations) > 1:
            po = Dataset()
            po.add_new(0x00200037, "DS", [fmt(v) for v in orientation])
            item.PlaneOrientationSequence = Sequence([po])
        pvt = Dataset()
        pvt.RescaleIntercept = str(-1024 + k)
        pvt.RescaleSlope = "1"
        pvt.RescaleType = "HU"
        item.PixelValueTransformationSequence = Sequence([pvt])
        voi = Dataset()
        voi.WindowCenter = str(40 + 10 * k)
        voi.WindowWidth = "400"
        item.FrameVOILUTSequence = Sequence([voi])
        content = Dataset()
        content.StackID = "1"
        content.InStackPositionNumber = k + 1
        item.FrameContentSequence = Sequence([content])
        per_frame.append(item)
    ds.SharedFunctionalGroupsSequence = Sequence([shared])
    ds.PerFrameFunctionalGroupsSequence = Sequence(per_frame)
    ds.save_as(name + ".dcm", write_like_original=False)
    return [dict(position=written(f[0]), orientation=written(f[1]), spacing=written(f[2]), rows=rows, columns=columns,
                 frameOfReference=FOR_CHEST) for f in frames]


def expected_line(a, b):
    """A's plane in B's image area, or the reason there is none."""
    if a is None or b is None:
        return None, "no geometry"
    if not a["frameOfReference"] or not b["frameOfReference"]:
        return None, "no frame of reference"
    if a["frameOfReference"] != b["frameOfReference"]:
        return None, "different frame of reference"
    oa = np.array(a["orientation"], dtype=float)
    ob = np.array(b["orientation"], dtype=float)
    na = np.cross(oa[:3], oa[3:])
    nb = np.cross(ob[:3], ob[3:])
    na /= np.linalg.norm(na)
    nb /= np.linalg.norm(nb)
    if math.degrees(math.acos(min(1.0, abs(float(na @ nb))))) <= 1.0:
        return None, "parallel"
    u, v = ob[:3] / np.linalg.norm(ob[:3]), ob[3:] / np.linalg.norm(ob[3:])
    row_spacing, column_spacing = b["spacing"]
    pb = np.array(b["position"], dtype=float)
    pa = np.array(a["position"], dtype=float)

    def world(c, r):
        return pb + c * column_spacing * u + r * row_spacing * v

    c0, c1, r0, r1 = -0.5, b["columns"] - 0.5, -0.5, b["rows"] - 0.5
    corners = [(c0, r0), (c1, r0), (c1, r1), (c0, r1)]
    basis = np.stack([column_spacing * u, row_spacing * v], axis=1)
    points = []
    for i in range(4):
        p, q = corners[i], corners[(i + 1) % 4]
        dp = float(na @ (world(*p) - pa))
        dq = float(na @ (world(*q) - pa))
        if dp == dq:
            if dp == 0.0:
                points += [p, q]
            continue
        t = dp / (dp - dq)
        if -1e-12 <= t <= 1 + 1e-12:
            x = world(*p) + t * (world(*q) - world(*p))
            cr, *_ = np.linalg.lstsq(basis, x - pb, rcond=None)
            points.append((float(cr[0]), float(cr[1])))
    unique = []
    for p in points:
        if all(abs(p[0] - q[0]) > 1e-7 or abs(p[1] - q[1]) > 1e-7 for q in unique):
            unique.append(p)
    if len(unique) < 2:
        return None, "outside the image"
    best = max(((p, q) for i, p in enumerate(unique) for q in unique[i + 1:]),
               key=lambda pq: (pq[0][0] - pq[1][0]) ** 2 + (pq[0][1] - pq[1][1]) ** 2)
    ends = sorted(best)
    return [list(ends[0]), list(ends[1])], None


def main():
    s = 0.7
    axial = [1, 0, 0, 0, 1, 0]
    coronal = [1, 0, 0, 0, 0, -1]
    sagittal = [0, 1, 0, 0, 0, -1]
    g = {}
    g["axial_a"] = classic("axial_a", 64, 48, [-16.45, -22.05, -30.0], axial, [s, s])
    g["axial_b"] = classic("axial_b", 64, 48, [-16.45, -22.05, -35.0], axial, [s, s])
    g["coronal"] = classic("coronal", 40, 48, [-16.45, 3.3, 0.0], coronal, [1.5, s])
    g["sagittal"] = classic("sagittal", 40, 64, [7.25, -22.05, 0.0], sagittal, [1.5, s])
    c, d = math.cos(math.radians(20)), math.sin(math.radians(20))
    g["oblique"] = classic("oblique", 50, 50, [-20.0, -15.0, -35.0], [c, 0, d, 0, 1, 0], [0.9, 0.8])
    e = math.sin(math.radians(0.5))
    g["tilt_half_degree"] = classic("tilt_half_degree", 64, 48, [-16.45, -22.05, -40.0],
                                    [1, 0, 0, 0, math.cos(math.radians(0.5)), e], [s, s])
    f = math.sin(math.radians(2))
    g["tilt_two_degrees"] = classic("tilt_two_degrees", 64, 48, [-16.45, -22.05, -31.0],
                                    [1, 0, 0, 0, math.cos(math.radians(2)), f], [s, s])
    g["far_coronal"] = classic("far_coronal", 40, 48, [-16.45, 500.0, 0.0], coronal, [1.5, s])
    # A coronal plane through B's first row's outer edge: the line lies along the image's top edge.
    g["edge_coronal"] = classic("edge_coronal", 40, 48, [-16.45, -22.05 - 0.35, 0.0], coronal, [1.5, s])
    # A localizer: a frontal projection whose plane holds the long axis.
    g["localizer"] = classic("localizer", 120, 80, [-28.0, 0.0, 10.0], coronal, [1.0, 0.7])
    g["other_frame"] = classic("other_frame", 40, 48, [-16.45, 3.3, 0.0], coronal, [1.5, s], FOR_OTHER)
    g["no_frame"] = classic("no_frame", 40, 48, [-16.45, 3.3, 0.0], coronal, [1.5, s], None)
    # Position 1.25\\2.5\\3.75 and the coronal orientation, damaged in their text.
    bad = {
        "nan_position": (b"1.25\\2.5\\3.75", b"nan \\2.5\\3.75"),
        "text_position": (b"1.25\\2.5\\3.75", b"1.25\\abc\\3.75"),
        "zero_orientation": (b"1\\0\\0\\0\\0\\-1", b"0\\0\\0\\0\\0\\-1"),
        "skew_orientation": (b"1\\0\\0\\0\\0\\-1", b"1\\0\\0\\1\\0\\-1"),
        "short_orientation": (b"1\\0\\0\\0\\0\\-1", b"1\\0\\0\\0\\0-1 "),
    }
    for name, raw in bad.items():
        classic(name, 40, 48, [1.25, 2.5, 3.75], coronal, [1.0, 1.0], raw=raw)
        g[name] = None
    frames = enhanced("enhanced_axial", 32, 32,
                      [([-11.0, -11.0, -31.0 - 3.0 * k], axial, [0.7, 0.7]) for k in range(3)])
    for k, frame in enumerate(frames):
        g["enhanced_axial:%d" % (k + 1)] = frame
    # The same frames in Implicit VR with every sequence and item of undefined length (DCMTK's dcmconv).
    subprocess.run(["dcmconv", "+ti", "-e", "enhanced_axial.dcm", "enhanced_undefined.dcm"], check=True)
    for k, frame in enumerate(frames):
        g["enhanced_undefined:%d" % (k + 1)] = frame
    frames = enhanced("enhanced_mixed", 32, 32,
                      [([-11.0, -11.0, -31.0], axial, [0.7, 0.7]), ([-11.0, 0.0, -20.0], coronal, [0.7, 0.7])])
    for k, frame in enumerate(frames):
        g["enhanced_mixed:%d" % (k + 1)] = frame

    pairs = [("coronal", "axial_a"), ("sagittal", "axial_a"), ("axial_a", "coronal"), ("axial_a", "sagittal"),
             ("oblique", "axial_a"), ("axial_a", "oblique"), ("sagittal", "coronal"), ("coronal", "sagittal"),
             ("axial_a", "axial_b"), ("tilt_half_degree", "axial_a"), ("tilt_two_degrees", "axial_a"),
             ("far_coronal", "axial_a"), ("edge_coronal", "axial_a"), ("axial_a", "localizer"),
             ("axial_b", "localizer"), ("localizer", "axial_a"), ("other_frame", "axial_a"),
             ("no_frame", "axial_a"), ("axial_a", "no_frame")]
    pairs += [(name, "axial_a") for name in bad] + [("axial_a", name) for name in bad]
    pairs += [("enhanced_axial:%d" % k, "localizer") for k in (1, 2, 3)]
    pairs += [("enhanced_mixed:2", "enhanced_mixed:1"), ("enhanced_mixed:1", "enhanced_mixed:2"),
              ("coronal", "enhanced_axial:3"), ("enhanced_axial:2", "enhanced_axial:1"),
              ("enhanced_undefined:3", "localizer"), ("coronal", "enhanced_undefined:2")]
    cases = []
    for a, b in pairs:
        line, reason = expected_line(g[a], g[b])
        cases.append(dict(a=a, b=b, line=line, reason=reason))
    with open("expected.json", "w") as out:
        json.dump(cases, out, indent=1)
        out.write("\n")
    # The same cases for the C++ tests: "A B c0 r0 c1 r1" or "A B - reason", one a line.
    with open("expected.txt", "w") as out:
        for case in cases:
            if case["line"]:
                ends = " ".join(repr(v) for point in case["line"] for v in point)
                out.write("%s %s %s\n" % (case["a"], case["b"], ends))
            else:
                out.write("%s %s - %s\n" % (case["a"], case["b"], case["reason"]))


if __name__ == "__main__":
    main()
