#!/bin/sh
# Installs the Debian packages that building, running and testing Corvane need.
# Safe to run again: it only calls apt-get when something is missing. Run by a normal
# user it asks for the administrator's password through sudo for that step only.
set -e
PKGS="cmake make g++ pkg-config ccache libgtest-dev libgmock-dev libbenchmark-dev \
libjpeg62-turbo-dev qt6-base-dev qt6-qpa-plugins libqt6dbus6 dbus-daemon dbus-bin libgl-dev clang libclang-rt-14-dev \
clang-format xvfb xauth fonts-dejavu-core libfontconfig-dev qt6-serialbus-dev python3-pymodbus mbpoll"
missing=""
for p in $PKGS; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "Installing:$missing"
  if [ "$(id -u)" -eq 0 ]; then
    as_root=""
  elif command -v sudo >/dev/null 2>&1; then
    as_root="sudo"
  else
    echo "scripts/deps.sh: these packages are missing and installing them needs root:" >&2
    echo "  apt-get install$missing" >&2
    echo "Run that as root (or this script with sudo), then build as yourself." >&2
    exit 1
  fi
  $as_root env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  $as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing
fi
