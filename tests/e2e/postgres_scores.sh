#!/usr/bin/env bash
# The score server on PostgreSQL: a throw-away cluster in a temporary folder (run as an
# unprivileged user when we are root, reached only through its socket there), the server
# tests again on it, then two servers sharing the database, where sixteen submissions at
# once with one token must store exactly one row, and a check left by a server killed -9
# is done by the other, and a frozen database connection holds up nothing but its own requests.
#   postgres_scores.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
pgbin=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -1)
tmp=$(mktemp -d)
as_owner=()
if [ "$(id -u)" -eq 0 ]; then
  chown nobody:nogroup "$tmp"
  as_owner=(runuser -u nobody --)
fi
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; wait "$p" 2>/dev/null || true; done
  "${as_owner[@]}" "$pgbin/pg_ctl" -D "$tmp/data" -m immediate stop >/dev/null 2>&1 || true
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"${as_owner[@]}" "$pgbin/initdb" -D "$tmp/data" -A trust -U tinokvak --no-sync >/dev/null
"${as_owner[@]}" "$pgbin/pg_ctl" -D "$tmp/data" -l "$tmp/pg.log" -w \
  -o "-k $tmp -c listen_addresses= -c fsync=off" start >/dev/null
db="postgresql:///postgres?host=$tmp&user=tinokvak"

# The same server tests as on SQLite (the restart test is about the SQLite file), and the
# game's submission answered by the server's request handling.
TK_TEST_SCORE_DB="$db" "$build/server/tests/tests_server" \
  --gtest_filter='ScoreServer.*-ScoreServer.KeepsItsResultsAcrossRestartsAndBoundsItsTokens' \
  --gtest_brief=1
TK_TEST_SCORE_DB="$db" "$build/tests/tests_online" --gtest_filter='SubmitToServer.*' --gtest_brief=1

start_server() {
  "$build/tinokvak-scores" --port 0 --db "$db" > "$tmp/server$1.out" &
  pids+=($!)
}
url_of() {
  for _ in $(seq 50); do grep -q listening "$tmp/server$1.out" 2>/dev/null && break; sleep 0.1; done
  sed -n 's/^listening on //p' "$tmp/server$1.out"
}
start_server a
start_server b
a=$(url_of a)
b=$(url_of b)
[ -n "$a" ] && [ -n "$b" ] || fail "the servers did not start"

python3 - "$a" "$b" <<'PY'
import sys, threading, urllib.request, urllib.error
alphabet = "MNBVCXZLKJHGFDSAPYTREWQU98765432"
def encode(b):
    bits = "".join(f"{x:08b}" for x in b)
    bits = "0" * ((5 - len(bits) % 5) % 5) + bits
    return "".join(alphabet[int(bits[i:i+5], 2)] for i in range(0, len(bits), 5))
a, b = sys.argv[1], sys.argv[2]
token = urllib.request.urlopen(a + "/cgi/version.pl?version&prg=Pondlark").read().decode().split("|")[4]
p = f"type=0|name=Duo|score=777|key=T|p={token}|add=|z=".encode()
p += b"0" * ((5 - len(p) % 5) % 5)
query = "/cgi/version.pl?hs&prg=Pondlark&inf=" + encode(p)
start = threading.Barrier(16)
statuses = []
def submit(i):
    start.wait()
    try:
        statuses.append(urllib.request.urlopen((a, b)[i % 2] + query).status)
    except urllib.error.HTTPError as e:
        statuses.append(e.code)
threads = [threading.Thread(target=submit, args=(i,)) for i in range(16)]
for t in threads: t.start()
for t in threads: t.join()
print("statuses:", sorted(statuses))
assert sorted(statuses) == [200] + [403] * 15, statuses
# A token from the second server is taken by the first.
token = urllib.request.urlopen(b + "/cgi/version.pl?version&prg=Pondlark").read().decode().split("|")[4]
p = f"type=0|name=Cross|score=5|key=T|p={token}|add=|z=".encode()
p += b"0" * ((5 - len(p) % 5) % 5)
assert urllib.request.urlopen(a + "/cgi/version.pl?hs&prg=Pondlark&inf=" + encode(p)).status == 200
PY
rows=$(psql "$db" -Atc "SELECT count(*) FROM results WHERE name = 'Duo'")
[ "$rows" = 1 ] || fail "$rows rows from one token"
page=$(curl -s "$b/cgi/version.pl?prg=Pondlark&type=0&show")
grep -q '<td>Duo</td><td class="score">777</td>' <<<"$page" || fail "the other server does not list the row"
grep -q '<td>Cross</td>' <<<"$page" || fail "a token from one server was not taken by the other"
echo "two servers, one database: one row from sixteen submissions with one token"

# The check queue lives in the database: a server killed (-9) in the middle of a check
# takes its checker with it, and the other server does the check once the dead one's
# lease has run out. The dead server's checker stands in for a slow one.
cat >"$tmp/slow-checker" <<SH
#!/bin/sh
echo \$\$ >"$tmp/slow.pid"
exec sleep 120
SH
chmod +x "$tmp/slow-checker"
"$build/tinokvak-scores" --port 0 --db "$db" --checker "$tmp/slow-checker" --game-dir "$build/game" \
  --check-seconds 2 > "$tmp/serverc.out" &
doomed=$!
pids+=($doomed)
"$build/tinokvak-scores" --port 0 --db "$db" --checker "$build/tinokvak-sim" --game-dir "$build/game" \
  > "$tmp/serverd.out" 2>/dev/null &
pids+=($!)
c=$(url_of c)
d=$(url_of d)
[ -n "$c" ] && [ -n "$d" ] || fail "the checking servers did not start"
replay="$(dirname "$0")/../replays/name-entry.tkr"
python3 - "$c" "$replay" <<'PY'
import sys, urllib.request
alphabet = "MNBVCXZLKJHGFDSAPYTREWQU98765432"
def encode(b):
    bits = "".join(f"{x:08b}" for x in b)
    bits = "0" * ((5 - len(bits) % 5) % 5) + bits
    return "".join(alphabet[int(bits[i:i+5], 2)] for i in range(0, len(bits), 5))
c, replay = sys.argv[1], open(sys.argv[2], "rb").read()
token = urllib.request.urlopen(c + "/cgi/version.pl?version&prg=Pondlark").read().decode().split("|")[4]
p = "type=0|name=Квакуша|score=200|key=T|p={}|add=|z=".format(token).encode("cp1251")
p += b"0" * ((5 - len(p) % 5) % 5)
assert urllib.request.urlopen(c + "/cgi/version.pl?hs&prg=Pondlark&inf=" + encode(p)).status == 200
req = urllib.request.Request(c + "/cgi/replay.pl?prg=Pondlark&p=" + token, data=replay, method="POST")
assert urllib.request.urlopen(req).status == 202
PY
for _ in $(seq 300); do [ -s "$tmp/slow.pid" ] && break; sleep 0.1; done
[ -s "$tmp/slow.pid" ] || fail "the doomed server did not start its check"
slow=$(cat "$tmp/slow.pid")
kill -9 "$doomed"
wait "$doomed" 2>/dev/null || true
for _ in $(seq 100); do kill -0 "$slow" 2>/dev/null || break; sleep 0.1; done
! kill -0 "$slow" 2>/dev/null || fail "the dead server's check runs on"
verified=""
for _ in $(seq 600); do
  verified=$(psql "$db" -Atc "SELECT count(*) FROM results WHERE name = 'Квакуша' AND verified")
  [ "$verified" = 1 ] && break
  sleep 0.1
done
[ "$verified" = 1 ] || fail "the check the dead server left was never done"
[ "$(psql "$db" -Atc "SELECT count(*) FROM checks")" = 0 ] || fail "a finished check stays queued"
echo "a check left by a server killed -9 is done by the other, and its checker died with it"
# The verified game's replay is in the database: every server of it serves the file as it
# was sent, its summary, and the table's link to watch it.
id=$(psql "$db" -Atc "SELECT id FROM results WHERE name = 'Квакуша' AND verified")
for s in "$a" "$b"; do
  curl -fsS "$s/replays/$id" -o "$tmp/served.tkr" || fail "$s does not serve the replay of result $id"
  cmp -s "$tmp/served.tkr" "$replay" || fail "$s serves other bytes as the replay of result $id"
  curl -fsS "$s/replays/$id.json" | grep -qF "{\"id\":$id,\"name\":\"Квакуша\",\"score\":200," ||
    fail "$s tells another summary of result $id"
  curl -fsS "$s/cgi/version.pl?prg=Pondlark&type=0&show" | grep -qF "href=\"/play/?watch=$id\"" ||
    fail "the table of $s does not link the replay of result $id"
done
echo "every server of the database serves the verified replay, its summary and its link"

# A frozen database connection holds up the requests on it and nothing else: the server
# holds a few connections, so its other database requests are answered meanwhile, as are
# its own pages and the other servers; the request on the frozen one fails within the
# server's bound instead of hanging, and once the backend wakes the server connects anew.
"$build/tinokvak-scores" --port 0 --db "$db&application_name=frozen" > "$tmp/servere.out" &
pids+=($!)
e=$(url_of e)
[ -n "$e" ] || fail "the server to freeze did not start"
backends=$(psql "$db" -Atc "SELECT count(*) FROM pg_stat_activity WHERE application_name = 'frozen'")
[ "$backends" -gt 1 ] || fail "the server holds $backends database connection(s)"
# The connection idle longest takes the next request: the first made takes the first.
backend=$(psql "$db" -Atc "SELECT pid FROM pg_stat_activity WHERE application_name = 'frozen'
  ORDER BY backend_start, pid LIMIT 1")
kill -STOP "$backend"
thawed=0
thaw() { [ "$thawed" = 1 ] || kill -CONT "$backend" 2>/dev/null || true; thawed=1; }
trap 'thaw; cleanup' EXIT
token_request() {
  curl -s -o /dev/null -w '%{http_code}' --max-time 60 "$e/cgi/version.pl?version&prg=Pondlark" \
    > "$tmp/token$1.status" || true
}
# Two token requests at once: one lands on the frozen connection and waits for it (the
# server's 5 s), the other is answered on another connection meanwhile.
token_request 1 &
one=$!
token_request 2 &
two=$!
for _ in $(seq 600); do kill -0 "$one" 2>/dev/null && kill -0 "$two" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$one" 2>/dev/null; then stuck=$one first=2 last=1; else stuck=$two first=1 last=2; fi
kill -0 "$stuck" 2>/dev/null || fail "both token requests ended: neither waited for the frozen connection"
first_status=$(cat "$tmp/token$first.status")
[ "$first_status" = 200 ] || fail "a token request beside the frozen connection answered $first_status"
more=()
for i in 3 4 5; do
  more+=("$(curl -s -o /dev/null -w '%{http_code}' --max-time 60 "$e/cgi/version.pl?version&prg=Pondlark" || true)")
done
css_status=$(curl -s -o /dev/null -w '%{http_code}' --max-time 60 "$e/style.css" || true)
other_status=$(curl -s -o /dev/null -w '%{http_code}' --max-time 60 "$a/cgi/version.pl?version&prg=Pondlark" || true)
kill -0 "$stuck" 2>/dev/null || fail "the request to the frozen connection did not wait for it"
wait "$stuck" || true
token_status=$(cat "$tmp/token$last.status")
thaw
[ "$token_status" = 500 ] || fail "a request to the frozen connection answered $token_status"
[ "${more[*]}" = "200 200 200" ] || fail "the server's other connections did not serve (${more[*]})"
[ "$css_status" = 200 ] || fail "the site was not served while the database was frozen ($css_status)"
[ "$other_status" = 200 ] || fail "another server stopped with the frozen connection ($other_status)"
after=()
for i in 1 2 3 4 5; do
  after+=("$(curl -s --max-time 60 "$e/cgi/version.pl?version&prg=Pondlark" | cut -c1-3 || true)")
done
[ "${after[*]}" = "OK| OK| OK| OK| OK|" ] || fail "the server did not connect again: ${after[*]}"
echo "a frozen database connection fails its own request in time; the server's other connections, the site and other servers go on"

# A result is acknowledged only once its row is committed, also when results go to the
# database together: players send results to two servers at once, both servers are killed
# (-9) in the middle of it and the database stops as if the machine had lost power
# (immediate); after its recovery every acknowledged result is there, once.
start_server f
start_server g
f=$(url_of f)
g=$(url_of g)
[ -n "$f" ] && [ -n "$g" ] || fail "the servers for the kill test did not start"
f_pid=${pids[-2]}
g_pid=${pids[-1]}
python3 - "$f" "$g" "$f_pid" "$g_pid" > "$tmp/acked" <<'PY'
import os, signal, sys, threading, urllib.request
alphabet = "MNBVCXZLKJHGFDSAPYTREWQU98765432"
def encode(b):
    bits = "".join(f"{x:08b}" for x in b)
    bits = "0" * ((5 - len(bits) % 5) % 5) + bits
    return "".join(alphabet[int(bits[i:i+5], 2)] for i in range(0, len(bits), 5))
urls, pids = sys.argv[1:3], [int(p) for p in sys.argv[3:5]]
acked, lock, enough = [], threading.Lock(), threading.Event()
def player(k):
    for i in range(100000):
        score = 100000 + k * 10000 + i
        try:
            url = urls[k % 2]
            token = urllib.request.urlopen(url + "/cgi/version.pl?version&prg=Pondlark", timeout=10).read().decode().split("|")[4]
            p = f"type=0|name=Ack|score={score}|key=T|p={token}|add=|z=".encode()
            p += b"0" * ((5 - len(p) % 5) % 5)
            if urllib.request.urlopen(url + "/cgi/version.pl?hs&prg=Pondlark&inf=" + encode(p), timeout=10).status == 200:
                with lock:
                    acked.append(score)
                    if len(acked) >= 400:
                        enough.set()
        except Exception:
            return  # the server is gone
threads = [threading.Thread(target=player, args=(k,)) for k in range(16)]
for t in threads: t.start()
if not enough.wait(120):
    sys.exit("too few results acknowledged")
for p in pids:
    os.kill(p, signal.SIGKILL)
for t in threads: t.join()
with lock:
    print("\n".join(map(str, acked)))
PY
{ wait "$f_pid" "$g_pid"; } 2>/dev/null || true
"${as_owner[@]}" "$pgbin/pg_ctl" -D "$tmp/data" -m immediate stop >/dev/null
"${as_owner[@]}" "$pgbin/pg_ctl" -D "$tmp/data" -l "$tmp/pg.log" -w \
  -o "-k $tmp -c listen_addresses= -c fsync=off" start >/dev/null
psql "$db" -Atc "SELECT score FROM results WHERE name = 'Ack'" | sort > "$tmp/stored"
sort "$tmp/acked" > "$tmp/acked.sorted"
acked_count=$(wc -l < "$tmp/acked.sorted")
lost=$(comm -23 "$tmp/acked.sorted" "$tmp/stored" | wc -l)
doubled=$(uniq -d "$tmp/stored" | wc -l)
[ "$acked_count" -ge 400 ] || fail "only $acked_count results acknowledged"
[ "$lost" = 0 ] || fail "$lost of $acked_count acknowledged results lost after kill -9 and a database crash"
[ "$doubled" = 0 ] || fail "$doubled results stored twice"
echo "$acked_count results acknowledged while two servers were killed -9 and the database crashed: none lost, none doubled"
