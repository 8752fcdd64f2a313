#!/bin/sh
# Swaps the installed Orvane tree for a staged one. The previous tree is moved aside, not deleted,
# so the caller can put it back when the new copy does not start.
# Usage: replace-app.sh STAGED TARGET TRASHED
# Exit status: 40 nothing staged, 41 cannot make TRASHED's folder, 42 TRASHED already exists,
# 43 the installed tree cannot be moved aside; otherwise the status of the failed move.
STAGED=$1
TARGET=$2
TRASHED=$3

[ -d "$STAGED" ] || exit 40
mkdir -p "$(dirname "$TRASHED")" || exit 41
[ -e "$TRASHED" ] && exit 42
mkdir -p "$(dirname "$TARGET")" || exit 41
if [ -e "$TARGET" ]; then
  mv "$TARGET" "$TRASHED" || exit 43
fi
mv "$STAGED" "$TARGET"
status=$?
if [ "$status" -ne 0 ]; then
  # Never leave the user without a working copy.
  [ -e "$TRASHED" ] && mv "$TRASHED" "$TARGET"
  exit "$status"
fi
exit 0
