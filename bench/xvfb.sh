# Sourced by the bench scripts: starts a private Xvfb, exports DISPLAY and sets XPID; the
# caller's EXIT trap ends it by that process id. $1 is a scratch directory of the caller's.
start_xvfb() {
  exec 3>"$1/display"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset >/dev/null 2>&1 &
  XPID=$!
  while [ ! -s "$1/display" ]; do
    kill -0 "$XPID" 2>/dev/null || { echo "Xvfb did not start" >&2; exit 1; }
    read -t 1 _ < /dev/null 2>/dev/null || true
  done
  export DISPLAY=":$(head -n1 "$1/display")"
  unset QT_QPA_PLATFORM
}
