# Shared by the Xvfb scripts (sourced): a scratch folder $tmp removed on exit together with
# the X server and the game, and functions to start both.
tmp=$(mktemp -d)
xpid=""; gpid=""
cleanup() {
  [ -n "$gpid" ] && kill -9 "$gpid" 2>/dev/null || true
  [ -n "$xpid" ] && kill "$xpid" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT

# An 800 x 600 X server of its own; sets DISPLAY. Fails when it does not come up.
start_xvfb() {
  Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$tmp/display" 2>/dev/null &
  xpid=$!
  for _ in $(seq 50); do [ -s "$tmp/display" ] && break; sleep 0.1; done
  [ -s "$tmp/display" ] || { echo "FAIL: Xvfb did not start"; return 1; }
  export DISPLAY=":$(cat "$tmp/display")"
}

# The real game from the copy in $tmp/game, its output in $tmp/game.log.
start_game() {
  (cd "$tmp/game" && exec ./tinokvak >"$tmp/game.log" 2>&1) &
  gpid=$!
}
