#!/usr/bin/env bash
# A game folder whose tunes are damaged: the check names no tune where the game plays none,
# in every state line, and says on stderr what the game says of them.
#   damaged_tune.sh SIM CHECK GAMEDIR GAME.tkr
set -euo pipefail
sim=$1 check=$2 game=$3 replay=$4
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/game"
cp -r "$game/Data" "$game/Music" "$game/wdata" "$tmp/game/"
for t in "$tmp"/game/Music/*.xm; do head -c 100 "$t" >"$t.cut" && mv "$t.cut" "$t"; done
export XDG_CACHE_HOME=$tmp/cache
music() {  # the music field of every state line
  python3 -c 'import json, sys
for line in sys.stdin:
    if line.startswith("{"): print(json.dumps(json.loads(line).get("music")))'
}
"$sim" --dir "$tmp/game" --replay "$replay" >"$tmp/played.out" 2>"$tmp/played.err"
"$sim" --dir "$game" --replay "$replay" --check >"$tmp/intact.out" 2>/dev/null
for c in "$sim" "$check"; do
  "$c" --dir "$tmp/game" --replay "$replay" --check >"$tmp/checked.out" 2>"$tmp/checked.err"
  music <"$tmp/played.out" >"$tmp/played.music"
  music <"$tmp/checked.out" >"$tmp/checked.music"
  if ! cmp -s "$tmp/played.music" "$tmp/checked.music"; then
    echo "FAIL: $(basename "$c") --check names other tunes than the game played:"
    diff "$tmp/played.music" "$tmp/checked.music" | head -n 10
    exit 1
  fi
  if ! cmp -s "$tmp/played.err" "$tmp/checked.err"; then
    echo "FAIL: $(basename "$c") --check says other things on stderr than the game:"
    diff "$tmp/played.err" "$tmp/checked.err" | head -n 10
    exit 1
  fi
done
# The damage shows: the intact data names a tune where the damaged one names none.
music <"$tmp/intact.out" >"$tmp/intact.music"
grep -qv '^null$' "$tmp/intact.music" || { echo "FAIL: no tune named even with intact data"; exit 1; }
if grep -qv '^null$' "$tmp/played.music"; then echo "FAIL: a damaged tune was played"; exit 1; fi
grep -q "the module is damaged" "$tmp/played.err" || { echo "FAIL: the damage was not said"; exit 1; }
echo "$(basename "$replay"): $(wc -l <"$tmp/played.music") state line(s) without a tune, as played"
