#!/usr/bin/env bash
# Replays from the real window: a game played with xdotool (started with Enter, a few jumps,
# a pause, then Esc and Yes) leaves one replay in Replays/ beside Config.cfg, which
# tinokvak-sim checks; `tinokvak --replay` shows it in the window with a caption that says
# so, ignores the viewer's other keys, and leaves with Esc. A Replays/ that cannot be made
# loses the replay with one line on stderr while the game plays on.
set -Eeuo pipefail
build=$1
shots=${2:-}
# With TK_WATCH=1 the replay is also watched in the window (see tests/e2e/CMakeLists.txt).
watch=${TK_WATCH:-0}
source "$(dirname "$0")/xvfb_lib.sh"
fail() {
  echo "FAIL: $*"
  for l in game watch; do [ -f "$tmp/$l.log" ] && { echo "-- $l.log"; cat "$tmp/$l.log"; }; done
  exit 1
}
trap 'fail "line $LINENO: $BASH_COMMAND"' ERR

cp -r "$build/game" "$tmp/game"
rm -rf "$tmp/game/Config.cfg" "$tmp/game/Replays"
# The main menu as tinokvak-sim draws it, to know the game is past its logo.
printf 'wait 4100\nmove 5 5\nticks 2\nshot %s\n' "$tmp/ref-menu.png" | "$build/tinokvak-sim" - >/dev/null
start_xvfb || exit 1

# The game takes the window's keys in the order they came; what a key does is waited for
# where the next step needs it.
key() { xdotool key --window "$win" "$@"; }
shot() { [ -n "$shots" ] && { mkdir -p "$shots"; import -display "$DISPLAY" -window root "$shots/$1"; } || true; }
# The pixels of the HUD's yellow in the middle of the pond, where the level title and the
# pause's word show over a frozen pond; the pond itself has none of that yellow.
yellow_in() {
  convert "$1" -crop $banner_area +repage -fuzz 10% -fill black +opaque '#ffff00' \
    -fill white -opaque '#ffff00' -format '%[fx:int(mean*w*h+0.5)]' info:
}
banner_pixels() {
  import -display "$DISPLAY" -window "$win" "$tmp/banner.png" 2>/dev/null || { echo -1; return; }
  yellow_in "$tmp/banner.png"
}
# Shown with at least half the pixels of a banner of N (the title's or the pause's); gone
# with hardly any.
banner_shown() { [ "$(banner_pixels)" -ge $(( $1 / 2 )) ]; }
banner_gone() { local n; n=$(banner_pixels); [ "$n" -ge 0 ] && [ "$n" -le $(( pause_lit / 10 )) ]; }

# The level title, the pond in play and the exit prompt over it as tinokvak-sim draws them:
# where the title shows and how much of that yellow it has.
"$build/tinokvak-sim" - >/dev/null <<EOF
wait 4100
move 5 5
ticks 2
key Enter
ticks 5
shot $tmp/ref-title.png
wait 3400
ticks 40
shot $tmp/ref-play.png
key P
ticks 2
shot $tmp/ref-pause.png
key P
ticks 2
shot $tmp/ref-play.png
key Esc
ticks 5
shot $tmp/ref-prompt.png
EOF
banner_area=300x60+280+275
title_lit=$(yellow_in "$tmp/ref-title.png")
pause_lit=$(yellow_in "$tmp/ref-pause.png")
echo "yellow pixels: $title_lit in the level title, $pause_lit in the pause, $(yellow_in "$tmp/ref-play.png") in play"
[ "$title_lit" -ge 100 ] && [ "$pause_lit" -ge 100 ] ||
  fail "no level title or pause in $banner_area of tinokvak-sim's pictures"

play_one_game() {
  start_game
  find_game_window "$gpid"
  xdotool mousemove --window "$win" 5 5
  wait_for_screen "$tmp/ref-menu.png" "the main menu" 30
  key Return                # a new game
  wait_until 30 "the level title" banner_shown "$title_lit"
  wait_until 30 "play after the level title" banner_gone
  key Left; key space       # a jump or two: whatever the frog makes of them, it is recorded
  key Up; key space
  key p                     # a pause
  wait_until 30 "the pause" banner_shown "$pause_lit"
  key p
  wait_until 30 "play after the pause" banner_gone
  key Escape                # the prompt
  wait_for_change "$tmp/ref-play.png" "$tmp/ref-prompt.png" "the exit prompt" 30
  click_at 330 320          # Yes
  # Yes leaves the game: its replay is kept (or its loss told) on the way to the main menu.
  for _ in $(seq 100); do
    compgen -G "$tmp/game/Replays/*.tkr" >/dev/null && break
    grep -q "replay of this game was not saved" "$tmp/game.log" 2>/dev/null && break
    kill -0 "$gpid" 2>/dev/null || fail "the game ended"
    sleep 0.1
  done
  kill -0 "$gpid" 2>/dev/null || fail "the game ended"
}

play_one_game
replays=("$tmp/game/Replays/"*.tkr)
[ "${#replays[@]}" = 1 ] && [ -f "${replays[0]}" ] || fail "expected one replay, found: $(ls -A "$tmp/game/Replays" 2>&1)"
echo "recorded $(basename "${replays[0]}") ($(stat -c %s "${replays[0]}") bytes)"
"$build/tinokvak-sim" --dir "$tmp/game" --replay "${replays[0]}" --check | tail -n1 | cut -c1-200 \
  || fail "the replay of the real game does not check"

# Watched in the window.
if [ "$watch" = 1 ]; then
  (cd "$tmp/game" && exec ./tinokvak --replay "${replays[0]}" >"$tmp/watch.log" 2>&1) &
  wpid=$!
  find_game_window "$wpid"
  for _ in $(seq 100); do
    name=$(xdotool getwindowname "$win" 2>/dev/null || true)
    [[ "$name" == *"повтор"* ]] && break
    kill -0 "$wpid" 2>/dev/null || fail "the replay viewer ended at start-up"
    sleep 0.1
  done
  echo "caption: $name"
  [[ "$name" == *"повтор"* ]] || fail "the caption does not say it is a replay: $name"
  # Read as UTF-8 by every desktop: _NET_WM_NAME set and WM_NAME not encoded twice.
  for prop in _NET_WM_NAME WM_NAME; do
    xprop -id "$win" "$prop" | grep -qF '= "Тиноквак — повтор"' ||
      fail "$prop is not the caption in UTF-8: $(xprop -id "$win" "$prop")"
  done
  shot replay-watch.png
  # Space stands the replay still (the same picture a second later); the game's own keys do
  # nothing to it.
  grab() { import -display "$DISPLAY" -window "$win" "$tmp/$1.png" 2>/dev/null; }
  same() { [ "$(compare -metric AE "$tmp/$1.png" "$tmp/$2.png" null: 2>&1 | cut -d' ' -f1 || true)" = 0 ]; }
  key space
  # Stood still once two pictures in a row are the same; then it must stay so.
  still=0
  grab still1
  for _ in $(seq 150); do
    sleep 0.2
    grab still2
    same still1 still2 && { still=1; break; }
    mv "$tmp/still2.png" "$tmp/still1.png"
    kill -0 "$wpid" 2>/dev/null || fail "the replay viewer ended"
  done
  [ "$still" = 1 ] || fail "the replay did not stand still after Space"
  # How long it is watched for staying still: nothing to wait for, it must not change.
  sleep 1
  grab still2
  moved=$(compare -metric AE "$tmp/still1.png" "$tmp/still2.png" null: 2>&1 | cut -d' ' -f1 || true)
  [ "$moved" = 0 ] || fail "the paused replay still moves ($moved pixels changed)"
  key p
  # Esc from the keyboard, as the viewer presses it. The watcher leaves on the press and its
  # window goes at once; `xdotool key --window` types through the keyboard only while the
  # window has the focus and sends the rest to the window itself, so a release coming after
  # the window has gone fails (BadWindow). Typed at the focus, the release goes nowhere.
  [ "$(xdotool getwindowfocus -f)" = "$win" ] || fail "the watcher's window does not have the keyboard"
  xdotool key Escape
  for _ in $(seq 300); do kill -0 "$wpid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$wpid" 2>/dev/null && { kill "$wpid"; fail "Esc did not leave the replay"; }
  wait "$wpid" || fail "the replay ended with status $?"
  cat "$tmp/watch.log"
fi

# Where nothing can be written, the game goes on without its replay.
kill -9 "$gpid"; wait "$gpid" 2>/dev/null || true; gpid=""
rm -rf "$tmp/game/Replays"; echo "in the way" >"$tmp/game/Replays"
play_one_game
lines=$(grep -c "replay of this game was not saved" "$tmp/game.log" || true)
[ "$lines" = 1 ] || fail "expected one line about the lost replay, found $lines"
echo "PASS"
