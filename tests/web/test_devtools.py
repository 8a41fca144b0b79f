"""The DevTools driver against a small static page served on loopback: what the browser
game's tests rely on (values out of the page, page errors, waits, keys, mouse, touch, a phone's
viewport, screenshots, console, network sizes, reload) and that the browser is gone after."""

import gzip
import http.server
import os
import struct
import sys
import threading
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import devtools  # noqa: E402

PAGE = b"""<!doctype html><html><head><meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<style>html,body{margin:0;background:#204060}</style></head>
<body><input id="field" style="position:absolute;left:0;top:0;width:100px;height:20px">
<script>
window.events = [];
window.loadedAt = Date.now();
for (const kind of ["keydown", "keyup", "keypress"])
  addEventListener(kind, e => events.push([kind, e.key, e.code, e.keyCode, e.altKey]));
for (const kind of ["mousedown", "mouseup", "mousemove"])
  addEventListener(kind, e => events.push([kind, e.clientX, e.clientY, e.button]));
for (const kind of ["touchstart", "touchend"])
  addEventListener(kind, e => events.push([kind, e.changedTouches[0].clientX, e.changedTouches[0].clientY]));
console.log("page", 1, "two", null);
console.warn("careful");
window.later = n => new Promise(r => setTimeout(() => r(n * 2), 20));
window.ticks = 0; setInterval(() => ticks++, 10);
window.throwSoon = () => setTimeout(() => { throw new TypeError("thrown by the page") }, 0);
window.rejectSoon = () => { Promise.reject(new Error("nobody caught me")); };
</script></body></html>"""

BLOB = os.urandom(50000)          # incompressible
TEXT = b"the pond " * 20000       # 180 000 bytes that gzip well


class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        if self.path == "/":
            body, kind, enc = PAGE, "text/html; charset=utf-8", None
        elif self.path == "/blob":
            body, kind, enc = BLOB, "application/octet-stream", None
        elif self.path == "/text":
            body, kind, enc = gzip.compress(TEXT), "text/plain", "gzip"
        else:
            self.send_error(404)
            return
        self.send_response(200)
        self.send_header("Content-Type", kind)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", "no-store")
        if enc:
            self.send_header("Content-Encoding", enc)
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


class DriverTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        threading.Thread(target=cls.server.serve_forever, daemon=True).start()
        cls.url = "http://127.0.0.1:%d/" % cls.server.server_address[1]
        cls.browser = devtools.Browser()

    @classmethod
    def tearDownClass(cls):
        cls.browser.close()
        cls.server.shutdown()

    def setUp(self):
        self.page = self.browser.open(self.url)

    def tearDown(self):
        self.page.close()

    def test_evaluate_values_promises_and_exceptions(self):
        p = self.page
        for expr, want in [("1 + 2", 3), ("'кв' + 'ак'", "квак"), ("[1, {a: null}]", [1, {"a": None}]),
                           ("undefined", None), ("later(21)", 42), ("document.title", "")]:
            with self.subTest(expr=expr):
                self.assertEqual(p.evaluate(expr), want)
        with self.assertRaisesRegex(devtools.PageError, "ReferenceError: nowhere is not defined"):
            p.evaluate("nowhere.x")
        with self.assertRaisesRegex(devtools.PageError, "no lily"):
            p.evaluate("Promise.reject(new Error('no lily'))")
        # An exception of an evaluation is the caller's, not an uncaught error of the page.
        p.assert_no_errors()

    def test_wait_for_polls_a_state_and_a_hang_ends_at_the_limit(self):
        p = self.page
        self.assertGreaterEqual(p.wait_for("ticks >= 5 && ticks"), 5)
        with self.assertRaisesRegex(devtools.DevToolsError, "stayed false"):
            p.wait_for("false", limit=0.3)

    def test_uncaught_errors_and_rejections_are_collected(self):
        p = self.page
        p.evaluate("throwSoon(); rejectSoon()")
        with self.assertRaisesRegex(devtools.PageError, "thrown by the page"):
            p.wait_for("false")
        self.browser._wait(lambda: len(p.errors) >= 2, None, "both errors")
        self.assertTrue(any("nobody caught me" in e for e in p.errors), p.errors)
        with self.assertRaises(devtools.PageError):
            p.assert_no_errors()

    def test_console_messages(self):
        p = self.page
        p.evaluate("console.error('from the test', 7)")
        self.assertIn("page 1 two null", p.console_texts("log"))
        self.assertIn("careful", p.console_texts("warning"))
        self.assertIn("from the test 7", p.console_texts("error"))

    def test_keys_arrive_with_key_code_and_keycode(self):
        p = self.page
        p.key("ArrowLeft")
        p.key("Enter", ["Alt"])
        p.key("Space")
        p.key("F1")
        events = [e for e in p.evaluate("events") if e[0].startswith("key")]
        self.assertIn(["keydown", "ArrowLeft", "ArrowLeft", 37, False], events)
        self.assertIn(["keyup", "ArrowLeft", "ArrowLeft", 37, False], events)
        self.assertIn(["keydown", "Enter", "Enter", 13, True], events)
        self.assertIn(["keydown", " ", "Space", 32, False], events)
        self.assertIn(["keypress", " ", "Space", 32, False], events)
        self.assertIn(["keydown", "F1", "F1", 112, False], events)
        # Alt+Enter types nothing; the space does.
        self.assertNotIn(["keypress", "Enter", "Enter", 13, True], events)
        with self.assertRaises(ValueError):
            p.key("NoSuchKey")

    def test_typing_fills_a_focused_field(self):
        p = self.page
        p.evaluate("document.getElementById('field').focus()")
        p.type("Kot 7")
        p.char("ё")
        p.key("Backspace")
        p.char("ж")
        self.assertEqual(p.evaluate("document.getElementById('field').value"), "Kot 7ж")

    def test_mouse_and_touch(self):
        p = self.page
        p.click(300, 200)
        p.mouse("move", 310, 210)
        p.click(5, 6, button="right")
        events = p.evaluate("events")
        self.assertIn(["mousedown", 300, 200, 0], events)
        self.assertIn(["mouseup", 300, 200, 0], events)
        self.assertIn(["mousemove", 310, 210, 0], events)
        self.assertIn(["mousedown", 5, 6, 2], events)
        phone = self.browser.open(self.url, 390, 844, mobile=True)
        try:
            self.assertEqual(phone.evaluate("[innerWidth, innerHeight, navigator.maxTouchPoints > 0]"),
                             [390, 844, True])
            phone.tap(100, 400)
            self.assertIn(["touchstart", 100, 400], phone.evaluate("events"))
        finally:
            phone.close()

    def test_screenshot_has_the_viewport_size(self):
        png = self.page.screenshot()
        self.assertEqual(png[:8], b"\x89PNG\r\n\x1a\n")
        self.assertEqual(struct.unpack(">II", png[16:24]), (800, 600))
        self.page.set_viewport(390, 844, mobile=True)
        png = self.page.screenshot()
        self.assertEqual(struct.unpack(">II", png[16:24]), (390, 844))

    def test_network_requests_with_their_encoded_sizes(self):
        p = self.page
        p.evaluate("Promise.all([fetch('blob'), fetch('text'), fetch('missing')].map(r => r.then(x => x.arrayBuffer())))")
        self.browser._wait(lambda: sum(r.get("finished", False) for r in p.requests.values()) >= 4, None,
                           "finished requests")
        by_path = {r["url"].rsplit("/", 1)[1]: r for r in p.network()}
        self.assertEqual(by_path[""]["status"], 200)
        self.assertEqual(by_path["missing"]["status"], 404)
        blob, text = by_path["blob"], by_path["text"]
        self.assertEqual(blob["mime"], "application/octet-stream")
        # Bytes over the wire: the body as sent (compressed for the text) plus headers.
        self.assertGreaterEqual(blob["encoded"], len(BLOB))
        self.assertLess(blob["encoded"], len(BLOB) + 1000)
        self.assertGreaterEqual(text["encoded"], len(gzip.compress(TEXT)))
        self.assertLess(text["encoded"], len(TEXT) // 10)

    def test_reload_runs_the_page_again(self):
        p = self.page
        p.evaluate("window.marker = 1; localStorage.setItem('kept', 'yes')")
        p.reload()
        self.assertEqual(p.evaluate("[typeof marker, localStorage.getItem('kept')]"), ["undefined", "yes"])

    def test_a_failed_navigation_raises(self):
        with self.assertRaisesRegex(devtools.DevToolsError, "ERR_"):
            self.page.navigate("http://127.0.0.1:1/")


class LifetimeTest(unittest.TestCase):
    def test_close_kills_every_process_and_removes_the_profile(self):
        b = devtools.Browser()
        b.open("about:blank")
        pids, profile = b.pids(), b.profile
        self.assertGreater(len(pids), 1)  # the browser and its renderer at least
        b.close()
        b.close()
        for pid in pids:
            self.assertFalse(os.path.exists("/proc/%d" % pid) and _state(pid) != "Z", pid)
        self.assertFalse(os.path.exists(profile))
        with self.assertRaises(devtools.DevToolsError):
            b.send("Browser.getVersion")

    def test_a_script_that_dies_takes_its_browser_with_it(self):
        import subprocess
        here = os.path.dirname(os.path.abspath(__file__))
        code = ("import sys, os; sys.path.insert(0, %r); import devtools\n"
                "b = devtools.Browser(); print(b.proc.pid, b.profile, flush=True)\n"
                "os.kill(os.getpid(), 15)\n" % here)
        out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=120)
        self.assertEqual(out.returncode, -15, out.stderr)
        pid, profile = out.stdout.split()
        self.assertFalse(os.path.exists("/proc/" + pid) and _state(int(pid)) != "Z")
        self.assertFalse(os.path.exists(profile))


def _state(pid):
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().rsplit(")", 1)[1].split()[0]
    except OSError:
        return "gone"


if __name__ == "__main__":
    unittest.main()
