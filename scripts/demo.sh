#!/usr/bin/env bash
# Builds Orvane and runs its main job live: on a private X server (Xvfb) and a private sound server
# (PulseAudio with a null sink), a scripted pointer clicks through a small window while a tone plays,
# `orvane record` captures five seconds of screen and system audio into a temporary library, and
# `orvane export` writes out/demo.mp4 and out/demo.gif (opening the recording turns the clicks into
# zooms). Works headless and never touches the user's display, sound or library.
# ORVANE_BUILD_DIR=dir skips the build and uses an existing build folder; ORVANE_DEMO_KEEP=1 keeps
# the temporary folder (library, logs) for a look afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD

fail() { echo "demo: $*" >&2; exit 1; }

if [ -z "${ORVANE_BUILD_DIR:-}" ]; then
  ./scripts/install-deps.sh >/dev/null
  cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVANE_BUILD_TESTS=OFF -DORVANE_BUILD_BENCH=OFF >/dev/null
  ninja -C build/release orvane orvane_demo_driver >/dev/null
  build=build/release
else
  build=$ORVANE_BUILD_DIR
fi
case $build in /*) ;; *) build=$repo/$build ;; esac
orvane=$build/src/cli/orvane
driver=$build/tools/orvane_demo_driver
for tool in Xvfb pulseaudio pactl paplay ffmpeg; do
  command -v "$tool" >/dev/null || fail "$tool is missing (./scripts/install-deps.sh installs it)"
done
[ -x "$orvane" ] && [ -x "$driver" ] || fail "no orvane or orvane_demo_driver in $build"

work=$(mktemp -d /tmp/orvane-demo.XXXXXX)
. "$repo/scripts/private-session.sh"
cleanup() {
  stop_private_processes
  if [ "${ORVANE_DEMO_KEEP:-}" = 1 ]; then echo "demo: kept $work" >&2; else rm -rf "$work"; fi
}
trap cleanup EXIT

use_private_folders "$work"
export PULSE_SERVER=unix:$work/runtime/pulse/native
start_private_xvfb "$work" 1280x720 || fail "no private X server"

# Off the session bus: a desktop's own sound server already owns PulseAudio's bus name there, and
# a second daemon that finds it taken exits at start.
env -u DBUS_SESSION_BUS_ADDRESS -u DISPLAY pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit --use-pid-file=no --system=no \
  --load="module-null-sink sink_name=demo" --load="module-native-protocol-unix auth-anonymous=1" >"$work/pulse.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl info >/dev/null 2>&1 || fail "PulseAudio did not start: $(tail -n5 "$work/pulse.log")"
pactl set-default-sink demo

# The scene's window, waiting for the go signal.
"$driver" >"$work/driver.log" 2>&1 &
driver_pid=$!
pids+=("$driver_pid")
for _ in $(seq 100); do grep -q ready "$work/driver.log" && break; sleep 0.1; done
grep -q ready "$work/driver.log" || fail "the demo scene did not open: $(cat "$work/driver.log")"

# A two-tone chime, longer than the recording, played into the null sink the recorder listens to.
ffmpeg -v error -f lavfi -i "sine=frequency=440:duration=8" -f lavfi -i "sine=frequency=660:duration=8" \
  -filter_complex "amix=inputs=2,volume=0.8" -ac 2 -ar 48000 "$work/tone.wav"

start=$(date +%s)
"$orvane" record --duration 5 --system-audio --json >"$work/record.json" 2>"$work/record.log" &
record_pid=$!
pids+=("$record_pid")
for _ in $(seq 200); do
  grep -q '^Recording' "$work/record.log" && break
  kill -0 "$record_pid" 2>/dev/null || break
  sleep 0.05
done
grep -q '^Recording' "$work/record.log" || fail "orvane record did not start: $(cat "$work/record.log")"
paplay -d demo "$work/tone.wav" &
pids+=($!)
kill -USR1 "$driver_pid"
wait "$record_pid" || fail "orvane record failed: $(cat "$work/record.log")"
[ "$(grep -c clicked "$work/driver.log")" = 3 ] || fail "the scripted clicks did not finish within the recording"

id=$(sed -n 's/^ *"id": *"\([0-9A-F-]*\)".*/\1/p' "$work/record.json" | head -n1)
[ -n "$id" ] || fail "orvane record printed no recording id: $(cat "$work/record.json")"
echo "Recorded $id"
"$orvane" show "$id"
"$orvane" autozoom "$id"

mkdir -p out
"$orvane" export "$id" --out out/demo.mp4
"$orvane" export "$id" --out out/demo.gif
ffmpeg -v error -y -ss 3.0 -i out/demo.mp4 -frames:v 1 out/demo-frame-3.0s.png
echo "Wrote out/demo.mp4, out/demo.gif and out/demo-frame-3.0s.png in $(( $(date +%s) - start )) s"
