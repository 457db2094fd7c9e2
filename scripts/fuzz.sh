#!/bin/sh
# Builds the libFuzzer targets with clang (every library they link instrumented and
# sanitised) and runs each for SECONDS (default 30; nine targets, so CI's 30 s each stay
# within about five minutes).
# Target fuzz_NAME starts from fuzz/seeds/NAME/ and uses fuzz/NAME.dict when present.
set -e
cd "$(dirname "$0")/.."
SECONDS_PER_TARGET=${1:-30}
scripts/deps.sh
BUILD_DIR=build-fuzz BUILD_TYPE=RelWithDebInfo CXX=clang++ CC=clang \
  scripts/build.sh -DCORVANE_FUZZ=ON -DCORVANE_GUI=OFF -DCORVANE_BENCH=OFF -DCORVANE_TESTS=OFF \
  -DCMAKE_CXX_COMPILER=clang++
targets=$(ls build-fuzz/fuzz/ | grep '^fuzz_' || true)
[ -n "$targets" ] || { echo "no fuzz targets built" >&2; exit 1; }
for name in $targets; do
  target=build-fuzz/fuzz/$name
  [ -x "$target" ] || continue
  short=${name#fuzz_}
  corpus=build-fuzz/corpus-$name
  mkdir -p "$corpus"
  cp -n fuzz/seeds/"$short"/* "$corpus"/ 2>/dev/null || true
  dict=""
  [ -f fuzz/"$short".dict ] && dict="-dict=fuzz/$short.dict"
  echo "== $name for ${SECONDS_PER_TARGET}s"
  # Crash files go to the build folder, not to wherever the script was started.
  "$target" $dict -max_total_time="$SECONDS_PER_TARGET" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix=build-fuzz/"$name"- -print_final_stats=1 "$corpus"
done
