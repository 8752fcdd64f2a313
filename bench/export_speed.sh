#!/usr/bin/env bash
# `orvane export` against ffmpeg doing the nearest plain job on the same source: decode, scale the
# recording to the window's size, overlay it on the background picture, encode with the exporter's
# libx264 settings (veryfast, High, the profile's bitrate with a 1.5x / 2 s VBV, keyframes every
# 2 s). The source is a 20 s 1920x1080 60 fps movie with a busy picture (moving test pattern under
# grain) at about 27 Mb/s, as a screen recording of video or a scrolling page comes out.
#
# Two workloads on that source:
#   still      no pointer track: the window holds still the whole time
#   realistic  a pointer that keeps moving, a click every 3 s and the automatic zooms those make,
#              so the window moves and scales for most of the video
# Each round times orvane and then ffmpeg back to back; the table gives the median of the rounds
# and their ratio. Not part of CI: it takes minutes and wants a quiet machine.
# Usage: bench/export_speed.sh [build-dir] [rounds]   (build dir defaults to build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
rounds=${2:-3}
case $build in /*) ;; *) build=$PWD/$build ;; esac
orvane=$build/src/cli/orvane
[ -x "$orvane" ] || { echo "export_speed: build orvane in $build first" >&2; exit 1; }
for tool in ffmpeg ffprobe python3; do
  command -v "$tool" >/dev/null || { echo "export_speed: $tool is missing" >&2; exit 1; }
done

seconds=20
# The source takes a while to encode; it is kept between runs.
sources=${ORVANE_BENCH_MEDIA:-${TMPDIR:-/tmp}/orvane-export-speed}
mkdir -p "$sources"
movie=$sources/busy-1080p60.mp4
if ! [ -s "$movie" ]; then
  echo "export_speed: generating the source movie (once)" >&2
  ffmpeg -v error -nostdin -f lavfi -i "testsrc2=size=1920x1080:rate=60:duration=$seconds" \
    -vf "noise=alls=14:allf=t+u,format=yuv420p" \
    -c:v libx264 -preset veryfast -profile:v high -b:v 27M -maxrate 27M -bufsize 27M -g 120 -bf 0 \
    -colorspace bt709 -color_primaries bt709 -color_trc bt709 -color_range tv \
    -y "$movie.partial.mp4"
  mv "$movie.partial.mp4" "$movie"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/orvane-export-speed.XXXXXX")
. scripts/private-session.sh
trap 'rm -rf "$work"' EXIT
use_private_folders "$work"

import() {  # prints the new recording's id and folder
  "$orvane" import "$movie" --json | python3 -c 'import json,sys; r=json.load(sys.stdin); print(r["id"]); print(r["folder"])'
}

{ read -r still_id; read -r still_folder; } < <(import)
{ read -r busy_id; read -r busy_folder; } < <(import)

# A pointer that wanders over the whole screen and never rests, pressed for 120 ms every 3 s.
python3 - "$busy_folder" "$seconds" <<'EOF'
import json, math, os, sys
folder, seconds = sys.argv[1], float(sys.argv[2])
points = []
for i in range(int(seconds * 60)):
    t = i / 60
    points.append({"t": round(t * 1000), "cx": 0.5 + 0.38 * math.sin(t * 0.83) * math.cos(t * 0.21),
                   "cy": 0.5 + 0.36 * math.sin(t * 1.37 + 0.6), "pressed": (t - 1.5) % 3 < 0.12 and t >= 1.5})
with open(os.path.join(folder, "cursor.json"), "w") as f:
    json.dump({"points": points, "sampleHz": 60}, f)
meta_file = os.path.join(folder, "meta.json")
with open(meta_file) as f:
    meta = json.load(f)
meta["hasCursor"] = True
meta["clickCaptureActive"] = True
with open(meta_file, "w") as f:
    json.dump(meta, f)
EOF
"$orvane" autozoom "$busy_id" --rerun >/dev/null
zooms=$("$orvane" autozoom "$busy_id" --json | python3 -c 'import json,sys; print(len(json.load(sys.stdin)["zoomRegions"]))')

# The exporter's profile and background, so ffmpeg encodes the same stream over the same picture.
profile=$("$orvane" export "$busy_id" --out "$work/x.mp4" --dry-run --json)
field() { python3 -c "import json,sys; print(json.loads(sys.argv[1])[sys.argv[2]])" "$profile" "$1"; }
width=$(field width)
height=$(field height)
fps=$(field fps)
bitrate=$(field bitrate)
"$orvane" backgrounds --out "$work/backgrounds" --width "$width" --height "$height" >/dev/null
background=$(ls "$work"/backgrounds/bone*.png | head -n1)
# The window's size and place in the default layout: 1647 of 1920 pixels wide, centred.
read -r window_w window_h window_x window_y < <(python3 -c "
w, h = $width, $height
s = min(w / 1920, h / 1080) * 1647 / 1920
ww, wh = int(1920 * s) // 2 * 2, int(1080 * s) // 2 * 2
print(ww, wh, (w - ww) // 4 * 2, (h - wh) // 4 * 2)")

timed() {  # out-file command...: wall seconds and user + system CPU seconds of the command
  /usr/bin/time -f '%e %U %S' -o "$1" "${@:2}" >/dev/null 2>"$work/last.log" || { cat "$work/last.log" >&2; exit 1; }
}

ffmpeg_job=(ffmpeg -v error -nostdin -loop 1 -framerate "$fps" -i "$background" -i "$movie"
  -filter_complex "[1:v]scale=$window_w:$window_h[w];[0:v][w]overlay=$window_x:$window_y:shortest=1,format=yuv420p"
  -an -c:v libx264 -preset veryfast -profile:v high -b:v "$bitrate" -maxrate $((bitrate * 3 / 2))
  -bufsize $((bitrate * 2)) -g $((2 * fps)) -r "$fps" -y "$work/ffmpeg.mp4")

declare -A wall cpu
for ((round = 1; round <= rounds; round++)); do
  for workload in still realistic; do
    id=$still_id
    [ "$workload" = realistic ] && id=$busy_id
    for tool in orvane ffmpeg; do
      if [ $tool = orvane ]; then
        # Every round renders: a kept export or segment would be reused instead.
        rm -rf "${XDG_CACHE_HOME:?}"/*
        timed "$work/t" "$orvane" export "$id" --out "$work/$workload.mp4"
      else
        timed "$work/t" "${ffmpeg_job[@]}"
      fi
      read -r e u s <"$work/t"
      wall[$workload.$tool]+="$e "
      cpu[$workload.$tool]+="$(awk -v u="$u" -v s="$s" 'BEGIN { print u + s }') "
    done
  done
  echo "export_speed: round $round of $rounds done" >&2
done

median() { tr ' ' '\n' | grep . | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }

# CPU seconds say more than wall time on a machine others are using; both are medians.
echo "source: ${seconds} s ${width}x${height} at ${fps} fps, $(($(stat -c %s "$movie") * 8 / seconds / 1000000)) Mb/s; output ${bitrate} bit/s; $zooms automatic zooms in the realistic edit; median of $rounds rounds"
printf '%-10s %9s %9s %6s   %9s %9s %6s\n' workload "ffmpeg s" "orvane s" ratio "ffmpeg cpu" "orvane cpu" ratio
for workload in still realistic; do
  fw=$(echo "${wall[$workload.ffmpeg]}" | median)
  ow=$(echo "${wall[$workload.orvane]}" | median)
  fc=$(echo "${cpu[$workload.ffmpeg]}" | median)
  oc=$(echo "${cpu[$workload.orvane]}" | median)
  awk -v n="$workload" -v fw="$fw" -v ow="$ow" -v fc="$fc" -v oc="$oc" \
    'BEGIN { printf "%-10s %9.2f %9.2f %6.2f   %9.2f %9.2f %6.2f\n", n, fw, ow, ow / fw, fc, oc, oc / fc }'
done
