#!/usr/bin/env bash
# Times DCMTK's dcmdjpeg (the IJG 12-bit decoder) on the benchmark's 512 x 512 12-bit stream, beside our decoder.
# dcmdjpeg decodes a 100-frame file of that one stream; the time of dcmconv copying the decoded file (reading,
# writing, process start) is subtracted, so what remains is decoding. Times are CPU (user + system), not wall clock,
# because the machine may be shared.
#
#   bench/jpeg12-vs-dcmtk.sh [build-dir]      needs dcmtk, /usr/bin/python3 with pydicom; default build dir: build
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
frames=100
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

/usr/bin/python3 - "$work/multi.dcm" "$frames" <<'PY'
import sys
import pydicom
from pydicom.encaps import encapsulate
ds = pydicom.dcmread('tests/data/codecs-jpeg12/phantom512_q75.dcm')
stream = open('tests/data/codecs-jpeg12/phantom512_q75.jpg', 'rb').read()
count = int(sys.argv[2])
ds.NumberOfFrames = count
ds.PixelData = encapsulate([stream] * count)
ds['PixelData'].is_undefined_length = True
ds.save_as(sys.argv[1])
PY

cpu() # CPU seconds of the command, children included
{
    local me=$BASHPID before after
    before=$(awk '{print $16 + $17}' "/proc/$me/stat")
    "$@" >/dev/null 2>&1
    after=$(awk '{print $16 + $17}' "/proc/$me/stat")
    echo "$before $after $(getconf CLK_TCK)" | awk '{printf "%.3f", ($2 - $1) / $3}'
}

best_decode=999
best_copy=999
for run in 1 2 3; do
    d=$(cpu dcmdjpeg "$work/multi.dcm" "$work/plain.dcm")
    c=$(cpu dcmconv "$work/plain.dcm" "$work/copy.dcm")
    best_decode=$(echo "$d $best_decode" | awk '{print ($1 < $2) ? $1 : $2}')
    best_copy=$(echo "$c $best_copy" | awk '{print ($1 < $2) ? $1 : $2}')
done
echo "dcmdjpeg: $best_decode s CPU for $frames frames; dcmconv copying the result: $best_copy s"
echo "$best_decode $best_copy $frames" | awk '{printf "dcmdjpeg (IJG 12-bit): %.2f ms/frame CPU\n", ($1 - $2) * 1000 / $3}'

if [ -x "$build/bin/orblane_bench" ]; then
    "$build/bin/orblane_bench" --benchmark_filter='BM_JpegExtendedCt512x512x12$' --benchmark_repetitions=3 \
        --benchmark_report_aggregates_only=true 2>/dev/null | awk '/_median/ {printf "ours: %s ms/frame CPU\n", $4}'
fi
