#!/usr/bin/env python3
"""Loads tinokvak-scores on one throw-away PostgreSQL and prints, for each build given, side
by side in one run:

    server/bench/pg_load.py [--client LOAD] [--runs N] REFERENCE/tinokvak-scores NEW/tinokvak-scores [...]

The load comes from tinokvak-scores-load (LOAD; by default the one beside the last build
given), one C++ process driving all its clients from one thread, the same for every build;
its own CPU time is printed beside each figure it makes, with the servers' and the
database's over the same seconds.

  servers N   N servers (1, 2, 4) on one database, 32 clients (each from an address of
              its own) on kept-alive connections spread over them, each submitting results
              (a token, then the result) for 6 s: results per second and the requests' p99
              (with --runs N only this, on 1 server, N times for each build, taking turns);
  1M tokens   the same on one server and on two, with 1 000 000 tokens left open (from
              1000 addresses) before it starts;
  attacks     four normal players (each one token and one result every 100 ms, a new
              connection each) on one server while, in turn: 64 clients trickle headers; 8 clients
              ask for tokens in a loop from one address; 40 clients (each from an address
              of its own) upload replays in a loop (the checker is a stand-in that sleeps),
              without a pause, then all from one address, then waiting a second after each
              503 as the game does, and again with the real
              checker (tinokvak-check and game/ beside the last build) playing the replays
              back; one of the server's database backends is frozen (SIGSTOP). Their p50/p99
              and failures.

The cluster lives in a temporary folder, is reached through its socket there (run as
nobody when we are root), has fsync off (the database's disk is not what is measured) and
is stopped, with every server and client, when the script ends however it ends. Each
measurement gets a fresh database. About 2 minutes per build. Each submission figure comes
with the load average before it and the seconds the servers and the database spent ready
to run but waiting for a processor: on a box shared with other work, those tell how much of
it the figure measured.
"""
import atexit, glob, json, os, pwd, shutil, signal, subprocess, sys, tempfile, time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from load import trickle  # noqa: E402

REPLAY = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "replays",
                      "name-entry.tkr")
CLIENTS = 32
LOADER = None  # tinokvak-scores-load
CHECKER = None  # tinokvak-check beside the last build, when it and the game's data are there
GAME_DIR = None


class Cluster:
    def __init__(self):
        self.bin = sorted(glob.glob("/usr/lib/postgresql/*/bin"))[-1]
        self.tmp = tempfile.mkdtemp(prefix="tk-pgbench-")
        self.as_owner = []
        self.uid = os.getuid()  # whose processes the cluster's are
        if os.getuid() == 0:
            self.uid = pwd.getpwnam("nobody").pw_uid
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


TCK = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pids):
    total = 0.0
    for pid in pids:
        try:
            with open(f"/proc/{pid}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
            total += sum(int(x) for x in fields[11:15]) / TCK  # its own and its waited-for children's
        except OSError:
            pass
    return total


def waited_seconds(pids):
    """Time the processes' threads spent ready to run but waiting for a processor
    (schedstat's second field): what the box's other work cost them."""
    total = 0
    for pid in pids:
        for task in glob.glob(f"/proc/{pid}/task/*/schedstat"):
            try:
                with open(task) as f:
                    total += int(f.read().split()[1])
            except (OSError, IndexError, ValueError):
                pass
    return total / 1e9


def postgres_pids(cluster):
    pids = []
    for d in os.listdir("/proc"):
        if d.isdigit():
            try:
                with open(f"/proc/{d}/comm") as f:
                    if f.read().strip() != "postgres":
                        continue
                if os.stat(f"/proc/{d}").st_uid == cluster.uid:
                    pids.append(int(d))
            except OSError:
                pass
    return pids


CLIENTS_RUNNING = []


def kill_clients():
    for p in CLIENTS_RUNNING:
        if p.poll() is None:
            p.kill()
            p.wait()


atexit.register(kill_clients)


def load(ports, mode, clients, seconds, source, extra=()):
    """Starts tinokvak-scores-load; .wait_json() gives its figures."""
    p = subprocess.Popen([LOADER, "--ports", ",".join(map(str, ports)), "--mode", mode,
                          "--clients", str(clients), "--seconds", str(seconds), "--source", source,
                          *extra], stdout=subprocess.PIPE, text=True)
    CLIENTS_RUNNING.append(p)

    def wait_json():
        out, _ = p.communicate(timeout=seconds + 60)
        return json.loads(out)
    p.wait_json = wait_json
    return p


def submissions(cluster, ports, seconds=6):
    servers = [p.pid for p in SERVERS]
    pg = postgres_pids(cluster)
    s0, d0 = cpu_seconds(servers), cpu_seconds(pg)
    sw0, dw0 = waited_seconds(servers), waited_seconds(pg)
    before = os.getloadavg()[0]  # the other work on the box, which the figures share it with
    r = load(ports, "submit", CLIENTS, seconds, "127.0.2.1+").wait_json()
    return {"results/s": r["per_s"], "errors": r["errors"], "p99 ms": r["p99_ms"],
            "load average before": round(before, 1),
            "client CPU s": r["client_cpu_s"],
            "servers' CPU s": round(cpu_seconds(servers) - s0, 2),
            "PostgreSQL CPU s": round(cpu_seconds(pg) - d0, 2),
            "servers / PostgreSQL waited for a CPU s": f"{waited_seconds(servers) - sw0:.2f} / "
                                                       f"{waited_seconds(pg) - dw0:.2f}"}


def probe(port, seconds, players=4):
    """Normal players: each a token and a result every 100 ms, each on a new connection;
    four of them at once, their figures together (one player's 80 rounds make a p99 that
    is one round's luck). With them, how long the server's threads waited for a processor
    in those seconds."""
    servers = [p.pid for p in SERVERS]
    w0 = waited_seconds(servers)
    r = load([port], "probe", players, seconds, "127.0.0.1").wait_json()
    return {"p50 ms": r["p50_ms"], "p99 ms": r["p99_ms"], "failed": r["errors"],
            "server waited s": round(waited_seconds(servers) - w0, 2)}


def attacks(cluster, binary, tmp):
    out = {}
    checker = os.path.join(tmp, "slow-checker")
    with open(checker, "w") as f:
        f.write("#!/bin/sh\nexec sleep 5\n")
    os.chmod(checker, 0o755)

    db = cluster.fresh()
    port = start_server(binary, cluster.url(db))
    r = probe(port, 8)
    out["none: p99 ms"], out["none: server waited s"] = r["p99 ms"], r["server waited s"]
    t = trickle(port)
    out["64 tricklers: p99 ms"] = t["probe p99 ms"]
    out["64 tricklers: failed"] = t["probe failed"]
    flood = load([port], "tokens", 8, 9, "127.0.0.3")
    time.sleep(0.5)
    r = probe(port, 8)
    f = flood.wait_json()
    out["token flood: p99 ms"], out["token flood: failed"] = r["p99 ms"], r["failed"]
    out["token flood: tokens/s"] = f["per_s"]
    stop_servers()

    db = cluster.fresh()
    port = start_server(binary, cluster.url(db),
                        ["--checker", checker, "--game-dir", tmp, "--check-seconds", "10"])
    flood = load([port], "upload", 40, 10, "127.0.1.1+", ["--replay", REPLAY, "--score", "200"])
    time.sleep(1)
    r = probe(port, 8)
    f = flood.wait_json()
    out["40 uploaders: p99 ms"], out["40 uploaders: failed"] = r["p99 ms"], r["failed"]
    out["40 uploaders: server waited s"] = r["server waited s"]
    out["40 uploaders: uploads/s"] = f["per_s"]
    out["40 uploaders: upload statuses"] = " ".join(f"{k}:{v}" for k, v in sorted(f["uploads"].items()))
    stop_servers()

    # The same 40 from one address: its share of requests at once and of the check queue
    # turn most of them away before the database.
    db = cluster.fresh()
    port = start_server(binary, cluster.url(db),
                        ["--checker", checker, "--game-dir", tmp, "--check-seconds", "10"])
    flood = load([port], "upload", 40, 10, "127.0.1.1", ["--replay", REPLAY, "--score", "200"])
    time.sleep(1)
    r = probe(port, 8)
    f = flood.wait_json()
    out["40 uploaders from one address: p99 ms"] = r["p99 ms"]
    out["40 uploaders from one address: failed"] = r["failed"]
    out["40 uploaders from one address: rounds/s"] = f["per_s"]
    out["40 uploaders from one address: upload statuses"] = " ".join(
        f"{k}:{v}" for k, v in sorted(f["uploads"].items()))
    stop_servers()

    # The 40 uploaders waiting a second after each 503, as the game does.
    db = cluster.fresh()
    port = start_server(binary, cluster.url(db),
                        ["--checker", checker, "--game-dir", tmp, "--check-seconds", "10"])
    flood = load([port], "upload", 40, 10, "127.0.1.1+",
                 ["--replay", REPLAY, "--score", "200", "--pause-after-503", "1000"])
    time.sleep(1)
    r = probe(port, 8)
    f = flood.wait_json()
    out["40 uploaders waiting 1 s after a 503: p99 ms"] = r["p99 ms"]
    out["40 uploaders waiting 1 s after a 503: failed"] = r["failed"]
    out["40 uploaders waiting 1 s after a 503: uploads/s"] = f["per_s"]
    stop_servers()

    # The same flood on the real checker: each queued replay is played back in full (the
    # result's name is not the game's, so none verifies), two at once, for as long as the
    # flood lasts. Both builds run the same checker.
    if CHECKER:
        db = cluster.fresh()
        port = start_server(binary, cluster.url(db),
                            ["--checker", CHECKER, "--game-dir", GAME_DIR, "--check-seconds", "10"])
        flood = load([port], "upload", 40, 10, "127.0.1.1+", ["--replay", REPLAY, "--score", "200"])
        time.sleep(1)
        r = probe(port, 8)
        f = flood.wait_json()
        out["40 uploaders, real checks: p99 ms"] = r["p99 ms"]
        out["40 uploaders, real checks: failed"] = r["failed"]
        out["40 uploaders, real checks: server waited s"] = r["server waited s"]
        out["40 uploaders, real checks: uploads/s"] = f["per_s"]
        out["40 uploaders, real checks: upload statuses"] = " ".join(
            f"{k}:{v}" for k, v in sorted(f["uploads"].items()))
        stop_servers()

    db = cluster.fresh()
    port = start_server(binary, cluster.url(db), app="frozen")
    probe(port, 0.5)
    pid = cluster.psql("SELECT pid FROM pg_stat_activity WHERE application_name = 'frozen'"
                       " ORDER BY backend_start LIMIT 1")
    os.kill(int(pid), signal.SIGSTOP)
    try:
        r = probe(port, 12)
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
            r = submissions(cluster, ports)
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
            r = submissions(cluster, ports)
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
    global LOADER
    builds = sys.argv[1:]
    runs = 0
    while builds and builds[0].startswith("--"):
        if builds[0] == "--client" and len(builds) > 1:
            LOADER, builds = builds[1], builds[2:]
        elif builds[0] == "--runs" and len(builds) > 1:
            runs, builds = int(builds[1]), builds[2:]
        else:
            print(__doc__)
            return 2
    if not builds:
        print(__doc__)
        return 2
    if not LOADER:
        LOADER = os.path.join(os.path.dirname(os.path.abspath(builds[-1])), "tinokvak-scores-load")
    if not os.access(LOADER, os.X_OK):
        print(f"no load client at {LOADER} (build the target tinokvak-scores-load)", file=sys.stderr)
        return 2
    global CHECKER, GAME_DIR
    last = os.path.dirname(os.path.abspath(builds[-1]))
    if os.access(os.path.join(last, "tinokvak-check"), os.X_OK) and os.path.isdir(os.path.join(last, "game")):
        CHECKER, GAME_DIR = os.path.join(last, "tinokvak-check"), os.path.join(last, "game")
    else:
        print("no tinokvak-check and game/ beside the last build: the real checks are left out",
              file=sys.stderr)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    # The checker keeps a hash of the game's data in the cache folder: this run's own.
    cache = tempfile.mkdtemp(prefix="tk-pgbench-cache-")
    atexit.register(shutil.rmtree, cache, True)
    os.environ["XDG_CACHE_HOME"] = cache
    cluster = Cluster()
    results = []
    if runs:
        # One server only, the builds taking turns, each run on a fresh database.
        results = [(b, {}) for b in builds]
        for i in range(runs):
            for b, out in results:
                db = cluster.fresh()
                port = start_server(b, cluster.url(db))
                r = submissions(cluster, [port])
                stop_servers()
                for k, v in r.items():
                    out[f"run {i + 1}: {k}"] = v
                print(b, i + 1, r, flush=True)
    for b in builds if not runs else []:
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
