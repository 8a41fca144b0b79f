#!/usr/bin/env bash
# The figures of the real game under Xvfb (no GPU), for one build or two side by side:
#
#   bench/measure.sh AFTER_BUILD [BEFORE_BUILD] [REPS]
#
# For each build, REPS times (default 3), the builds taking turns so both see the same load
# on a shared machine:
#   menu  the main menu idle in an 800 x 600 window: CPU share of one core over 20 s (from
#         /proc/PID/stat), resident memory (VmRSS), frame ticks and presents a second; then
#         its floor, the same game with the window unmapped (minimised: music and events
#         only), CPU share over 20 s;
#   4k    the pond in full screen at 3840 x 2160: frame ticks and presents a second (the
#         game advances a fixed step per tick, 33 a second at full speed) and CPU share;
#   heap  tinokvak-sim's peak heap over a short soak, from valgrind's massif, beside the
#         archives' size;
#   load  the cold and warm archive load against its floor (bench_load), when built.
# Ticks and presents are counted by bench/measure/frame_counter.cpp, preloaded into the game;
# the AFTER_BUILD's counter is used for both. A game calls its tick probe once per frame tick;
# a build from before the probe can only be counted by a platform call its timers also make,
# so its ticks/s runs high: those lines end in "(ticks estimated)".
# The menu is also measured with the AFTER_BUILD composing every frame (TINOKVAK_COMPOSE=every),
# as builds before the unchanged-frame shortcut did.
# Set TINOKVAK_PRESENT=gpu or =surface in the environment to force a presentation path, and
# MEASURE to the parts to run (default "menu 4k heap load"), e.g. MEASURE="menu heap".
#
# MEASURE="menu heap", two runs of 2 repetitions, load 4-9 on 2 cores: the idle menu 1.24,
# 1.35, 1.20, 1.23 % of a core against 1.25, 1.00, 0.94, 1.24 % minimised (1.13x on average);
# composing every frame 2.09 % against 1.15 % (1.84x); peak heap 15.5 MB beside 10.9 MB of
# archives; resident 48.4 MB.
set -euo pipefail
after=$(realpath "$1")
before=${2:+$(realpath "$2")}
reps=${3:-3}
counter="$after/bench/measure/libtk_frame_counter.so"
[ -f "$counter" ] || { echo "build $after first (libtk_frame_counter.so is missing)"; exit 1; }
hz=$(getconf CLK_TCK)
# The scratch folder, its clean-up and start_xvfb WxH come from the Xvfb tests' helpers.
source "$(dirname "$0")/../tests/e2e/xvfb_lib.sh"
stop_all() {
  [ -n "$gpid" ] && { kill "$gpid" 2>/dev/null; sleep 0.5; kill -9 "$gpid" 2>/dev/null || true; wait "$gpid" 2>/dev/null || true; }
  [ -n "$xpid" ] && { kill "$xpid" 2>/dev/null; wait "$xpid" 2>/dev/null || true; }
  gpid=""; xpid=""
}
start_game() {  # build
  rm -rf "$tmp/game" "$tmp/count"; cp -r "$1/game" "$tmp/game"; rm -f "$tmp/game/Config.cfg"
  (cd "$tmp/game" && TINOKVAK_COMPOSE="${compose:-}" LD_PRELOAD="$counter" TK_FRAME_COUNT_FILE="$tmp/count" exec ./tinokvak >"$tmp/game.log" 2>&1) &
  gpid=$!
  win=""
  for _ in $(seq 100); do
    win=$(xdotool search --pid "$gpid" 2>/dev/null | head -n1 || true)
    [ -n "$win" ] && break
    sleep 0.1
  done
}
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$gpid/stat"; }
counts() { cat "$tmp/count" 2>/dev/null || echo "0 0 none"; }
# Samples CPU and the frame counts over $1 seconds: "cpu% ticks/s presents/s".
sample() {
  local c0 c1 t0 p0 t1 p1 s0 s1 src
  c0=$(cpu_ticks); read -r t0 p0 src < <(counts); s0=$(date +%s.%N)
  sleep "$1"
  c1=$(cpu_ticks); read -r t1 p1 src < <(counts); s1=$(date +%s.%N)
  [ "$src" = probe ] || estimated=" (ticks estimated)"
  awk -v c="$((c1 - c0))" -v hz="$hz" -v t="$((t1 - t0))" -v p="$((p1 - p0))" -v s0="$s0" -v s1="$s1" \
    'BEGIN { d = s1 - s0; printf "%.2f %.1f %.1f", 100 * c / hz / d, t / d, p / d }'
}

menu() {  # build -> "cpu% rssMB ticks/s presents/s minimised-cpu%"
  start_xvfb 800x600
  start_game "$1"
  sleep 8  # the logo, then the menu settles
  xdotool mousemove --window "$win" 5 5 2>/dev/null || true
  sleep 1
  estimated=""
  sample 20 >"$tmp/sample"; read -r cpu tps pps <"$tmp/sample"
  rss=$(awk '/VmRSS/ { printf "%.1f", $2 / 1024 }' "/proc/$gpid/status")
  # No window manager: unmapping is what minimising does to the window.
  xdotool windowunmap "$win" 2>/dev/null || true
  sleep 1
  sample 20 >"$tmp/sample"; read -r mincpu _ _ <"$tmp/sample"
  stop_all
  echo "$cpu $rss $tps $pps $mincpu$estimated"
}

fourk() {  # build -> "ticks/s presents/s cpu%"
  start_xvfb 3840x2160
  start_game "$1"
  sleep 8
  xdotool windowfocus --sync "$win" 2>/dev/null || true
  xdotool key --window "$win" alt+Return; sleep 1.5
  # Without a window manager the X server leaves a full-screen window at its size: give it
  # the screen's, as a desktop would.
  xdotool windowmove "$win" 0 0; xdotool windowsize "$win" 3840 2160; sleep 1.5
  xdotool key --window "$win" Return; sleep 3  # a game: the pond, water moving
  estimated=""
  sample 10 >"$tmp/sample"; read -r cpu tps pps <"$tmp/sample"
  import -window root "$tmp/4k.png" 2>/dev/null && cp "$tmp/4k.png" "${SHOTS:-$tmp}/4k-$(basename "$(dirname "$1")")-$(basename "$1").png" 2>/dev/null || true
  stop_all
  echo "$tps $pps $cpu$estimated"
}

heap() {  # build -> peak heap in MB
  valgrind --tool=massif --massif-out-file="$tmp/massif" "$1/tinokvak-sim" --soak 300 --seed 9 \
    >/dev/null 2>&1 || true
  grep mem_heap_B "$tmp/massif" | cut -d= -f2 | sort -n | tail -1 | awk '{ printf "%.1f", $1 / 1048576 }'
}

# The heap's reference, taken in the same run: the two archives' bytes, which the game
# reads whole and keeps until their pictures and sounds are decoded.
heap_floor() {  # build -> "archives N MB"
  local g="$1/game/Data"
  local arch
  arch=$(stat -c %s "$g/Graphic.dxg" "$g/Music.dxw" | awk '{ s += $1 } END { printf "%.1f", s / 1048576 }')
  echo "archives ${arch} MB"
}

load() {  # build -> bench_load's table
  local b="$1/bench/load/bench_load"
  [ -x "$b" ] || { echo "(no bench_load in $1)"; return; }
  "$b" "$1/game/Data/Graphic.dxg" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
    2>/dev/null | grep -E "_(median|stddev) " || true
}

builds=("$after"); [ -n "$before" ] && builds=("$before" "$after")
name() { [ "$1" = "$after" ] && echo after || echo before; }
echo "machine: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg); present path: ${TINOKVAK_PRESENT:-auto}"
parts=" ${MEASURE:-menu 4k heap load} "
wanted() { [[ "$parts" == *" $1 "* ]]; }
for r in $(seq "$reps"); do
  if wanted menu; then
    for b in "${builds[@]}"; do echo "menu  $(name "$b") rep $r: cpu% rssMB ticks/s presents/s minimised-cpu% = $(menu "$b")"; done
    echo "menu  after, composing every frame, rep $r: cpu% rssMB ticks/s presents/s minimised-cpu% = $(compose=every menu "$after")"
  fi
  if wanted 4k; then
    for b in "${builds[@]}"; do echo "4k    $(name "$b") rep $r: ticks/s presents/s cpu% = $(fourk "$b")"; done
  fi
done
if wanted heap; then
  for b in "${builds[@]}"; do echo "heap  $(name "$b"): peak MB = $(heap "$b"), its floor: $(heap_floor "$b")"; done
fi
if wanted load; then
  for b in "${builds[@]}"; do echo "load  $(name "$b"):"; load "$b"; done
fi
