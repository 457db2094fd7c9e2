#!/bin/sh
# The command-line contract of corvane-plc: exit statuses, the messages before them and
# the summary line. Usage: command_line.sh CORVANE_PLC GOLDEN_DIR
plc=$1
golden=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkfifo "$work/fifo"
failures=0

# check STATUS STDERR-PATTERN STDOUT-PATTERN ARGS...: the exit status must be STATUS and
# each stream must contain its pattern (grep -E; an empty pattern matches anything).
check() {
  want=$1 errpat=$2 outpat=$3
  shift 3
  timeout 20 "$plc" "$@" <"$work/stdin" >"$work/out" 2>"$work/err"
  got=$?
  ok=1
  [ "$got" -eq "$want" ] || ok=0
  [ -z "$errpat" ] || grep -Eq -- "$errpat" "$work/err" || ok=0
  [ -z "$outpat" ] || grep -Eq -- "$outpat" "$work/out" || ok=0
  if [ $ok -eq 1 ]; then
    echo "ok: corvane-plc $* -> $got"
  else
    echo "FAILED: corvane-plc $* -> $got (wanted $want)"
    echo "  stdout:"; sed 's/^/    /' "$work/out"
    echo "  stderr:"; sed 's/^/    /' "$work/err"
    failures=$((failures + 1))
  fi
}

cd "$golden" || exit 1
: >"$work/stdin"

# Options
check 0 '' '^usage: corvane-plc' --help
check 2 '^usage: corvane-plc' '' --bogus
check 2 '^usage: corvane-plc' '' a.awl b.awl

# A script that cannot be read: missing, a directory, a FIFO (which must not block)
check 2 "cannot read script '/nonexistent/script': No such file" '' --script /nonexistent/script
check 2 "cannot read script '\.': it is a directory" '' --script .
check 2 "cannot read script '.*fifo': it is a FIFO" '' --script "$work/fifo"

# A PROGRAM that cannot be read: the loader's message, then exit 2
check 2 "program 'no-such-file.awl' was not loaded" '^message: File not found$' \
  --script timers.script no-such-file.awl
check 2 "cannot read program '\.': it is a directory" '' --script timers.script .
check 2 "cannot read program '.*fifo': it is a FIFO" '' --script timers.script "$work/fifo"

# `load` in a script refuses a FIFO by its line
echo "load $work/fifo" >"$work/fifo.script"
check 2 "line 1: cannot read '.*fifo': it is a FIFO" '' --script "$work/fifo.script"

# The summary line: a halted program without any expect passes, and says it is halted;
# expect-running fails on it
printf 'run\nms 5\n' >"$work/noexpect.script"
check 0 '^corvane-plc: 0 expectations held, 1 scan, RUN, halted by an error$' '' \
  --script "$work/noexpect.script" halt.awl
printf 'run\nms 5\nexpect-running\n' >"$work/running.script"
check 1 'line 3: expected the scan running, found it halted by an error' '' \
  --script "$work/running.script" halt.awl
check 0 '^corvane-plc: 1 expectation held, 5 scans, RUN, not halted$' '' \
  --script "$work/running.script" timers.awl

# Commands from standard input
printf 'run\nms 2\nexpect-running\n' >"$work/stdin"
check 0 '^corvane-plc: 1 expectation held, 2 scans, RUN, not halted$' '' timers.awl
printf 'expect Q0.0 1\n' >"$work/stdin"
check 1 'line 1: expected Q0.0=1, found Q0.0=0' ''

[ $failures -eq 0 ] || { echo "$failures case(s) failed"; exit 1; }
