"""The site as a visitor meets it, in headless Chromium at 1280 and 390 pixels wide, served by
tinokvak-scores with a database that holds one verified result and its replay (sent and
uploaded as the game does, verified by the server's desktop checker):

  - "Играть" on the home page leads to a running game (its ticks advance, its frame is no
    blank);
  - "▶" in the table opens the replay in the page, which names the player and the score
    above the canvas and reaches the state tinokvak-sim --replay ends the same file in;
  - the package listed on /download/ downloads with the size and SHA-256 the page gives;
  - every link of every page of the site answers 200;
  - on a phone (390 px, touch, no keyboard) the on-screen keys sit clear of the canvas and
    move the frog and pause the game; with a mouse and keyboard there are none.

    test_site.py --scores BIN --checker BIN --sim BIN --game-dir DIR --page DIR --replay FILE
                 [--package FILE]

Without --package a small stand-in .deb is put in the download folder.
"""

import argparse
import base64
import hashlib
import html.parser
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.error
import urllib.parse
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import devtools  # noqa: E402

parser = argparse.ArgumentParser()
for name in ("scores", "checker", "sim", "game-dir", "page", "replay"):
    parser.add_argument("--" + name, required=True)
parser.add_argument("--package")
ARGS, rest = parser.parse_known_args()
sys.argv[1:] = rest

NAME, SCORE = "Квакуша", 200
WIDTHS = ((1280, 720, False), (390, 844, True))
ALPHABET = "MNBVCXZLKJHGFDSAPYTREWQU98765432"
FRAME_W, FRAME_H = 800, 600


def encode(data):
    bits = "".join(f"{x:08b}" for x in data)
    bits = "0" * ((5 - len(bits) % 5) % 5) + bits
    return "".join(ALPHABET[int(bits[i:i + 5], 2)] for i in range(0, len(bits), 5))


def fetch(url, data=None, method=None):
    req = urllib.request.Request(url, data=data, method=method)
    try:
        with urllib.request.urlopen(req, timeout=60) as r:
            return r.status, r.headers, r.read()
    except urllib.error.HTTPError as e:
        return e.code, e.headers, e.read()


class Links(html.parser.HTMLParser):
    """Every address a page links to or loads, with the text of its links."""

    def __init__(self):
        super().__init__()
        self.found = []  # (address, tag, text)
        self._open = None

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        for attr in ("href", "src"):
            if a.get(attr):
                self.found.append([a[attr], tag, ""])
                if tag == "a":
                    self._open = self.found[-1]
        if tag == "meta" and (a.get("property") or a.get("name") or "") in ("og:image", "og:url"):
            if a.get("content"):
                self.found.append([a["content"], "meta", ""])

    def handle_data(self, data):
        if self._open is not None:
            self._open[2] += data

    def handle_endtag(self, tag):
        if tag == "a":
            self._open = None


def sim_end_state(sim, replay):
    run = subprocess.run([sim, "--replay", replay], capture_output=True, text=True, timeout=600)
    if run.returncode != 0:
        raise AssertionError("tinokvak-sim --replay failed (%d): %s" % (run.returncode, run.stderr))
    return run.stdout.splitlines()[-1]


class SiteTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="tk-site-")
        downloads = os.path.join(cls.tmp, "download")
        os.mkdir(downloads)
        if ARGS.package:
            shutil.copy(ARGS.package, downloads)
            cls.package = os.path.basename(ARGS.package)
        else:
            # A stand-in of the release's package: what matters here is that the bytes served
            # are the bytes the page describes.
            cls.package = "tinokvak_1.0_amd64.deb"
            with open(os.path.join(downloads, cls.package), "wb") as f:
                f.write(bytes((i * 7919 + (i >> 8)) & 0xFF for i in range(300_000)))
        with open(os.path.join(downloads, cls.package), "rb") as f:
            cls.package_bytes = f.read()
        cls.err = open(os.path.join(cls.tmp, "scores.err"), "w")
        cls.server = subprocess.Popen(
            [ARGS.scores, "--port", "0", "--db", os.path.join(cls.tmp, "scores.db"), "--play-dir", ARGS.page,
             "--checker", ARGS.checker, "--game-dir", ARGS.game_dir, "--download-dir", downloads],
            stdout=subprocess.PIPE, stderr=cls.err, text=True)
        line = cls.server.stdout.readline()
        if not line.startswith("listening on "):
            cls.tearDownClass()
            raise AssertionError("the server did not start: %r" % line)
        cls.url = line.split()[-1]
        cls.verify_a_result()
        cls.end_state = sim_end_state(ARGS.sim, ARGS.replay)
        cls.browser = devtools.Browser()

    @classmethod
    def tearDownClass(cls):
        if getattr(cls, "browser", None):
            cls.browser.close()
        cls.server.terminate()
        cls.server.wait(timeout=60)
        cls.server.stdout.close()
        cls.err.close()
        shutil.rmtree(cls.tmp, True)

    @classmethod
    def verify_a_result(cls):
        """The kept game's result sent and its replay uploaded as the game does; the server's
        checker verifies it."""
        status, _, body = fetch(cls.url + "/cgi/version.pl?version&prg=Pondlark")
        assert status == 200, (status, body)
        token = body.decode().split("|")[4]
        p = ("type=0|name=%s|score=%d|key=T|p=%s|add=|z=" % (NAME, SCORE, token)).encode("cp1251")
        p += b"0" * ((5 - len(p) % 5) % 5)
        status, _, body = fetch(cls.url + "/cgi/version.pl?hs&prg=Pondlark&inf=" + encode(p))
        assert status == 200, (status, body)
        with open(ARGS.replay, "rb") as f:
            status, _, body = fetch(cls.url + "/cgi/replay.pl?prg=Pondlark&p=" + token, f.read(), "POST")
        assert status == 202, (status, body)
        table = cls.url + "/cgi/version.pl?prg=Pondlark&type=0&show&verified"
        deadline = time.monotonic() + 300
        while NAME not in fetch(table)[2].decode():
            assert time.monotonic() < deadline, "the result was never verified"
            time.sleep(0.2)

    def open(self, path, width, height, mobile):
        page = self.browser.open(None, width, height, mobile=mobile)
        self.addCleanup(page.close)
        page.navigate(self.url + path)
        return page

    def follow(self, page, text):
        """Clicks (or taps) the first link whose text is text, as a visitor does; returns where
        it led."""
        box = page.evaluate(
            "(() => { const t = %s, all = [...document.querySelectorAll('a')];"
            " const a = all.find(a => a.textContent.trim() === t) || all.find(a => a.textContent.includes(t));"
            " if (!a) return null; a.scrollIntoView({block: 'center'}); const r = a.getBoundingClientRect();"
            " return [r.left + r.width / 2, r.top + r.height / 2, a.href]; })()" % json.dumps(text))
        self.assertIsNotNone(box, "no link %r on %s" % (text, page.evaluate("location.href")))
        before = page.evaluate("location.href")
        page.click(box[0], box[1])
        page.wait_for("location.href !== %s && document.readyState === 'complete'" % json.dumps(before))
        self.assertEqual(page.evaluate("location.href"), box[2])
        return box[2]

    def canvas_box(self, page):
        return page.evaluate("(() => { const r = document.getElementById('screen').getBoundingClientRect();"
                             " return [r.left, r.top, r.right, r.bottom]; })()")

    # ---- the home page's "Играть" ----------------------------------------------------------

    def test_play_from_the_home_page(self):
        for width, height, mobile in WIDTHS:
            with self.subTest(width=width):
                page = self.open("/", width, height, mobile)
                where = self.follow(page, "Играть")
                self.assertEqual(urllib.parse.urlparse(where).path, "/play/")
                page.wait_for("window.tinokvak && (tinokvak.ready || tinokvak.failed)")
                self.assertFalse(page.evaluate("!!tinokvak.failed"), page.evaluate("tinokvak.failed || ''"))
                start = page.evaluate("tinokvak.ticks()")
                page.wait_for("tinokvak.ticks() >= %d" % (start + 10))
                frame = base64.b64decode(page.evaluate("tinokvak.frame()"))
                self.assertEqual(len(frame), FRAME_W * FRAME_H * 4)
                colours = {frame[i:i + 3] for i in range(0, len(frame), 4 * 997)}
                self.assertGreater(len(colours), 8, "the frame is blank")
                page.assert_no_errors()

    # ---- "▶": a verified game watched in the page ------------------------------------------

    def test_watch_a_verified_game_from_the_table(self):
        for width, height, mobile in WIDTHS:
            with self.subTest(width=width):
                page = self.open("/cgi/version.pl?prg=Pondlark&type=0&show", width, height, mobile)
                where = self.follow(page, "▶")
                m = re.fullmatch(r"/play/\?watch=(\d+)", urllib.parse.urlparse(where).path + "?" +
                                 urllib.parse.urlparse(where).query)
                self.assertIsNotNone(m, where)
                status, headers, about = fetch(self.url + "/replays/%s.json" % m.group(1))
                self.assertEqual(status, 200)
                about = json.loads(about)
                self.assertEqual((about["name"], about["score"], about["verified"]), (NAME, SCORE, True))
                page.wait_for("window.tinokvak && tinokvak.watch && (tinokvak.watch.loaded || tinokvak.watch.error)")
                self.assertIsNone(page.evaluate("tinokvak.watch.error"))
                title = page.evaluate("document.getElementById('watch-title').textContent")
                self.assertIn(NAME, title)
                self.assertIn(str(SCORE), title)
                # The bar is above the canvas, not over it.
                bar = page.evaluate("document.getElementById('watch-bar').getBoundingClientRect().bottom")
                self.assertLessEqual(bar, self.canvas_box(page)[1] + 0.5)
                # Watched at four times, the right arrow held, to its end.
                page.key_down("ArrowRight")
                page.wait_for("tinokvak.watch.fast || tinokvak.watch.ended")
                page.wait_for("tinokvak.watch.ended", limit=600)
                page.key_up("ArrowRight")
                self.assertEqual(json.loads(page.evaluate("tinokvak.watch.state")), json.loads(self.end_state))
                self.assertEqual(page.evaluate("tinokvak.watch.state"), self.end_state)
                page.assert_no_errors()

    # ---- /download/ ------------------------------------------------------------------------

    def test_the_package_downloads_as_the_page_describes_it(self):
        for width, height, mobile in WIDTHS:
            with self.subTest(width=width):
                page = self.open("/download/", width, height, mobile)
                page.wait_for("document.readyState === 'complete'")
                rows = page.evaluate(
                    "[...document.querySelectorAll('a')].filter(a => a.getAttribute('href').endsWith(%s))"
                    ".map(a => [a.href, (a.closest('tr, li, dd, p, div') || a.parentNode).textContent])"
                    % json.dumps(self.package))
                self.assertEqual(len(rows), 1, "the page lists %s as %s" % (self.package, rows))
                href, text = rows[0]
                status, headers, body = fetch(href)
                self.assertEqual(status, 200)
                self.assertEqual(headers.get("Content-Type"), "application/vnd.debian.binary-package")
                digest = hashlib.sha256(body).hexdigest()
                self.assertEqual(body, self.package_bytes)
                shown = re.findall(r"(?<![0-9a-fA-F])[0-9a-fA-F]{64}(?![0-9a-fA-F])", text)
                if not shown:  # the checksum in a cell of its own row
                    shown = re.findall(r"(?<![0-9a-fA-F])[0-9a-fA-F]{64}(?![0-9a-fA-F])", page.evaluate("document.body.textContent"))
                self.assertIn(digest, [s.lower() for s in shown])
                size = re.sub(r"[\s\u00a0\u202f]", "", text)
                self.assertTrue(str(len(body)) in size or self.shown_size(len(body)) in text,
                                "the size of %d bytes is not on the page: %r" % (len(body), text))

    @staticmethod
    def shown_size(n):
        """The size as a reader is shown it, when not in bytes: kilobytes or megabytes."""
        return ("%.1f" % (n / 1024 ** 2)).replace(".", ",") if n >= 1024 ** 2 else str(round(n / 1024))

    # ---- every link -----------------------------------------------------------------------

    def test_every_link_of_every_page_answers(self):
        origin = urllib.parse.urlparse(self.url)
        todo, seen, broken, pages = ["/"], set(), [], 0
        while todo:
            path = todo.pop()
            if path in seen:
                continue
            seen.add(path)
            status, headers, body = fetch(self.url + path)
            if status != 200:
                broken.append("%s: %d" % (path, status))
                continue
            if not (headers.get("Content-Type") or "").startswith("text/html"):
                continue
            pages += 1
            links = Links()
            links.feed(body.decode("utf-8", "replace"))
            for address, tag, _ in links.found:
                u = urllib.parse.urlparse(urllib.parse.urljoin(self.url + path, address))
                if u.scheme in ("mailto", "data", "javascript") or u.netloc not in ("", origin.netloc):
                    continue
                todo.append(u.path + ("?" + u.query if u.query else ""))
        self.assertEqual(broken, [])
        self.assertGreaterEqual(pages, 3, "the crawl found only %s" % sorted(seen))
        for must in ("/play/", "/download/"):
            self.assertIn(must, seen)
        self.assertTrue(any(p.startswith("/play/?watch=") for p in seen), sorted(seen))
        self.assertTrue(any(p.startswith("/download/") and p != "/download/" for p in seen), sorted(seen))
        print("%d addresses answered 200, %d of them pages" % (len(seen), pages))

    # ---- the on-screen keys ----------------------------------------------------------------

    def test_on_screen_keys_on_a_phone(self):
        page = self.open("/play/", 1280, 720, False)
        page.wait_for("window.tinokvak && tinokvak.ready")
        self.assertIsNone(page.evaluate("document.getElementById('touch-keys')"), "keys shown beside a keyboard")

        page = self.open("/play/", 390, 844, True)
        page.wait_for("window.tinokvak && tinokvak.ready")
        page.wait_for("JSON.parse(tinokvak.state()).scene === 'SceneMainMenu'")
        canvas = self.canvas_box(page)
        keys = page.evaluate(
            "[...document.querySelectorAll('#touch-keys button')].map(b => { const r = b.getBoundingClientRect();"
            " return [b.dataset.key, r.left, r.top, r.right, r.bottom]; })")
        self.assertEqual(sorted(k[0] for k in keys),
                         sorted(["ArrowUp", "ArrowLeft", "ArrowDown", "ArrowRight", "Space", "KeyP", "Escape"]))
        where = {}
        for key, left, top, right, bottom in keys:
            where[key] = ((left + right) / 2, (top + bottom) / 2)
            self.assertTrue(right <= 390 and bottom <= 844 and left >= 0, "%s off the screen" % key)
            over = left < canvas[2] and right > canvas[0] and top < canvas[3] and bottom > canvas[1]
            self.assertFalse(over, "%s covers the canvas %s" % (key, canvas))
            self.assertGreaterEqual(min(right - left, bottom - top), 40, "%s is too small for a finger" % key)
        self.assertEqual(canvas[2] - canvas[0], 390, "the canvas does not take the screen's width")

        def tap_frame(x, y):
            page.tap(canvas[0] + (x + 0.5) * (canvas[2] - canvas[0]) / FRAME_W,
                     canvas[1] + (y + 0.5) * (canvas[3] - canvas[1]) / FRAME_H)

        def state():
            return json.loads(page.evaluate("tinokvak.state()"))

        def press(key):
            """A finger on the key for a couple of the game's ticks, as a player's press."""
            page.touch("start", [where[key]])
            ticks = page.evaluate("tinokvak.ticks()")
            page.wait_for("tinokvak.ticks() >= %d" % (ticks + 2))
            page.touch("end", [])

        # A new game by a tap on the menu, as on a phone; an arrow turns the frog, Space
        # makes it jump to the next column.
        tap_frame(545, 184)
        page.wait_for("JSON.parse(tinokvak.state()).scene === 'ScenePond'")
        s = state()
        arrow = "ArrowLeft" if s["frogColumn"] == 3 else "ArrowRight"
        facing = s["frogFacing"]
        for _ in range(100):  # the level's title shows first, and the frog takes no keys then
            press(arrow)
            try:
                page.wait_for("JSON.parse(tinokvak.state()).frogFacing !== %s" % json.dumps(facing), limit=3)
                break
            except devtools.DevToolsError:
                continue
        s = state()
        self.assertNotEqual(s["frogFacing"], facing, "%s did not turn the frog" % arrow)
        press("Space")
        page.wait_for("(s => s.frogColumn !== %d || s.lives !== %d)(JSON.parse(tinokvak.state()))"
                      % (s["frogColumn"], s["lives"]))
        # P pauses, and again goes on.
        press("KeyP")
        page.wait_for("JSON.parse(tinokvak.state()).paused")
        press("KeyP")
        page.wait_for("!JSON.parse(tinokvak.state()).paused")
        self.assertIsNotNone(page.evaluate("document.getElementById('touch-keys')"))
        page.assert_no_errors()


if __name__ == "__main__":
    unittest.main()
