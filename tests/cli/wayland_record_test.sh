#!/usr/bin/env bash
# `orvane record` and `orvane screenshot` on a headless Wayland desktop through its portals, and
# global shortcuts through the shortcuts portal (the portal tests' own cases, run in this session):
#   wayland_record_test.sh ORVANE PORTAL_BACKEND PORTAL_TESTS [SHIM]
# One session (starting one costs seconds) runs every case in turn. Exits 77 (skipped) when the
# desktop's programs are not installed, unless ORVANE_TEST_REQUIRE_SERVICES=1.
set -uo pipefail

orvane="$1"
backend="$2"
portal_tests="$3"
shim="${4:-}"
repo="$(cd "$(dirname "$0")/../.." && pwd)"
work="$(mktemp -d /tmp/orvane-wayland-test.XXXXXX)"
trap 'rm -rf "$work"' EXIT

# The portal runs this to pick an output: it counts grants, and declines while $work/decline exists.
cat > "$work/chooser.sh" <<SH
#!/bin/sh
[ -e "$work/decline" ] && exit 0
echo grant >> "$work/grants"
echo HEADLESS-1
SH
chmod +x "$work/chooser.sh"

cat > "$work/cases.sh" <<'SH'
#!/usr/bin/env bash
set -uo pipefail
orvane="$1"; work="$2"; portal_tests="$3"
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
grants() { [ -f "$work/grants" ] && wc -l < "$work/grants" || echo 0; }
export ORVANE_TEST=1 ORVANE_ANALYTICS=0

# The colour near the bottom right corner of a movie's frame at 1.5 s (the moving client floats in
# the middle), as RRGGBB.
corner_colour() {
  ffmpeg -v error -ss 1.5 -i "$1" -frames:v 1 -vf "crop=8:8:iw-40:ih-40,scale=1:1" -f rawvideo -pix_fmt rgb24 - \
    | od -An -tx1 | tr -d ' \n'
}
# Red, green and blue each within 24 of the expected, as the encoder's colour conversion allows.
near_colour() {
  local got="$1" want="$2"
  [ ${#got} -eq 6 ] || return 1
  for i in 0 2 4; do
    local g=$((16#${got:i:2})) w=$((16#${want:i:2}))
    [ $(( g > w ? g - w : w - g )) -le 24 ] || return 1
  done
}
json_field() { python3 -c 'import json,sys; print(json.load(sys.stdin)[sys.argv[1]])' "$1"; }

# Sources: what the portal offers, and that the desktop's dialog chooses.
sources="$("$orvane" sources 2>"$work/sources.err")" || fail "orvane sources failed: $(cat "$work/sources.err")"
grep -q '^portal ' <<<"$sources" || fail "orvane sources lists no portal source: $sources"
grep -q "desktop's dialog" <<<"$sources" || fail "orvane sources does not say the desktop's dialog chooses"
[ "$(grants)" -eq 0 ] || fail "listing sources asked for a grant"

# A first recording asks once; the movie is H.264 of the output's size, about 3 s, showing the
# desktop's background. A moving client keeps the compositor sending pictures (a still screen sends
# none to a screen-cast client that has seen it already).
if out="$("$orvane" record --source portal --duration 3 --json 2>"$work/record1.err")"; then
  movie="$(json_field screenVideo <<<"$out")"
  probe="$(ffprobe -v error -select_streams v:0 -show_entries stream=codec_name,width,height:format=duration -of csv=p=0 "$movie" | tr '\n' ',')"
  case "$probe" in h264,1280,720,*) ;; *) fail "unexpected movie: $probe" ;; esac
  duration="$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$movie")"
  python3 -c "import sys; d=float(sys.argv[1]); sys.exit(0 if 2.5 <= d <= 4.0 else 1)" "$duration" \
    || fail "movie lasts $duration s, not about 3"
  colour="$(corner_colour "$movie")"
  near_colour "$colour" "$ORVANE_EXPECTED_COLOUR" || fail "the corner is #$colour, not the background #$ORVANE_EXPECTED_COLOUR"
else
  fail "first recording failed: $(cat "$work/record1.err")"
fi
[ "$(grants)" -eq 1 ] || fail "the first recording asked $(grants) times, not once"

# A screenshot through the desktop's Screenshot portal: the picture (the whole output, its
# background intact) is saved by the usual file rules, and the desktop's own file stays.
shots="$work/home"
if out="$(HOME="$shots" "$orvane" screenshot --project Demo --json 2>"$work/shot1.err")"; then
  file="$(json_field file <<<"$out")"
  case "$file" in "$shots/Pictures/Orvane Screenshots/Demo/Orvane "*" at "*.png) ;; *) fail "screenshot saved as $file" ;; esac
  size="$(ffprobe -v error -show_entries stream=width,height -of csv=p=0 "$file")"
  [ "$size" = "1280,720" ] || fail "the screenshot is $size, not the output's 1280x720"
  colour="$(ffmpeg -v error -i "$file" -vf "crop=8:8:iw-40:ih-40,scale=1:1" -f rawvideo -pix_fmt rgb24 - | od -An -tx1 | tr -d ' \n')"
  near_colour "$colour" "$ORVANE_EXPECTED_COLOUR" || fail "the screenshot's corner is #$colour, not #$ORVANE_EXPECTED_COLOUR"
else
  fail "screenshot failed: $(cat "$work/shot1.err")"
fi
second="$(HOME="$shots" "$orvane" screenshot --project Demo 2>"$work/shot2.err")" || fail "second screenshot failed: $(cat "$work/shot2.err")"
[ "$second" != "${file:-}" ] && [ -f "$second" ] && [ -f "${file:-}" ] || fail "a second screenshot in the same second replaced the first"

# Global shortcuts through the desktop's shortcuts portal, pressed by the test backend.
ORVANE_PORTAL_BACKEND_LOG="$work/backend.log" ORVANE_PORTAL_BACKEND_DECLINE="$work/backend-decline" \
  "$portal_tests" --gtest_filter='PortalGlobalHotkeysTest.*' --gtest_brief=1 >"$work/shortcuts.out" 2>&1 \
  || fail "the shortcuts portal cases failed: $(tail -n 30 "$work/shortcuts.out")"
grep -q "SKIPPED" "$work/shortcuts.out" && fail "the shortcuts portal cases were skipped: $(cat "$work/shortcuts.out")"

# A second recording reuses the remembered grant: no new dialog.
"$orvane" record --source portal --duration 1 >/dev/null 2>"$work/record2.err" || fail "second recording failed: $(cat "$work/record2.err")"
[ "$(grants)" -eq 1 ] || fail "the second recording asked again ($(grants) grants)"

# Declined in the dialog (with no grant remembered): a clear message and no recording.
touch "$work/decline"
before="$("$orvane" list --json | python3 -c 'import json,sys; print(len(json.load(sys.stdin)))')"
if XDG_CONFIG_HOME="$work/fresh-config" timeout 30 "$orvane" record --source portal --duration 1 2>"$work/declined.err"; then
  fail "a declined dialog still recorded"
fi
grep -qi "nothing was recorded" "$work/declined.err" || fail "no clear message on a declined dialog: $(cat "$work/declined.err")"
after="$("$orvane" list --json | python3 -c 'import json,sys; print(len(json.load(sys.stdin)))')"
[ "$before" = "$after" ] || fail "a declined dialog left a recording ($before before, $after after)"
rm -f "$work/decline"

# The stream ends in the middle (the portal's backend goes away): what was recorded is kept.
"$orvane" record --source portal --duration 20 --json >"$work/ended.json" 2>"$work/ended.err" &
pid=$!
for _ in $(seq 1 100); do grep -q '^Recording' "$work/ended.err" && break; sleep 0.05; done
sleep 1.5
kill -KILL "$(cat "$ORVANE_SESSION_DIR/portal-wlr.pid")"
for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$pid" 2>/dev/null; then
  fail "the recording did not end within 10 s of its stream"
  kill -KILL "$pid"
fi
wait "$pid"
grep -qi "screen sharing ended" "$work/ended.err" || fail "no clear message when the stream ended: $(cat "$work/ended.err")"
latest="$("$orvane" list --json | python3 -c 'import json,sys; r=json.load(sys.stdin); print(r[0]["screenVideo"] if r else "")')"
kept="$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$latest" 2>/dev/null || echo 0)"
python3 -c "import sys; sys.exit(0 if float(sys.argv[1] or 0) >= 1.0 else 1)" "$kept" \
  || fail "the recording cut short by the stream's end kept ${kept}s"

# Killed outright mid-recording: the fragmented movie on disk plays and the library lists it.
"$orvane" record --source portal --duration 60 >/dev/null 2>"$work/killed.err" &
pid=$!
for _ in $(seq 1 100); do grep -q '^Recording' "$work/killed.err" && break; sleep 0.05; done
sleep 2.5
kill -KILL "$pid"; wait "$pid" 2>/dev/null
latest="$("$orvane" list --json | python3 -c 'import json,sys; r=json.load(sys.stdin); print(r[0]["screenVideo"] if r else "")')"
kept="$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$latest" 2>/dev/null || echo 0)"
python3 -c "import sys; sys.exit(0 if float(sys.argv[1] or 0) >= 1.5 else 1)" "$kept" \
  || fail "the killed recording kept ${kept}s: $(cat "$work/killed.err")"

# Last, as it ends the desktop: the compositor goes away mid-recording. The recording ends within
# a bounded wait and says why.
"$orvane" record --source portal --duration 20 >/dev/null 2>"$work/compositor.err" &
pid=$!
for _ in $(seq 1 100); do grep -q '^Recording' "$work/compositor.err" && break; sleep 0.05; done
sleep 1
kill -TERM "$ORVANE_COMPOSITOR_PID"
for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$pid" 2>/dev/null; then
  fail "the recording did not end within 10 s of the compositor"
  kill -KILL "$pid"
fi
wait "$pid"
grep -qi "screen sharing ended" "$work/compositor.err" || fail "no clear message when the compositor went away: $(cat "$work/compositor.err")"

exit $((failures > 0))
SH
chmod +x "$work/cases.sh"

export ORVANE_EXPECTED_COLOUR=d0302a
"$repo/scripts/wayland-session.sh" --shim "$shim" --color "$ORVANE_EXPECTED_COLOUR" --chooser "$work/chooser.sh" \
  --client weston-presentation-shm --backend "$backend $work/backend.log $work/backend-decline" \
  -- "$work/cases.sh" "$orvane" "$work" "$portal_tests"
status=$?
if [ $status -eq 77 ] && [ "${ORVANE_TEST_REQUIRE_SERVICES:-}" = 1 ]; then
  echo "the Wayland desktop's programs are required here but not installed" >&2
  exit 1
fi
exit $status
