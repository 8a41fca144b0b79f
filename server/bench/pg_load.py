#!/usr/bin/env python3
"""Loads tinokvak-scores on one throw-away PostgreSQL and prints, for each build given, side
by side in one run:

    server/bench/pg_load.py REFERENCE/tinokvak-scores NEW/tinokvak-scores [...]

  servers N   N servers (1, 2, 4) on one database, 32 clients (each from an address of
              its own) on kept-alive connections spread over them, each submitting results (a token, then the result) for
              6 s: results per second and the requests' p99;
  1M tokens   the same on one server and on two, with 1 000 000 tokens left open (from
              1000 addresses) before it starts;
  attacks     a normal client (one token and one result every 100 ms, a new connection
              each) on one server while, in turn: 64 clients trickle headers; 8 clients
              ask for tokens in a loop from one address; 40 clients upload replays in a
              loop (the checker is a stand-in that sleeps); one of the server's database
              backends is frozen (SIGSTOP), with four such players at once. Their p50/p99
              and failures.

The cluster lives in a temporary folder, is reached through its socket there (run as
nobody when we are root), has fsync off (the database's disk is not what is measured) and
is stopped, with every server, when the script ends however it ends. Each measurement gets
a fresh database. About 2 minutes per build.
"""
import atexit, glob, multiprocessing as mp, os, shutil, signal, subprocess, sys, tempfile
import threading, time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from load import Conn, payload, pct, submit_one, trickle  # noqa: E402

REPLAY = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "replays",
                      "name-entry.tkr")
CLIENTS = 32
PROCESSES = 8


class Cluster:
    def __init__(self):
        self.bin = sorted(glob.glob("/usr/lib/postgresql/*/bin"))[-1]
        self.tmp = tempfile.mkdtemp(prefix="tk-pgbench-")
        self.as_owner = []
        if os.getuid() == 0:
            shutil.chown(self.tmp, "nobody", "nogroup")
            self.as_owner = ["runuser", "-u", "nobody", "--"]
        atexit.register(self.stop)
        subprocess.run(self.as_owner + [f"{self.bin}/initdb", "-D", f"{self.tmp}/data", "-A", "trust",
                                        "-U", "tinokvak", "--no-sync"],
                       check=True, stdout=subprocess.DEVNULL)
        subprocess.run(self.as_owner + [f"{self.bin}/pg_ctl", "-D", f"{self.tmp}/data", "-l",
                                        f"{self.tmp}/pg.log", "-w", "-o",
                                        f"-k {self.tmp} -c listen_addresses= -c fsync=off"
                                        " -c max_connections=200", "start"],
                       check=True, stdout=subprocess.DEVNULL)
        self.n = 0

    def url(self, name):
        return f"postgresql:///{name}?host={self.tmp}&user=tinokvak"

    def psql(self, sql, db="postgres"):
        return subprocess.run(["psql", self.url(db), "-Atqc", sql], check=True, text=True,
                              capture_output=True).stdout.strip()

    def fresh(self):
        self.n += 1
        name = f"bench{self.n}"
        self.psql(f"CREATE DATABASE {name}")
        return name

    def stop(self):
        subprocess.run(self.as_owner + [f"{self.bin}/pg_ctl", "-D", f"{self.tmp}/data", "-m",
                                        "immediate", "stop"],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        shutil.rmtree(self.tmp, ignore_errors=True)


SERVERS = []


def kill_servers():
    for p in SERVERS:
        if p.poll() is None:
            p.kill()
            p.wait()
    SERVERS.clear()


atexit.register(kill_servers)


def start_server(binary, url, extra=(), app="bench"):
    p = subprocess.Popen([binary, "--port", "0", "--db", f"{url}&application_name={app}", *extra],
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    SERVERS.append(p)
    line = p.stdout.readline()
    if "listening" not in line:
        raise RuntimeError(f"{binary} did not start")
    return int(line.rsplit(":", 1)[1])


def stop_servers():
    for p in SERVERS:
        p.terminate()
    for p in SERVERS:
        try:
            p.wait(timeout=10)
        except subprocess.TimeoutExpired:
            p.kill()
            p.wait()
    SERVERS.clear()


def submitter(args):
    """One process: its clients, each on one kept-alive connection, submit until the end."""
    ports, first, count, seconds = args
    lats, done, errors = [], [0], [0]
    lock = threading.Lock()
    end = time.monotonic() + seconds

    def client(i):
        mine, n, err = [], 0, 0
        port = ports[i % len(ports)]
        source = f"127.0.2.{i + 1}"  # each player from an address of its own
        try:
            c = Conn(port, source=source, timeout=10)
        except OSError:
            with lock:
                errors[0] += 1
            return
        while time.monotonic() < end:
            try:
                ok, ms = submit_one(c, i)
                mine += ms
                if ok:
                    n += 1
                else:
                    err += 1
            except OSError:
                err += 1
                try:
                    c.close()
                    c = Conn(port, source=source, timeout=10)
                except OSError:
                    break
        c.close()
        with lock:
            lats.extend(mine)
            done[0] += n
            errors[0] += err

    threads = [threading.Thread(target=client, args=(first + k,)) for k in range(count)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    return done[0], errors[0], lats


POOL = None  # the client processes, started once, before any thread of ours


def submissions(ports, seconds=6):
    per = CLIENTS // PROCESSES
    t0 = time.monotonic()
    parts = POOL.map_async(submitter, [(ports, k * per, per, seconds) for k in range(PROCESSES)]
                           ).get(timeout=seconds + 120)
    secs = time.monotonic() - t0
    done = sum(p[0] for p in parts)
    errors = sum(p[1] for p in parts)
    lats = [x for p in parts for x in p[2]]
    return {"results/s": round(done / secs), "errors": errors, "p99 ms": round(pct(lats, 99), 1)}


def probe(port, seconds, stop=None, players=1):
    """A normal player: a token and a result every 100 ms, each on a new connection; with
    `players`, that many at once (their figures together)."""
    if players > 1:
        outs = [None] * players
        def one(k):
            outs[k] = probe_one(port, seconds, stop, raw=True)
        ts = [threading.Thread(target=one, args=(k,)) for k in range(players)]
        for t in ts:
            t.start()
        for t in ts:
            t.join()
        lat = [x for o in outs for x in o[0]]
        failed = sum(o[1] for o in outs)
        return {"p50 ms": round(pct(lat, 50), 1), "p99 ms": round(pct(lat, 99), 1), "failed": failed}
    return probe_one(port, seconds, stop)


def probe_one(port, seconds, stop=None, raw=False):
    lat, failed = [], 0
    end = time.monotonic() + seconds
    i = 0
    while time.monotonic() < end and not (stop and stop.is_set()):
        t0 = time.monotonic()
        try:
            c = Conn(port, timeout=10)
            st, body = c.get("/cgi/version.pl?version&prg=Pondlark")
            token = body.split("|")[4] if st == 200 else ""
            st2, _ = c.get("/cgi/version.pl?hs&prg=Pondlark&inf=" + payload(token, 7 + i))
            c.close()
            if st == 200 and st2 == 200:
                lat.append((time.monotonic() - t0) * 1000)
            else:
                failed += 1
        except OSError:
            failed += 1
        i += 1
        time.sleep(max(0, 0.1 - (time.monotonic() - t0)))
    if raw:
        return lat, failed
    return {"p50 ms": round(pct(lat, 50), 1), "p99 ms": round(pct(lat, 99), 1), "failed": failed}


def token_flood(port, stop):
    def ask():
        try:
            c = Conn(port, source="127.0.0.3", timeout=10)
            while not stop.is_set():
                c.get("/cgi/version.pl?version&prg=Pondlark")
            c.close()
        except OSError:
            pass
    ts = [threading.Thread(target=ask) for _ in range(8)]
    for t in ts:
        t.start()
    return ts


def upload_flood(port, stop, replay):
    score = 200  # name-entry.tkr's
    def upload(i):
        while not stop.is_set():
            try:
                c = Conn(port, source=f"127.0.1.{i + 1}", timeout=10)
                st, body = c.get("/cgi/version.pl?version&prg=Pondlark")
                token = body.split("|")[4]
                c.get("/cgi/version.pl?hs&prg=Pondlark&inf=" + payload(token, score))
                c.s.sendall((f"POST /cgi/replay.pl?prg=Pondlark&p={token} HTTP/1.1\r\nHost: x\r\n"
                             f"Content-Length: {len(replay)}\r\n\r\n").encode() + replay)
                c.s.recv(4096)
                c.close()
            except (OSError, IndexError):
                time.sleep(0.05)
    ts = [threading.Thread(target=upload, args=(i,)) for i in range(40)]
    for t in ts:
        t.start()
    return ts


def attacks(cluster, binary, tmp):
    out = {}
    checker = os.path.join(tmp, "slow-checker")
    with open(checker, "w") as f:
        f.write("#!/bin/sh\nexec sleep 5\n")
    os.chmod(checker, 0o755)
    replay = open(REPLAY, "rb").read()

    db = cluster.fresh()
    port = start_server(binary, cluster.url(db))
    out["none: p99 ms"] = probe(port, 8)["p99 ms"]
    t = trickle(port)
    out["64 tricklers: p99 ms"] = t["probe p99 ms"]
    out["64 tricklers: failed"] = t["probe failed"]
    stop = threading.Event()
    ts = token_flood(port, stop)
    r = probe(port, 8)
    stop.set()
    for x in ts:
        x.join()
    out["token flood: p99 ms"], out["token flood: failed"] = r["p99 ms"], r["failed"]
    stop_servers()

    db = cluster.fresh()
    port = start_server(binary, cluster.url(db),
                        ["--checker", checker, "--game-dir", tmp, "--check-seconds", "10"])
    stop = threading.Event()
    ts = upload_flood(port, stop, replay)
    time.sleep(1)
    r = probe(port, 8)
    stop.set()
    for x in ts:
        x.join()
    out["40 uploaders: p99 ms"], out["40 uploaders: failed"] = r["p99 ms"], r["failed"]
    stop_servers()

    db = cluster.fresh()
    port = start_server(binary, cluster.url(db), app="frozen")
    probe(port, 0.5)
    pid = cluster.psql("SELECT pid FROM pg_stat_activity WHERE application_name = 'frozen'"
                       " ORDER BY backend_start LIMIT 1")
    os.kill(int(pid), signal.SIGSTOP)
    try:
        r = probe(port, 12, players=4)
    finally:
        os.kill(int(pid), signal.SIGCONT)
    out["frozen backend: p50 ms"] = r["p50 ms"]
    out["frozen backend: p99 ms"], out["frozen backend: failed"] = r["p99 ms"], r["failed"]
    stop_servers()
    return out


def run(cluster, binary):
    out = {}
    with tempfile.TemporaryDirectory() as tmp:
        for n in (1, 2, 4):
            db = cluster.fresh()
            ports = [start_server(binary, cluster.url(db)) for _ in range(n)]
            r = submissions(ports)
            stop_servers()
            for k, v in r.items():
                out[f"{n} server(s): {k}"] = v
        for n in (1, 2):
            db = cluster.fresh()
            ports = [start_server(binary, cluster.url(db)) for _ in range(n)]
            cluster.psql("INSERT INTO tokens (token, issued, address) SELECT md5(i::text),"
                         " extract(epoch from now())::bigint, 'bench-' || (i / 1000)"
                         " FROM generate_series(1, 1000000) i", db)
            out[f"1M tokens, {n} server(s): open before"] = int(cluster.psql("SELECT count(*) FROM tokens", db))
            r = submissions(ports)
            stop_servers()
            for k, v in r.items():
                out[f"1M tokens, {n} server(s): {k}"] = v
            out[f"1M tokens, {n} server(s): open after"] = int(cluster.psql("SELECT count(*) FROM tokens", db))
        for k, v in attacks(cluster, binary, tmp).items():
            out["probe, " + k] = v
    return out


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    global POOL
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    POOL = mp.get_context("spawn").Pool(PROCESSES)
    atexit.register(POOL.terminate)
    cluster = Cluster()
    results = []
    for b in sys.argv[1:]:
        results.append((b, run(cluster, b)))
        print(b, results[-1][1], flush=True)  # kept should a later build not finish
    keys = list(results[0][1])
    width = max(len(k) for k in keys) + 2
    print("| measure".ljust(width) + "".join(f"| {b[-30:]}".ljust(34) for b, _ in results) + "|")
    for k in keys:
        row = f"| {k}".ljust(width)
        for _, r in results:
            v = r.get(k, "")
            row += f"| {v}".ljust(34)
        print(row + "|")
    return 0


if __name__ == "__main__":
    sys.exit(main())
