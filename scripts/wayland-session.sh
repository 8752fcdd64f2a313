#!/usr/bin/env bash
# Runs a command inside a private, headless Wayland desktop: its own XDG_RUNTIME_DIR and session bus,
# sway on a virtual output, PipeWire with wireplumber, and the screen-cast portal (wlroots backend).
#
#   scripts/wayland-session.sh [options] -- COMMAND [ARGS...]
#     --shim PATH        the screencopy shim for the portal backend (needed where the compositor has
#                        no DRM device); default: build/dev/tests/support/liborvane_screencopy_shim.so
#     --size WxH         the output's size (default 1280x720)
#     --color RRGGBB     the background colour swaybg paints (default 1e90ff)
#     --chooser PATH     a program the portal runs to pick an output (prints its name, or nothing to
#                        decline); default: no dialog, the output is shared at once
#     --client CMD       a Wayland client to start on the desktop (for moving content)
#     --backend CMD      a program that is the desktop's side of the Access portal (its permission
#                        dialogs, which screenshots need) and of GlobalShortcuts; default: none, so the
#                        portal offers neither Screenshot nor GlobalShortcuts
#
# Inside COMMAND: WAYLAND_DISPLAY, XDG_RUNTIME_DIR and DBUS_SESSION_BUS_ADDRESS point at the session,
# ORVANE_SESSION_DIR holds its logs and the portal backend's process id (portal-wlr.pid), and
# `kill -TERM $ORVANE_COMPOSITOR_PID` ends the compositor.
# Exits with COMMAND's status; 77 when the desktop's programs are not installed.
set -euo pipefail

repo="$(cd "$(dirname "$0")/.." && pwd)"
shim="$repo/build/dev/tests/support/liborvane_screencopy_shim.so"
size=1280x720
color=1e90ff
chooser=""
client=""
backend=""
while [ $# -gt 0 ]; do
  case "$1" in
    --shim) shim="$2"; shift 2 ;;
    --size) size="$2"; shift 2 ;;
    --color) color="$2"; shift 2 ;;
    --chooser) chooser="$2"; shift 2 ;;
    --client) client="$2"; shift 2 ;;
    --backend) backend="$2"; shift 2 ;;
    --) shift; break ;;
    *) echo "wayland-session: unknown option $1" >&2; exit 2 ;;
  esac
done
[ $# -gt 0 ] || { echo "usage: $0 [options] -- COMMAND [ARGS...]" >&2; exit 2; }

for program in sway swaybg pipewire wireplumber dbus-daemon pw-dump unshare; do
  command -v "$program" >/dev/null || { echo "wayland-session: $program is not installed" >&2; exit 77; }
done
for program in /usr/libexec/xdg-desktop-portal /usr/libexec/xdg-desktop-portal-wlr /usr/libexec/xdg-permission-store; do
  [ -x "$program" ] || { echo "wayland-session: $program is not installed" >&2; exit 77; }
done

session="$(mktemp -d /tmp/orvane-wayland.XXXXXX)"
chmod 0700 "$session"
pids=()
cleanup() {
  local status=$?
  for ((i=${#pids[@]}-1; i>=0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  # Processes the bus started on demand (the portal backend) end with the bus; anything left of
  # this session's own programs goes with its folder.
  if [ -n "${KEEP_WAYLAND_SESSION:-}" ]; then echo "wayland-session: logs kept in $session" >&2; else rm -rf "$session"; fi
  exit $status
}
trap cleanup EXIT
trap 'exit 130' INT TERM

export XDG_RUNTIME_DIR="$session/run" XDG_CONFIG_HOME="$session/config" XDG_DATA_HOME="$session/data"
export XDG_CACHE_HOME="$session/cache" XDG_STATE_HOME="$session/state"
mkdir -p "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_STATE_HOME"
chmod 0700 "$XDG_RUNTIME_DIR"
export XDG_CURRENT_DESKTOP=sway XDG_SESSION_TYPE=wayland
unset DISPLAY WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS
export ORVANE_SESSION_DIR="$session"

wait_for() {  # wait_for SECONDS DESCRIPTION COMMAND...
  local deadline=$((SECONDS + $1)) what="$2"; shift 2
  until "$@" >/dev/null 2>&1; do
    if [ $SECONDS -ge $deadline ]; then echo "wayland-session: $what did not come up (logs in $session)" >&2; exit 1; fi
    sleep 0.1
  done
}

# The portal backend: its configuration, and a bus service file so the bus starts it on demand
# (again after it crashes when a client leaves mid-stream).
mkdir -p "$XDG_CONFIG_HOME/xdg-desktop-portal-wlr" "$session/services"
{
  echo "[screencast]"
  echo "output_name=HEADLESS-1"
  if [ -n "$chooser" ]; then echo "chooser_type=simple"; echo "chooser_cmd=$chooser"; else echo "chooser_type=none"; fi
} > "$XDG_CONFIG_HOME/xdg-desktop-portal-wlr/config"
preload=""
[ -f "$shim" ] && preload="LD_PRELOAD=$shim"
cat > "$session/portal-wlr.sh" <<SH
#!/bin/sh
echo \$\$ > "$session/portal-wlr.pid"
exec env $preload /usr/libexec/xdg-desktop-portal-wlr -l DEBUG >>"$session/portal-wlr.log" 2>&1
SH
chmod +x "$session/portal-wlr.sh"
cat > "$session/services/org.freedesktop.impl.portal.desktop.wlr.service" <<SH
[D-BUS Service]
Name=org.freedesktop.impl.portal.desktop.wlr
Exec=$session/portal-wlr.sh
SH
# The portal offers Screenshot only beside an Access backend, which a desktop shell provides; a test
# brings its own, found through a private copy of the portal list.
portal_env=()
if [ -n "$backend" ]; then
  mkdir -p "$session/portals"
  cp /usr/share/xdg-desktop-portal/portals/*.portal "$session/portals/"
  cat > "$session/portals/orvanetest.portal" <<INI
[portal]
DBusName=org.freedesktop.impl.portal.desktop.orvanetest
Interfaces=org.freedesktop.impl.portal.Access;org.freedesktop.impl.portal.GlobalShortcuts;
UseIn=sway
INI
  cat > "$session/services/org.freedesktop.impl.portal.desktop.orvanetest.service" <<SH
[D-BUS Service]
Name=org.freedesktop.impl.portal.desktop.orvanetest
Exec=$backend
SH
  portal_env=(env XDG_DESKTOP_PORTAL_DIR="$session/portals")
fi
cat > "$session/bus.conf" <<XML
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=$XDG_RUNTIME_DIR/bus</listen>
  <servicedir>$session/services</servicedir>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
XML
dbus-daemon --config-file "$session/bus.conf" --nofork --nopidfile >"$session/dbus.log" 2>&1 &
pids+=($!)
export DBUS_SESSION_BUS_ADDRESS="unix:path=$XDG_RUNTIME_DIR/bus"
wait_for 5 "the session bus" test -S "$XDG_RUNTIME_DIR/bus"

# sway refuses to run as root; a fresh user namespace lets it, and root can still use its socket.
cat > "$session/sway.conf" <<CONF
output HEADLESS-1 mode $size
output HEADLESS-1 bg #$color solid_color
# Clients float in the middle, so the background stays visible around them.
for_window [all] floating enable
CONF
sway_cmd=(sway -c "$session/sway.conf")
[ "$(id -u)" -eq 0 ] && sway_cmd=(unshare --user "${sway_cmd[@]}")
WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman WLR_HEADLESS_OUTPUTS=1 \
  "${sway_cmd[@]}" >"$session/sway.log" 2>&1 &
pids+=($!)
export ORVANE_COMPOSITOR_PID=$!
wait_for 10 "sway" sh -c "ls '$XDG_RUNTIME_DIR' | grep -q '^wayland-[0-9]*\$'"
export WAYLAND_DISPLAY="$(ls "$XDG_RUNTIME_DIR" | grep '^wayland-[0-9]*$' | head -n 1)"
dbus-send --session --dest=org.freedesktop.DBus --type=method_call --print-reply /org/freedesktop/DBus \
  org.freedesktop.DBus.UpdateActivationEnvironment \
  "dict:string:string:WAYLAND_DISPLAY,$WAYLAND_DISPLAY,XDG_CURRENT_DESKTOP,sway,XDG_RUNTIME_DIR,$XDG_RUNTIME_DIR" >/dev/null

pipewire >"$session/pipewire.log" 2>&1 &
pids+=($!)
wait_for 5 "pipewire" test -S "$XDG_RUNTIME_DIR/pipewire-0"
wireplumber >"$session/wireplumber.log" 2>&1 &
pids+=($!)
wait_for 10 "wireplumber" sh -c "pw-dump 2>/dev/null | grep -q '\"application.name\": \"WirePlumber\"'"

# The portal calls the permission store at start and waits out a whole D-Bus timeout (25 s) when
# the store is not there yet.
/usr/libexec/xdg-permission-store --replace >"$session/permission-store.log" 2>&1 &
pids+=($!)
wait_for 5 "the permission store" dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
  org.freedesktop.DBus.GetNameOwner string:org.freedesktop.impl.portal.PermissionStore
# Start the backend before the portal: a call that reaches it while it is still setting up waits
# in its queue, unread, until the next message wakes it, and the portal would wait 25 s on it.
dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
  org.freedesktop.DBus.StartServiceByName string:org.freedesktop.impl.portal.desktop.wlr uint32:0 >/dev/null
if [ -n "$backend" ]; then
  dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.StartServiceByName string:org.freedesktop.impl.portal.desktop.orvanetest uint32:0 >/dev/null
fi
"${portal_env[@]}" /usr/libexec/xdg-desktop-portal >"$session/portal.log" 2>&1 &
pids+=($!)
wait_for ${ORVANE_PORTAL_WAIT:-10} "the screen-cast portal" dbus-send --session --print-reply --dest=org.freedesktop.portal.Desktop \
  /org/freedesktop/portal/desktop org.freedesktop.DBus.Properties.Get \
  string:org.freedesktop.portal.ScreenCast string:AvailableSourceTypes

if [ -n "$client" ]; then
  sh -c "$client" >"$session/client.log" 2>&1 &
  pids+=($!)
fi

"$@"
