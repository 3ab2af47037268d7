#!/usr/bin/env bash
# Pages the real viewer through a large CT study under Xvfb and openbox, as a user would with the keyboard: writes a
# medium of SLICES native 512 x 512 slices, starts the viewer from the medium's VIEWER folder, opens the study with a
# double-click, picks 6 x 6 in the pattern pop-up (or stays in 1 x 1), holds Page Down to the study's end and Page Up
# back to its start. Reports the time from the double-click to the first page, pages per second each way and the
# peak RSS (VmHWM), and leaves two screenshots: OUT/end.png (the last page) and OUT/back.png (the first page again).
#   bench/viewer/page-large-study.sh [BUILD=build] [SLICES=2000] [OUT=/tmp/orblane-large-study] [6x6|1x1]
# Needs xvfb-run, openbox, xdotool and ImageMagick's import; the medium takes SLICES x 0.5 MB in OUT.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(realpath "${1:-build}")
slices=${2:-2000}
out=${3:-/tmp/orblane-large-study}
pattern=${4:-6x6}
case "$pattern" in
6x6) page=36 ;;
1x1) page=1 ;;
*) echo "page-large-study: pattern 6x6 or 1x1" >&2; exit 2 ;;
esac

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
    exec xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" "$0" "$build" "$slices" "$out" "$pattern"
fi

# Inside the X server from here on.
log="$out/viewer.log"
rm -f "$log" "$out/end.png" "$out/back.png"
openbox >/dev/null 2>&1 &
openboxPid=$!
sleep 1
export XDG_RUNTIME_DIR
XDG_RUNTIME_DIR=$(mktemp -d)
# The log exists before the program (which opens it in the background) writes to it.
: >"$log"
ORBLANE_TRACE=1 "$out/medium/VIEWER/Orblane" 2>>"$log" &
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

wait_lines "trace top row centre" 1 60
sleep 1
# The list's top row, where the program traced its centre (in the list's window).
centre=$(grep -m1 "trace top row centre at" "$log" | sed 's/.* at //')
list=$(xdotool getactivewindow)
# Where a window's inside begins on the screen (xdotool's own geometry counts the frame in).
origin() {
    X=$(xwininfo -id "$1" | awk '/Absolute upper-left X/ { print $4 }')
    Y=$(xwininfo -id "$1" | awk '/Absolute upper-left Y/ { print $4 }')
    WIDTH=$(xwininfo -id "$1" | awk '/Width:/ { print $2 }')
    HEIGHT=$(xwininfo -id "$1" | awk '/Height:/ { print $2 }')
}
origin "$list"
opening=$(now)
xdotool mousemove $((X + ${centre%,*})) $((Y + ${centre#*,})) click --repeat 2 --delay 80 1
wait_lines "trace page from image" 1 60
opened=$(now)
sleep 1
viewer=$(xdotool getactivewindow)
if [ "$viewer" = "$list" ]; then
    echo "page-large-study: the viewer's window did not become the active one" >&2
    exit 1
fi
origin "$viewer"
if [ "$pattern" = 6x6 ]; then
    # The pattern button: the toolbar's 13th control, 838 pixels in, 4 down, 64 square.
    xdotool mousemove $((X + 838 + 32)) $((Y + 4 + 32)) click 1
    sleep 1
    # The pop-up takes no focus: it is the program's one other window on the screen.
    popup=
    for window in $(xdotool search --onlyvisible --pid "$viewerPid"); do
        if [ "$window" != "$viewer" ] && [ "$window" != "$list" ]; then
            popup=$window
        fi
    done
    if [ -z "$popup" ]; then
        echo "page-large-study: the pattern pop-up did not open (see $out/failed.png)" >&2
        import -window root "$out/failed.png"
        exit 1
    fi
    origin "$popup"
    # Past the last cell's corner, inside the pop-up: 6 x 6.
    xdotool mousemove $((X + WIDTH - 6)) $((Y + HEIGHT - 6))
    sleep 0.2
    xdotool mousemove $((X + WIDTH - 5)) $((Y + HEIGHT - 5)) click 1
    sleep 1
    xdotool mousemove $((X + 200)) $((Y + 400))
fi

pages=$(( (slices + page - 1) / page - 1 ))
# The key held: typed every 5 ms, faster than any key repeat; the viewer shows (and traces) every page in turn.
step() {
    local key=$1 count=$2 before
    before=$(grep -c "trace page from image" "$log" || true)
    xdotool key --repeat "$count" --delay 5 "$key"
    wait_lines "trace page from image" $((before + count)) 600
}
rss() { awk '/VmRSS/ { print int($2 / 1024) }' "/proc/$viewerPid/status"; }
# The resident size every 20 ms while paging, for where the peak falls.
echo "before paging $(rss) MB" > "$out/rss.txt"
(while kill -0 "$viewerPid" 2>/dev/null; do rss >> "$out/rss.txt" 2>/dev/null || true; sleep 0.02; done) &
base=$(grep -c "trace page from image" "$log" || true)
start=$(now)
step Next "$pages"
forward=$(now)
echo "forward done" >> "$out/rss.txt"
sleep 1
import -window root "$out/end.png"
back0=$(now)
step Prior "$pages"
backward=$(now)
echo "back done" >> "$out/rss.txt"
sleep 1
import -window root "$out/back.png"
hwm=$(grep VmHWM "/proc/$viewerPid/status" | awk '{print $2}')
last=$(grep "trace page from image" "$log" | tail -1)
endPage=$(grep "trace page from image" "$log" | sed -n "$((base + pages))p")
echo "slices $slices, pages of $page: $pages forward, $pages back"
echo "at the end: ${endPage#trace }"
echo "back at: ${last#trace }"
awk -v o="$opening" -v p="$opened" 'BEGIN { printf "first page %.0f ms after the double-click\n", (p - o) * 1000 }'
awk -v s="$start" -v f="$forward" -v b0="$back0" -v b="$backward" -v n="$pages" \
    'BEGIN { printf "forward %.2f s (%.1f pages/s), back %.2f s (%.1f pages/s)\n", f - s, n / (f - s), b - b0, n / (b - b0) }'
echo "peak RSS (VmHWM) $((hwm / 1024)) MB; resident $(head -1 "$out/rss.txt" | awk '{ print $3 }') MB before paging," \
    "at most $(awk '/forward done/ { exit } /^[0-9]/ { m = $1 > m ? $1 : m } END { print m }' "$out/rss.txt") MB" \
    "forward, $(awk '/forward done/ { on = 1; next } /back done/ { exit } on && /^[0-9]/ { m = $1 > m ? $1 : m } END { print m }' "$out/rss.txt") MB back"
echo "screenshots: $out/end.png $out/back.png; log: $log"
xdotool key Escape
sleep 1
