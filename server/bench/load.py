#!/usr/bin/env python3
"""Loads tinokvak-scores on loopback and prints what it withstands, for one or more builds
side by side:

    server/bench/load.py build/tinokvak-scores [OTHER/tinokvak-scores ...]

Each server runs on a free port with a database in a temporary folder, and meets, in turn:
  trickle  64 connections from 127.0.0.2, each sending one header byte every 2 s, while a
           client on 127.0.0.1 asks for a token 10 times a second: its latency and failures;
  headers  one client sending 64 MB of header lines: the status it gets and the server's
           peak resident memory;
  reuse    32 clients, each on one kept-alive connection, submitting results (a token, then
           the result) for 5 s: submissions per second and the requests' p99 latency.
Everything is bounded: about 40 s per server, at most 64 + 32 + 2 connections at once.
"""
import os, socket, subprocess, sys, tempfile, threading, time

ALPHABET = "MNBVCXZLKJHGFDSAPYTREWQU98765432"


def encode(text: bytes) -> str:
    bits = "".join(f"{b:08b}" for b in text)
    bits = "0" * ((5 - len(bits) % 5) % 5) + bits
    return "".join(ALPHABET[int(bits[i:i + 5], 2)] for i in range(0, len(bits), 5))


def payload(token: str, score: int) -> str:
    p = f"type=0|name=Bench|score={score}|key=T|p={token}|add=|z=".encode()
    while len(p) % 5:
        p += b"0"
    return encode(p)



def submit_one(c, i):
    """One result as the game sends it: a token, then the result carrying it. Returns whether
    both were answered 200, and their times in ms."""
    t0 = time.monotonic()
    st, body = c.get("/cgi/version.pl?version&prg=Pondlark")
    t1 = time.monotonic()
    token = body.split("|")[4] if st == 200 else ""
    st2, _ = c.get("/cgi/version.pl?hs&prg=Pondlark&inf=" + payload(token, 100 + i))
    t2 = time.monotonic()
    return st == 200 and st2 == 200, [(t1 - t0) * 1000, (t2 - t1) * 1000]


class Conn:
    """One kept-alive HTTP/1.1 connection with just enough parsing for the server's replies."""

    def __init__(self, port, source="127.0.0.1", timeout=3.0):
        self.s = socket.create_connection(("127.0.0.1", port), timeout=timeout,
                                          source_address=(source, 0))
        self.buf = b""

    def get(self, target):
        self.s.sendall(f"GET {target} HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n".encode())
        while b"\r\n\r\n" not in self.buf:
            chunk = self.s.recv(65536)
            if not chunk:
                raise ConnectionError("closed")
            self.buf += chunk
        head, self.buf = self.buf.split(b"\r\n\r\n", 1)
        lines = head.decode("latin-1").split("\r\n")
        status = int(lines[0].split()[1])
        length = 0
        for line in lines[1:]:
            k, _, v = line.partition(":")
            if k.strip().lower() == "content-length":
                length = int(v)
        while len(self.buf) < length:
            chunk = self.s.recv(65536)
            if not chunk:
                raise ConnectionError("closed")
            self.buf += chunk
        body, self.buf = self.buf[:length], self.buf[length:]
        return status, body.decode("utf-8", "replace")

    def close(self):
        self.s.close()


def pct(values, p):
    if not values:
        return float("nan")
    v = sorted(values)
    return v[min(len(v) - 1, int(len(v) * p / 100))]


def trickle(port):
    stop = threading.Event()
    socks = []
    refused = 0
    for _ in range(64):
        try:
            s = socket.create_connection(("127.0.0.1", port), timeout=2, source_address=("127.0.0.2", 0))
            s.sendall(b"GET /cgi/version.pl?version&prg=Pondlark HTTP/1.1\r\n")
            socks.append(s)
        except OSError:
            refused += 1
    line = b"X-Slow: " + b"a" * 100

    def drip():
        i = 0
        while not stop.wait(2.0):
            for s in list(socks):
                try:
                    s.sendall(line[i % len(line):i % len(line) + 1])
                except OSError:
                    socks.remove(s)
            i += 1

    t = threading.Thread(target=drip, daemon=True)
    t.start()
    time.sleep(0.5)
    lat, failed = [], 0
    end = time.monotonic() + 12
    while time.monotonic() < end:
        t0 = time.monotonic()
        try:
            c = Conn(port, timeout=2)
            st, body = c.get("/cgi/version.pl?version&prg=Pondlark")
            c.close()
            if st != 200 or not body.startswith("OK|"):
                failed += 1
            else:
                lat.append((time.monotonic() - t0) * 1000)
        except OSError:
            failed += 1
        time.sleep(max(0, 0.1 - (time.monotonic() - t0)))
    still = len(socks)
    stop.set()
    for s in socks:
        s.close()
    return {"probe ok": len(lat), "probe failed": failed, "probe p50 ms": pct(lat, 50),
            "probe p99 ms": pct(lat, 99), "tricklers still open after 12 s": still}


def rss_kb(pid, key):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith(key):
                return int(line.split()[1])
    return 0


def headers(port, pid):
    s = socket.create_connection(("127.0.0.1", port), timeout=20)
    got = bytearray()

    def reader():
        try:
            while True:
                c = s.recv(65536)
                if not c:
                    break
                got.extend(c)
        except OSError:
            pass

    r = threading.Thread(target=reader, daemon=True)
    r.start()
    chunk = b"".join(b"X-Pad-%06d: %s\r\n" % (i, b"h" * 1000) for i in range(1024))  # ~1 MB
    sent = 0
    t0 = time.monotonic()
    try:
        s.sendall(b"GET /cgi/version.pl?version&prg=Pondlark HTTP/1.1\r\nHost: x\r\n")
        while sent < 64 * 1024 * 1024 and time.monotonic() - t0 < 30:
            s.sendall(chunk)
            sent += len(chunk)
        s.sendall(b"\r\n")
    except OSError:
        pass
    r.join(timeout=max(0.1, 30 - (time.monotonic() - t0)))
    s.close()
    status = got.split(b"\r\n", 1)[0].decode("latin-1") if got else "(nothing)"
    return {"sent MB": round(sent / 1048576, 1), "reply": status,
            "peak RSS MB": round(rss_kb(pid, "VmHWM") / 1024, 1)}


def reuse(port):
    stop = threading.Event()
    lats, done, errors = [], [0], [0]
    lock = threading.Lock()

    def client(i):
        mine, n, err = [], 0, 0
        try:
            c = Conn(port)
        except OSError:
            with lock:
                errors[0] += 1
            return
        while not stop.is_set():
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
                    c = Conn(port)
                except OSError:
                    break
        c.close()
        with lock:
            lats.extend(mine)
            done[0] += n
            errors[0] += err

    threads = [threading.Thread(target=client, args=(i,)) for i in range(32)]
    t0 = time.monotonic()
    for t in threads:
        t.start()
    time.sleep(5)
    stop.set()
    for t in threads:
        t.join(timeout=10)
    secs = time.monotonic() - t0
    return {"submissions/s": round(done[0] / secs, 1), "errors": errors[0],
            "request p50 ms": pct(lats, 50), "request p99 ms": pct(lats, 99)}


def run(binary):
    with tempfile.TemporaryDirectory() as tmp:
        p = subprocess.Popen([binary, "--port", "0", "--db", os.path.join(tmp, "s.db")],
                             stdout=subprocess.PIPE, text=True)
        try:
            line = p.stdout.readline()
            port = int(line.rsplit(":", 1)[1])
            out = {}
            out.update(reuse(port))
            out.update(trickle(port))
            time.sleep(1)
            out.update(headers(port, p.pid))
            return out
        finally:
            p.terminate()
            try:
                p.wait(timeout=10)
            except subprocess.TimeoutExpired:
                p.kill()


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    results = [(b, run(b)) for b in sys.argv[1:]]
    keys = list(results[0][1])
    width = max(len(k) for k in keys) + 2
    print("".ljust(width) + "".join(b[-34:].rjust(36) for b, _ in results))
    for k in keys:
        row = k.ljust(width)
        for _, r in results:
            v = r.get(k, "")
            row += (f"{v:.1f}" if isinstance(v, float) else str(v)).rjust(36)
        print(row)
    return 0


if __name__ == "__main__":
    sys.exit(main())
