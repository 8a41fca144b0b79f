#!/usr/bin/env bash
# tinokvak-check answers a replay exactly as tinokvak-sim does: with --check and with
# --verify, the same lines on stdout and stderr and the same exit status.
#   same_check.sh SIM CHECK GAME.tkr
set -uo pipefail
sim=$1 check=$2 game=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# tinokvak-check's hash cache goes with the folder, not into the user's.
export XDG_CACHE_HOME="$tmp/cache"
for mode in --check --verify; do
  "$sim" --replay "$game" "$mode" >"$tmp/sim.out" 2>"$tmp/sim.err"; s=$?
  "$check" --replay "$game" "$mode" >"$tmp/check.out" 2>"$tmp/check.err"; c=$?
  [ "$s" = "$c" ] || { echo "FAIL: $mode: tinokvak-check exited $c, tinokvak-sim $s"; exit 1; }
  for f in out err; do
    if ! cmp -s "$tmp/sim.$f" "$tmp/check.$f"; then
      echo "FAIL: $mode: tinokvak-check's std$f differs from tinokvak-sim's:"
      diff "$tmp/sim.$f" "$tmp/check.$f" | head -n 20
      exit 1
    fi
  done
  echo "$(basename "$game") $mode: status $s, $(wc -l <"$tmp/sim.out") line(s), the same"
done
