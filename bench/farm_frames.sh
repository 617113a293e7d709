#!/bin/bash
# Time for an animation rendered in one process against the same frames as a Slurm array:
#   bench/farm_frames.sh [BUILD] [FRAMES] [TASKS] [WxH]      (default: build 16 2 640x360)
# Starts its own local farm under BUILD/farm-bench (scripts/farm-local) and stops it at the end.
# Prints both wall times, the ratio, and what each task costs beyond its frames.
set -u
repo=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$repo/build}" && pwd)
frames=${2:-16}
tasks=${3:-2}
size=${4:-640x360}
zalhost=$build/bin/zalhost
drawing=$repo/samples/pavilion.dxf
work=$(mktemp -d)
farm=$build/farm-bench
trap '"$repo/scripts/farm-local" stop "$farm" >/dev/null; rm -rf "$work"' EXIT

eval "$("$repo/scripts/farm-local" start "$farm" 2>/dev/null)" || {
    echo "farm_frames: the local farm did not start (see $farm/log)" >&2
    exit 1
}
chunk=$(((frames + tasks - 1) / tasks))
now() { date +%s.%N; }

# One process: one host, one viewer, one display, frame after frame.
t0=$(now)
xvfb-run -a -s "-screen 0 1920x1080x24" "$zalhost" --open "$drawing" --render-frames "1-$frames" \
    --size "$size" --out "$work/one" >"$work/one.log" 2>&1 || {
    echo "farm_frames: the single run failed:" >&2
    tail "$work/one.log" >&2
    exit 1
}
t1=$(now)
# The array: each task starts its own display, host and viewer for its chunk.
env -u DISPLAY "$zalhost" --open "$drawing" --render-frames "1-$frames" --size "$size" --out "$work/farm" \
    --farm slurm --chunk "$chunk" >"$work/farm.log" 2>&1 || {
    echo "farm_frames: the array failed:" >&2
    tail -n 30 "$work/farm.log" >&2
    exit 1
}
t2=$(now)
# A one-frame run is the fixed cost of a process (start, open, first synchronisation, exit).
xvfb-run -a -s "-screen 0 1920x1080x24" "$zalhost" --open "$drawing" --render-frames 1-1 \
    --size "$size" --out "$work/start" >/dev/null 2>&1
t3=$(now)

identical=0
for f in "$work"/one/frame_*.png; do
    cmp -s "$f" "$work/farm/$(basename "$f")" && identical=$((identical + 1))
done
awk -v one="$(echo "$t1 - $t0" | bc)" -v arr="$(echo "$t2 - $t1" | bc)" -v single="$(echo "$t3 - $t2" | bc)" \
    -v n="$frames" -v k="$tasks" -v size="$size" -v cores="$(nproc)" -v same="$identical" 'BEGIN {
    printf "frames %d at %s on %d cores\n", n, size, cores
    printf "one process:        %7.2f s  (%.3f s/frame)\n", one, one / n
    printf "%d-task array:       %7.2f s  (%.3f s/frame)\n", k, arr, arr / n
    printf "ratio one/array:    %7.2f\n", one / arr
    printf "one-frame run:      %7.2f s  (fixed cost of a task, roughly)\n", single
    printf "frames byte-identical between the two: %d of %d\n", same, n
}'
