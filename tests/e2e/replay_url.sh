#!/usr/bin/env bash
# tinokvak --replay URL: a replay fetched from a local HTTP server. What cannot be watched is
# said on stderr before any window opens: no such replay (404), a reply that is no replay, a
# reply larger than a replay can be, nothing listening. A kept replay is watched in the
# window under Xvfb: the caption says so, and Esc leaves with the replay's own result.
set -Eeuo pipefail
build=$1
source "$(dirname "$0")/xvfb_lib.sh"
fail() {
  echo "FAIL: $*"
  for l in http watch; do [ -f "$tmp/$l.log" ] && { echo "-- $l.log"; cat "$tmp/$l.log"; }; done
  exit 1
}
trap 'fail "line $LINENO: $BASH_COMMAND"' ERR
spid=""
stop_server() { [ -n "$spid" ] && kill "$spid" 2>/dev/null || true; cleanup; }
trap stop_server EXIT

cp -r "$build/game" "$tmp/game"
rm -rf "$tmp/game/Config.cfg" "$tmp/game/Replays"
mkdir -p "$tmp/www/replays"
kept=$(dirname "$0")/../replays/pickups.tkr
cp "$kept" "$tmp/www/replays/7"
echo "<html><body>not a replay</body></html>" >"$tmp/www/page.html"
head -c $(( (1 << 20) + 4096 )) /dev/zero >"$tmp/www/huge.tkr"
# The server says where it listens once it does.
python3 -u - "$tmp/www" >"$tmp/http.port" 2>"$tmp/http.log" <<'PY' &
import functools, http.server, sys
h = functools.partial(http.server.SimpleHTTPRequestHandler, directory=sys.argv[1])
s = http.server.ThreadingHTTPServer(("127.0.0.1", 0), h)
print(s.server_address[1], flush=True)
s.serve_forever()
PY
spid=$!
for _ in $(seq 100); do [ -s "$tmp/http.port" ] && break; sleep 0.1; done
port=$(cat "$tmp/http.port")
[ -n "$port" ] || fail "the HTTP server did not start"
base="http://127.0.0.1:$port"
# A port nothing listens on: one the kernel handed out and took back.
closed=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')

# Address, exit status, what stderr must say. No display is set: none may be needed.
while IFS='|' read -r url want says; do
  got=0
  (cd "$tmp/game" && DISPLAY= exec ./tinokvak --replay "$url") >"$tmp/out" 2>"$tmp/err" || got=$?
  grep -qF "$says" "$tmp/err" || fail "$url: stderr does not say \"$says\": $(cat "$tmp/err")"
  [ "$got" = "$want" ] || fail "$url: exit status $got, not $want ($(cat "$tmp/err"))"
  echo "$url: $got, $(head -n1 "$tmp/err")"
done <<CASES
$base/replays/8|1|no such replay on the server (404 Not Found)
$base/page.html|2|not a replay
$base/huge.tkr|1|larger than
http://127.0.0.1:$closed/replays/7|1|cannot download the replay
CASES

start_xvfb || exit 1
(cd "$tmp/game" && exec ./tinokvak --replay "$base/replays/7" >"$tmp/watch.log" 2>&1) &
gpid=$!
find_game_window "$gpid"
for _ in $(seq 100); do
  name=$(xdotool getwindowname "$win" 2>/dev/null || true)
  [[ "$name" == *"повтор"* ]] && break
  sleep 0.1
done
[[ "$name" == *"повтор"* ]] || fail "the caption does not say it is a replay: $name"
xdotool key Escape
for _ in $(seq 300); do kill -0 "$gpid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$gpid" 2>/dev/null && fail "Esc did not leave the replay"
wait "$gpid" || fail "the replay ended with status $?"
gpid=""
trailer=$("$build/tinokvak-sim" --replay "$kept" --check | tail -n1 | python3 -c 'import json,sys; j=json.load(sys.stdin); print("score %d, level %d, lives %d" % (j["score"], j["level"], j["lives"]))')
grep -qF "(recorded: $trailer)" "$tmp/watch.log" || fail "not the kept replay's result ($trailer): $(cat "$tmp/watch.log")"
grep -q "GET /replays/7 " "$tmp/http.log" || fail "the server saw no request for the replay"
echo "watched $base/replays/7 in the window: $(tail -n1 "$tmp/watch.log")"
echo "PASS"
