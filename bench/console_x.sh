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
. "$(dirname "$0")/xvfb.sh"
start_xvfb "$TMP"
export CORVANE_X_PID=$XPID
export CORVANE_REGISTRY="$TMP/registry.reg"
"$BENCH" "$MS"
