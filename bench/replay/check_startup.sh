#!/usr/bin/env bash
# The replay check as the score server runs it, one process per upload, for one build or two
# side by side:
#
#   bench/replay/check_startup.sh AFTER_BUILD [BEFORE_BUILD] [REPS]
#
# Each build, REPS times (default 15), the builds taking turns so both see the same load:
#   floor  the same program refused at once (no game folder): starting the process and
#          linking its libraries, which no check can go below;
#   short  --check of the shortest kept replay, where the start-up dominates;
#   long   --check of the longest kept replay.
# Printed: the median wall time of each in ms, the check's start-up (short less its own ticks
# at the measured rate), the tick rate from long against short (ticks counted as game time
# over the 30 ms frame interval), and the checks a second one core gives, from the median
# CPU time (user + system) of a check of the longest kept replay and of the shortest.
set -euo pipefail
src=$(cd "$(dirname "$0")/../.." && pwd)
after=$(realpath "$1")
before=${2:+$(realpath "$2")}
reps=${3:-15}
builds=("$after"); [ -n "$before" ] && builds=("$before" "$after")
name() { [ "$1" = "$after" ] && echo after || echo before; }
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT

# The shortest and the longest kept replay by their final game time.
game_ms() { "$after/tinokvak-sim" --dir "$after/game" --replay "$1" --check 2>/dev/null | tail -n1 |
            python3 -c 'import json, sys; print(json.load(sys.stdin)["t"])'; }
short="" long="" tshort=0 tlong=0
for f in "$src"/tests/replays/*.tkr; do
  t=$(game_ms "$f")
  if [ -z "$short" ] || [ "$t" -lt "$tshort" ]; then short=$f tshort=$t; fi
  if [ -z "$long" ] || [ "$t" -gt "$tlong" ]; then long=$f tlong=$t; fi
done

run() {  # label build args... -> appends "wall_ms cpu_ms" to $tmp/label-build
  local label=$1 b=$2; shift 2
  /usr/bin/time -f "%e %U %S" -o "$tmp/time" "$b/tinokvak-sim" "$@" >/dev/null 2>&1 || true
  awk '{ printf "%.1f %.1f\n", $1 * 1000, ($2 + $3) * 1000 }' "$tmp/time" >>"$tmp/$label-$(name "$b")"
}
for _ in $(seq "$reps"); do
  for b in "${builds[@]}"; do
    run floor "$b" --dir "$tmp/none" --replay "$short" --check
    run short "$b" --dir "$b/game" --replay "$short" --check
    run long "$b" --dir "$b/game" --replay "$long" --check
  done
done
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
echo "machine: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "short: $(basename "$short") ($((tshort / 30)) ticks), long: $(basename "$long") ($((tlong / 30)) ticks)"
for b in "${builds[@]}"; do
  n=$(name "$b")
  f=$(cut -d' ' -f1 "$tmp/floor-$n" | median)
  s=$(cut -d' ' -f1 "$tmp/short-$n" | median)
  l=$(cut -d' ' -f1 "$tmp/long-$n" | median)
  sc=$(cut -d' ' -f2 "$tmp/short-$n" | median)
  lc=$(cut -d' ' -f2 "$tmp/long-$n" | median)
  awk -v n="$n" -v f="$f" -v s="$s" -v l="$l" -v sc="$sc" -v lc="$lc" \
      -v ts="$((tshort / 30))" -v tl="$((tlong / 30))" 'BEGIN {
    rate = (l > s) ? (tl - ts) / ((l - s) / 1000) : 0
    start = (rate > 0) ? s - ts / rate * 1000 : s
    printf "%-6s floor %.0f ms | short %.0f ms, long %.0f ms | start-up %.0f ms (%.1f x floor) | %.0f ticks/s | checks/s per core: %.1f (short) %.1f (long)\n",
           n, f, s, l, start, start / f, rate, (sc > 0) ? 1000 / sc : 0, (lc > 0) ? 1000 / lc : 0
  }'
done
