#!/bin/sh
# The console's CPU in RUN with outputs toggling every scan, and the X server's, on a
# private Xvfb display: bench_console with painting at the screen's pace and, as the
# reference in the same run, at every change.
# Usage: bench/console_x.sh [BUILD_DIR] [MILLISECONDS]
set -e
BUILD=${1:-build}
MS=${2:-3000}
BENCH=$BUILD/bench/bench_console
[ -x "$BENCH" ] || { echo "build the bench targets first ($BENCH is missing)" >&2; exit 2; }
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"; [ -n "$XPID" ] && kill "$XPID" 2>/dev/null' EXIT
exec 3>"$TMP/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
XPID=$!
while [ ! -s "$TMP/display" ]; do
  kill -0 "$XPID" 2>/dev/null || { echo "Xvfb did not start" >&2; exit 1; }
  read -t 1 _ < /dev/null 2>/dev/null || true
done
export DISPLAY=":$(head -n1 "$TMP/display")"
export CORVANE_X_PID=$XPID
export CORVANE_REGISTRY="$TMP/registry.reg"
unset QT_QPA_PLATFORM
"$BENCH" "$MS"
