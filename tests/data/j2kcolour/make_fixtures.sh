#!/usr/bin/env bash
# Rewrites the JPEG 2000 colour fixtures of this folder (see README.md). Run by hand, never by the build: it needs
# opj_compress / opj_decompress (libopenjp2-tools 2.5.0) and Debian's python3-pydicom 2.3.1.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
src=/usr/lib/python3/dist-packages/pydicom/data/test_files
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
py=/usr/bin/python3

# The RGB source: pydicom's SC_rgb_rle.dcm decoded (../codecs/rgb.raw), as a PPM.
"$py" -c 'import sys; open(sys.argv[2], "wb").write(b"P6\n100 100\n255\n" + open(sys.argv[1], "rb").read())' \
    "$here/../codecs/rgb.raw" rgb.ppm

# wrap STREAM PHOTOMETRIC SYNTAX OUT.dcm: a one-frame secondary capture around a JPEG 2000 codestream.
wrap() { "$py" -c 'import sys, pydicom
from pydicom.dataset import Dataset, FileMetaDataset
from pydicom.encaps import encapsulate
from pydicom.uid import SecondaryCaptureImageStorage
stream, photometric, syntax, out = sys.argv[1:]
m = FileMetaDataset(); m.MediaStorageSOPClassUID = SecondaryCaptureImageStorage
m.MediaStorageSOPInstanceUID = "1.2.826.0.1.3680043.8.498.71"; m.TransferSyntaxUID = syntax
d = Dataset(); d.file_meta = m; d.is_little_endian = True; d.is_implicit_VR = False
d.SOPClassUID = m.MediaStorageSOPClassUID; d.SOPInstanceUID = m.MediaStorageSOPInstanceUID
d.StudyInstanceUID = "1.2.826.0.1.3680043.8.498.72"; d.SeriesInstanceUID = "1.2.826.0.1.3680043.8.498.73"
d.PatientName = "Fixture^Colour"; d.Modality = "OT"; d.SamplesPerPixel = 3; d.PlanarConfiguration = 0
d.PhotometricInterpretation = photometric; d.Rows = 100; d.Columns = 100
d.BitsAllocated = 8; d.BitsStored = 8; d.HighBit = 7; d.PixelRepresentation = 0
d.PixelData = encapsulate([open(stream, "rb").read()]); d["PixelData"].VR = "OB"
d.save_as(out, write_like_original=False)' "$@"; }
# oracle STREAM OUT.raw: the interleaved RGB samples OpenJPEG's own command-line decoder gives.
oracle() { opj_decompress -i "$1" -o "$work/o.ppm" >/dev/null
"$py" -c 'import sys; d = open(sys.argv[1], "rb").read(); open(sys.argv[2], "wb").write(d[len(d) - 30000:])' \
    "$work/o.ppm" "$2"; }

lossless=1.2.840.10008.1.2.4.90
lossy=1.2.840.10008.1.2.4.91
opj_compress -i rgb.ppm -o rct.j2k -mct 1 >/dev/null
opj_compress -i rgb.ppm -o plain.j2k -mct 0 >/dev/null
opj_compress -i rgb.ppm -o ict.j2k -I -mct 1 -r 8 >/dev/null
opj_compress -i rgb.ppm -o plain_lossy.j2k -I -mct 0 -r 8 >/dev/null
oracle rct.j2k rct_opj.raw
oracle plain.j2k plain_opj.raw
oracle ict.j2k "$here/ict_opj.raw"
oracle plain_lossy.j2k "$here/plain_lossy_opj.raw"
# Lossless both: the oracle is the source itself, ../codecs/rgb.raw.
cmp rct_opj.raw "$here/../codecs/rgb.raw"
cmp plain_opj.raw "$here/../codecs/rgb.raw"
wrap rct.j2k YBR_RCT $lossless "$here/rct_as_ybr_rct.dcm"
wrap rct.j2k RGB $lossless "$here/rct_as_rgb.dcm"
wrap plain.j2k YBR_RCT $lossless "$here/plain_as_ybr_rct.dcm"
wrap ict.j2k YBR_ICT $lossy "$here/ict_as_ybr_ict.dcm"
wrap ict.j2k RGB $lossy "$here/ict_as_rgb.dcm"
wrap plain_lossy.j2k YBR_ICT $lossy "$here/plain_lossy_as_ybr_ict.dcm"
# pydicom's own YBR_RCT file (a JP2 file in the fragment, transform on), and what OpenJPEG makes of rows 150 to 199
# (400 pixels of 3 bytes), to keep the folder small.
cp "$src/GDCMJ2K_TextGBR.dcm" "$here/"
"$py" -c 'import sys, pydicom; from pydicom.encaps import generate_pixel_data_frame as g
open(sys.argv[2], "wb").write(next(g(pydicom.dcmread(sys.argv[1]).PixelData)))' "$src/GDCMJ2K_TextGBR.dcm" gbr.jp2
opj_decompress -i gbr.jp2 -o gbr.ppm >/dev/null
"$py" -c 'import sys; d = open(sys.argv[1], "rb").read(); d = d[len(d) - 480000:]; open(sys.argv[2], "wb").write(d[180000:240000])' gbr.ppm "$here/GDCMJ2K_TextGBR_rows150_opj.raw"
