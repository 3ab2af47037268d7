#!/usr/bin/env bash
# Times `orblane-cli render` (the whole process: start-up, reading, decoding, the display bitmap, writing it) against
# the libraries' own command-line decoders on the same streams, each pair in one hyperfine run so that a busy spell
# of the shared machine falls on all of them:
# - a synthetic 2048 x 2560 12-bit radiograph (smooth field and seeded noise), JPEG 2000 lossless (opj_compress), one
#   image to open: against `opj_decompress -threads 1` and `-threads 2`;
# - the 512 x 512 CT slice as HTJ2K (tests/data/codecs/ct512_ht.j2c, transfer syntax 1.2.840.10008.1.2.4.201):
#   against `ojph_expand`.
#
#   bench/j2k-vs-libraries.sh [build-dir] [runs]   needs hyperfine, libopenjp2-tools, openjph-tools, python3-pydicom
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-20}
cli=$build/bin/orblane-cli
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
py=/usr/bin/python3

"$py" - "$work" <<'PY'
import sys, numpy
work = sys.argv[1]
y, x = numpy.mgrid[0:2560, 0:2048]
rng = numpy.random.default_rng(12345)
field = 1800 + 900 * numpy.sin(x / 170.0) * numpy.cos(y / 230.0) + rng.integers(-8, 8, size=x.shape)
samples = numpy.clip(field, 0, 4095).astype(">u2")
with open(f"{work}/dx.pgm", "wb") as out:
    out.write(b"P5\n2048 2560\n4095\n" + samples.tobytes())
PY
opj_compress -i "$work/dx.pgm" -o "$work/dx.j2k" >/dev/null
cp tests/data/codecs/ct512_ht.j2c "$work/ct.j2c"

# wrap STREAM SYNTAX ROWS COLUMNS BITS OUT.dcm: a one-frame grey secondary capture around a codestream.
wrap() { "$py" -c 'import sys, pydicom
from pydicom.dataset import Dataset, FileMetaDataset
from pydicom.encaps import encapsulate
from pydicom.uid import SecondaryCaptureImageStorage, UID_dictionary
stream, syntax, rows, columns, bits, out = sys.argv[1:]
# pydicom 2.3 predates the HTJ2K syntaxes: known here so that it writes the Pixel Data encapsulated.
UID_dictionary.setdefault(syntax, ("HTJ2K", "Transfer Syntax", "", "", "HTJ2K"))
m = FileMetaDataset(); m.MediaStorageSOPClassUID = SecondaryCaptureImageStorage
m.MediaStorageSOPInstanceUID = "1.2.826.0.1.3680043.8.498.81"; m.TransferSyntaxUID = syntax
d = Dataset(); d.file_meta = m; d.is_little_endian = True; d.is_implicit_VR = False
d.SOPClassUID = m.MediaStorageSOPClassUID; d.SOPInstanceUID = m.MediaStorageSOPInstanceUID
d.StudyInstanceUID = "1.2.826.0.1.3680043.8.498.82"; d.SeriesInstanceUID = "1.2.826.0.1.3680043.8.498.83"
d.PatientName = "Bench^Decode"; d.Modality = "OT"; d.SamplesPerPixel = 1; d.PhotometricInterpretation = "MONOCHROME2"
d.Rows = int(rows); d.Columns = int(columns); d.BitsAllocated = 16; d.BitsStored = int(bits); d.HighBit = int(bits) - 1
d.PixelRepresentation = 0; d.PixelData = encapsulate([open(stream, "rb").read()]); d["PixelData"].VR = "OB"
d.save_as(out, write_like_original=False)' "$@"; }
wrap "$work/dx.j2k" 1.2.840.10008.1.2.4.90 2560 2048 12 "$work/dx.dcm"
wrap "$work/ct.j2c" 1.2.840.10008.1.2.4.201 512 512 16 "$work/ct.dcm"
mkdir -p "$work/out"
"$cli" render "$work/dx.dcm" "$work/out" | grep -q '"width": 2048' || { echo "render failed" >&2; exit 1; }
"$cli" render "$work/ct.dcm" "$work/out" | grep -q '"width": 512' || { echo "render failed" >&2; exit 1; }

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
hyperfine -N -w 2 -r "$runs" \
    "$cli render $work/dx.dcm $work/out" \
    "opj_decompress -i $work/dx.j2k -o $work/out/dx.pgm -threads 1" \
    "opj_decompress -i $work/dx.j2k -o $work/out/dx.pgm -threads 2"
hyperfine -N -w 3 -r "$runs" \
    "$cli render $work/ct.dcm $work/out" \
    "ojph_expand -i $work/ct.j2c -o $work/out/ct.pgm"
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
