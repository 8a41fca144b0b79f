#!/usr/bin/env bash
# The replay check as the score server runs it, one process per upload, for one build or two
# side by side:
#
#   bench/replay/check_startup.sh AFTER_BUILD [BEFORE_BUILD] [REPS]
#
# The checker is the build's tinokvak-check (what the score server runs), or tinokvak-sim in a
# build from before it. Each build, REPS times (default 15), the builds taking turns so both
# see the same load:
#   true   /bin/true: starting any process at all, the floor of every check;
#   floor  the checker refused at once (no game folder): starting it and linking its
#          libraries;
#   short  --check of the shortest kept replay, where the start-up dominates;
#   long   --check of the longest kept replay.
# Printed: the median wall time of each in ms (and CPU time, user + system), the check's start-up (short less its own ticks
# at the measured rate), the tick rate from long against short (ticks counted as game time
# over the 30 ms frame interval), and the checks a second one core gives, from the median
# CPU time (user + system) of a check of the longest kept replay and of the shortest; then
# the same start-up and tick rate from the CPU times alone, which a loaded machine inflates
# far less than the wall times.
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

checker() { [ -x "$1/tinokvak-check" ] && echo "$1/tinokvak-check" || echo "$1/tinokvak-sim"; }
run() {  # label build args... -> appends "wall_ms cpu_ms" to $tmp/label-build
  local label=$1 b=$2; shift 2
  local prog; prog=$(checker "$b")
  [ "$label" = true ] && prog=/bin/true
  # The child's own times, to the microsecond (time(1) gives hundredths of a second).
  # Each build keeps its own hash cache, as a server would: one shared by two game folders
  # would be of the other folder's archives every other run, and every check would hash.
  XDG_CACHE_HOME="$tmp/cache-$(name "$b")" python3 -c 'import os, subprocess, sys, time
t0 = time.perf_counter()
p = subprocess.Popen(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
_, _, ru = os.wait4(p.pid, 0)
wall = time.perf_counter() - t0
print(f"{wall * 1000:.2f} {(ru.ru_utime + ru.ru_stime) * 1000:.2f}")' "$prog" "$@" >>"$tmp/$label-$(name "$b")"
}
for _ in $(seq "$reps"); do
  for b in "${builds[@]}"; do
    run true "$b"
    run floor "$b" --dir "$tmp/none" --replay "$short" --check
    run short "$b" --dir "$b/game" --replay "$short" --check
    run long "$b" --dir "$b/game" --replay "$long" --check
  done
done
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
echo "machine: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
for b in "${builds[@]}"; do echo "$(name "$b"): $(checker "$b")"; done
echo "short: $(basename "$short") ($((tshort / 30)) ticks), long: $(basename "$long") ($((tlong / 30)) ticks)"
for b in "${builds[@]}"; do
  n=$(name "$b")
  t=$(cut -d' ' -f1 "$tmp/true-$n" | median)
  tc=$(cut -d' ' -f2 "$tmp/true-$n" | median)
  f=$(cut -d' ' -f1 "$tmp/floor-$n" | median)
  fc=$(cut -d' ' -f2 "$tmp/floor-$n" | median)
  s=$(cut -d' ' -f1 "$tmp/short-$n" | median)
  l=$(cut -d' ' -f1 "$tmp/long-$n" | median)
  sc=$(cut -d' ' -f2 "$tmp/short-$n" | median)
  lc=$(cut -d' ' -f2 "$tmp/long-$n" | median)
  awk -v n="$n" -v t="$t" -v tc="$tc" -v fc="$fc" -v f="$f" -v s="$s" -v l="$l" -v sc="$sc" -v lc="$lc" \
      -v ts="$((tshort / 30))" -v tl="$((tlong / 30))" 'BEGIN {
    rate = (l > s) ? (tl - ts) / ((l - s) / 1000) : 0
    start = (rate > 0) ? s - ts / rate * 1000 : s
    crate = (lc > sc) ? (tl - ts) / ((lc - sc) / 1000) : 0
    cstart = (crate > 0) ? sc - ts / crate * 1000 : sc
    printf "%-6s /bin/true %.0f ms (CPU %.0f) | refused %.0f ms (CPU %.0f) | short %.0f ms (CPU %.0f), long %.0f ms (CPU %.0f) | start-up %.0f ms | %.0f ticks/s | checks/s per core: %.1f (short) %.1f (long), /bin/true %.0f\n",
           n, t, tc, f, fc, s, sc, l, lc, start, rate, (sc > 0) ? 1000 / sc : 0, (lc > 0) ? 1000 / lc : 0, (tc > 0) ? 1000 / tc : 0
    printf "%-6s CPU: start-up %.1f ms (%.1f above /bin/true), %.0f ticks/s\n", n, cstart, cstart - tc, crate
  }'
done
