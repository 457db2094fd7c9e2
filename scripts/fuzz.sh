#!/bin/sh
# Builds the libFuzzer targets with clang and runs each for SECONDS (default 30).
set -e
cd "$(dirname "$0")/.."
SECONDS_PER_TARGET=${1:-30}
scripts/deps.sh
BUILD_DIR=build-fuzz BUILD_TYPE=RelWithDebInfo CXX=clang++ CC=clang \
  scripts/build.sh -DCORVANE_FUZZ=ON -DCORVANE_GUI=OFF -DCORVANE_BENCH=OFF -DCMAKE_CXX_COMPILER=clang++
for target in build-fuzz/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  corpus=build-fuzz/corpus-$name
  mkdir -p "$corpus"
  cp -n fuzz/seeds/* "$corpus"/ 2>/dev/null || true
  echo "== $name for ${SECONDS_PER_TARGET}s"
  dict=fuzz/stl.dict; "$target" -dict="$dict" -max_total_time="$SECONDS_PER_TARGET" -max_len=4096 -print_final_stats=1 "$corpus"
done
