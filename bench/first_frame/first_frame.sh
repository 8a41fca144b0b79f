#!/usr/bin/env bash
# The time to the first frame of the game beside a bare SDL window's, under one Xvfb:
#
#   bench/first_frame/first_frame.sh BUILD [REPS] [OTHER_BUILD]
#
# REPS times (default 9) each, taking turns so all see the same load on a shared machine:
#   bare  bench_bare_window: an 800 x 600 window that presents one frame, the floor;
#   game  the game from a fresh copy of its folder (no Config.cfg);
#   other the game of OTHER_BUILD (only its game folder is used) the same way, when given.
# Both have tk_first_frame_probe preloaded, which notes the wall clock when the first
# present returns; the time is counted from just before the process is started. Printed:
# each one's median and fastest in ms, and the game's median over the bare window's.
# Then bench_new_game: the first "Новая игра" of a run against a later one (see its notes).
#
# Measured on the 2-core development machine under other builds' load, 11 runs each:
#   load 7-8: game 504.9 ms median (fastest 307.7), bare window 202.1 ms (130.1): 2.50x;
#   load 4:   game 398.6 ms median (fastest 230.1), bare window 156.3 ms (80.0):  2.55x.
# With the archives hashed on a worker, the sounds read and the exit screen's background
# decoded after the first frame, pixel buffers not zeroed first (load 9.3-9.7):
#   game 635.6 ms median (fastest 426.5), bare window 291.8 ms (142.8): 2.18x;
#   game 361.7 ms median (fastest 234.4), bare window 152.0 ms (113.6): 2.38x.
# With the logo's tune loaded and Config.cfg's first write made after the first frame, the
# exit screen's background checked from its header, beside the build before (OTHER_BUILD),
# load 10-13.5:
#   game 1430.5 ms median (fastest 852.2), bare window 756.7 ms (300.5): 1.89x, before 2.49x;
#   game  890.2 ms median (fastest 464.2), bare window 410.9 ms (215.9): 2.17x, before 2.66x.
# The same on a quiet machine (load 0.8-1.1, 2026-12-11 14:33 UTC), 15 runs:
#   game  135.0 ms median (fastest 125.6), bare window 63.8 ms (59.8): 2.12x.
set -euo pipefail
build=$(realpath "$1")
reps=${2:-9}
other=${3:+$(realpath "$3")}
probe="$build/bench/first_frame/libtk_first_frame_probe.so"
bare="$build/bench/first_frame/bench_bare_window"
for f in "$probe" "$bare"; do [ -e "$f" ] || { echo "build $build first ($f is missing)"; exit 1; }; done
source "$(dirname "$0")/../../tests/e2e/xvfb_lib.sh"
start_xvfb 800x600
export SDL_AUDIODRIVER=dummy

# Starts the command in the folder given, waits (10 s at most) for its first frame, ends it;
# prints the milliseconds from the start to the first frame.
first_frame() {  # dir command...
  local dir=$1; shift
  rm -f "$tmp/ff"
  local t0 pid
  t0=$(date +%s%N)
  (cd "$dir" && LD_PRELOAD="$probe" TK_FIRST_FRAME_FILE="$tmp/ff" exec "$@" >"$tmp/run.log" 2>&1) &
  pid=$!
  for _ in $(seq 1000); do [ -s "$tmp/ff" ] && break; sleep 0.01; done
  kill "$pid" 2>/dev/null || true
  for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -9 "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  [ -s "$tmp/ff" ] || { echo "no frame within 10 s: $*" >&2; cat "$tmp/run.log" >&2; exit 1; }
  awk -v t0="$t0" -v t1="$(cat "$tmp/ff")" 'BEGIN { printf "%.1f\n", (t1 - t0) / 1e6 }'
}

for _ in $(seq "$reps"); do
  first_frame "$tmp" "$bare" >>"$tmp/times-bare"
  rm -rf "$tmp/game"; cp -r "$build/game" "$tmp/game"; rm -f "$tmp/game/Config.cfg"
  first_frame "$tmp/game" ./tinokvak >>"$tmp/times-game"
  if [ -n "$other" ]; then
    rm -rf "$tmp/game"; cp -r "$other/game" "$tmp/game"; rm -f "$tmp/game/Config.cfg"
    first_frame "$tmp/game" ./tinokvak >>"$tmp/times-other"
  fi
done
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
echo "machine: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg); $reps runs each, in turns"
b=$(median <"$tmp/times-bare"); g=$(median <"$tmp/times-game")
echo "first frame  bare SDL window: median $b ms, fastest $(sort -n "$tmp/times-bare" | head -1) ms"
echo "first frame  game:            median $g ms, fastest $(sort -n "$tmp/times-game" | head -1) ms"
awk -v b="$b" -v g="$g" 'BEGIN { printf "first frame  game / bare window: %.2fx\n", g / b }'
if [ -n "$other" ]; then
  o=$(median <"$tmp/times-other")
  echo "first frame  other ($other): median $o ms, fastest $(sort -n "$tmp/times-other" | head -1) ms"
  awk -v b="$b" -v o="$o" 'BEGIN { printf "first frame  other / bare window: %.2fx\n", o / b }'
fi
if [ -x "$build/bench/first_frame/bench_new_game" ]; then "$build/bench/first_frame/bench_new_game" "$reps"; fi
