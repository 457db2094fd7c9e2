#!/bin/sh
# corvane's own options, without a display: --help and --version print and exit 0, an
# unknown option or a second program is refused with the usage text and exit status 2, and
# so is --modbus when its value is wrong or the Modbus module is missing.
# Usage: command_line.sh CORVANE
corvane=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
# The registry stand-in must not be touched by any of these.
export CORVANE_REGISTRY="$work/registry.reg"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM

check() {  # STATUS STREAM PATTERN ARGS...
  want=$1 stream=$2 pattern=$3
  shift 3
  timeout 20 "$corvane" "$@" >"$work/out" 2>"$work/err"
  got=$?
  if [ "$got" -eq "$want" ] && grep -Eq -- "$pattern" "$work/$stream" && [ ! -e "$CORVANE_REGISTRY" ]; then
    echo "ok: corvane $* -> $got"
  else
    echo "FAILED: corvane $* -> $got (wanted $want, $stream matching '$pattern')"
    sed 's/^/  out: /' "$work/out"; sed 's/^/  err: /' "$work/err"
    failures=$((failures + 1))
  fi
}

check 0 out '^usage: corvane \[OPTION\]\.\.\. \[PROGRAM\]$' --help
check 0 out '^usage: corvane' -h
check 0 out '^corvane [0-9]+\.[0-9]+\.[0-9]+$' --version
check 0 out '^corvane [0-9]+\.[0-9]+\.[0-9]+$' -v
check 2 err "^corvane: unknown option '--bogus'$" --bogus
check 2 err '^usage: corvane' --bogus
check 2 err "^corvane: only one program can be given" a.awl b.awl
check 2 err "^corvane: --modbus abc: PORT must be a number" --modbus=abc

# A program without its Modbus module runs, and says what is missing when asked for Modbus.
mkdir "$work/bin"
cp "$corvane" "$work/bin/corvane"
corvane=$work/bin/corvane
check 0 out '^corvane [0-9]+\.[0-9]+\.[0-9]+$' --version
check 2 err '^corvane: --modbus: the Modbus module \(libcorvane_modbus\.so\) is not installed$' --modbus 1502

[ $failures -eq 0 ] || { echo "$failures case(s) failed"; exit 1; }
