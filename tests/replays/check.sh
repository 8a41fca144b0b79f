#!/usr/bin/env bash
# One recorded game: `tinokvak-sim --replay --check` must accept it (the result in its
# trailer) and its final state line must equal the expected one kept beside it.
#   check.sh SIM GAME.tkr
set -euo pipefail
sim=$1 game=$2
expected="${game%.tkr}.expected"
[ -f "$expected" ] || { echo "FAIL: no $expected (tests/replays/record.sh writes it)"; exit 1; }
status=0
out=$("$sim" --replay "$game" --check 2>"${TMPDIR:-/tmp}/replay-check.$$") || status=$?
err=$(cat "${TMPDIR:-/tmp}/replay-check.$$"); rm -f "${TMPDIR:-/tmp}/replay-check.$$"
[ "$status" = 0 ] || { echo "FAIL: --check exited $status: $err"; exit 1; }
last=$(printf '%s\n' "$out" | tail -n1)
if [ "$last" != "$(cat "$expected")" ]; then
  echo "FAIL: $(basename "$game") ends in another state than expected"
  python3 - "$last" "$(cat "$expected")" <<'PY'
import json, sys
got, want = json.loads(sys.argv[1]), json.loads(sys.argv[2])
for k in sorted(set(got) | set(want)):
    if got.get(k) != want.get(k):
        print(f"  {k}: {json.dumps(got.get(k), ensure_ascii=False)} (expected {json.dumps(want.get(k), ensure_ascii=False)})")
PY
  exit 1
fi
echo "$(basename "$game"): $(printf '%s' "$last" | python3 -c 'import json,sys; d=json.load(sys.stdin); print(d["scene"], "score", d["score"], "level", d["level"], "lives", d["lives"], "t", d["t"])')"
