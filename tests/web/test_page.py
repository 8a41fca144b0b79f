#!/usr/bin/env python3
"""The game's page in headless Chromium (tests/web/devtools.py), served on loopback.

    test_page.py frames PLAY-DIR DESKTOP-SIM SCRIPT [SEED [EVERY]]
        The page's test mode runs SCRIPT (a tinokvak-sim script, seed 4 unless SEED) on its
        virtual clock through the real platform and canvas; every "shot" (and with EVERY, one
        after each EVERY-th line) reads the canvas's pixels, which must equal the desktop
        sim's whole frame (.ppm) at the same shot, pixel for pixel, and the state lines must
        be the desktop's.
    test_page.py play PLAY-DIR DESKTOP-SIM WEB-SIM-COMMAND...
        The real page with real key and mouse events: the menu, options changed, a game
        started, hopped and lost, a name entered; the replay the page kept checks with the
        desktop's tinokvak-sim --replay --check and ends in the same state line under the
        browser build's sim; after a reload the options and the high score are still there.
    test_page.py storage PLAY-DIR
        A damaged Config.cfg in the browser's storage is kept aside as Config.cfg.bak after a
        reload, and the game starts on its defaults. Before the game runs, the page's
        counters answer that nothing has happened yet.
    test_page.py failures PLAY-DIR
        A browser without WebAssembly, the program or the game's data not found: the page
        says so in place of the game.
    test_page.py window PLAY-DIR
        The page's focus as the window's activity (the caption's pause mark), and full screen
        through the browser: Alt+Enter, the options' item, and the browser leaving it.
    test_page.py names PLAY-DIR SCORES GAME-DIR
        The page's files under names with their hashes, served by tinokvak-scores (SCORES)
        to be kept for good, the page itself to be asked for every time: a second visit asks
        the server for the page alone.
    test_page.py layout PLAY-DIR
        The canvas letterboxed in a 1280 x 720 window and in a phone's 390 x 844 (touch on):
        where the window's rules put it, crisp at a whole ratio, and a tap lands where it
        points.

    test_page.py watch PLAY-DIR DESKTOP-SIM REPLAY
        The watch mode (?watch=ID) with REPLAY served as /replays/7 (and its name and score as
        /replays/7.json): the bar above the canvas names them, Space pauses (the pause sign
        on the canvas, the replay standing still), a held right arrow runs at four times to
        the end, where the state line is tinokvak-sim --replay's last; R starts again and Esc
        leaves. A damaged replay, one of other game data, an unknown id and a server that
        cannot be reached are each said in place of the game.

Waits take generous limits only so that a broken page cannot hang the test; nothing here
depends on how fast anything runs.
"""

import base64
import functools
import hashlib
import http.server
import json
import os
import re
import subprocess
import sys
import tempfile
import threading
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from devtools import Browser, DevToolsError  # noqa: E402

FRAME_W, FRAME_H = 800, 600


class Failure(Exception):
    pass


def check(cond, what):
    if not cond:
        raise Failure(what)


# ---- serving ---------------------------------------------------------------------------------

class _Handler(http.server.SimpleHTTPRequestHandler):
    extensions_map = dict(http.server.SimpleHTTPRequestHandler.extensions_map,
                          **{".wasm": "application/wasm", ".js": "text/javascript",
                             ".json": "application/json"})
    roots = {}
    missing = ()

    def translate_path(self, path):
        path = path.split("?", 1)[0].split("#", 1)[0]
        if path in self.missing:
            return "/nonexistent"
        for prefix, root in self.roots.items():
            if path == prefix or path.startswith(prefix + "/"):
                rest = path[len(prefix):].lstrip("/") or "index.html"
                full = os.path.realpath(os.path.join(root, rest))
                if full == os.path.realpath(root) or full.startswith(os.path.realpath(root) + os.sep):
                    return full
        return "/nonexistent"

    def end_headers(self):
        self.send_header("Cache-Control", "no-store")
        super().end_headers()

    def log_message(self, *args):
        pass


class Server:
    """The page under /play/ and a test's own files under /test/, on a port of loopback."""

    def __init__(self, play, extra=None, missing=(), replays=None):
        roots = {"/play": play}
        if extra:
            roots["/test"] = extra
        if replays:
            roots["/replays"] = replays
        handler = type("Handler", (_Handler,), {"roots": roots, "missing": tuple(missing)})
        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        self.base = "http://127.0.0.1:%d" % self.httpd.server_address[1]
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


def open_game(browser, url, width=1280, height=720, mobile=False):
    page = browser.open(None, width, height, mobile=mobile)
    page.send("Emulation.setFocusEmulationEnabled", {"enabled": True})
    page.navigate(url)
    wait_ready(page)
    return page


def wait_ready(page):
    page.wait_for("window.tinokvak && (window.tinokvak.ready || window.tinokvak.failed)")
    failed = page.evaluate("window.tinokvak.failed || null")
    check(failed is None, "the page says: %s" % failed)


def state(page):
    return json.loads(page.evaluate("tinokvak.state()"))


def wait_scene(page, scene):
    try:
        page.wait_for("JSON.parse(tinokvak.state()).scene === %s" % json.dumps(scene))
    except DevToolsError:
        s = state(page)
        raise Failure("no %s: the game is in %s (score %s, flags %s, name %r, table %s); the page said: %s" % (
            scene, s["scene"], s["score"], s["flags"], s["playerName"], s["highScores"][:3],
            page.console_texts()[-10:]))


def wait_moving(page, done, progress):
    """Waits until done is truthy for as long as progress keeps changing: the limit is on a
    page that stands still, not on one that is slow."""
    last = page.evaluate(progress)
    while not page.evaluate(done):
        try:
            page.wait_for("(%s) || (%s) !== %s" % (done, progress, json.dumps(last)))
        except DevToolsError:
            raise Failure("%s stayed false with %s standing at %r" % (done, progress, last))
        last = page.evaluate(progress)


def wait_ticks(page, n):
    """Waits until the game has ticked n more frames."""
    page.wait_for("tinokvak.ticks() >= %d" % (page.evaluate("tinokvak.ticks()") + n))


def canvas_box(page):
    return page.evaluate("(() => { const r = document.getElementById('screen').getBoundingClientRect();"
                         " return [r.left, r.top, r.width, r.height]; })()")


def to_client(page, x, y):
    """A frame point as the page's CSS pixels, through the canvas's place."""
    left, top, width, height = canvas_box(page)
    return left + (x + 0.5) * width / FRAME_W, top + (y + 0.5) * height / FRAME_H


def click_frame(page, x, y):
    cx, cy = to_client(page, x, y)
    page.click(cx, cy)


def letterbox(window_w, window_h):
    """The window's rules (platform/FrameScaler.cpp, FitLetterbox) for the frame's aspect."""
    wide, tall = window_w * FRAME_H, window_h * FRAME_W
    if wide == tall:
        return 0, 0, window_w, window_h
    if wide < tall:
        h = max(1, FRAME_H * window_w // FRAME_W)
        return 0, (window_h - h) // 2, window_w, h
    w = max(1, FRAME_W * window_h // FRAME_H)
    return (window_w - w) // 2, 0, w, window_h


def read_ppm(path):
    with open(path, "rb") as f:
        data = f.read()
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        start = pos
        while not data[pos:pos + 1].isspace():
            pos += 1
        fields.append(data[start:pos])
    check(fields[0] == b"P6" and fields[3] == b"255", "%s is no 8-bit P6 picture" % path)
    return int(fields[1]), int(fields[2]), data[pos + 1:]


# ---- frames ----------------------------------------------------------------------------------

def frames(play, desktop_sim, script, seed=4, every=0):
    work = tempfile.mkdtemp(prefix="tk-page-frames-")
    with open(script, encoding="utf-8") as f:
        source = f.read().splitlines()
    # With every, a shot is added after each every-th line too.
    lines = []
    for i, line in enumerate(source, 1):
        lines.append(line)
        if every and i % every == 0:
            lines.append("shot line-%d.png" % i)
    # The desktop's side: each shot as the whole frame, as tests/web/sim.sh takes them.
    desktop_lines, n = [], 0
    for line in lines:
        words = line.split("#", 1)[0].split()
        if words and words[0] == "shot":
            n += 1
            desktop_lines.append("shot desktop-%d.ppm" % n)
        else:
            desktop_lines.append(line)
    check(n > 0, "the script takes no shot")
    with open(os.path.join(work, "desktop.sim"), "w", encoding="utf-8") as f:
        f.write("\n".join(desktop_lines) + "\n")
    with open(os.path.join(work, "page.sim"), "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")
    run = subprocess.run([desktop_sim, "--seed", str(seed), "desktop.sim"], cwd=work, capture_output=True,
                         text=True)
    # A game that closed takes no more shots, on either side.
    n = len([f for f in os.listdir(work) if f.startswith("desktop-") and f.endswith(".ppm")])
    check(run.returncode == 0, "the desktop sim failed: %s" % run.stderr)
    server = Server(play, work)
    try:
        with Browser() as browser:
            page = open_game(browser, server.base + "/play/index.html?script=/test/page.sim&seed=%d" % seed)
            # However long the script takes on a busy machine, so long as its clock moves on.
            wait_moving(page, "tinokvak.scriptDone", "tinokvak.ticks()")
            status = page.evaluate("tinokvak.scriptStatus")
            check(status == 0, "the script failed in the page: %s" % page.evaluate("tinokvak.scriptError"))
            output = page.evaluate("tinokvak.output")
            check(output == run.stdout.splitlines(),
                  "the page printed other lines than the desktop sim:\n%s\n---\n%s" % (output, run.stdout))
            shots = page.evaluate("tinokvak.shots.length")
            check(shots == n, "the page took %d shots, the desktop %d" % (shots, n))
            for i in range(n):
                shot = page.evaluate("tinokvak.shots[%d]" % i)
                check((shot["width"], shot["height"]) == (FRAME_W, FRAME_H),
                      "shot %d: the canvas is %dx%d" % (i + 1, shot["width"], shot["height"]))
                rgba = base64.b64decode(shot["rgba"])
                w, h, rgb = read_ppm(os.path.join(work, "desktop-%d.ppm" % (i + 1)))
                check((w, h) == (FRAME_W, FRAME_H), "the desktop's shot %d is %dx%d" % (i + 1, w, h))
                shown = bytearray(w * h * 3)
                for c in range(3):
                    shown[c::3] = rgba[c::4]
                if shown == rgb and rgba[3::4] == b"\xff" * (w * h):
                    differ = []
                else:
                    differ = [p for p in range(w * h)
                              if shown[3 * p:3 * p + 3] != rgb[3 * p:3 * p + 3] or rgba[4 * p + 3] != 255]
                if differ:
                    p = differ[0]
                    raise Failure("shot %d (%s): %d pixels differ from the desktop's, the first at (%d, %d):"
                                  " canvas %s, desktop %s" % (i + 1, shot["name"], len(differ), p % w, p // w,
                                                             tuple(rgba[4 * p:4 * p + 4]), tuple(rgb[3 * p:3 * p + 3])))
                print("shot %d (%s): the canvas equals the desktop's frame pixel for pixel" % (i + 1, shot["name"]))
            page.assert_no_errors()
    finally:
        server.close()
        subprocess.run(["rm", "-rf", work])


# ---- play ------------------------------------------------------------------------------------

ALPHABET = "MNBVCXZLKJHGFDSAPYTREWQU98765432"


def encode_text(text):
    """The settings file's five-bit text (protocol/Codec.cpp), for a fixture of its own."""
    bits = "".join(format(b, "08b") for b in text.encode("cp1251"))
    bits = "0" * ((5 - len(bits) % 5) % 5) + bits
    return "".join(ALPHABET[int(bits[i:i + 5], 2)] for i in range(0, len(bits), 5))


def settings_file(rows):
    """A Config.cfg in window mode with music and sound on and the given table rows."""
    def padded(s):
        return s + "%" * ((5 - len(s.encode("cp1251")) % 5) % 5)
    lines = ["false", "true", "true", "", ""]
    for name, score in rows:
        lines += [padded(name), padded(str(score))]
    return "".join(encode_text(line) + "\r\n" for line in lines).encode("ascii")


def play(play_dir, desktop_sim, web_sim):
    work = tempfile.mkdtemp(prefix="tk-page-play-")
    server = Server(play_dir)
    try:
        with Browser() as browser:
            page = open_game(browser, server.base + "/play/")
            # A table anyone enters: the game below only has to score.
            low = [("Лягушка", 0)] * 10
            page.evaluate("tinokvak.writeFile('Config.cfg', %s)" %
                          json.dumps(base64.b64encode(settings_file(low)).decode()))
            page.reload()
            wait_ready(page)
            wait_scene(page, "SceneMainMenu")
            s = state(page)
            check([r["score"] for r in s["highScores"]] == [0] * 10,
                  "the stored table was not read back: %s" % s["highScores"])

            # Options: music and sound off, a country typed, back to the menu.
            click_frame(page, 545, 260)
            wait_scene(page, "SceneOptions")
            click_frame(page, 400, 295)
            click_frame(page, 400, 354)
            click_frame(page, 580, 420)
            page.char("Пруд")
            page.wait_for("JSON.parse(tinokvak.state()).playerCountry === 'Пруд'")
            click_frame(page, 444, 543)
            wait_scene(page, "SceneMainMenu")
            s = state(page)
            check(not s["flags"]["GameMusic"] and not s["flags"]["GameSound"],
                  "the options did not change: %s" % s["flags"])

            # A game: Enter starts it, Space hops until the last life is gone.
            page.key("Enter")
            wait_scene(page, "ScenePond")
            # Held for two frame ticks and let go for six, counted in the game's own ticks, so
            # a busy machine plays the same game, only slower.
            for _ in range(4000):
                if state(page)["scene"] == "SceneGameOver":
                    break
                page.key_down(" ")
                wait_ticks(page, 2)
                page.key_up(" ")
                wait_ticks(page, 6)
            s = state(page)
            check(s["scene"] == "SceneGameOver", "the game did not end: %s" % s["scene"])
            score = s["score"]
            check(score > 0, "no points were scored")
            # The name entry opens once the banner has gone; a click puts the typing there.
            page.wait_for("JSON.parse(tinokvak.state()).flags.GameEnterName")
            click_frame(page, 400, 330)
            for _ in range(12):
                page.key("Backspace")
            page.type("Kvak")
            page.wait_for("JSON.parse(tinokvak.state()).playerName === 'Kvak'")
            # The panel takes the typed name at its next frame tick; Enter records that one.
            ticks = page.evaluate("tinokvak.ticks()")
            page.wait_for("tinokvak.ticks() >= %d" % (ticks + 2))
            page.key("Enter")
            wait_scene(page, "SceneHighScores")
            page.evaluate("tinokvak.saved()")

            # The replay the page kept: the desktop accepts it, and both builds end alike.
            names = page.evaluate("tinokvak.listFiles('Replays')")
            games = [n for n in names if n.endswith(".tkr")]
            check(len(games) == 1, "the page kept %s in Replays/" % names)
            replay = os.path.join(work, "browser.tkr")
            with open(replay, "wb") as f:
                f.write(base64.b64decode(page.evaluate("tinokvak.readFile('Replays/%s')" % games[0])))
            desk = subprocess.run([desktop_sim, "--replay", replay, "--check"], capture_output=True, text=True)
            check(desk.returncode == 0, "the desktop refuses the browser's replay (%d): %s"
                  % (desk.returncode, desk.stderr))
            web = subprocess.run(web_sim + ["--replay", replay, "--check"], capture_output=True, text=True)
            check(web.returncode == 0, "the browser build's sim refuses it (%d): %s" % (web.returncode, web.stderr))
            last_desk, last_web = desk.stdout.splitlines()[-1], web.stdout.splitlines()[-1]
            check(last_desk == last_web, "the replay ends differently:\n%s\n%s" % (last_desk, last_web))
            end = json.loads(last_desk)
            check(end["score"] == score, "the replay ends with %d points, the game had %d" % (end["score"], score))
            print("the browser's game (%d points) checks with the desktop's sim and ends alike under both" % score)

            # Reload: the options and the high score are still there.
            page.reload()
            wait_ready(page)
            s = state(page)
            check(not s["flags"]["GameMusic"] and not s["flags"]["GameSound"],
                  "the options were lost: %s" % s["flags"])
            check(s["playerCountry"] == "Пруд", "the country was lost: %r" % s["playerCountry"])
            check({"name": "Kvak", "score": score} in s["highScores"],
                  "the high score was lost: %s" % s["highScores"])
            print("after a reload: music and sound off, the country and Kvak's %d points kept" % score)
            page.assert_no_errors()
    finally:
        server.close()
        subprocess.run(["rm", "-rf", work])


# ---- storage ---------------------------------------------------------------------------------

# Asks the page's counters the moment they exist, long before the game runs.
ASK_EARLY = """
(function ask() {
  const t = window.tinokvak;
  if (!t || !t.ticks) { setTimeout(ask, 0); return; }
  const answer = {};
  for (const what of ['ticks', 'state', 'frame']) {
    try { answer[what] = t[what](); } catch (e) { answer[what] = 'threw ' + e; }
  }
  answer.ready = t.ready;
  window.tkEarly = answer;
})();
"""


def storage(play_dir):
    server = Server(play_dir)
    damaged = b"\x00\xffnot a settings file\r\n" * 7
    try:
        with Browser() as browser:
            page = browser.open(None, 1280, 720)
            page.send("Emulation.setFocusEmulationEnabled", {"enabled": True})
            page.add_init_script(ASK_EARLY)
            page.navigate(server.base + "/play/")
            wait_ready(page)
            # Before the game runs its counters answer none: no ticks, no state, no frame.
            early = page.evaluate("window.tkEarly")
            check(early == {"ticks": 0, "state": None, "frame": None, "ready": False},
                  "before the game ran the page answered %s" % early)
            page.evaluate("tinokvak.writeFile('Config.cfg', %s)" % json.dumps(base64.b64encode(damaged).decode()))
            page.reload()
            wait_ready(page)
            # The start writes the settings: the damaged file goes aside first.
            page.wait_for("tinokvak.listFiles('').indexOf('Config.cfg.bak') >= 0")
            page.evaluate("tinokvak.saved()")
            kept = base64.b64decode(page.evaluate("tinokvak.readFile('Config.cfg.bak')"))
            check(kept == damaged, "Config.cfg.bak is not the damaged file")
            s = state(page)
            check(s["flags"]["GameMusic"] and s["flags"]["GameSound"], "not the defaults: %s" % s["flags"])
            check(s["highScores"][0]["score"] == 3000, "not the default table: %s" % s["highScores"][0])
            # And it is in the browser's storage, not only in the page.
            page.reload()
            wait_ready(page)
            names = page.evaluate("tinokvak.listFiles('')")
            check("Config.cfg.bak" in names and "Config.cfg" in names, "stored files: %s" % names)
            check(base64.b64decode(page.evaluate("tinokvak.readFile('Config.cfg')")) != damaged,
                  "Config.cfg was not written again")
            print("the damaged Config.cfg was kept aside as Config.cfg.bak, the defaults written")
            page.assert_no_errors()
    finally:
        server.close()


# ---- window ----------------------------------------------------------------------------------

# Leaves full screen from the first task that finds it granted: ahead of the browser's own
# fullscreenchange events, which come with the next frame it draws.
LEAVE_AS_SOON_AS_GRANTED = """
(() => {
  delete window.tkLeftAt;
  (function poll() {
    if (document.fullscreenElement) {
      window.tkLeftAt = performance.now();
      document.exitFullscreen();
    } else {
      setTimeout(poll, 0);
    }
  })();
})()
"""


def window(play_dir):
    server = Server(play_dir)
    try:
        with Browser() as browser:
            page = open_game(browser, server.base + "/play/")
            wait_scene(page, "SceneMainMenu")
            # The page losing the focus is the window going to the background, and back.
            page.evaluate("window.dispatchEvent(new FocusEvent('blur'))")
            page.wait_for("JSON.parse(tinokvak.state()).caption === 'Тиноквак [Пауза]'")
            check(page.evaluate("document.title") == "Тиноквак [Пауза]", "the title did not follow")
            page.evaluate("window.dispatchEvent(new FocusEvent('focus'))")
            page.wait_for("JSON.parse(tinokvak.state()).caption === 'Тиноквак'")
            # Alt+Enter: the browser's full screen; the browser leaving it (Esc) takes the game
            # back to window mode, as the options would.
            page.key("Enter", ["Alt"])
            page.wait_for("JSON.parse(tinokvak.state()).flags.GameFullScreen && !!document.fullscreenElement")
            check(state(page)["scene"] == "SceneMainMenu", "Alt+Enter did more than switch the display")
            page.evaluate("document.exitFullscreen()")
            page.wait_for("!JSON.parse(tinokvak.state()).flags.GameFullScreen")
            check(not page.evaluate("!!document.fullscreenElement"), "the page is still in full screen")
            # The browser leaving full screen the moment it granted it, before its event came
            # (a player's quick Esc, or a test's check between the two on a busy machine): both
            # events then read "not in full screen", and the game must still follow.
            page.evaluate(LEAVE_AS_SOON_AS_GRANTED)
            page.key("Enter", ["Alt"])
            page.wait_for("window.tkLeftAt !== undefined")
            page.wait_for("!JSON.parse(tinokvak.state()).flags.GameFullScreen")
            check(not page.evaluate("!!document.fullscreenElement"), "the page is still in full screen")
            check(state(page)["scene"] == "SceneMainMenu", "the quick Esc did more than switch the display")
            # And the options' item asks for it too.
            click_frame(page, 545, 260)
            wait_scene(page, "SceneOptions")
            click_frame(page, 620, 233)
            page.wait_for("JSON.parse(tinokvak.state()).flags.GameFullScreen && !!document.fullscreenElement")
            click_frame(page, 350, 233)
            page.wait_for("!JSON.parse(tinokvak.state()).flags.GameFullScreen && !document.fullscreenElement")
            # The pond stands still while the page is away, and moves again when it is back.
            click_frame(page, 444, 543)
            wait_scene(page, "SceneMainMenu")
            page.key("Enter")
            wait_scene(page, "ScenePond")

            def frame_after(ticks):
                start = page.evaluate("tinokvak.ticks()")
                page.wait_for("tinokvak.ticks() >= %d" % (start + ticks))
                return page.evaluate("tinokvak.frame()")

            moving = frame_after(1)
            for _ in range(200):
                later = frame_after(3)
                if later != moving:
                    break
                moving = later
            check(later != moving, "the pond never moved")
            page.evaluate("window.dispatchEvent(new FocusEvent('blur'))")
            page.wait_for("JSON.parse(tinokvak.state()).caption === 'Тиноквак [Пауза]'")
            frozen = frame_after(2)
            check(frame_after(15) == frozen, "the pond moved while the page was away")
            page.evaluate("window.dispatchEvent(new FocusEvent('focus'))")
            for _ in range(200):
                if frame_after(3) != frozen:
                    break
            else:
                raise Failure("the pond stayed frozen after the page came back")
            print("blur and focus pause and resume the game (caption, a frozen pond); Alt+Enter, the"
                  " options and the browser's own leaving switch full screen")
            page.assert_no_errors()
    finally:
        server.close()


# ---- failures --------------------------------------------------------------------------------

def manifest(play_dir):
    """The build's names of the page's files (files.json beside the page)."""
    with open(os.path.join(play_dir, "files.json"), encoding="utf-8") as f:
        return json.load(f)


def failures(play_dir):
    """What the player reads when the game cannot run, instead of a black page."""
    names = manifest(play_dir)
    cases = [
        ("no WebAssembly", (), "delete window.WebAssembly;", "WebAssembly"),
        ("the program missing", ("/play/" + names["program"]["wasm"],), "", "Обновите страницу"),
        ("the script missing", ("/play/" + names["program"]["js"],), "", "tinokvak.js"),
        ("the pictures missing", ("/play/" + names["files"]["/game/Data/Graphic.dxg"],), "", "Graphic.dxg"),
    ]
    for what, missing, before, says in cases:
        server = Server(play_dir, missing=missing)
        try:
            with Browser() as browser:
                page = browser.open(None, 1280, 720)
                if before:
                    page.send("Page.addScriptToEvaluateOnNewDocument", {"source": before})
                page.navigate(server.base + "/play/")
                page.wait_for("window.tinokvak && (window.tinokvak.failed || window.tinokvak.ready)")
                check(not page.evaluate("!!window.tinokvak.ready"), "%s: the game started" % what)
                text = page.evaluate("document.getElementById('loading').textContent")
                shown = page.evaluate("getComputedStyle(document.getElementById('loading')).display")
                check(says in text and shown != "none", "%s: the page shows %r" % (what, text))
                print("%s: %s" % (what, text))
        finally:
            server.close()


# ---- names -----------------------------------------------------------------------------------

HASHED = re.compile(r"^(?:.*/)?[^/]+\.([0-9a-f]{16})(?:\.[A-Za-z0-9]+)?$")


def names(play_dir, scores, game_dir):
    """Every file the page loads is under a name with its content's hash, named in the page;
    the game's archives are the desktop's as they are; tinokvak-scores lets browsers keep the
    hashed files for good and asks them to ask for the page every time, so a second visit
    takes every file from the browser's cache and only the page from the server."""
    names = manifest(play_dir)
    with open(os.path.join(play_dir, "index.html"), encoding="utf-8") as f:
        page_text = f.read()
    check("@TK_" not in page_text, "index.html keeps a placeholder")
    urls = [names["program"]["js"], names["program"]["wasm"]] + list(names["files"].values())
    for url in urls:
        m = HASHED.match(url)
        check(m, "%s: no hash in the name" % url)
        with open(os.path.join(play_dir, url), "rb") as f:
            data = f.read()
        check(hashlib.sha256(data).hexdigest()[:16] == m.group(1), "%s: not the hash of its bytes" % url)
        check("'%s'" % url in page_text or '"%s"' % url in page_text, "%s: not named in index.html" % url)
    for path, url in names["files"].items():
        if path.startswith("/game/"):
            with open(os.path.join(game_dir, path[len("/game/"):]), "rb") as a, \
                    open(os.path.join(play_dir, url), "rb") as b:
                check(a.read() == b.read(), "%s: not the desktop's file" % path)
    check("/game/Data/Graphic.dxg" in names["files"] and "/data/glyphs.tkg" in names["files"],
          "the list lacks the game's files: %s" % sorted(names["files"]))
    check(names["later"] == ["/data/music.tkm"], "fetched after the first frame: %s" % names["later"])
    # Nothing but this build's files in the folders the build fills.
    built = set()
    for top in ("game", "data"):
        for d, _, fs in os.walk(os.path.join(play_dir, top)):
            built |= {os.path.relpath(os.path.join(d, f), play_dir) for f in fs}
    check(built == set(names["files"].values()), "stale files: %s" % sorted(built - set(names["files"].values())))
    print("%d files under hashed names, named in index.html; the archives as the desktop's" % len(urls))

    work = tempfile.mkdtemp(prefix="tk-page-names-")
    server = subprocess.Popen([scores, "--port", "0", "--db", os.path.join(work, "scores.db"), "--play-dir", play_dir],
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    try:
        line = server.stdout.readline()
        check(line.startswith("listening on "), "tinokvak-scores did not start: %r" % line)
        base = line.split()[-1]
        immutable = "public, max-age=31536000, immutable"
        for url, cache in [("", "no-cache"), ("index.html", "no-cache")] + [(u, immutable) for u in urls]:
            with urllib.request.urlopen(base + "/play/" + url) as r:
                check(r.headers["Cache-Control"] == cache,
                      "/play/%s: Cache-Control %r" % (url, r.headers["Cache-Control"]))
                if url.endswith(".wasm"):
                    check(r.headers["Content-Type"] == "application/wasm", "%s: %s" % (url, r.headers["Content-Type"]))
        with Browser() as browser:
            page = open_game(browser, base + "/play/")
            page.wait_for("tinokvak.musicLoaded")
            first = page.network()
            page.close()
            page = open_game(browser, base + "/play/")
            page.wait_for("tinokvak.musicLoaded")
            again = [r for r in page.network() if "/play/" in r.get("url", "")]
            asked = sorted(r["url"].split("/play/", 1)[1] for r in again if not r.get("cached"))
            check(asked == [""], "the second visit asked the server for %s" % asked)
            check(len(again) == len([r for r in first if "/play/" in r.get("url", "")]),
                  "the second visit loaded other files than the first")
            page.assert_no_errors()
        print("tinokvak-scores: the page no-cache, its %d files immutable; a second visit asks for the page alone"
              % len(urls))
    finally:
        server.terminate()
        server.wait(timeout=60)
        server.stdout.close()
        subprocess.run(["rm", "-rf", work])


# ---- layout ----------------------------------------------------------------------------------

def layout(play_dir):
    server = Server(play_dir)
    try:
        with Browser() as browser:
            for width, height, mobile in ((1280, 720, False), (390, 844, True), (1600, 1200, False)):
                page = open_game(browser, server.base + "/play/", width, height, mobile)
                # The bands the page keeps for its own controls (the on-screen keys) are left out.
                m = page.evaluate("tinokvak.margins")
                check(not mobile or m["bottom"] > 0 or m["left"] > 0, "%dx%d: no band for the on-screen keys" % (width, height))
                inner = letterbox(width - m["left"] - m["right"], height - m["top"] - m["bottom"])
                want = (inner[0] + m["left"], inner[1] + m["top"], inner[2], inner[3])
                got = canvas_box(page)
                check([round(v) for v in got] == list(want),
                      "%dx%d: the canvas is at %s, the rules say %s" % (width, height, got, want))
                crisp = page.evaluate("document.getElementById('screen').style.imageRendering")
                whole = want[2] % FRAME_W == 0 and want[3] % FRAME_H == 0
                check((crisp == "pixelated") == whole,
                      "%dx%d: image-rendering %r at a %s ratio" % (width, height, crisp, "whole" if whole else "other"))
                pixels = page.evaluate("document.getElementById('screen').width + 'x' + "
                                       "document.getElementById('screen').height")
                check(pixels == "800x600", "the canvas's own pixels are %s" % pixels)
                wait_scene(page, "SceneMainMenu")
                # The pointer (a tap on a phone) lands on the frame point it shows.
                cx, cy = to_client(page, 545, 260)
                if mobile:
                    # A finger dragged from the side onto a button lights it, as the pointer
                    # moving there does (the browser's own mouse emulation sends no moves).
                    before = state(page)["sprites"]
                    page.touch("start", [to_client(page, 100, 120)])
                    page.touch("move", [to_client(page, 300, 300)])
                    page.touch("move", [to_client(page, 545, 410)])
                    page.wait_for("JSON.stringify(JSON.parse(tinokvak.state()).sprites) !== JSON.stringify(%s)"
                                  % json.dumps(before))
                    page.touch("end", [])
                    check(state(page)["scene"] == "SceneMainMenu", "a drag onto a button pressed it")
                    page.touch("start", [(cx, cy)])
                    page.touch("end", [])
                else:
                    page.mouse("move", cx, cy)
                    page.mouse("down", cx, cy)
                    page.mouse("up", cx, cy)
                wait_scene(page, "SceneOptions")
                print("%dx%d%s: the canvas at %s, %s; a %s on Options opens them" % (
                    width, height, " (touch)" if mobile else "", want, crisp, "tap" if mobile else "click"))
                page.assert_no_errors()
                page.close()
    finally:
        server.close()


# ---- watch -----------------------------------------------------------------------------------

def fnv1a(data, h=0xcbf29ce484222325):
    for c in data:
        h = ((h ^ c) * 0x100000001b3) & 0xFFFFFFFFFFFFFFFF
    return h


def other_data(replay):
    """The replay as if recorded with other game data: its data hash changed, its checksum
    made again (replay/ReplayFile.cpp's layout: magic, version, game version, data hash)."""
    b = bytearray(replay)
    pos, n, shift = 10, 0, 0
    while True:
        n |= (b[pos] & 0x7F) << shift
        shift += 7
        pos += 1
        if not b[pos - 1] & 0x80:
            break
    pos += n
    b[pos] ^= 0x5A
    b[-8:] = fnv1a(bytes(b[:-8])).to_bytes(8, "little")
    return bytes(b)


def pause_sign_shown(page):
    """The viewer's pause sign (ViewerDisplay.cpp): a white bar on the shaded square at the top
    left of the frame."""
    frame = base64.b64decode(page.evaluate("tinokvak.frame()"))
    p = (20 * FRAME_W + 58) * 4
    return frame[p:p + 3] == b"\xff\xff\xff"


def watch(play_dir, desktop_sim, replay):
    work = tempfile.mkdtemp(prefix="tk-page-watch-")
    with open(replay, "rb") as f:
        good = f.read()
    run = subprocess.run([desktop_sim, "--replay", replay], capture_output=True, text=True)
    check(run.returncode == 0, "the desktop sim refuses %s: %s" % (replay, run.stderr))
    end = run.stdout.splitlines()[-1]
    score = json.loads(end)["score"]
    damaged = bytearray(good)
    damaged[len(damaged) // 2] ^= 0x01
    files = {"7": good, "8": bytes(damaged), "9": other_data(good)}
    for name, data in files.items():
        with open(os.path.join(work, name), "wb") as f:
            f.write(data)
        with open(os.path.join(work, name + ".json"), "w", encoding="utf-8") as f:
            json.dump({"id": int(name), "name": "Лягушонок", "score": score, "level": 1, "verified": True}, f,
                      ensure_ascii=False)
    server = Server(play_dir, replays=work)
    try:
        with Browser() as browser:
            page = browser.open(None, 1280, 720)
            page.send("Emulation.setFocusEmulationEnabled", {"enabled": True})
            page.navigate(server.base + "/play/?watch=7")
            page.wait_for("window.tinokvak && tinokvak.watch && (tinokvak.watch.loaded || tinokvak.watch.error)")
            check(page.evaluate("tinokvak.watch.error") is None, "the page says: %s" % page.evaluate("tinokvak.watch.error"))
            title = page.evaluate("document.getElementById('watch-title').textContent")
            check("Лягушонок" in title and str(score) in title, "the bar says %r" % title)
            bar = page.evaluate("document.getElementById('watch-bar').getBoundingClientRect().bottom")
            check(bar <= canvas_box(page)[1] + 0.5, "the bar covers the canvas")
            page.wait_for("tinokvak.ready && tinokvak.watch.position > 0")
            # Space: paused, with the sign, standing still while the page's clock runs on.
            page.key(" ")
            page.wait_for("tinokvak.watch.paused")
            check(pause_sign_shown(page), "no pause sign on the paused replay")
            at = page.evaluate("tinokvak.watch.position")
            page.evaluate("new Promise(r => requestAnimationFrame(() => requestAnimationFrame(r)))")
            check(page.evaluate("tinokvak.watch.position") == at, "the paused replay moved on")
            page.key(" ")
            page.wait_for("!tinokvak.watch.paused && tinokvak.watch.position > %d" % at)
            check(not pause_sign_shown(page), "the pause sign stays after the pause")
            # The right arrow held: four times as fast, to the end.
            page.key_down("ArrowRight")
            page.wait_for("tinokvak.watch.fast")
            page.wait_for("tinokvak.watch.ended", limit=600)
            page.key_up("ArrowRight")
            page.wait_for("!tinokvak.watch.fast")
            got = page.evaluate("tinokvak.watch.state")
            check(got == end, "the replay ends in another state than the desktop sim's:\n%s\n%s" % (got, end))
            print("watched to the end: the state line is tinokvak-sim --replay's last")
            # R: from the beginning; the page's "Сначала" does the same.
            page.key("r")
            page.wait_for("!tinokvak.watch.ended && tinokvak.watch.position < tinokvak.watch.entries")
            page.evaluate("document.getElementById('watch-restart').click()")
            page.wait_for("!tinokvak.watch.ended")
            # Esc leaves: to the site's home, as nothing on this site opened it.
            page.key("Escape")
            page.wait_for("location.pathname === '/'")
            page.assert_no_errors()
            page.close()

            cases = [
                ("a damaged replay", "/play/?watch=8", "повреждена"),
                ("a replay of other game data", "/play/?watch=9", "другими данными игры"),
                ("an unknown id", "/play/?watch=12", "нет на сервере"),
                ("no id", "/play/?watch=abc", "Нет такой записи"),
            ]
            for what, path, says in cases:
                page = browser.open(None, 1280, 720)
                page.navigate(server.base + path)
                page.wait_for("window.tinokvak && tinokvak.watch && tinokvak.watch.error")
                text = page.evaluate("document.getElementById('loading').textContent")
                shown = page.evaluate("getComputedStyle(document.getElementById('loading')).display")
                check(says in text and shown != "none", "%s: the page shows %r" % (what, text))
                check(page.evaluate("getComputedStyle(document.getElementById('screen')).visibility") == "hidden",
                      "%s: the canvas is still shown" % what)
                print("%s: %s" % (what, text))
                page.close()
            # The replay's server out of reach (its requests fail as without a network).
            page = browser.open(None, 1280, 720)
            page.send("Network.enable")
            page.send("Network.setBlockedURLs", {"urls": ["*/replays/*"]})
            page.navigate(server.base + "/play/?watch=7")
            page.wait_for("window.tinokvak && tinokvak.watch && tinokvak.watch.error")
            text = page.evaluate("document.getElementById('loading').textContent")
            check("нет связи с сервером" in text, "no network: the page shows %r" % text)
            print("no network: %s" % text)
            page.close()
    finally:
        if server:
            server.close()
        subprocess.run(["rm", "-rf", work])


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    mode, play_dir = sys.argv[1], os.path.abspath(sys.argv[2])
    if len(sys.argv) > 3:
        sys.argv[3] = os.path.abspath(sys.argv[3])
    if mode == "frames" and len(sys.argv) > 4:
        sys.argv[4] = os.path.abspath(sys.argv[4])
    try:
        if mode == "frames" and 5 <= len(sys.argv) <= 7:
            frames(play_dir, sys.argv[3], sys.argv[4], *[int(a) for a in sys.argv[5:]])
        elif mode == "play" and len(sys.argv) >= 5:
            play(play_dir, sys.argv[3], sys.argv[4:])
        elif mode == "storage" and len(sys.argv) == 3:
            storage(play_dir)
        elif mode == "failures" and len(sys.argv) == 3:
            failures(play_dir)
        elif mode == "window" and len(sys.argv) == 3:
            window(play_dir)
        elif mode == "names" and len(sys.argv) == 5:
            names(play_dir, sys.argv[3], os.path.abspath(sys.argv[4]))
        elif mode == "layout" and len(sys.argv) == 3:
            layout(play_dir)
        elif mode == "watch" and len(sys.argv) == 5:
            watch(play_dir, sys.argv[3], os.path.abspath(sys.argv[4]))
        else:
            sys.exit(__doc__)
    except Failure as e:
        print("FAIL: %s" % e)
        sys.exit(1)


if __name__ == "__main__":
    main()
