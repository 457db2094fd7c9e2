#!/bin/sh
# Start to mapped main window of corvane against a bare Qt Widgets window, measured in the
# same run on a private Xvfb display. The programs start in turn, one start each per
# round, so that a change in the machine's load meets all alike; prints the medians of
# RUNS rounds (default 15) and their ratio. A second reference, the bare window with one
# line of text, shows what showing any text adds, which the bare window does not pay.
# Usage: bench/startup.sh [BUILD_DIR] [RUNS]
set -e
BUILD=${1:-build}
RUNS=${2:-15}
TIMER=$BUILD/bench/startup_timer
[ -x "$TIMER" ] || { echo "build the bench targets first ($TIMER is missing)" >&2; exit 2; }
. "$(dirname "$0")/xvfb.sh"
start_private_session
: >"$SCRATCH/bare"
: >"$SCRATCH/text"
: >"$SCRATCH/corvane"
i=0
while [ "$i" -lt "$RUNS" ]; do
  "$TIMER" 1 "$BUILD/bench/bare_window" >>"$SCRATCH/bare"
  "$TIMER" 1 "$BUILD/bench/bare_text_window" >>"$SCRATCH/text"
  "$TIMER" 1 "$BUILD/app/corvane" >>"$SCRATCH/corvane"
  i=$((i + 1))
done
median() { sort -n "$1" | awk '{ v[NR] = $1 } END { print v[int(NR / 2) + 1] }'; }
bare=$(median "$SCRATCH/bare")
text=$(median "$SCRATCH/text")
corvane=$(median "$SCRATCH/corvane")
echo "start to mapped window, median of $RUNS: bare Qt Widgets $bare ms, with a line of text $text ms, corvane $corvane ms"
awk -v a="$corvane" -v b="$bare" -v t="$text" \
  'BEGIN { printf "ratio %.2f (against the window with text %.2f)\n", a / b, a / t }'
