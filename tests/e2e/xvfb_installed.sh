#!/usr/bin/env bash
# The game installed into a prefix: the layout, the desktop entry and the AppStream data
# checked by their validators; then the installed tree moved elsewhere and made read-only,
# and the game started from it under Xvfb by a player without write access. It must reach
# the main menu, keep an option changed there in $XDG_DATA_HOME/tinokvak/Config.cfg and
# leave the data folder as it was.
set -euo pipefail
build=$1
source "$(dirname "$0")/xvfb_lib.sh"
fail() { echo "FAIL: $*"; [ -f "$tmp/game.log" ] && cat "$tmp/game.log"; exit 1; }
# The read-only copy must not keep the scratch folder from going.
trap 'chmod -R u+w "$tmp" 2>/dev/null; cleanup' EXIT
trap 'echo "FAIL: line $LINENO: $BASH_COMMAND"; [ -f "$tmp/game.log" ] && cat "$tmp/game.log"' ERR

cmake --install "$build" --prefix "$tmp/prefix" >/dev/null
# The server's service unit and configuration belong to the package, not to a prefix.
! grep -v "^$tmp/prefix/" "$build/install_manifest.txt" ||
  fail "installed outside the prefix (above)"
p=$tmp/prefix
for f in games/tinokvak bin/tinokvak-pack bin/tinokvak-config bin/tinokvak-sim bin/tinokvak-check \
         bin/tinokvak-scores share/games/tinokvak/Data/Graphic.dxg \
         share/games/tinokvak/Data/Music.dxw share/games/tinokvak/Music/1.xm \
         share/games/tinokvak/wdata/config.ini \
         share/applications/ru.tinokvak.Tinokvak.desktop \
         share/metainfo/ru.tinokvak.Tinokvak.metainfo.xml \
         share/icons/hicolor/scalable/apps/tinokvak.svg share/man/man6/tinokvak.6.gz \
         share/man/man1/tinokvak-config.1.gz share/man/man1/tinokvak-pack.1.gz \
         share/man/man1/tinokvak-sim.1.gz share/man/man1/tinokvak-check.1.gz \
         share/man/man1/tinokvak-scores.1.gz; do
  [ -e "$p/$f" ] || fail "$f is not installed"
done
for s in 16 22 24 32 48 64 128 256 512; do
  png=$p/share/icons/hicolor/${s}x${s}/apps/tinokvak.png
  [ "$(identify -format '%wx%h' "$png")" = "${s}x${s}" ] || fail "no ${s}x${s} icon"
done
[ ! -e "$p/share/games/tinokvak/Config.cfg" ] || fail "a run's Config.cfg was installed"
desktop-file-validate "$p/share/applications/ru.tinokvak.Tinokvak.desktop" || fail "desktop entry"
appstreamcli validate --no-net "$p/share/metainfo/ru.tinokvak.Tinokvak.metainfo.xml" ||
  fail "AppStream data"

# Moved as a whole and read-only: the game finds its data beside itself, not where it was
# installed. Root writes anywhere, so the game then runs as an unprivileged user.
mv "$p" "$tmp/moved"
p=$tmp/moved
data=$p/share/games/tinokvak
chmod -R a-w "$p"
chmod 755 "$tmp"
(cd "$data" && find . -type f -exec md5sum {} + | sort) >"$tmp/before"
mkdir -p "$tmp/xdg" "$tmp/home"
as_player=()
if [ "$(id -u)" = 0 ]; then
  chown 65534:65534 "$tmp/xdg" "$tmp/home"
  as_player=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
player_env=(env HOME="$tmp/home" XDG_DATA_HOME="$tmp/xdg" XDG_CACHE_HOME="$tmp/home/.cache")

shoot_menu_references "$tmp"

start_xvfb || exit 1
(cd / && exec "${as_player[@]}" "${player_env[@]}" "$p/games/tinokvak" >"$tmp/game.log" 2>&1) &
gpid=$!
find_game_window
xdotool mousemove --window "$win" 5 5
menu=0
for _ in $(seq 100); do
  # The window found first may be replaced while the display starts; look it up again.
  w=$(xdotool search --onlyvisible --pid "$gpid" 2>/dev/null | tail -n1 || true)
  [ -n "$w" ] && win=$w
  d=$(differs "$tmp/ref-menu.png")
  awk -v d="$d" 'BEGIN { exit !(d + 0 < 20000) }' && { menu=1; break; }
  kill -0 "$gpid" 2>/dev/null || fail "the game ended before the main menu"
  sleep 0.2
done
[ "$menu" = 1 ] || fail "the main menu did not appear (last difference $d pixels)"
echo "the main menu is on screen"
# Each step waits for what it shows before the next, as in the menus test.
click_at 500 260                     # options
xdotool mousemove --window "$win" 5 5
wait_for_screen "$tmp/ref-options.png" "the options screen" 30
click_at 400 300                     # music off
xdotool mousemove --window "$win" 5 5
wait_for_change "$tmp/ref-options.png" "$tmp/ref-music-off.png" "music switched off" 30
xdotool key --window "$win" Escape   # back to the menu: the settings are saved
cfg=$tmp/xdg/tinokvak/Config.cfg
wait_until 30 "Config.cfg in \$XDG_DATA_HOME/tinokvak" test -f "$cfg"
wait_for_screen "$tmp/ref-menu.png" "the main menu again" 30
# Leaving: Esc, Yes in the prompt, and the goodbye page's exit button once it counts down.
xdotool key --window "$win" Escape
wait_for_change "$tmp/ref-menu.png" "$tmp/ref-prompt.png" "the exit prompt" 30
click_at 330 325
ini=$data/wdata/config.ini
line() { sed -n "${1}p" "$ini" | tr -d '\r' | sed 's/^ *//'; }
n=$(line 1)
read -r ex ey ew eh <<<"$(line $(( 2 + 5 * (n - 1) + 2 )))"
xdotool mousemove --window "$win" 5 5
wait_for_screen "$tmp/ref-exit.png" "the exit screen" 30
click_exit_until_gone $(( ex + ew / 2 )) $(( ey + eh / 2 )) $(( $(line $(( 2 + 5 * (n - 1) + 8 ))) + 30 ))
status=0
wait "$gpid" || status=$?
gpid=""
[ "$status" = 0 ] || fail "the game ended with status $status"

shown=$("${as_player[@]}" "${player_env[@]}" "$p/bin/tinokvak-config" show)
echo "$shown"
echo "$shown" | grep -q '"music":false' || fail "the music setting was not saved"
echo "$shown" | grep -q "\"file\":\"$cfg\"" || fail "tinokvak-config show names another file"
(cd "$data" && find . -type f -exec md5sum {} + | sort) >"$tmp/after"
diff "$tmp/before" "$tmp/after" || fail "the data folder changed"
echo "ok"
