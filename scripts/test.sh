#!/bin/sh
# Installs what is needed, builds everything and runs all tests.
set -e
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)"
