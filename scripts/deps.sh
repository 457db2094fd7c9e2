#!/bin/sh
# Installs the Debian packages that building, running and testing Corvane need.
# Safe to run again: it only calls apt-get when something is missing.
set -e
PKGS="cmake make g++ pkg-config ccache libgtest-dev libgmock-dev libbenchmark-dev \
libjpeg62-turbo-dev qt6-base-dev qt6-qpa-plugins libqt6dbus6 dbus-daemon dbus-bin libgl-dev clang libclang-rt-14-dev xvfb xauth fonts-dejavu-core"
missing=""
for p in $PKGS; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "Installing:$missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq $missing
fi
