#!/usr/bin/env bash
# Runs a command with the session services the tests talk to: a private D-Bus session with an
# unlocked Secret Service keyring. Each run gets its own, so tests never touch the user's keyring.
set -euo pipefail

if [ "${ORVANE_SERVICES_STARTED:-}" = 1 ]; then exec "$@"; fi

runtime=$(mktemp -d /tmp/orvane-services.XXXXXX)
trap 'rm -rf "$runtime"' EXIT
export XDG_RUNTIME_DIR="$runtime" ORVANE_SERVICES_STARTED=1

exec dbus-run-session -- bash -c '
  if command -v gnome-keyring-daemon >/dev/null; then
    mkdir -p "$XDG_RUNTIME_DIR/keyring-home"
    eval "$(printf orvane | HOME="$XDG_RUNTIME_DIR/keyring-home" XDG_DATA_HOME="$XDG_RUNTIME_DIR/keyring-home" gnome-keyring-daemon --unlock --components=secrets 2>/dev/null)" || true
    export GNOME_KEYRING_CONTROL SSH_AUTH_SOCK
  fi
  exec "$@"' bash "$@"
