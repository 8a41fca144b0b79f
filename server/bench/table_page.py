#!/usr/bin/env python3
"""The table page with 10 000 results, and a verified replay's two requests, timed on
loopback for one or more builds side by side, on SQLite and on a throw-away PostgreSQL:

    server/bench/table_page.py build/tinokvak-scores [REFERENCE/tinokvak-scores ...]

Each build serves a database of 10 000 results (a tenth of them verified, each with a
kept replay of 20 KB) filled before it starts. One kept-alive client asks, in turn and
REQUESTS times each, for: the table (all results, gzip as a browser takes it), the table
of verified results, a replay's bytes, its summary, and the static /style.css as the
reference every build answers without the database. Prints the median, p95 and maximum
in ms. About 20 s per build and database.
"""
import glob, os, pwd, shutil, socket, sqlite3, statistics, subprocess, sys, tempfile, time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from pg_load import Cluster  # noqa: E402

RESULTS = 10000
VERIFIED_EVERY = 10
REPLAY = bytes(range(256)) * 80  # 20 KB: a kept replay is served as it is
REQUESTS = 300


class Conn:
    def __init__(self, port):
        self.s = socket.create_connection(("127.0.0.1", port), timeout=10)
        self.buf = b""

    def get(self, target, headers=""):
        self.s.sendall(f"GET {target} HTTP/1.1\r\nHost: 127.0.0.1\r\n{headers}\r\n".encode())
        while b"\r\n\r\n" not in self.buf:
            chunk = self.s.recv(1 << 20)
            if not chunk:
                raise ConnectionError("closed")
            self.buf += chunk
        head, self.buf = self.buf.split(b"\r\n\r\n", 1)
        lines = head.decode("latin-1").split("\r\n")
        length = 0
        for line in lines[1:]:
            k, _, v = line.partition(":")
            if k.lower() == "content-length":
                length = int(v)
        while len(self.buf) < length:
            chunk = self.s.recv(1 << 20)
            if not chunk:
                raise ConnectionError("closed")
            self.buf += chunk
        body, self.buf = self.buf[:length], self.buf[length:]
        return int(lines[0].split()[1]), body


def start(binary, db):
    p = subprocess.Popen([binary, "--port", "0", "--db", db], stdout=subprocess.PIPE,
                         stderr=subprocess.DEVNULL, text=True)
    line = p.stdout.readline()
    if "listening" not in line:
        p.kill()
        raise RuntimeError(f"{binary} did not start")
    return p, int(line.rsplit(":", 1)[1])


def stop(p):
    p.terminate()
    try:
        p.wait(timeout=10)
    except subprocess.TimeoutExpired:
        p.kill()
        p.wait()


def fill_sqlite(path):
    c = sqlite3.connect(path)
    with c:
        c.execute("DELETE FROM results")
        c.executemany(
            "INSERT INTO results (id, name, score, country, time, verified, replay, replay_digest)"
            " VALUES (?, ?, ?, '', ?, ?, ?, ?)",
            [(i, f"Player{i % 997}", (i * 7919) % 100000, 1700000000 + i, int(i % VERIFIED_EVERY == 0),
              REPLAY if i % VERIFIED_EVERY == 0 else None, f"d{i}" if i % VERIFIED_EVERY == 0 else None)
             for i in range(1, RESULTS + 1)])
    c.close()


def fill_postgres(cluster, db):
    cluster.psql("DELETE FROM results;"
                 f" INSERT INTO results (id, name, score, country, time, verified, replay, replay_digest)"
                 f" SELECT i, 'Player' || (i % 997), (i * 7919) % 100000, '', 1700000000 + i,"
                 f" i % {VERIFIED_EVERY} = 0,"
                 f" CASE WHEN i % {VERIFIED_EVERY} = 0 THEN decode(repeat('{REPLAY[:256].hex()}', 80), 'hex') END,"
                 f" CASE WHEN i % {VERIFIED_EVERY} = 0 THEN 'd' || i END"
                 f" FROM generate_series(1, {RESULTS}) i;"
                 " SELECT setval('results_id_seq', (SELECT max(id) FROM results)); ANALYZE results", db)


def measure(port):
    c = Conn(port)
    gzip = "Accept-Encoding: gzip, deflate, br\r\n"
    asks = {
        "table, 100 of 10 000 (gzip)": ("/cgi/version.pl?prg=Pondlark&type=0&show", gzip),
        "table, verified only (gzip)": ("/cgi/version.pl?prg=Pondlark&type=0&show&verified", gzip),
        "replay bytes (/replays/10)": ("/replays/10", ""),
        "replay summary (.json)": ("/replays/10.json", ""),
        "reference: /style.css": ("/style.css", gzip),
    }
    times = {k: [] for k in asks}
    errors = {k: 0 for k in asks}
    for k, (target, headers) in asks.items():  # warm up: caches, prepared statements
        c.get(target, headers)
    for _ in range(REQUESTS):
        for k, (target, headers) in asks.items():
            t0 = time.perf_counter()
            status, body = c.get(target, headers)
            times[k].append((time.perf_counter() - t0) * 1000)
            errors[k] += status != 200 or not body
    return {k: (statistics.median(v), sorted(v)[int(len(v) * 0.95)], max(v), errors[k])
            for k, v in times.items()}


def main():
    binaries = sys.argv[1:]
    if not binaries:
        print(__doc__)
        sys.exit(2)
    out = {}
    tmp = tempfile.mkdtemp(prefix="tk-tablebench-")
    try:
        for i, b in enumerate(binaries):
            db = os.path.join(tmp, f"s{i}.db")
            p, _ = start(b, db)  # makes the tables
            stop(p)
            fill_sqlite(db)
            p, port = start(b, db)
            try:
                out[("SQLite", b)] = measure(port)
            finally:
                stop(p)
        cluster = Cluster()
        for b in binaries:
            name = cluster.fresh()
            url = cluster.url(name)
            p, _ = start(b, url)
            stop(p)
            fill_postgres(cluster, name)
            p, port = start(b, url)
            try:
                out[("PostgreSQL", b)] = measure(port)
            finally:
                stop(p)
        cluster.stop()
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    for (store, b), figures in out.items():
        print(f"\n{store}, {b}  (ms: median / p95 / max of {REQUESTS}; answers not 200)")
        for k, (med, p95, mx, errs) in figures.items():
            print(f"  {k:32s} {med:7.2f} {p95:7.2f} {mx:7.2f}  {errs}")


if __name__ == "__main__":
    main()
