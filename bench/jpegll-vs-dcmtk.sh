#!/usr/bin/env bash
# Times `orblane-cli decode-jpegll` against DCMTK's dcmdjpeg on one 2048 x 2560 JPEG lossless stream: the demo
# medium's chest radiograph, compressed by dcmcjpeg (process 14, selection value 1). Each tool runs as a whole
# process (start-up, reading, decoding, writing its output), the two alternately so that a busy spell of the shared
# machine falls on both; the figures are medians of the runs, wall clock and CPU (user + system). The decoded samples
# of the two are compared before any timing.
#
#   bench/jpegll-vs-dcmtk.sh [build-dir] [runs]      needs dcmtk; default build dir: build, runs: 15
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-15}
cli=$build/bin/orblane-cli
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if [ ! -x "$cli" ] || [ ! -x "$build/bin/orblane-demo-medium" ]; then
    echo "needs $cli and $build/bin/orblane-demo-medium (cmake --build $build -t orblane-cli orblane-demo-medium)" >&2
    exit 2
fi
"$build/bin/orblane-demo-medium" "$work/medium" >/dev/null
radiograph=
while IFS= read -r -d '' file; do
    size=$(dcmdump -q +P 0028,0010 +P 0028,0011 "$file" 2>/dev/null | awk '{print $3}' | tr '\n' ' ')
    if [ "$size" = "2560 2048 " ]; then
        radiograph=$file
        break
    fi
done < <(find "$work/medium/DICOM" -type f -print0 | sort -z)
if [ -z "$radiograph" ]; then
    echo "no 2048 x 2560 image in the demo medium" >&2
    exit 1
fi
dcmcjpeg +e1 "$radiograph" "$work/dx.dcm"
# The stream is the one fragment after the empty offset table (its length padded to even, which a decoder ignores).
mkdir "$work/fragments"
dcmdump -q +W "$work/fragments" "$work/dx.dcm" >/dev/null
stream=$(find "$work/fragments" -name '*.1.raw')
mv "$stream" "$work/dx.ljpeg"

# Both must give the same samples, or the race is not a fair one.
dcmdjpeg "$work/dx.dcm" "$work/plain.dcm"
dcmdump -q +W "$work/fragments" "$work/plain.dcm" >/dev/null
"$cli" decode-jpegll "$work/dx.ljpeg" "$work/ours.raw" >/dev/null
if ! cmp -s "$(find "$work/fragments" -name 'plain.dcm.*.raw' | head -n 1)" "$work/ours.raw"; then
    echo "the two decoders disagree on the samples" >&2
    exit 1
fi
echo "stream: $(stat -c %s "$work/dx.ljpeg") bytes, 2048 x 2560; $runs runs of each, alternating"

# Python's wait4 gives each child's CPU time to the microsecond (the shell's clock ticks are 10 ms).
/usr/bin/python3 - "$runs" "$work" "$cli" <<'PY'
import os, statistics, sys, time
runs, work, cli = int(sys.argv[1]), sys.argv[2], sys.argv[3]
tools = {
    'dcmdjpeg': ['dcmdjpeg', f'{work}/dx.dcm', f'{work}/out.dcm'],
    'orblane-cli decode-jpegll': [cli, 'decode-jpegll', f'{work}/dx.ljpeg', f'{work}/out.raw'],
}
def once(argv):
    devnull = os.open(os.devnull, os.O_WRONLY)
    start = time.perf_counter()
    pid = os.posix_spawnp(argv[0], argv, os.environ, file_actions=[(os.POSIX_SPAWN_DUP2, devnull, 1)])
    _, status, usage = os.wait4(pid, 0)
    wall = time.perf_counter() - start
    os.close(devnull)
    if status != 0:
        sys.exit(f'{argv[0]} failed')
    return wall * 1e3, (usage.ru_utime + usage.ru_stime) * 1e3
# A first run of each outside the figures: the files and libraries are then in the page cache for both.
for argv in tools.values():
    once(argv)
times = {name: [] for name in tools}
for _ in range(runs):
    for name, argv in tools.items():
        times[name].append(once(argv))
medians = {}
for name, pairs in times.items():
    wall = statistics.median(p[0] for p in pairs)
    cpu = statistics.median(p[1] for p in pairs)
    medians[name] = (wall, cpu)
    print(f'{name:26s} median {wall:6.1f} ms wall, {cpu:6.1f} ms CPU (min wall {min(p[0] for p in pairs):.1f})')
(dw, dc), (ow, oc) = medians.values()
print(f'ratio dcmdjpeg / ours: {dw / ow:.2f} x wall, {dc / oc:.2f} x CPU')
PY
