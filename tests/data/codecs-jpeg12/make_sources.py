#!/usr/bin/python3
# Writes the synthetic uncompressed sources (pydicom, numpy) that dcmcjpeg compressed into the fixtures here.
import numpy as np, pydicom, sys
from pydicom.dataset import Dataset, FileMetaDataset
from pydicom.uid import ExplicitVRLittleEndian, generate_uid
def write(path, arr, photometric, bits_stored):
    ds = Dataset()
    meta = FileMetaDataset()
    meta.MediaStorageSOPClassUID = '1.2.840.10008.5.1.4.1.1.7'
    meta.MediaStorageSOPInstanceUID = generate_uid()
    meta.TransferSyntaxUID = ExplicitVRLittleEndian
    ds.file_meta = meta
    ds.SOPClassUID = meta.MediaStorageSOPClassUID
    ds.SOPInstanceUID = meta.MediaStorageSOPInstanceUID
    ds.PatientName = 'Phantom^Synthetic'; ds.PatientID = 'PHANTOM'; ds.Modality = 'OT'
    ds.Rows, ds.Columns = arr.shape[0], arr.shape[1]
    ds.SamplesPerPixel = 1 if arr.ndim == 2 else arr.shape[2]
    ds.PhotometricInterpretation = photometric
    if ds.SamplesPerPixel > 1: ds.PlanarConfiguration = 0
    ds.BitsAllocated = 16 if bits_stored > 8 else 8
    ds.BitsStored = bits_stored; ds.HighBit = bits_stored - 1; ds.PixelRepresentation = 0
    ds.PixelData = arr.astype('<u2' if bits_stored > 8 else 'u1').tobytes()
    ds.is_little_endian = True; ds.is_implicit_VR = False
    ds.save_as(path, write_like_original=False)

def phantom(n, seed):
    rng = np.random.default_rng(seed)
    y, x = np.mgrid[0:n, 0:n].astype(float)
    u = (x - n/2) / (0.41*n); v = (y - 0.53*n) / (0.31*n); r = u*u + v*v
    img = 24 + 3*rng.standard_normal((n, n))
    body = 1040 + 25*np.sin(x*0.03)*np.cos(y*0.021) + 12*rng.standard_normal((n, n))
    organ = ((x - 0.39*n)**2 + (y - 0.49*n)**2) / (0.12*n)**2
    body = body + np.where(organ < 1, 60*(1-organ), 0)
    bone = 1900 + 300*np.sin(x*0.1) + 30*rng.standard_normal((n, n))
    body = np.where((r > 0.86) & (r < 0.93), bone, body)
    img = np.where(r < 1, body, img)
    # a sharp full-range edge so that clamping at 0 and 4095 is exercised
    img[n//8:n//8+n//16, n//8:n//2] = 4095
    img[n//8+n//16:n//8+n//8, n//8:n//2] = 0
    return np.clip(img, 0, 4095).astype(np.uint16)

write('phantom256.dcm', phantom(256, 1), 'MONOCHROME2', 12)
write('phantom512.dcm', phantom(512, 2), 'MONOCHROME2', 12)
# colour: odd size, smooth gradients plus saturated blocks
h, w = 53, 75
y, x = np.mgrid[0:h, 0:w].astype(float)
rgb = np.stack([x*255/w, y*255/h, 128 + 100*np.sin(x*0.2+y*0.1)], axis=2)
rgb[5:20, 5:20] = [255, 0, 0]; rgb[30:45, 40:60] = [0, 0, 255]
write('rgb8_odd.dcm', np.clip(rgb, 0, 255).astype(np.uint8), 'RGB', 8)
rgb12 = np.clip(rgb*16, 0, 4095).astype(np.uint16)
write('rgb12_odd.dcm', rgb12, 'RGB', 12)
