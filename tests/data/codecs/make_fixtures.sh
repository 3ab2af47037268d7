#!/usr/bin/env bash
# Rewrites the JPEG 2000, HTJ2K, JPEG-LS and JPEG fixtures of this folder from pydicom's test files (see README.md).
# Run by hand, never by the build: it needs gdcmconv (libgdcm-tools), dcmtk, opj_compress (libopenjp2-tools), Debian's
# python3-pydicom and ojph_compress / ojph_expand (openjph-tools 0.9.0; OJPH_BIN names their folder).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
src=/usr/lib/python3/dist-packages/pydicom/data/test_files
ojph=${OJPH_BIN:-/usr/bin}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
py=/usr/bin/python3

# fragment IN.dcm OUT: the first frame's fragments of an encapsulated file, joined; raw IN.dcm OUT [FIRST COUNT]:
# the native Pixel Data of a file (optionally only COUNT bytes from FIRST).
fragment() { "$py" -c 'import sys, pydicom; from pydicom.encaps import generate_pixel_data_frame as g
open(sys.argv[2], "wb").write(next(g(pydicom.dcmread(sys.argv[1]).PixelData)))' "$1" "$2"; }
raw() { "$py" -c 'import sys, pydicom; d = pydicom.dcmread(sys.argv[1]).PixelData
a = int(sys.argv[3]) if len(sys.argv) > 3 else 0; n = int(sys.argv[4]) if len(sys.argv) > 4 else len(d)
open(sys.argv[2], "wb").write(d[a:a + n])' "$@"; }
# native OUT.dcm RAW ROWS COLS BITS_ALLOCATED BITS_STORED SIGNED: a minimal native grey file around RAW's samples.
native() { "$py" -c 'import sys, pydicom
from pydicom.dataset import Dataset, FileMetaDataset
from pydicom.uid import ExplicitVRLittleEndian, SecondaryCaptureImageStorage, generate_uid
out, raw, rows, cols, ba, bs, signed = sys.argv[1], sys.argv[2], *map(int, sys.argv[3:])
m = FileMetaDataset(); m.MediaStorageSOPClassUID = SecondaryCaptureImageStorage
m.MediaStorageSOPInstanceUID = "1.2.826.0.1.3680043.8.498.1"; m.TransferSyntaxUID = ExplicitVRLittleEndian
d = Dataset(); d.file_meta = m; d.is_little_endian = True; d.is_implicit_VR = False
d.SOPClassUID = m.MediaStorageSOPClassUID; d.SOPInstanceUID = m.MediaStorageSOPInstanceUID
d.StudyInstanceUID = "1.2.826.0.1.3680043.8.498.2"; d.SeriesInstanceUID = "1.2.826.0.1.3680043.8.498.3"
d.PatientName = "Fixture^Codec"; d.Modality = "OT"; d.SamplesPerPixel = 1; d.PhotometricInterpretation = "MONOCHROME2"
d.Rows = rows; d.Columns = cols; d.BitsAllocated = ba; d.BitsStored = bs; d.HighBit = bs - 1
d.PixelRepresentation = signed; d.PixelData = open(raw, "rb").read()
d.save_as(out, write_like_original=False)' "$@"; }

# Sources: native copies of pydicom's files.
raw "$src/CT_small.dcm" "$here/ct_small.raw"
raw "$src/MR_small.dcm" "$here/mr_small.raw"
gdcmconv --raw "$src/SC_rgb_rle.dcm" rgb.dcm
raw rgb.dcm "$here/rgb.raw"
# CT minus 1024 as 12-bit signed samples (two's complement, sign-extended in 16 bits): -896 .. 1167.
"$py" -c 'import numpy, sys; a = numpy.fromfile(sys.argv[1], "<i2") - 1024; a.astype("<i2").tofile(sys.argv[2])' \
    "$here/ct_small.raw" "$here/ct_small_s12.raw"
native ct_u16.dcm "$here/ct_small.raw" 128 128 16 16 0 # CT_small's values are all positive
native mr_p8.dcm "$here/../jpegll/mr_small_p8.raw" 64 64 8 8 0

# JPEG 2000.
fragment "$src/MR_small_jp2klossless.dcm" "$here/mr_small_pydicom.j2k"
gdcmconv --j2k "$src/CT_small.dcm" ct.dcm && fragment ct.dcm "$here/ct_small.j2k"
gdcmconv --j2k --lossy --irreversible -r 10 "$src/CT_small.dcm" ctq.dcm && fragment ctq.dcm "$here/ct_small_lossy.j2k"
gdcmconv --raw ctq.dcm ctq_raw.dcm && raw ctq_raw.dcm "$here/ct_small_lossy_gdcm.raw"
gdcmconv --j2k rgb.dcm rgbj.dcm && fragment rgbj.dcm "$here/rgb_no_mct.j2k"
fragment "$src/GDCMJ2K_TextGBR.dcm" "$here/text_gbr_rct.j2k"
# Rows 150 to 199 only (400 pixels of 3 bytes).
gdcmconv --raw "$src/GDCMJ2K_TextGBR.dcm" gbr.dcm && raw gbr.dcm "$here/text_gbr_rct_rows150.raw" 180000 60000
fragment "$src/J2K_pixelrep_mismatch.dcm" "$here/pixelrep_mismatch.j2k"
# Rows 224 to 287 only (512 columns of 2 bytes), to keep the folder small.
gdcmconv --raw "$src/J2K_pixelrep_mismatch.dcm" pm.dcm && raw pm.dcm "$here/pixelrep_mismatch_rows224.raw" 229376 65536
cp "$here/ct_small.raw" ct.rawl
opj_compress -i ct.rawl -F 128,128,1,16,s -o "$here/ct_small.jp2" >/dev/null
cp "$here/../jpegll/mr_small_p8.raw" mr8.rawl
opj_compress -i mr8.rawl -F 64,64,1,8,u -o "$here/mr_small_p8.j2k" >/dev/null
head -c 7500 "$here/rgb.raw" >sub.rawl # 50 x 50 luma, then two 25 x 25 chroma planes
opj_compress -i sub.rawl -F 50,50,3,8,u@1x1:2x2:2x2 -o "$here/subsampled.j2k" >/dev/null

# High-Throughput JPEG 2000 (OpenJPH writes it; OpenJPEG 2.5 only reads it).
export LD_LIBRARY_PATH=${OJPH_LIB:-}
"$ojph/ojph_compress" -i ct.rawl -o "$here/ct_small_ht.j2c" -dims '{128,128}' -num_comps 1 -signed true \
    -bit_depth 16 -downsamp '{1,1}' -reversible true >/dev/null
"$ojph/ojph_compress" -i ct.rawl -o "$here/ct_small_ht_lossy.j2c" -dims '{128,128}' -num_comps 1 -signed true \
    -bit_depth 16 -downsamp '{1,1}' -qstep 0.002 >/dev/null
"$ojph/ojph_expand" -i "$here/ct_small_ht_lossy.j2c" -o htq.rawl >/dev/null && cp htq.rawl "$here/ct_small_ht_lossy_ojph.raw"
"$py" -c 'import sys; d = open(sys.argv[1], "rb").read()
open(sys.argv[2], "wb").write(b"P6\n100 100\n255\n" + d)' "$here/rgb.raw" rgb.ppm
"$ojph/ojph_compress" -i rgb.ppm -o "$here/rgb_ht_rct.j2c" -reversible true -colour_trans true >/dev/null

# JPEG-LS.
fragment "$src/MR_small_jpeg_ls_lossless.dcm" "$here/mr_small_pydicom.jls"
dcmcjpls "$src/CT_small.dcm" ctl.dcm && fragment ctl.dcm "$here/ct_small.jls"
# DCMTK refuses near-lossless coding of signed samples: the unsigned copy of CT_small.
dcmcjpls +en +md 2 ct_u16.dcm ctn.dcm && fragment ctn.dcm "$here/ct_small_near2.jls"
dcmdjpls ctn.dcm ctn_raw.dcm && raw ctn_raw.dcm "$here/ct_small_near2_dcmtk.raw"
for mode in none line sample; do
    dcmcjpls "+i${mode:0:1}" rgb.dcm "rgb_$mode.dcm" && fragment "rgb_$mode.dcm" "$here/rgb_$mode.jls"
done
# Both DCMTK and GDCM code 12-bit samples at precision 16, so CharLS's own encoder writes the 12-bit stream: the
# 12-bit two's complement patterns of ct_small_s12.raw, lossless.
cat >jls12.cpp <<'CODE'
#include <charls/charls.h>
#include <fstream>
#include <iterator>
#include <vector>
int main(int, char** argv)
{
    std::ifstream in(argv[1], std::ios::binary);
    std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::vector<unsigned short> samples(bytes.size() / 2);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<unsigned short>(((unsigned char)bytes[2 * i] | (bytes[2 * i + 1] << 8)) & 0xFFF);
    charls::jpegls_encoder encoder;
    encoder.frame_info({128, 128, 12, 1});
    std::vector<unsigned char> out(encoder.estimated_destination_size());
    encoder.destination(out);
    out.resize(encoder.encode(samples));
    std::ofstream(argv[2], std::ios::binary).write(reinterpret_cast<const char*>(out.data()), out.size());
}
CODE
g++ -std=c++17 jls12.cpp -o jls12 -lcharls && ./jls12 "$here/ct_small_s12.raw" "$here/ct_small_s12.jls"
dcmcjpls mr_p8.dcm mr8.dcm && fragment mr8.dcm "$here/mr_small_p8.jls"

# Benchmark input: a 512 x 512 CT slice (13 bits stored, unsigned as its codestream says), lossless in both codings.
dcmodify -nb -m "(0028,0103)=0" pm.dcm
dcmcjpls pm.dcm pml.dcm && fragment pml.dcm "$here/ct512.jls"
gdcmconv --j2k pm.dcm pmj.dcm && fragment pmj.dcm "$here/ct512.j2k"
# The same CT slice as HTJ2K (OpenJPH's tools; LD_LIBRARY_PATH as above).
opj_decompress -i "$here/ct512.j2k" -o ct512.rawl >/dev/null
"$ojph/ojph_compress" -i ct512.rawl -o "$here/ct512_ht.j2c" -dims '{512,512}' -num_comps 1 -signed false -bit_depth 16 \
    -downsamp '{1,1}' -reversible true >/dev/null

# Subsampled colour JPEG baseline (DCMTK's IJG encoder) and the RGB samples DCMTK's decoder gives for it.
dcmdjpeg "$here/../files/SC_rgb_jpeg_dcmtk.dcm" sc.dcm
for mode in 422 411; do
    dcmcjpeg +eb "$([ $mode = 422 ] && echo +s2 || echo +n1)" sc.dcm "j$mode.dcm" && fragment "j$mode.dcm" "$here/rgb_$mode.jpg"
    dcmdjpeg "j$mode.dcm" "d$mode.dcm" && raw "d$mode.dcm" "$here/rgb_${mode}_dcmtk.raw"
done
# Colour JPEG baseline whose stream says nothing (or only through Adobe APP14 or component names) of a colour
# transform, and the samples GDCM (which never converts) or DCMTK told to convert gives for them.
fragment "$src/SC_jpeg_no_color_transform.dcm" "$here/rgb_no_markers.jpg"
gdcmconv --raw "$src/SC_jpeg_no_color_transform.dcm" nm.dcm && raw nm.dcm "$here/rgb_no_markers_gdcm.raw"
dcmdjpeg +ca "$src/SC_jpeg_no_color_transform.dcm" nmy.dcm && raw nmy.dcm "$here/rgb_no_markers_ycbcr_dcmtk.raw"
fragment "$src/SC_jpeg_no_color_transform_2.dcm" "$here/rgb_adobe_no_transform.jpg"
gdcmconv --raw "$src/SC_jpeg_no_color_transform_2.dcm" na.dcm && raw na.dcm "$here/rgb_adobe_no_transform_gdcm.raw"
fragment "$src/SC_rgb_jpeg_lossy_gdcm.dcm" "$here/rgb_no_markers_420.jpg"
gdcmconv --raw "$src/SC_rgb_jpeg_lossy_gdcm.dcm" n420.dcm && raw n420.dcm "$here/rgb_no_markers_420_gdcm.raw"
fragment "$here/../files/SC_rgb_dcmtk_+eb+cr.dcm" cr.jpg
"$py" -c 'import sys; s = open(sys.argv[1], "rb").read(); assert s[2:4] == b"\xff\xee"
open(sys.argv[2], "wb").write(s[:2] + s[4 + (s[4] << 8 | s[5]):])' cr.jpg "$here/rgb_component_names.jpg"
gdcmconv --raw "$here/../files/SC_rgb_dcmtk_+eb+cr.dcm" cr.dcm && raw cr.dcm "$here/rgb_component_names_gdcm.raw"
ls -l "$here"
