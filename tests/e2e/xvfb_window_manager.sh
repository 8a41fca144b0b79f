#!/usr/bin/env bash
# The real window under a window manager on a screen larger than the game: it has the
# game's icon; maximising it
# (as a window manager's button or wmctrl does) switches the game to full screen; the
# setting saved in full screen makes the next start full screen, and its first switch to a
# window puts the window in the middle of the screen.
set -euo pipefail
build=$1
source "$(dirname "$0")/xvfb_lib.sh"
wmpid=""
trap '[ -n "$wmpid" ] && kill "$wmpid" 2>/dev/null; cleanup' EXIT
fail() { echo "FAIL: $*"; [ -f "$tmp/game.log" ] && cat "$tmp/game.log"; exit 1; }
W=1280 H=1024

cp -r "$build/game" "$tmp/game"
rm -f "$tmp/game/Config.cfg"
# The main menu as tinokvak-sim draws it, to know the game is past its splash, and the
# options screen opened from it.
shoot_menu_references "$tmp"
Xvfb -displayfd 3 -screen 0 ${W}x${H}x24 -nolisten tcp 3>"$tmp/display" 2>/dev/null &
xpid=$!
for _ in $(seq 50); do [ -s "$tmp/display" ] && break; sleep 0.1; done
[ -s "$tmp/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(cat "$tmp/display")"
HOME=$tmp openbox --sm-disable >"$tmp/openbox.log" 2>&1 &
wmpid=$!
for _ in $(seq 50); do wmctrl -m >/dev/null 2>&1 && break; sleep 0.1; done
wmctrl -m >/dev/null 2>&1 || fail "the window manager did not start"

find_window() {
  win=""
  for _ in $(seq 100); do
    win=$(xdotool search --onlyvisible --pid "$gpid" 2>/dev/null | head -n1 || true)
    [ -n "$win" ] && xdotool getwindowgeometry "$win" >/dev/null 2>&1 && return 0
    kill -0 "$gpid" 2>/dev/null || fail "the game ended at start-up"
    sleep 0.1
  done
  fail "no game window"
}
# Sets x y w h: the window's client area on the screen.
geometry() {
  eval "$(xdotool getwindowgeometry --shell "$win")"
  x=$X y=$Y w=$WIDTH h=$HEIGHT
}
wait_size() {  # width height what
  for _ in $(seq 50); do
    geometry
    [ "$w" = "$1" ] && [ "$h" = "$2" ] && { echo "$3: ${w}x$h at $x,$y"; return 0; }
    kill -0 "$gpid" 2>/dev/null || fail "the game ended while waiting for $3"
    sleep 0.2
  done
  fail "$3: the window is ${w}x$h at $x,$y"
}
stop_game() {
  kill "$gpid" 2>/dev/null || true
  wait "$gpid" 2>/dev/null || true
  gpid=""
}

# 1. Maximised by the window manager: the game goes full screen.
start_game
find_window
wait_size 800 600 "in a window"
xdotool mousemove --window "$win" 5 5
wait_for_screen "$tmp/ref-menu.png" "the main menu" 30
geometry
x0=$x y0=$y  # where the window manager put the new window
echo "a new window is at $x0,$y0"
# Read whole before matching: grep -q leaving early would cut xprop off mid-icon (SIGPIPE),
# which pipefail reports as a missing icon.
icon=$(xprop -id "$win" _NET_WM_ICON)
[[ "$icon" == *"Icon (64 x 64)"* ]] || fail "the window has no icon"
wmctrl -i -r "$win" -b add,maximized_vert,maximized_horz
wait_size $W $H "maximised"
xprop -id "$win" _NET_WM_STATE | grep -q _NET_WM_STATE_FULLSCREEN || fail "not full screen"

# Options and back saves the settings; the picture is scaled by 1.6 and centred.
sx() { echo $(( $1 * 16 / 10 )); }
sy() { echo $(( $1 * 16 / 10 + (H - 960) / 2 )); }
# Succeeds when the full-screen picture, brought back to 800 x 600, shows a reference PNG.
full_screen_shows() {
  local d
  import -display "$DISPLAY" -window "$win" "$tmp/full-now.png" 2>/dev/null || return 1
  convert "$tmp/full-now.png" -crop 1280x960+0+$(( (H - 960) / 2 )) +repage \
    -resize '800x600!' "$tmp/full-800.png"
  d=$(compare -metric AE -fuzz 12% "$tmp/full-800.png" "$1" null: 2>&1 | cut -d' ' -f1 || true)
  awk -v d="$d" 'BEGIN { exit !(d + 0 < 20000) }'
}
click_at "$(sx 500)" "$(sy 260)"
xdotool mousemove --window "$win" "$(sx 5)" "$(sy 5)"
wait_until 30 "the options screen in full screen" full_screen_shows "$tmp/ref-options.png"
xdotool key --window "$win" Escape
wait_until 30 "Config.cfg" test -f "$tmp/game/Config.cfg"
"$build/tinokvak-config" show "$tmp/game/Config.cfg" | grep -q '"fullScreen":true' ||
  fail "full screen was not saved"
# Alt+Enter brings back a normal window where a new one goes, and it stays one.
xdotool key --window "$win" alt+Return
wait_size 800 600 "a window again"
# Drawn whole at the window's size again: the switch is done.
xdotool mousemove --window "$win" 5 5
wait_for_screen "$tmp/ref-menu.png" "the main menu in a window" 30
geometry
[ "$w" = 800 ] || fail "the window did not stay a window"
xprop -id "$win" _NET_WM_STATE | grep -q MAXIMIZED && fail "the window is still maximised"
[ "$x,$y" = "$x0,$y0" ] || fail "the window came back at $x,$y, not at $x0,$y0"
stop_game

# 2. Started full screen from the settings; Alt+Enter brings the window up centred.
start_game
find_window
wait_size $W $H "started full screen"
# The game has drawn in full screen (its splash lights the screen) before the switch back.
lit=0
for _ in $(seq 150); do
  if import -display "$DISPLAY" -window "$win" "$tmp/full.png" 2>/dev/null; then
    lit=$(convert "$tmp/full.png" -colorspace gray -threshold 3% -format '%[fx:mean*w*h]' info:)
    awk -v l="$lit" 'BEGIN { exit !(l + 0 > 20000) }' && break
  fi
  kill -0 "$gpid" 2>/dev/null || fail "the game ended in full screen"
  sleep 0.2
done
awk -v l="$lit" 'BEGIN { exit !(l + 0 > 20000) }' || fail "nothing drawn in full screen ($lit lit pixels)"
echo "drawn in full screen: $lit lit pixels"
xdotool key --window "$win" alt+Return
wait_size 800 600 "back in a window"
xdotool mousemove --window "$win" 5 5
wait_for_screen "$tmp/ref-menu.png" "the main menu in a window" 30
geometry
# Where a game started in a window appears (the window manager adds its frame), and so
# within the frame's size of the screen's middle.
echo "at $x,$y; a window started as one was at $x0,$y0"
[ $(( x - x0 )) -le 4 ] && [ $(( x0 - x )) -le 4 ] && [ $(( y - y0 )) -le 4 ] &&
  [ $(( y0 - y )) -le 4 ] || fail "the window is not where a new window goes"
[ $(( x - (W - 800) / 2 )) -le 64 ] && [ $(( (W - 800) / 2 - x )) -le 64 ] &&
  [ $(( y - (H - 600) / 2 )) -le 64 ] && [ $(( (H - 600) / 2 - y )) -le 64 ] ||
  fail "the window is not in the middle of the screen"
stop_game
echo "ok"
