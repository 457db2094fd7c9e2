#!/bin/sh
# Installs what is needed, builds, and starts the simulator. Arguments go to the program
# (for example an STL file to load at start); relative paths are taken from the directory
# you ran this in.
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
"$root/scripts/build.sh"
if [ -x "$root/build/app/corvane" ]; then
  exec "$root/build/app/corvane" "$@"
fi
# Without the console (built with -DCORVANE_GUI=OFF): the test bench on the first example.
cd "$root/examples" && exec ../build/testbench/corvane-plc --script start_stop.test start_stop.awl
