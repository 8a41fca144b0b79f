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

# Links the game opens (the exit screen's pages) go nowhere: a real browser started here
# would outlive the test and write into its scratch folder.
mkdir -p "$tmp/bin"
printf '#!/bin/sh\nexit 0\n' >"$tmp/bin/xdg-open"
chmod 755 "$tmp/bin" "$tmp/bin/xdg-open"
export PATH="$tmp/bin:$PATH"

# The screens a menu walk expects, as tinokvak-sim draws them, into DIR: the main menu past
# the splash (ref-menu.png), the options screen (ref-options.png), music switched off there
# (ref-music-off.png), the exit prompt (ref-prompt.png) and the exit screen (ref-exit.png).
shoot_menu_references() {
  "$build/tinokvak-sim" - >/dev/null <<EOF
wait 4100
move 5 5
ticks 2
shot $1/ref-menu.png
click 500 260
move 5 5
ticks 2
shot $1/ref-options.png
click 400 300
move 5 5
ticks 2
shot $1/ref-music-off.png
key Esc
ticks 5
key Esc
ticks 5
shot $1/ref-prompt.png
click 330 325
move 5 5
wait 500
shot $1/ref-exit.png
EOF
}

# An X server of its own, 800 x 600 unless a WxH is given; sets DISPLAY. Fails when it does
# not come up. It never resets: a server resets when its last client leaves (a game killed,
# an xdotool call done), and a game connecting meanwhile is refused and falls back to no
# window at all.
start_xvfb() {
  rm -f "$tmp/display"
  Xvfb -displayfd 3 -screen 0 "${1:-800x600}x24" -nolisten tcp -noreset 3>"$tmp/display" 2>/dev/null &
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

# Sets win to the game's visible window (the one created first is replaced while the
# display starts, so only a mapped one counts). Needs fail; the process is the one given,
# else $gpid.
find_game_window() {
  local pid=${1:-$gpid}
  win=""
  for _ in $(seq 100); do
    win=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -n1 || true)
    [ -n "$win" ] && return 0
    kill -0 "$pid" 2>/dev/null || fail "the game ended at start-up"
    sleep 0.1
  done
  fail "no game window"
}
# Points at X Y in the window as a player's mouse arrives there: two moves, since a move to
# where the pointer already is makes no motion. Nothing is waited for in between: the game
# takes the window's events in the order they came, each with its own position, so a click
# sent next lands where these moves left the pointer.
point_at() {
  xdotool mousemove --window "$win" "$1" "$2"
  xdotool mousemove --window "$win" "$(( $1 + 1 ))" "$2"
}
# Clicks X Y in the window. What the click does is for the caller to wait for.
click_at() {
  point_at "$1" "$2"
  xdotool click --window "$win" 1
}
# Clicks X Y on a button that closes the game's window on the press: from the pointer
# itself, since xdotool's release aimed at that window would find it gone (BadWindow).
click_closing() {
  point_at "$1" "$2"
  xdotool click 1
}
# Clicks the exit screen's exit button at X Y until the game ends, or fails after SECONDS:
# the button takes a click only once its countdown has run out. Needs fail.
click_exit_until_gone() {
  for _ in $(seq $(( $3 * 5 / 2 ))); do
    kill -0 "$gpid" 2>/dev/null || return 0
    { point_at "$1" "$2" && xdotool click 1; } 2>/dev/null || true
    # Polls the game's exit, clicking again meanwhile: the counting button ignores clicks.
    sleep 0.4
  done
  kill -0 "$gpid" 2>/dev/null || return 0
  fail "the game did not end after its exit button"
}
# Polls a command until it succeeds, or fails after SECONDS (or when the game has ended):
# wait_until SECONDS WHAT COMMAND... Needs fail.
wait_until() {
  local seconds=$1 what=$2
  shift 2
  for _ in $(seq $(( seconds * 10 ))); do
    "$@" && { echo "$what: there"; return 0; }
    kill -0 "$gpid" 2>/dev/null || fail "the game ended while waiting for $what"
    sleep 0.1
  done
  fail "no $what after $seconds s"
}
# The pixels of the window's 800 x 600 picture that differ from a reference PNG, or only
# those in the area WxH+X+Y when one is given: differs REF [AREA].
differs() {
  local area=${2:-800x600+0+0}
  import -display "$DISPLAY" -window "$win" "$tmp/now.png" 2>/dev/null || { echo 999999; return; }
  convert "$tmp/now.png" -crop "$area" +repage "$tmp/now-area.png"
  convert "$1" -crop "$area" +repage "$tmp/ref-area.png"
  compare -metric AE -fuzz 12% "$tmp/now-area.png" "$tmp/ref-area.png" null: 2>&1 | cut -d' ' -f1 || true
}
# Waits until the window shows the reference PNG (what tinokvak-sim draws there) or fails
# after the given seconds: wait_for_screen REF WHAT SECONDS [AREA LIMIT]. Only the area
# WxH+X+Y counts when one is given, and then fewer than LIMIT pixels may differ. Needs fail.
wait_for_screen() {
  local d area=${4:-800x600+0+0} limit=${5:-20000}
  for _ in $(seq $(( $3 * 5 ))); do
    d=$(differs "$1" "$area")
    awk -v d="$d" -v l="$limit" 'BEGIN { exit !(d + 0 < l + 0) }' &&
      { echo "$2 on screen ($d pixels differ)"; return 0; }
    kill -0 "$gpid" 2>/dev/null || fail "the game ended while waiting for $2"
    sleep 0.2
  done
  fail "$2 did not appear (last difference $d pixels)"
}
# Waits until the window shows the change from one reference PNG to another, looking only
# where the two differ: for what is too small for wait_for_screen to tell apart (a ticked
# box, a prompt over the menu). wait_for_change BEFORE AFTER WHAT SECONDS. Needs fail.
wait_for_change() {
  local area changed
  area=$(convert "$1" "$2" -compose difference -composite -fuzz 12% -format %@ info:)
  changed=$(compare -metric AE -fuzz 12% "$1" "$2" null: 2>&1 | cut -d' ' -f1 || true)
  awk -v c="$changed" 'BEGIN { exit !(c + 0 >= 20) }' ||
    fail "the pictures before and after $3 are the same ($changed pixels differ)"
  wait_for_screen "$2" "$3" "$4" "$area" "$(awk -v c="$changed" 'BEGIN { print int(c / 4) }')"
}
