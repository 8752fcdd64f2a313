#!/bin/sh
# Finishes an update once the program that staged it has quit: waits for it to exit, swaps the
# installed tree for the staged one (asking for administrator rights through pkexec only when the
# user cannot write the installed location), checks that the new copy starts and reports the
# expected version, then relaunches it. The previous copy is kept until the new one has answered
# and is put back when it does not.
# Usage: install-and-relaunch.sh APP_PID REPLACE_SCRIPT TARGET FALLBACK_URL LOG STAGING_DIR STAGED
#        TRASHED EXPECTED_VERSION [RELAUNCH_COMMAND...]
APP_PID=$1
REPLACE=$2
TARGET=$3
FALLBACK_URL=$4
LOG=$5
STAGING_DIR=$6
STAGED=$7
TRASHED=$8
EXPECTED=$9
shift 9

privileged=0

log() {
  printf '%s [Orvane.App] %s\n' "$(date -u +%Y-%m-%dT%H:%M:%SZ)" "$*" >>"$LOG" 2>/dev/null
}

# Runs a command with the rights the replacement needed.
as_owner() {
  if [ "$privileged" -eq 1 ]; then pkexec "$@"; else "$@"; fi
}

relaunch() {
  [ "$#" -gt 0 ] || return 0
  [ -e "$1" ] || return 0
  setsid "$@" </dev/null >/dev/null 2>&1 &
}

fail() {
  status=$1
  shift
  log "install failed status=$status"
  if [ -n "$FALLBACK_URL" ] && command -v xdg-open >/dev/null 2>&1; then
    xdg-open "$FALLBACK_URL" </dev/null >/dev/null 2>&1 &
  fi
  if command -v notify-send >/dev/null 2>&1; then
    notify-send "Orvane could not install the update" \
      "The updater could not replace $TARGET. The signed installer was opened as a fallback." >/dev/null 2>&1
  fi
  relaunch "$@"
  exit "$status"
}

polls=0
while kill -0 "$APP_PID" 2>/dev/null; do
  polls=$((polls + 1))
  if [ "$polls" -ge 50 ]; then
    kill -KILL "$APP_PID" 2>/dev/null
  elif [ "$polls" -ge 25 ]; then
    kill -TERM "$APP_PID" 2>/dev/null
  fi
  sleep 0.2
done

/bin/sh "$REPLACE" "$STAGED" "$TARGET" "$TRASHED" >>"$LOG" 2>&1
status=$?
if [ "$status" -ne 0 ] && command -v pkexec >/dev/null 2>&1; then
  log "replacement failed status=$status; asking for administrator rights"
  privileged=1
  pkexec /bin/sh "$REPLACE" "$STAGED" "$TARGET" "$TRASHED" >>"$LOG" 2>&1
  status=$?
fi
[ "$status" -eq 0 ] || fail "$status" "$@"

# The new copy has started when it runs and names the version the manifest promised.
found=$("$TARGET/bin/orvane" --version 2>>"$LOG")
status=$?
case "$status:$found" in
  0:*"$EXPECTED"*) ;;
  *)
    log "the new copy did not start (status=$status, said '$found'); restoring the previous one"
    as_owner /bin/sh "$REPLACE" "$TRASHED" "$TARGET" "$TRASHED-failed" >>"$LOG" 2>&1
    as_owner rm -rf "$TRASHED-failed"
    fail 44 "$@"
    ;;
esac

as_owner rm -rf "$TRASHED"
rm -rf "$STAGING_DIR"
log "installed $EXPECTED into $TARGET"
relaunch "$@"
exit 0
