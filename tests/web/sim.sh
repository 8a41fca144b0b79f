#!/usr/bin/env bash
# The browser build's tinokvak-sim under Node against the desktop's, byte for byte:
#   sim.sh replays DESKTOP-SIM REPLAY-DIR -- NODE-COMMAND... SIM.js
#     every kept replay's --replay --check output and exit status, and played with its
#     pictures, the state lines and the last frame (--shot, .ppm);
#   sim.sh frames DESKTOP-SIM SCRIPT -- NODE-COMMAND... SIM.js
#     the screenshot script with each shot taken as the whole frame (.ppm): equal files;
#   sim.sh soak DESKTOP-SIM TICKS SEED... -- NODE-COMMAND... SIM.js
#     a random run of each seed: the same state (and now and then picture) every tick,
#     and the same report but for its timings and heap sizes (each allocator's own).
set -euo pipefail
mode=$1 desktop=$2
shift 2
args=()
while [ "$1" != "--" ]; do args+=("$1"); shift; done
shift
web=("$@")
[ -x "$desktop" ] || { echo "FAIL: no desktop build at $desktop (build it first, or set TK_DESKTOP_BUILD)"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Runs one side into $work/NAME.out, .err and .status.
run() {
  local name=$1
  shift
  local status=0
  (cd "$work" && "$@") >"$work/$name.out" 2>"$work/$name.err" || status=$?
  echo "$status" >"$work/$name.status"
}

same() {
  local what=$1 a=$2 b=$3
  if ! cmp -s "$a" "$b"; then
    echo "FAIL: $what differs between the desktop and the browser build"
    diff "$a" "$b" | head -20 || true
    exit 1
  fi
}

case $mode in
replays)
  n=0
  for game in "${args[0]}"/*.tkr; do
    name=$(basename "$game" .tkr)
    run "$name.desktop" "$desktop" --replay "$game" --check
    run "$name.web" "${web[@]}" --replay "$game" --check
    same "$name: the exit status" "$work/$name.desktop.status" "$work/$name.web.status"
    same "$name: the state lines" "$work/$name.desktop.out" "$work/$name.web.out"
    same "$name: the messages" "$work/$name.desktop.err" "$work/$name.web.err"
    [ "$(cat "$work/$name.web.status")" = 0 ] || { echo "FAIL: $name: --check exited $(cat "$work/$name.web.status")"; exit 1; }
    run "$name.desktop-shown" "$desktop" --replay "$game" --shot "$name.desktop.ppm"
    run "$name.web-shown" "${web[@]}" --replay "$game" --shot "$name.web.ppm"
    same "$name shown: the exit status" "$work/$name.desktop-shown.status" "$work/$name.web-shown.status"
    [ "$(cat "$work/$name.web-shown.status")" = 0 ] || { echo "FAIL: $name: the replay exited $(cat "$work/$name.web-shown.status")"; exit 1; }
    same "$name shown: the state lines" "$work/$name.desktop-shown.out" "$work/$name.web-shown.out"
    same "$name: the last frame" "$work/$name.desktop.ppm" "$work/$name.web.ppm"
    echo "$name: $(tail -n1 "$work/$name.web.out" | python3 -c 'import json,sys; d=json.load(sys.stdin); print(d["scene"], "score", d["score"], "level", d["level"], "t", d["t"])'), the last frame equal"
    n=$((n + 1))
  done
  [ "$n" -gt 0 ] || { echo "FAIL: no replays in ${args[0]}"; exit 1; }
  echo "$n replays check alike"
  ;;
frames)
  # The same script, each "shot FILE [W H]" taking the whole frame as SIDE-N.ppm.
  for side in desktop web; do
    awk -v side="$side" '$1 == "shot" { n++; print "shot " side "-" n ".ppm"; next } { print }' \
      "${args[0]}" >"$work/$side.sim"
  done
  run desktop "$desktop" --seed 4 desktop.sim
  run web "${web[@]}" --seed 4 web.sim
  same "the script's exit status" "$work/desktop.status" "$work/web.status"
  [ "$(cat "$work/web.status")" = 0 ] || { echo "FAIL: the script failed: $(cat "$work/web.err")"; exit 1; }
  same "the script's output" "$work/desktop.out" "$work/web.out"
  n=0
  for f in "$work"/desktop-*.ppm; do
    n=$((n + 1))
    same "frame $n" "$f" "$work/web-$n.ppm"
  done
  [ "$n" -gt 0 ] || { echo "FAIL: the script took no shot"; exit 1; }
  echo "$n frames equal byte for byte"
  ;;
soak)
  ticks=${args[0]}
  for seed in "${args[@]:1}"; do
    # Nothing listens on the discard port: both sides see the server refuse at once.
    run "desktop-$seed" "$desktop" --soak "$ticks" --seed "$seed" --server http://127.0.0.1:9/ \
      --trace "desktop-$seed.trace"
    run "web-$seed" "${web[@]}" --soak "$ticks" --seed "$seed" --server http://127.0.0.1:9/ \
      --trace "web-$seed.trace"
    same "seed $seed: the exit status" "$work/desktop-$seed.status" "$work/web-$seed.status"
    same "seed $seed: the trace" "$work/desktop-$seed.trace" "$work/web-$seed.trace"
    for side in desktop web; do
      python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); [d.pop(k, None) for k in ("seconds", "ticksPerSecond", "heapAtStart", "menuHeap", "peakHeap")]; print(json.dumps(d, sort_keys=True))' \
        "$work/$side-$seed.out" >"$work/$side-$seed.report"
    done
    same "seed $seed: the report" "$work/desktop-$seed.report" "$work/web-$seed.report"
    echo "seed $seed: $(wc -l <"$work/web-$seed.trace") trace lines equal"
  done
  ;;
*)
  echo "usage: sim.sh replays|frames|soak ..." >&2
  exit 2
  ;;
esac
