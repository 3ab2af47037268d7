#!/usr/bin/python3
"""Writes the LUT fixtures of this folder with pydicom and the expected values with pydicom's own LUT functions.

Run once with Debian's python3-pydicom 2.3.1 and numpy: /usr/bin/python3 make_fixtures.py
"""
import numpy as np
from pydicom.dataset import Dataset, FileMetaDataset
from pydicom.sequence import Sequence
from pydicom.uid import ExplicitVRLittleEndian, ImplicitVRLittleEndian, generate_uid
from pydicom.pixel_data_handlers.util import apply_modality_lut, apply_voi_lut, apply_color_lut


def base(rows, columns, bits, stored, photometric, pixels, signed=0):
    meta = FileMetaDataset()
    meta.MediaStorageSOPClassUID = "1.2.840.10008.5.1.4.1.1.7"
    meta.MediaStorageSOPInstanceUID = generate_uid(prefix="1.2.826.0.1.3680043.8.498.")
    meta.TransferSyntaxUID = ExplicitVRLittleEndian
    ds = Dataset()
    ds.file_meta = meta
    ds.SOPClassUID = meta.MediaStorageSOPClassUID
    ds.SOPInstanceUID = meta.MediaStorageSOPInstanceUID
    ds.Modality = "OT"
    ds.PatientName = "Lut^Fixture"
    ds.PatientID = "LUT"
    ds.Rows, ds.Columns = rows, columns
    ds.SamplesPerPixel = 1
    ds.PhotometricInterpretation = photometric
    ds.BitsAllocated, ds.BitsStored, ds.HighBit = bits, stored, stored - 1
    ds.PixelRepresentation = signed
    dtype = {(8, 0): np.uint8, (16, 0): np.uint16, (16, 1): np.int16}[(bits, signed)]
    ds.PixelData = np.array(pixels, dtype=dtype).reshape(rows, columns).tobytes()
    ds.is_little_endian, ds.is_implicit_VR = True, False
    return ds


def lut_item(descriptor, data):
    item = Dataset()
    item.LUTDescriptor = descriptor
    item.LUTData = data
    item["LUTData"].VR = "US"
    return item


def save(ds, name, expected):
    ds.save_as(name, write_like_original=False)
    np.savetxt(name.replace(".dcm", ".expected.txt"), np.asarray(expected).reshape(-1, np.asarray(expected).shape[-1]
               if np.asarray(expected).ndim == 3 else 1), fmt="%d")


# Modality LUT: 8 entries from stored value 100, 16 bits; stored values below, inside and above the table.
mlut = base(2, 4, 16, 12, "MONOCHROME2", [0, 99, 100, 101, 104, 107, 108, 4095])
mlut.ModalityLUTSequence = Sequence([lut_item([8, 100, 16], [10, 20, 40, 80, 160, 320, 640, 1280])])
mlut.ModalityLUTSequence[0].ModalityLUTType = "US"
mlut.RescaleSlope, mlut.RescaleIntercept = "7", "-1000"  # must be ignored: the LUT replaces the rescale
save(mlut, "mlut.dcm", apply_modality_lut(mlut.pixel_array, mlut))

# VOI LUT, 12-bit entries, from modality value 10, no window in the file.
vlut = base(2, 4, 16, 16, "MONOCHROME2", [0, 10, 11, 12, 13, 25, 26, 60000])
entries = [0, 100, 500, 1000, 2000, 2500, 3000, 3500, 3600, 3700, 3800, 3900, 4000, 4050, 4090, 4095]
vlut.VOILUTSequence = Sequence([lut_item([16, 10, 12], entries)])
save(vlut, "vlut.dcm", apply_voi_lut(vlut.pixel_array, vlut))


def palette(bits, indices, entries, first, entry_bits, name):
    ds = base(2, 4, bits, bits, "PALETTE COLOR", indices)
    n = len(entries)
    for colour, scale in (("Red", 1), ("Green", 2), ("Blue", 3)):
        values = [(v * scale) % (1 << entry_bits) for v in entries]
        setattr(ds, colour + "PaletteColorLookupTableDescriptor", [n, first, entry_bits])
        if entry_bits == 8:
            data = bytes(values) + (b"\0" if n % 2 else b"")  # packed two a word, as PS3.3 C.7.6.3.1.6 allows
        else:
            data = np.array(values, dtype="<u2").tobytes()
        setattr(ds, colour + "PaletteColorLookupTableData", data)
    save(ds, name, apply_color_lut(ds.pixel_array, ds))


# 8-bit indices from 2, 16-bit entries.
palette(8, [0, 2, 3, 4, 5, 6, 7, 255], [0x0000, 0x1234, 0x4000, 0x8000, 0xC0FF, 0xFFFF], 2, 16, "palette8.dcm")
# 16-bit indices from 1000, 8-bit entries packed.
palette(16, [0, 1000, 1001, 1002, 1003, 1004, 1005, 65535], [1, 40, 80, 120, 160, 200], 1000, 8, "palette16.dcm")


def palette16_implicit():
    # 16-bit indices into 65536-entry LUTs of 16-bit entries (a descriptor's first value 0 means 65536), in implicit
    # VR as ultrasound archives write it: the descriptor's VR (US or SS) is not in the file.
    indices = [0, 1, 255, 256, 4095, 32768, 65280, 65535]
    ds = base(2, 4, 16, 16, "PALETTE COLOR", indices)
    ds.file_meta.TransferSyntaxUID = ImplicitVRLittleEndian
    ds.is_implicit_VR = True
    ramp = np.arange(65536, dtype=np.uint32)
    for colour, values in (("Red", ramp), ("Green", 65535 - ramp), ("Blue", (ramp * 7) % 65536)):
        setattr(ds, colour + "PaletteColorLookupTableDescriptor", [0, 0, 16])
        setattr(ds, colour + "PaletteColorLookupTableData", values.astype("<u2").tobytes())
    save(ds, "palette16_implicit.dcm", apply_color_lut(ds.pixel_array, ds))


palette16_implicit()


def palette16_segmented():
    # 16-bit indices into segmented palettes (PS3.3 C.7.9.2) without plain LUT data, as ultrasound machines write
    # them, in implicit VR: red a discrete run then a ramp, green a ramp and an indirect segment that repeats the
    # first two segments, blue one discrete run.
    indices = [0, 1, 3, 1000, 2047, 2048, 3000, 4095]
    ds = base(2, 4, 16, 16, "PALETTE COLOR", indices)
    ds.file_meta.TransferSyntaxUID = ImplicitVRLittleEndian
    ds.is_implicit_VR = True
    red = [0, 4, 0x1000, 0x2000, 0x3000, 0x4000, 1, 4092, 0xFFFF]
    green = [0, 1, 0xFFFF, 1, 2047, 0x0100, 2, 2, 0, 0]
    blue = [0, 4096] + [(k * 16) & 0xFFFF for k in range(4096)]
    for colour, segments in (("Red", red), ("Green", green), ("Blue", blue)):
        setattr(ds, colour + "PaletteColorLookupTableDescriptor", [4096, 0, 16])
        setattr(ds, "Segmented" + colour + "PaletteColorLookupTableData", np.array(segments, "<u2").tobytes())
    save(ds, "palette16_segmented.dcm", apply_color_lut(ds.pixel_array, ds))


palette16_segmented()
