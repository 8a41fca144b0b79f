#!/usr/bin/env bash
# Starts the real game under Xvfb, grabs the screen after a second and looks for the
# splash in it by comparing with what tinokvak-sim draws at the same moment.
set -euo pipefail
build=$1
source "$(dirname "$0")/xvfb_lib.sh"

cp -r "$build/game" "$tmp/game"
start_xvfb
start_game
printf 'wait 1500\nshot %s\n' "$tmp/sim.png" | "$build/tinokvak-sim" -
convert "$tmp/sim.png" -crop 400x240+200+180 +repage "$tmp/sim-centre.png"

# The splash shows for the first four seconds; a loaded machine may take a while to start.
found=0
for _ in $(seq 30); do
  sleep 0.3
  kill -0 "$gpid" || { echo "the game is not running"; cat "$tmp/game.log"; exit 1; }
  import -display "$DISPLAY" -window root "$tmp/real.png" 2>/dev/null || continue
  # The window fills the 800 x 600 screen; compare the centre, where the splash is.
  convert "$tmp/real.png" -crop 400x240+200+180 +repage "$tmp/real-centre.png"
  diff=$(compare -metric AE -fuzz 12% "$tmp/real-centre.png" "$tmp/sim-centre.png" null: 2>&1 || true)
  lit=$(convert "$tmp/real-centre.png" -colorspace gray -threshold 3% -format '%[fx:mean*w*h]' info:)
  if awk -v d="$diff" -v l="$lit" 'BEGIN { exit !(d+0 < 4800 && l+0 > 2000) }'; then
    found=1
    break
  fi
done
echo "differing pixels in the centre: $diff; lit pixels: $lit"
[ "$found" = 1 ] || { echo "the splash is not on the screen"; exit 1; }
kill "$gpid"
wait "$gpid" 2>/dev/null || true
gpid=""
echo "ok"
