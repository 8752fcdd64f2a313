#!/usr/bin/env bash
# `orvane record` of a 1920x1080 headless Wayland output through the screen-cast portal, against
# `gst-launch-1.0 pipewiresrc ! videoconvert ! x264enc` on the same portal in the same session:
# frames kept, repeated and dropped, and CPU time.
#   bench/wayland_capture_bench.sh [build-dir] [seconds]
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$repo/build/dev}"
seconds="${2:-30}"
work="$(mktemp -d /tmp/orvane-wayland-bench.XXXXXX)"
trap 'rm -rf "$work"' EXIT

cat > "$work/run.sh" <<'SH'
#!/usr/bin/env bash
set -euo pipefail
orvane="$1"; seconds="$2"; work="$3"
export ORVANE_TEST=1 ORVANE_ANALYTICS=0
sleep 1  # the moving client's first frames

/usr/bin/time -f "%U %S" -o "$work/orvane.time" \
  "$orvane" record --source portal --duration "$seconds" --json >"$work/orvane.json" 2>"$work/orvane.err"

# The reference: its own portal session through a small GI script, then gst-launch on the node.
# Debian's GObject bindings belong to the system interpreter, whichever python3 comes first on PATH.
/usr/bin/python3 - "$seconds" "$work" <<'PY'
import os, subprocess, sys, time
import gi
gi.require_version("Gio", "2.0")
from gi.repository import Gio, GLib
seconds, work = sys.argv[1], sys.argv[2]
bus = Gio.bus_get_sync(Gio.BusType.SESSION)
sender = bus.get_unique_name()[1:].replace(".", "_")
loop = GLib.MainLoop()
state = {}
counter = [0]
def request(method, args):
    counter[0] += 1
    token = f"bench{counter[0]}"
    path = f"/org/freedesktop/portal/desktop/request/{sender}/{token}"
    def on_response(conn, sender_name, obj, iface, signal, params):
        state["response"] = params.unpack()
        loop.quit()
    sub = bus.signal_subscribe(None, "org.freedesktop.portal.Request", "Response", path, None, 0, on_response)
    args[-1]["handle_token"] = GLib.Variant("s", token)
    sig = {"CreateSession": "(a{sv})", "SelectSources": "(oa{sv})", "Start": "(osa{sv})"}[method]
    bus.call_sync("org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
                  "org.freedesktop.portal.ScreenCast", method, GLib.Variant(sig, tuple(args)), None, 0, 5000, None)
    loop.run()
    bus.signal_unsubscribe(sub)
    code, results = state["response"]
    if code != 0: sys.exit(f"{method} answered {code}")
    return results
session = request("CreateSession", [{"session_handle_token": GLib.Variant("s", "benchsession")}])["session_handle"]
request("SelectSources", [session, {"types": GLib.Variant("u", 1), "cursor_mode": GLib.Variant("u", 2)}])
streams = request("Start", [session, "", {}])["streams"]
node = streams[0][0]
fds = Gio.UnixFDList()
reply, out_fds = bus.call_with_unix_fd_list_sync("org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
    "org.freedesktop.portal.ScreenCast", "OpenPipeWireRemote", GLib.Variant("(oa{sv})", (session, {})),
    None, 0, 5000, None, None)
fd = out_fds.get(reply.unpack()[0])
fps = 60
# As long as the recording: the compositor sends a picture only when something changed, so a count of
# buffers would take as long as the machine needs to draw them. Ctrl-C (-e) finishes the file.
gst = subprocess.Popen(["/usr/bin/time", "-f", "%U %S", "-o", f"{work}/gst.time", "gst-launch-1.0", "-q", "-e",
    "pipewiresrc", f"fd={fd}", f"path={node}", "do-timestamp=true", "!",
    "videorate", "!", f"video/x-raw,framerate={fps}/1", "!", "videoconvert", "!",
    "x264enc", "speed-preset=veryfast", "tune=zerolatency", "bitrate=18000", "!", "mp4mux", "!",
    "filesink", f"location={work}/gst.mp4"], pass_fds=[fd])
time.sleep(float(seconds))
# /usr/bin/time passes no signal on; gst-launch is its only child.
subprocess.run(["pkill", "-INT", "-P", str(gst.pid)])
sys.exit(gst.wait(timeout=60))
PY

python3 - "$work" "$seconds" <<'PY'
import json, subprocess, sys
work, seconds = sys.argv[1], float(sys.argv[2])
def frames(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-count_packets", "-select_streams", "v:0", "-show_entries",
                          "stream=nb_read_packets:format=duration", "-of", "json", path], capture_output=True, text=True).stdout
    j = json.loads(out)
    return int(j["streams"][0]["nb_read_packets"]), float(j["format"]["duration"])
def cpu(path):
    user, system = open(path).read().split()[-2:]
    return float(user) + float(system)
o = json.load(open(f"{work}/orvane.json"))
of, od = frames(o["screenVideo"])
gf, gd = frames(f"{work}/gst.mp4")
print(f"| orvane record (portal) | {od:.1f} s | {of} | {o['unchangedFrames']} | {o['droppedFrames']} (missed {o['missedCaptureFrames']}, encoder {o['encoderDroppedFrames']}) | {cpu(work + '/orvane.time'):.1f} s |")
print(f"| gst-launch pipewiresrc ! videoconvert ! x264enc | {gd:.1f} s | {gf} | - | - | {cpu(work + '/gst.time'):.1f} s |")
PY
SH
chmod +x "$work/run.sh"
echo "| program | length | frames written | repeated (still) | dropped | CPU (user+sys) |"
echo "|---|---|---|---|---|---|"
"$repo/scripts/wayland-session.sh" --shim "$build/tests/support/liborvane_screencopy_shim.so" --size 1920x1080 \
  --client "weston-presentation-shm" -- "$work/run.sh" "$build/src/cli/orvane" "$seconds" "$work"
