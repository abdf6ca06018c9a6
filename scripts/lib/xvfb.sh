# Sourced by scripts: starts a private Xvfb on a display number the server
# picks itself (so parallel runs never share or kill each other's display),
# waits until it accepts clients and exports DISPLAY. Sets xvfb_pid.
start_xvfb() {
  local ready
  ready=$(mktemp)
  Xvfb -displayfd 1 -screen 0 1280x800x24 -nolisten tcp >"$ready" 2>/dev/null &
  xvfb_pid=$!
  for _ in $(seq 100); do
    if [ -s "$ready" ]; then
      DISPLAY=:$(head -n 1 "$ready")
      export DISPLAY
      rm -f "$ready"
      return 0
    fi
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  rm -f "$ready"
  echo "cannot start Xvfb" >&2
  return 1
}
