#!/usr/bin/env bash
# Regenerates the pictures of the desktop studio in docs/studio/: starts orvane-studio on a private X
# server with a private library of generated sample videos (and one capture cut off mid-way, so the
# recovery toast shows), and saves the toast, the home window, the new-recording sheet, the
# settings, the screen during a recording with both panels (without a camera on the machine the
# bubble says so), the editor with a zoom selected, its inspector, its timeline (frames of the
# recording over the waveform of its sound) and the background-tasks tray as PNGs. Never touches
# the user's display or library.
# ORVANE_BUILD_DIR=dir uses an existing build folder; otherwise build/release is configured and built.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD

fail() { echo "studio-screenshots: $*" >&2; exit 1; }

if [ -z "${ORVANE_BUILD_DIR:-}" ]; then
  cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVANE_BUILD_TESTS=OFF -DORVANE_BUILD_BENCH=OFF >/dev/null
  ninja -C build/release orvane orvane-studio >/dev/null
  build=build/release
else
  build=$ORVANE_BUILD_DIR
fi
case $build in /*) ;; *) build=$repo/$build ;; esac
orvane=$build/src/cli/orvane
studio=$build/src/studio/orvane-studio
for tool in Xvfb ffmpeg; do
  command -v "$tool" >/dev/null || fail "$tool is missing (./scripts/install-deps.sh installs it)"
done
[ -x "$orvane" ] && [ -x "$studio" ] || fail "no orvane or orvane-studio in $build"

work=$(mktemp -d /tmp/orvane-shots.XXXXXX)
. "$repo/scripts/private-session.sh"
cleanup() {
  stop_private_processes
  rm -rf "$work"
}
trap cleanup EXIT
use_private_folders "$work"
# No sound server in this session: point at one that does not exist rather than let the client
# library start the user's own.
export PULSE_SERVER=unix:$work/runtime/no-sound-server
start_private_xvfb "$work" 1280x800 || fail "no private X server"

# The library: a few generated videos imported as recordings, one project.
samples=(
  "Product tour|testsrc2=size=1280x720:rate=30"
  "Login bug report|smptehdbars=size=1280x720:rate=30"
  "Onboarding walkthrough|mandelbrot=size=1280x720:rate=30"
  "Release notes 2.4|rgbtestsrc=size=1280x720:rate=30"
  "Team weekly demo|cellauto=size=1280x720:rate=30:rule=110"
)
ids=()
for sample in "${samples[@]}"; do
  title=${sample%%|*}
  source=${sample#*|}
  # A tone that swells and fades, so the timeline's waveform has a shape.
  ffmpeg -v error -f lavfi -i "$source" -f lavfi -i "aevalsrc=0.7*sin(2*PI*330*t)*abs(sin(2*PI*0.8*t)):s=48000" \
         -t 3 -pix_fmt yuv420p -c:v libx264 -c:a aac -shortest "$work/$title.mp4"
  ids+=("$("$orvane" import "$work/$title.mp4" --json | python3 -c 'import json,sys; print(json.load(sys.stdin)["id"])')")
done
"$orvane" project create "Launch" >/dev/null
"$orvane" project add Launch "${ids[0]}" >/dev/null
"$orvane" project add Launch "${ids[3]}" >/dev/null
"$orvane" project create "Support" >/dev/null
# A capture that never finished: the studio moves it aside at start and says so in a toast.
unfinished="$XDG_DATA_HOME/Orvane/Recordings/0B8E4C1A-3F1D-4C55-9E0B-5A8F2D7C9E61"
mkdir -p "$unfinished"
head -c 4096 /dev/urandom >"$unfinished/screen.mp4"

mkdir -p docs/studio
"$studio" --screenshot toast="$repo/docs/studio/toast.png" --screenshot home="$repo/docs/studio/home.png" \
          --screenshot new-recording="$repo/docs/studio/new-recording.png" \
          --screenshot settings="$repo/docs/studio/settings.png" \
          --screenshot panels="$repo/docs/studio/recording-panels.png" >"$work/studio.log" 2>&1 \
  || fail "the studio did not save its pictures: $(tail -n5 "$work/studio.log")"
# The editor on the first sample; a second run, so the home pictures show no editor in front.
"$studio" --open "${ids[0]}" --screenshot editor="$repo/docs/studio/editor.png" \
          --screenshot inspector="$repo/docs/studio/inspector.png" \
          --screenshot timeline="$repo/docs/studio/timeline.png" \
          --screenshot tasks="$repo/docs/studio/tasks.png" >"$work/editor.log" 2>&1 \
  || fail "the studio did not save the editor's pictures: $(tail -n5 "$work/editor.log")"
echo "studio-screenshots: wrote docs/studio/{toast,home,new-recording,settings,recording-panels,editor,inspector,timeline,tasks}.png"
