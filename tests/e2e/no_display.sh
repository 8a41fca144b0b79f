#!/usr/bin/env bash
# The game without a display: one clear sentence on stderr and a non-zero exit soon after,
# never a game running with no window. SDL's window-less drivers run only when asked for.
set -euo pipefail
build=$1
tmp=$(mktemp -d)
gpid=""
cleanup() { [ -n "$gpid" ] && kill -9 "$gpid" 2>/dev/null; rm -rf "$tmp"; }
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }
cp -r "$build/game" "$tmp/game"
# A desktop session's runtime folder, without which the display libraries add lines of their own.
mkdir -m 700 "$tmp/run"
export XDG_RUNTIME_DIR=$tmp/run

# DISPLAY unset, or naming a display that is not there.
for display in "" "unix:$tmp/no-such-display"; do
  start=$(date +%s%N)
  status=0
  (cd / && env -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER DISPLAY="$display" \
     timeout -s KILL 5 "$tmp/game/tinokvak") >"$tmp/out" 2>"$tmp/err" || status=$?
  ms=$(( ($(date +%s%N) - start) / 1000000 ))
  echo "DISPLAY='$display': status $status after $ms ms: $(cat "$tmp/err")"
  [ "$status" != 0 ] || fail "the game reported success without a display"
  [ "$status" != 137 ] || fail "the game was still running after 5 s"
  grep -q "cannot open its window: no graphical display is available" "$tmp/err" ||
    fail "no clear message on stderr"
  [ "$(wc -l <"$tmp/err")" = 1 ] || fail "more than one line on stderr"
done

# Asked for by name, the window-less driver is used: the game keeps running.
(cd / && env -u DISPLAY -u WAYLAND_DISPLAY SDL_VIDEODRIVER=dummy "$tmp/game/tinokvak") \
  >"$tmp/out" 2>"$tmp/err" &
gpid=$!
sleep 2
kill -0 "$gpid" 2>/dev/null || { cat "$tmp/err"; fail "the game did not run on the dummy driver it was asked for"; }
echo "ok"
