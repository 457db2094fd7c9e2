#!/bin/sh
# Installs what is needed, builds, and starts the simulator. Arguments go to the program
# (for example an STL file to load at start).
set -e
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
if [ -x build/app/corvane ]; then
  exec build/app/corvane "$@"
fi
# Without the console (built with -DCORVANE_GUI=OFF): the test bench on the motor example.
cd examples && exec ../build/testbench/corvane-plc --script motor.test motor.awl
