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
     timeout -s KILL 120 "$tmp/game/tinokvak") >"$tmp/out" 2>"$tmp/err" || status=$?
  ms=$(( ($(date +%s%N) - start) / 1000000 ))
  echo "DISPLAY='$display': status $status after $ms ms: $(cat "$tmp/err")"
  [ "$status" != 0 ] || fail "the game reported success without a display"
  [ "$status" != 137 ] || fail "the game was still running after 120 s"
  grep -q "cannot open its window: no graphical display is available" "$tmp/err" ||
    fail "no clear message on stderr"
  # It names the display it tried and says how to give it one, never a window-less driver.
  if [ -n "$display" ]; then want="tried DISPLAY=$display"; else want="neither DISPLAY nor WAYLAND_DISPLAY is set"; fi
  grep -qF "$want" "$tmp/err" || fail "the message does not say which display was tried"
  grep -qF "DISPLAY=:0 tinokvak" "$tmp/err" || fail "the message does not say how to run with a display"
  ! grep -q "SDL_VIDEODRIVER=" "$tmp/err" || fail "the message suggests a window-less driver"
  [ "$(wc -l <"$tmp/err")" = 1 ] || fail "more than one line on stderr"
done

# Asked for by name, the window-less driver is used: the game starts and keeps running. Its
# start-up steps write Config.cfg, which they reach only once the display has been taken
# (a refused display ends the game before them); a loaded machine may take its time.
rm -f "$tmp/game/Config.cfg"
(cd / && env -u DISPLAY -u WAYLAND_DISPLAY SDL_VIDEODRIVER=dummy "$tmp/game/tinokvak") \
  >"$tmp/out" 2>"$tmp/err" &
gpid=$!
for _ in $(seq 600); do
  kill -0 "$gpid" 2>/dev/null && [ ! -s "$tmp/game/Config.cfg" ] || break
  sleep 0.1
done
[ -s "$tmp/game/Config.cfg" ] || { cat "$tmp/err"; fail "the game did not start on the dummy driver it was asked for"; }
kill -0 "$gpid" 2>/dev/null || { cat "$tmp/err"; fail "the game ended on the dummy driver it was asked for"; }
! grep -q "no graphical display" "$tmp/err" || fail "the dummy driver was refused"
kill -9 "$gpid"; wait "$gpid" 2>/dev/null || true; gpid=""

# The sound library's own lines stay off stderr unless TINOKVAK_DEBUG=1 asks for them; the
# game's one line about the missing device is there either way. An empty sound-library
# configuration makes it fail loudly on any machine.
: >"$tmp/alsa.conf"
sound_lines() {  # TINOKVAK_DEBUG's value; waits for the game's line, however long it takes
  (cd / && env -u DISPLAY -u WAYLAND_DISPLAY SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=alsa \
     ALSA_CONFIG_PATH="$tmp/alsa.conf" TINOKVAK_DEBUG="$1" "$tmp/game/tinokvak") \
    >"$tmp/out" 2>"$tmp/err" &
  gpid=$!
  while kill -0 "$gpid" 2>/dev/null && ! grep -q "No sound device" "$tmp/err"; do sleep 0.1; done
  kill -9 "$gpid" 2>/dev/null; wait "$gpid" 2>/dev/null || true; gpid=""
  grep -q "No sound device" "$tmp/err" || { cat "$tmp/err"; fail "no line about the missing sound device"; }
}
sound_lines ""
! grep -q "^ALSA lib" "$tmp/err" || { cat "$tmp/err"; fail "the sound library's own lines reach stderr"; }
sound_lines 1
grep -q "^ALSA lib" "$tmp/err" || { cat "$tmp/err"; fail "TINOKVAK_DEBUG=1 does not show the library's lines"; }
echo "ok"
