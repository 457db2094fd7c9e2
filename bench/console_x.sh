#!/bin/sh
# The console's CPU in RUN with outputs toggling every scan, and the X server's, on a
# private Xvfb display: bench_console as the program runs (painting at the screen's pace,
# boxes from kept images, pixels in the X requests), with its references in the same
# process, and then once more with the pixels through X shared memory, as the reference
# for that choice.
# Usage: bench/console_x.sh [BUILD_DIR] [MILLISECONDS] [ROUNDS]
set -e
BUILD=${1:-build}
MS=${2:-2000}
ROUNDS=${3:-5}
BENCH=$BUILD/bench/bench_console
[ -x "$BENCH" ] || { echo "build the bench targets first ($BENCH is missing)" >&2; exit 2; }
. "$(dirname "$0")/xvfb.sh"
start_private_session
export CORVANE_X_PID=$XPID
"$BENCH" "$MS" "$ROUNDS"
"$BENCH" "$MS" "$ROUNDS" --shared-memory
