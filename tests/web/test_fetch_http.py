"""The browser's HTTP requests (FetchHttp over emscripten's fetch) in headless Chromium, from a
small WebAssembly page served by a real tinokvak-scores under /play/: a GET, a result sent and
its replay posted and verified, a 404, and from a server that never answers and one that is
gone, errors that come while the page's frame loop keeps ticking.

    test_fetch_http.py --scores BIN --checker BIN --game-dir DIR --probe DIR --replay FILE
"""

import argparse
import http.server
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import devtools  # noqa: E402

parser = argparse.ArgumentParser()
for name in ("scores", "checker", "game-dir", "probe", "replay"):
    parser.add_argument("--" + name, required=True)
ARGS, rest = parser.parse_known_args()
sys.argv[1:] = rest

# The probe's page: requests started from the test, results as the frame loop polls them.
HELPERS = """
window.probe = (post, url, bytes) => {
  const u = new TextEncoder().encode(url);
  const p = _malloc(u.length + 1);
  HEAPU8.set(u, p);
  HEAPU8[p + u.length] = 0;
  const b = _malloc(bytes.length + 1);
  HEAPU8.set(bytes, b);
  const id = _probe_start(post, p, b, bytes.length);
  _free(p);
  _free(b);
  return id;
};
window.resultOf = id => probeResults.find(r => r.id === id) || null;
true
"""

ALPHABET = "MNBVCXZLKJHGFDSAPYTREWQU98765432"


def encode(data):
    """The game's own text code for a submission's payload."""
    bits = "".join(f"{x:08b}" for x in data)
    bits = "0" * ((5 - len(bits) % 5) % 5) + bits
    return "".join(ALPHABET[int(bits[i:i + 5], 2)] for i in range(0, len(bits), 5))


class Probe:
    def __init__(self, page):
        self.page = page
        page.wait_for("window.probeReady === true && typeof _probe_start === 'function'")
        page.evaluate(HELPERS)

    def start(self, url, body=None):
        post = 1 if body is not None else 0
        return self.page.evaluate("probe(%d, %s, new Uint8Array(%s))" % (post, _js(url), list(body or b"")))

    def result(self, rid):
        r = self.page.wait_for("resultOf(%d)" % rid)
        r["body"] = bytes(r["body"])
        return r

    def ticks(self):
        return self.page.evaluate("window.probeTicks")


def _js(s):
    return json.dumps(s)


class ScoresServer:
    def __init__(self, tmp):
        self.err = open(os.path.join(tmp, "scores.err"), "w")
        self.proc = subprocess.Popen(
            [ARGS.scores, "--port", "0", "--db", os.path.join(tmp, "scores.db"), "--play-dir", ARGS.probe,
             "--checker", ARGS.checker, "--game-dir", ARGS.game_dir],
            stdout=subprocess.PIPE, stderr=self.err, text=True,
            # The checker's hash cache goes with the test's folder, not into the user's.
            env=dict(os.environ, XDG_CACHE_HOME=os.path.join(tmp, "cache")))
        line = self.proc.stdout.readline()
        if not line.startswith("listening on "):
            self.stop()
            raise AssertionError("tinokvak-scores did not start: " + line)
        self.url = line.split()[-1]

    def stop(self):
        self.proc.terminate()
        self.proc.wait(timeout=60)
        self.proc.stdout.close()
        self.err.close()


class HangingHandler(http.server.BaseHTTPRequestHandler):
    """Serves the probe's files; /hang is taken and never answered (until the test ends)."""
    release = threading.Event()

    def do_GET(self):
        if self.path.startswith("/hang"):
            self.release.wait(120)
            return
        name = self.path.split("?")[0].lstrip("/") or "index.html"
        path = os.path.join(ARGS.probe, name)
        if "/" in name or not os.path.isfile(path):
            self.send_error(404)
            return
        with open(path, "rb") as f:
            body = f.read()
        self.send_response(200)
        kind = {"html": "text/html", "js": "text/javascript", "wasm": "application/wasm"}[name.rsplit(".", 1)[1]]
        self.send_header("Content-Type", kind)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    do_POST = do_GET

    def log_message(self, *args):
        pass


class FetchHttpTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="tk-fetch-")
        cls.scores = ScoresServer(cls.tmp)
        cls.browser = devtools.Browser()

    @classmethod
    def tearDownClass(cls):
        cls.browser.close()
        cls.scores.stop()
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def test_the_game_talks_to_the_server_that_served_its_page(self):
        page = self.browser.open(self.scores.url + "/play/")
        probe = Probe(page)
        # Addressed to the server the game was built for: it reaches the page's own.
        token_id = probe.start("http://127.0.0.1:8642/cgi/version.pl?version&prg=Pondlark#frag")
        token = probe.result(token_id)
        self.assertTrue(token["ok"], token)
        self.assertEqual(token["status"], 200)
        self.assertTrue(token["body"].startswith(b"OK|"), token["body"])
        p = token["body"].decode().split("|")[4]
        # The result of the kept replay, sent as the game sends it, then the replay posted.
        with open(ARGS.replay, "rb") as f:
            replay = f.read()
        payload = ("type=0|name=Квакуша|score=200|key=T|p=%s|add=|z=" % p).encode("cp1251")
        payload += b"0" * ((5 - len(payload) % 5) % 5)
        sent = probe.result(probe.start("/cgi/version.pl?hs&prg=Pondlark&inf=" + encode(payload)))
        self.assertEqual(sent["status"], 200, sent)
        # A damaged replay is refused for what it is; the whole one is taken, byte for byte.
        damaged = probe.result(probe.start("/cgi/replay.pl?prg=Pondlark&p=" + p, replay[:len(replay) // 2]))
        self.assertEqual((damaged["ok"], damaged["status"]), (False, 400), damaged)
        self.assertIn(b"not a replay", damaged["body"])
        upload = probe.result(probe.start("/cgi/replay.pl?prg=Pondlark&p=" + p, replay))
        self.assertEqual((upload["ok"], upload["status"], upload["body"]), (True, 202, b"queued\n"), upload)
        # The server's checker plays it back and marks the result verified.
        table = self.scores.url + "/cgi/version.pl?prg=Pondlark&type=0&show&verified"
        deadline = time.monotonic() + 120
        while "Квакуша" not in urllib.request.urlopen(table, timeout=60).read().decode():
            self.assertLess(time.monotonic(), deadline, "the replay was never verified")
            time.sleep(0.2)
        # A path the server does not know: its 404, with its text.
        missing = probe.result(probe.start("/cgi/nothing.pl"))
        self.assertEqual((missing["ok"], missing["status"]), (False, 404))
        self.assertTrue(missing["body"])
        self.assertEqual(missing["error"], "")
        # Results come in the order the requests were started.
        ids = [probe.start("/cgi/version.pl?version&prg=Pondlark"), probe.start("/nothing"),
               probe.start("/cgi/version.pl?version&prg=Pondlark")]
        for rid in ids:
            probe.result(rid)
        order = page.evaluate("probeResults.slice(-3).map(r => [r.id, r.status])")
        self.assertEqual(order, [[ids[0], 200], [ids[1], 404], [ids[2], 200]])
        page.assert_no_errors()
        page.close()

    def test_a_silent_server_times_out_and_a_gone_one_fails_while_the_loop_runs(self):
        server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), HangingHandler)
        server.daemon_threads = True
        threading.Thread(target=server.serve_forever, daemon=True).start()
        url = "http://127.0.0.1:%d/" % server.server_address[1]
        try:
            page = self.browser.open(url)
            probe = Probe(page)
            before = probe.ticks()
            # A request cancelled while it runs is stopped: the next one gets its answer.
            aborted = probe.start("/hang?running")
            page.evaluate("_probe_cancel(%d)" % aborted)
            self.assertEqual(probe.result(probe.start("/index.html"))["status"], 200)
            hang = probe.start("/hang")
            # One cancelled while it waits its turn is never reported either.
            cancelled = probe.start("/hang?queued")
            page.evaluate("_probe_cancel(%d)" % cancelled)
            r = probe.result(hang)
            self.assertEqual((r["ok"], r["status"], r["body"]), (False, 0, b""))
            self.assertEqual(r["error"], "no answer from the server within 10 s")
            # The frame loop went on all the while (the browser's frames, some dozens a second).
            self.assertGreater(r["tick"] - before, 50)
            self.assertEqual(page.evaluate("[resultOf(%d), resultOf(%d)]" % (aborted, cancelled)), [None, None])
            # Dropping the requests with one in flight stops it; a new object works at once.
            probe.start("/hang?dropped")
            self.assertEqual(page.evaluate("_probe_reset(); probeResults.length"), 0)
            self.assertEqual(probe.result(probe.start("/index.html"))["status"], 200)
            # The server gone: its port refuses the connection.
            HangingHandler.release.set()
            server.shutdown()
            server.server_close()
            gone = probe.result(probe.start("/cgi/version.pl?version&prg=Pondlark"))
            self.assertEqual((gone["ok"], gone["status"]), (False, 0))
            self.assertEqual(gone["error"], "cannot reach the server")
            ticks = probe.ticks()
            page.wait_for("window.probeTicks > %d" % ticks)
            page.assert_no_errors()
            page.close()
        finally:
            HangingHandler.release.set()
            server.server_close()


if __name__ == "__main__":
    unittest.main()
