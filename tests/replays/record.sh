#!/usr/bin/env bash
# Records the games kept in tests/replays/ again, with their expected final state lines.
# Run it after a deliberate change to the game or its data (the replays name the data they
# were recorded with) and name the change in the commit:
#   tests/replays/record.sh [BUILD_DIR]          (default: build)
# After a change to the data alone that leaves play as it was (a picture redrawn), the
# games can instead be recorded again from their kept scripts, keeping the expected lines:
#   tests/replays/record.sh --data-only [BUILD_DIR]
# which fails, naming the game, if any of them no longer ends as it did.
# Each game is played by player.py from its seed and plan; what it typed and clicked is
# kept as GAME.sim, so `tinokvak-sim --seed SEED --record GAME.tkr GAME.sim` gives the same
# recording as long as the game behaves the same. coverage.json says what each game showed.
set -euo pipefail
data_only=0
if [ "${1:-}" = --data-only ]; then data_only=1; shift; fi
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../build}" && pwd)
sim="$build/tinokvak-sim"
[ -x "$sim" ] || { echo "no $sim: build first"; exit 1; }

# name  seed  plan (what the player looks for)
games=(
  "level3          35 {\"spring\":1,\"sticky\":1}"
  "every-lily      23 {\"hazards\":1,\"spring\":1,\"sticky\":1}"
  "stork           34 {\"spring\":1,\"sticky\":1}"
  "stork-hazards   42 {\"hazards\":1,\"spring\":1,\"sticky\":1}"
  "pause-prompt     8 {\"pause\":1,\"spring\":1,\"sticky\":1}"
  "pickups         41 {\"crocodile\":1,\"pickups\":1,\"spring\":1,\"sticky\":1}"
  "crocodile       40 {\"crocodile\":1,\"pickups\":1,\"spring\":1,\"sticky\":1}"
  "crocodile-stork 22 {\"crocodile\":1,\"pickups\":1,\"spring\":1,\"sticky\":1}"
  "name-entry      16 {\"hazards\":1,\"spring\":1,\"sticky\":1,\"name\":\"Квакуша\"}"
  "level5           4 {\"careful\":1,\"hearts\":1}"
  "level5-stork    19 {\"careful\":1,\"hearts\":1,\"storkFrom\":5}"
  "heart            3 {\"careful\":1,\"hearts\":1,\"stopAfterLevel\":3}"
)

if [ "$data_only" = 1 ]; then
  for g in "${games[@]}"; do
    read -r name seed _ <<<"$g"
    echo "recording $name again from $name.sim (seed $seed)"
    "$sim" --seed "$seed" --record "$here/$name.tkr" "$here/$name.sim" >/dev/null
  done
  for g in "${games[@]}"; do "$here/check.sh" "$sim" "$here/${g%% *}.tkr"; done
  exit 0
fi

coverage="{"
for g in "${games[@]}"; do
  read -r name seed plan <<<"$g"
  echo "recording $name (seed $seed)"
  seen=$(python3 "$here/player.py" "$sim" "$seed" "$plan" "$here/$name.tkr" --log "$here/$name.sim")
  "$sim" --replay "$here/$name.tkr" --check | tail -n1 >"$here/$name.expected"
  coverage+="\"$name\":$seen,"
done
printf '%s\n' "${coverage%,}}" | python3 -c 'import json,sys; print(json.dumps(json.load(sys.stdin), ensure_ascii=False, indent=1))' >"$here/coverage.json"
for g in "${games[@]}"; do "$here/check.sh" "$sim" "$here/${g%% *}.tkr"; done
