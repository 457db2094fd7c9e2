#!/bin/sh
# Builds the tests with AddressSanitizer + UndefinedBehaviorSanitizer and runs them.
set -e
cd "$(dirname "$0")/.."
scripts/deps.sh
BUILD_DIR=build-asan BUILD_TYPE=Debug scripts/build.sh -DCORVANE_SANITIZE=ON -DCORVANE_BENCH=OFF
cd build-asan
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)"
