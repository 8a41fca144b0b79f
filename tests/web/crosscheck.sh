#!/usr/bin/env bash
# The desktop's tinokvak-crosscheck and the browser build's (under Node) must print the
# same lines: the same sines and cosines at every angle of the game, the same draws.
#   crosscheck.sh DESKTOP-PROGRAM NODE-COMMAND... PROGRAM.js
set -euo pipefail
desktop=$1
shift
[ -x "$desktop" ] || { echo "FAIL: no desktop build at $desktop (build it first, or set TK_DESKTOP_BUILD)"; exit 1; }
want=$("$desktop")
got=$("$@")
if [ "$got" != "$want" ]; then
  echo "FAIL: the WebAssembly build computes otherwise than the desktop's"
  diff <(printf '%s\n' "$want") <(printf '%s\n' "$got") || true
  exit 1
fi
printf '%s\n' "$got" | wc -l | xargs echo "equal lines:"
