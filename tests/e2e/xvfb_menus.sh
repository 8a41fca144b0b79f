#!/usr/bin/env bash
# The real game in a real window under Xvfb, driven through the menus with xdotool: the main
# menu, the options screen (music switched off) and back with Esc, the exit prompt opened with
# Esc and answered Yes with a click, the exit screen's countdown waited out and its exit
# button clicked. The game must end by itself and leave Config.cfg with the new setting.
# Each screen is recognised by comparing the window with what tinokvak-sim draws there.
set -euo pipefail
build=$1
source "$(dirname "$0")/xvfb_lib.sh"
fail() { echo "FAIL: $*"; [ -f "$tmp/game.log" ] && cat "$tmp/game.log"; exit 1; }

cp -r "$build/game" "$tmp/game"
rm -f "$tmp/game/Config.cfg"
cfg="$tmp/game/wdata/config.ini"
[ -f "$cfg" ] || fail "no exit-screen description in the game folder"

# Reference pictures of the screens we expect, from the scripted runner.
shoot_menu_references "$tmp"

start_xvfb || exit 1
start_game

find_game_window
# Every step waits for what it shows before the next: a click or a key meant for one
# screen must not reach the one before it.
xdotool mousemove --window "$win" 5 5
wait_for_screen "$tmp/ref-menu.png" "the main menu" 20
click_at 500 260
xdotool mousemove --window "$win" 5 5
wait_for_screen "$tmp/ref-options.png" "the options screen" 30
click_at 400 300
xdotool mousemove --window "$win" 5 5
wait_for_change "$tmp/ref-options.png" "$tmp/ref-music-off.png" "music switched off" 30
xdotool key --window "$win" Escape
wait_for_screen "$tmp/ref-menu.png" "the main menu again" 30
xdotool key --window "$win" Escape
wait_for_change "$tmp/ref-menu.png" "$tmp/ref-prompt.png" "the exit prompt" 30
click_at 330 325       # Yes

# The exit button is the description's last button; its countdown runs in whole seconds.
line() { sed -n "${1}p" "$cfg" | tr -d '\r' | sed 's/^ *//'; }
n=$(line 1)
read -r ex ey ew eh <<<"$(line $(( 2 + 5 * (n - 1) + 2 )))"
seconds=$(line $(( 2 + 5 * (n - 1) + 8 )))
echo "exit button at $ex,$ey ${ew}x$eh after $seconds s"
kill -0 "$gpid" 2>/dev/null || fail "the game closed instead of showing the exit screen"
xdotool mousemove --window "$win" 5 5
wait_for_screen "$tmp/ref-exit.png" "the exit screen" 30
click_exit_until_gone $(( ex + ew / 2 )) $(( ey + eh / 2 )) $(( seconds + 30 ))
status=0
wait "$gpid" || status=$?
gpid=""
[ "$status" = 0 ] || fail "the game ended with status $status"

[ -f "$tmp/game/Config.cfg" ] || fail "Config.cfg was not written"
shown=$("$build/tinokvak-config" show "$tmp/game/Config.cfg")
echo "$shown"
echo "$shown" | grep -q '"music":false' || fail "the music setting was not saved"
echo "ok"
