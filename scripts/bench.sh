#!/usr/bin/env bash
# Builds the benchmark programs of the linux preset, runs each on one core (the last one: on the
# shared virtual machine this was tuned on, the first ran a third slower for a whole session), so
# that the figures are single-core and comparable between runs, and prints one table: the time of
# an iteration and the ratios the programs report against their targets or a reference. Arguments go
# to every program, e.g. --benchmark_filter=Compare, --benchmark_min_time=0.1 or
# --benchmark_repetitions=3 (the table then shows the fastest repetition of each run). Then
# scripts/bench_mask.sh compares ravk-mask with a plain FFmpeg transcode, over all cores.
# Usage: scripts/bench.sh [BENCHMARK-ARGS...]
set -euo pipefail
cd "$(dirname "$0")/.."

# What each program compares, in the order of the table.
programs=(
    "bench_opencv_compare:analysis vs OpenCV"
    "bench_face_finder:face finder vs OpenCV DNN"
    "bench_viewer_tick:viewer tick"
    "bench_display:covers"
    "bench_video_writer:writers"
    "bench_analysis:analysis"
)

[[ -f build/linux/build.ninja ]] || cmake --preset linux >/dev/null
cmake --build --preset linux -j "$(nproc)" --target "${programs[@]%%:*}" >/dev/null

core=$(($(nproc) - 1))
results=$(mktemp -d /tmp/ravk-bench.XXXXXX)
trap 'rm -rf "$results"' EXIT
failed=()
for entry in "${programs[@]}"; do
    program=${entry%%:*}
    echo "running $program" >&2
    # The console output is kept only for a failure; the JSON file is what the table reads.
    if ! taskset -c "$core" "build/linux/bin/$program" "$@" --benchmark_out="$results/$program.json" \
        --benchmark_out_format=json >"$results/$program.log" 2>&1; then
        failed+=("$program")
        cat "$results/$program.log" >&2
    fi
done

python3 scripts/bench_table.py "$results" "${programs[@]}"

# ravk-mask against a plain transcode: a whole-machine measurement, so not pinned to one core.
echo
scripts/bench_mask.sh

if ((${#failed[@]})); then
    echo "failed: ${failed[*]}" >&2
    exit 1
fi
