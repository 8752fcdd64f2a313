# Sourced by scripts that run Orvane away from the user's own desktop and files: a private set of
# XDG folders and a private X server (Xvfb). Processes started here go into `pids`; stop them with
# stop_private_processes, newest first, so clients are gone before their servers.

pids=()

stop_private_processes() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null || true
    wait "${pids[i]}" 2>/dev/null || true
  done
}

# Everything the programs read or write lives under $1: a private runtime folder (sound server
# socket), home, library, settings and caches.
use_private_folders() {
  mkdir -p "$1/runtime" "$1/home" "$1/data" "$1/config" "$1/cache"
  chmod 700 "$1/runtime"
  export XDG_RUNTIME_DIR=$1/runtime HOME=$1/home XDG_DATA_HOME=$1/data XDG_CONFIG_HOME=$1/config \
         XDG_CACHE_HOME=$1/cache
  unset WAYLAND_DISPLAY
}

# Starts Xvfb with one screen of $2 (WIDTHxHEIGHT) and exports its DISPLAY; its log is $1/xvfb.log.
# Xvfb picks a free display number and writes it to the descriptor once it accepts clients.
start_private_xvfb() {
  Xvfb -displayfd 3 -screen 0 "$2x24" -nolisten tcp 3>"$1/display" 2>"$1/xvfb.log" &
  pids+=($!)
  for _ in $(seq 100); do [ -s "$1/display" ] && break; sleep 0.1; done
  if ! [ -s "$1/display" ]; then
    echo "Xvfb did not start: $(cat "$1/xvfb.log")" >&2
    return 1
  fi
  export DISPLAY=":$(head -n1 "$1/display")"
}
