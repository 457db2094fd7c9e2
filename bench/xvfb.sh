# Sourced by the bench scripts. start_private_session makes a scratch directory ($SCRATCH),
# starts a private Xvfb on it (DISPLAY exported, its process id in XPID), points the
# registry stand-in into it, and sets an EXIT trap that ends the server by that process id
# and removes the directory.
start_private_session() {
  SCRATCH=$(mktemp -d)
  trap 'rm -rf "$SCRATCH"; [ -n "$XPID" ] && kill "$XPID" 2>/dev/null' EXIT
  exec 3>"$SCRATCH/display"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset >/dev/null 2>&1 &
  XPID=$!
  while [ ! -s "$SCRATCH/display" ]; do
    kill -0 "$XPID" 2>/dev/null || { echo "Xvfb did not start" >&2; exit 1; }
    read -t 1 _ < /dev/null 2>/dev/null || true
  done
  export DISPLAY=":$(head -n1 "$SCRATCH/display")"
  unset QT_QPA_PLATFORM
  export CORVANE_REGISTRY="$SCRATCH/registry.reg"
}
