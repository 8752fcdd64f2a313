#!/usr/bin/env bash
# Screen capture against ffmpeg's x11grab: 30 s of a 1920x1080 private Xvfb at 60 fps with content
# that changes every frame, both encoded with libx264 veryfast/zerolatency at 18 Mb/s, keyframes every
# 2 s, no B-frames (the recorder's own settings). Reports frames written, frames dropped and the
# CPU time each process used. For orvane the drops it reported itself are split into frame-clock
# ticks the capture missed (a grab ran late) and frames the encoder's full queue refused. ffmpeg writes the frames it grabbed as they came (no duplicates to fill
# a constant rate), so both counts are frames really captured. Not part of CI: it takes a minute and wants an idle machine.
# Usage: bench/capture_bench.sh [build-dir] [seconds]   (build dir defaults to build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
seconds=${2:-30}
case $build in /*) ;; *) build=$PWD/$build ;; esac
orvane=$build/src/cli/orvane
driver=$build/tools/orvane_demo_driver
[ -x "$orvane" ] && [ -x "$driver" ] || { echo "capture_bench: build orvane and orvane_demo_driver in $build first" >&2; exit 1; }
for tool in Xvfb ffmpeg ffprobe; do
  command -v "$tool" >/dev/null || { echo "capture_bench: $tool is missing" >&2; exit 1; }
done

work=$(mktemp -d /tmp/orvane-capture-bench.XXXXXX)
. scripts/private-session.sh
trap 'stop_private_processes; rm -rf "$work"' EXIT
use_private_folders "$work"
start_private_xvfb "$work" 1920x1080 || { echo "capture_bench: no private X server" >&2; exit 1; }

"$driver" --animate >"$work/driver.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do grep -q ready "$work/driver.log" && break; sleep 0.1; done

frames() { ffprobe -v error -select_streams v:0 -count_packets -show_entries stream=nb_read_packets -of csv=p=0 "$1"; }
expected=$((seconds * 60))

# A first short recording on a machine probes once whether alpha recording keeps up and remembers
# the answer; the timed run is a recording after that, as every later one on the machine is.
"$orvane" record --duration 1 >/dev/null 2>&1

# /usr/bin/time measures the child alone: user and system CPU seconds, and wall time.
/usr/bin/time -f '%U %S %e' -o "$work/orvane.time" \
  "$orvane" record --duration "$seconds" --json >"$work/record.json" 2>"$work/record.log"
movie=$(sed -n 's/^ *"folder": *"\(.*\)",\{0,1\}$/\1/p' "$work/record.json" | head -n1)/screen.mp4
[ -f "$movie" ] || movie=$(find "$work/data" -name screen.mp4 | head -n1)
orvane_frames=$(frames "$movie")
field() { sed -n "s/^ *\"$1\": *\([0-9]*\).*/\1/p" "$work/record.json"; }
orvane_dropped="$(field droppedFrames) = $(field missedCaptureFrames) missed by the capture + $(field encoderDroppedFrames) at the encoder; $(field unchangedFrames) grabs unchanged"

/usr/bin/time -f '%U %S %e' -o "$work/ffmpeg.time" \
  ffmpeg -v error -nostdin -f x11grab -framerate 60 -video_size 1920x1080 -i "$DISPLAY" -t "$seconds" \
    -fps_mode passthrough -c:v libx264 -preset veryfast -tune zerolatency -profile:v high -b:v 18M -g 120 -bf 0 \
    -pix_fmt yuv420p \
    -y "$work/x11grab.mp4"
ffmpeg_frames=$(frames "$work/x11grab.mp4")

# A grab that found the screen unchanged needs no frame of its own (the previous one lasts until the
# next), so it is not a drop; ffmpeg writes such grabs as frames anyway.
report() {  # name frames unchanged-grabs recorder-reported-drops time-file
  read -r user sys wall <"$5"
  awk -v n="$1" -v f="$2" -v same="$3" -v d="$4" -v e="$expected" -v u="$user" -v s="$sys" -v w="$wall" 'BEGIN {
    printf "%-8s frames %5d of %5d  dropped %5d (reported: %s)  cpu user %6.2f s  sys %6.2f s  = %5.1f%% of one core over %.1f s\n",
           n, f, e, (e > f + same ? e - f - same : 0), d, u, s, 100 * (u + s) / w, w }'
}
echo "capture_bench: ${seconds}s of 1920x1080 at 60 fps, libx264 veryfast zerolatency 18 Mb/s, keyint 120"
report orvane "$orvane_frames" "$(field unchangedFrames)" "${orvane_dropped:-?}" "$work/orvane.time"
report x11grab "$ffmpeg_frames" 0 "-" "$work/ffmpeg.time"
