#!/usr/bin/env bash
# Drives ravk on an X display with no one in front of it, as a person would with the keyboard:
# accepts the resolution dialog, turns "&intercepter" and "&Box" on (and "Region &Expansion", so
# the square covers the whole face), saves a screenshot of the window after a few seconds, saves a
# snapshot pair with Shift + "&Capture", records a 5-second clip with "&Capture" and the default
# settings, and ends with "E&XIT".
# Usage: run_headless.sh RUN_FOLDER COMMAND... (with DISPLAY set, e.g. under xvfb-run), where
# COMMAND starts the viewer: the Linux ravk, or ravk.exe under Wine.
set -euo pipefail
run=$1
shift

# Waits for a visible window whose title matches and prints its id.
window() {
    for _ in $(seq 100); do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1 || true)
        if [[ -n "$id" ]]; then
            echo "$id"
            return 0
        fi
        sleep 0.1
    done
    echo "no window '$1' appeared" >&2
    return 1
}

cd "$run"
"$@" >"$run/ravk.log" 2>&1 &
viewer=$!
trap 'kill "$viewer" 2>/dev/null || true' EXIT

dialog=$(window '^Resolution Setting$')
xdotool windowfocus --sync "$dialog" key Return

main=$(window '^Ravkeler')
xdotool windowfocus --sync "$main" key alt+i alt+b alt+e
sleep 3
import -window "$main" "$run/ravk_screenshot.png"

# From "Region &Expansion" the tab order reaches "&Capture" in two steps; Space presses it while
# Shift is down.
xdotool key Tab Tab keydown shift key space keyup shift
sleep 1

# "&Capture" alone: the settings (15 fps, 5 s) and the preselected uncompressed compressor.
xdotool key space
settings=$(window '^Capture Settings$')
xdotool windowfocus --sync "$settings" key Return
compressor=$(window '^Video Compression$')
xdotool windowfocus --sync "$compressor" key Return
for _ in $(seq 150); do
    grep -q '^END AviCreater' "$run/ravk.log" && break
    sleep 0.1
done
grep -q '^END AviCreater' "$run/ravk.log" || { echo "the recording did not end" >&2; exit 1; }
xdotool windowfocus --sync "$main"

xdotool key alt+x
status=0
wait "$viewer" || status=$?
trap - EXIT
[[ $status -eq 1 ]] || { echo "ravk ended with status $status" >&2; exit 1; }

for file in ravk_screenshot.png capture_original.bmp capture_ravk.bmp capture.avi; do
    [[ -s "$run/$file" ]] || { echo "missing: $run/$file" >&2; exit 1; }
done
frames=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames \
    -of csv=p=0 "$run/capture.avi")
echo "Screenshot:    $run/ravk_screenshot.png"
echo "Snapshot pair: $run/capture_original.bmp $run/capture_ravk.bmp"
echo "Recording:     $run/capture.avi ($frames frames)"
[[ "$frames" -eq 75 ]] || { echo "expected 75 frames" >&2; exit 1; }
