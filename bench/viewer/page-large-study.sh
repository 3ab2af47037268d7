#!/usr/bin/env bash
# Pages the real viewer through a large CT study under Xvfb and openbox, as a user would with the keyboard: writes a
# medium of SLICES native 512 x 512 slices, starts the viewer from the medium's VIEWER folder, opens the study, picks
# 6 x 6 in the pattern pop-up, holds Page Down to the study's end and Page Up back to its start, one key per page
# shown. Reports the peak RSS (VmHWM), pages per second each way and the time to the first page, and leaves two
# screenshots: OUT/end.png (the last page) and OUT/back.png (the first page again).
#   bench/viewer/page-large-study.sh [BUILD=build] [SLICES=2000] [OUT=/tmp/orblane-large-study]
# Needs xvfb-run, openbox, xdotool and ImageMagick's import; the medium takes SLICES x 0.5 MB in OUT.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(realpath "${1:-build}")
slices=${2:-2000}
out=${3:-/tmp/orblane-large-study}
page=36

if [ "${PAGE_LARGE_STUDY_INNER:-}" != 1 ]; then
    medium="$out/medium"
    if [ ! -f "$medium/DICOMDIR" ] || [ "$(cat "$out/slices" 2>/dev/null)" != "$slices" ]; then
        rm -rf "$medium"
        "$build/bin/orblane_large_medium" "$medium" "$slices"
        echo "$slices" > "$out/slices"
    fi
    mkdir -p "$medium/VIEWER"
    cp "$build/bin/Orblane" "$medium/VIEWER/"
    for name in Orblane.ini OrblInf.ini Errinf.csv Orblane.bmp; do
        cp resources/medium/$name "$medium/VIEWER/"
    done
    export PAGE_LARGE_STUDY_INNER=1
    exec xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" "$0" "$build" "$slices" "$out"
fi

# Inside the X server from here on.
log="$out/viewer.log"
rm -f "$log" "$out/end.png" "$out/back.png"
openbox >/dev/null 2>&1 &
openboxPid=$!
sleep 1
export XDG_RUNTIME_DIR
XDG_RUNTIME_DIR=$(mktemp -d)
ORBLANE_TRACE=1 "$out/medium/VIEWER/Orblane" 2>"$log" &
viewerPid=$!
finish() {
    kill "$viewerPid" 2>/dev/null || true
    kill "$openboxPid" 2>/dev/null || true
    rm -rf "$XDG_RUNTIME_DIR"
}
trap finish EXIT

now() { date +%s.%N; }
# Waits until the log holds at least $2 lines matching $1 (seconds allowed: $3).
wait_lines() {
    local deadline=$(( $(date +%s) + ${3:-60} ))
    while [ "$(grep -c -- "$1" "$log" || true)" -lt "$2" ]; do
        if [ "$(date +%s)" -gt "$deadline" ]; then
            echo "page-large-study: timed out waiting for '$1' (#$2)" >&2
            tail -c 2000 "$log" >&2
            exit 1
        fi
        sleep 0.01
    done
}

wait_lines "trace list " 1 60 || wait_lines "trace " 1 60
sleep 1
list=$(xdotool search --sync --onlyvisible --pid "$viewerPid" | tail -1)
xdotool windowactivate --sync "$list" || true
opened=$(now)
xdotool key Return
wait_lines "trace viewer opened" 1 60
viewer=$(xdotool search --sync --onlyvisible --name "TALVIREN DICOM MEDIA Viewer" | tail -1)
xdotool windowactivate --sync "$viewer" || true
sleep 2
eval "$(xdotool getwindowgeometry --shell "$viewer")"
# The pattern button: the toolbar's 13th control, 838 pixels in, 4 down, 64 square.
xdotool mousemove $((X + 838 + 32)) $((Y + 4 + 32)) click 1
sleep 1
popup=$(xdotool getactivewindow)
if [ "$popup" = "$viewer" ]; then
    echo "page-large-study: the pattern pop-up did not open" >&2
    exit 1
fi
eval "$(xdotool getwindowgeometry --shell "$popup")"
# Past the last cell's corner, inside the pop-up: 6 x 6.
xdotool mousemove $((X + WIDTH - 6)) $((Y + HEIGHT - 6))
sleep 0.2
xdotool mousemove $((X + WIDTH - 5)) $((Y + HEIGHT - 5)) click 1
sleep 1
xdotool mousemove $((X + 200)) $((Y + 400))

pages=$(( (slices + page - 1) / page - 1 ))
# One key at a time, each after the viewer traced the page before: every page is shown.
step() {
    local key=$1 count=$2 before
    before=$(grep -c "trace page from image" "$log" || true)
    for ((k = 1; k <= count; ++k)); do
        xdotool key "$key"
        wait_lines "trace page from image" $((before + k)) 60
    done
}
start=$(now)
step Next "$pages"
forward=$(now)
sleep 1
import -window root "$out/end.png"
back0=$(now)
step Prior "$pages"
backward=$(now)
sleep 1
import -window root "$out/back.png"
hwm=$(grep VmHWM "/proc/$viewerPid/status" | awk '{print $2}')
last=$(grep "trace page from image" "$log" | tail -1)
endPage=$(grep "trace page from image" "$log" | sed -n "${pages}p")
echo "slices $slices, pages of $page: $pages forward, $pages back"
echo "at the end: ${endPage#trace }"
echo "back at: ${last#trace }"
awk -v s="$start" -v f="$forward" -v b0="$back0" -v b="$backward" -v n="$pages" \
    'BEGIN { printf "forward %.2f s (%.1f pages/s), back %.2f s (%.1f pages/s)\n", f - s, n / (f - s), b - b0, n / (b - b0) }'
echo "peak RSS (VmHWM) $((hwm / 1024)) MB"
echo "screenshots: $out/end.png $out/back.png; log: $log"
xdotool key Escape
sleep 1
