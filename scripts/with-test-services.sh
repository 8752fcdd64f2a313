#!/usr/bin/env bash
# Runs a command with the session services the tests talk to: a private D-Bus session with an
# unlocked Secret Service keyring, and a private X server (Xvfb) as $DISPLAY. Each run gets its own,
# so tests never touch the user's keyring or desktop. The screen-capture tests start one Xvfb per
# test process on top of this (their pointer moves must not meet under ctest -j); set
# ORVANE_TEST_DISPLAY to make them share one instead.
set -euo pipefail

if [ "${ORVANE_SERVICES_STARTED:-}" = 1 ]; then exec "$@"; fi

runtime=$(mktemp -d /tmp/orvane-services.XXXXXX)
xvfb_pid=
cleanup() {
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$runtime"
}
trap cleanup EXIT
export XDG_RUNTIME_DIR="$runtime" ORVANE_SERVICES_STARTED=1

# Xvfb picks a free display number and writes it to the descriptor once it accepts clients.
if command -v Xvfb >/dev/null; then
  Xvfb -displayfd 3 -screen 0 1280x720x24 -nolisten tcp -noreset 3>"$runtime/display" 2>/dev/null &
  xvfb_pid=$!
  for _ in $(seq 100); do
    if [ -s "$runtime/display" ]; then break; fi
    sleep 0.1
  done
  if [ -s "$runtime/display" ]; then
    export DISPLAY=":$(head -n1 "$runtime/display")"
  else
    echo "with-test-services: Xvfb did not start; screen-capture tests start their own" >&2
  fi
fi

dbus-run-session -- bash -c '
  if command -v gnome-keyring-daemon >/dev/null; then
    mkdir -p "$XDG_RUNTIME_DIR/keyring-home"
    eval "$(printf orvane | HOME="$XDG_RUNTIME_DIR/keyring-home" XDG_DATA_HOME="$XDG_RUNTIME_DIR/keyring-home" gnome-keyring-daemon --unlock --components=secrets 2>/dev/null)" || true
    export GNOME_KEYRING_CONTROL SSH_AUTH_SOCK
  fi
  exec "$@"' bash "$@"
