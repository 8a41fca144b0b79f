"""The game in headless Chromium, served by tinokvak-scores under /play/: a game played with
real key presses and clicks ends in the name entry, the result is sent, the server's
desktop checker verifies the replay recorded in the browser, and the table survives a
reload from the browser's storage.

    test_browser_online.py --scores BIN --checker BIN --game-dir DIR --page DIR
"""

import argparse
import base64
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import devtools  # noqa: E402

parser = argparse.ArgumentParser()
for name in ("scores", "checker", "game-dir", "page"):
    parser.add_argument("--" + name, required=True)
ARGS, rest = parser.parse_known_args()
sys.argv[1:] = rest

NAME = "Петя"
ALPHABET = "MNBVCXZLKJHGFDSAPYTREWQU98765432"


def encode(data):
    bits = "".join(f"{x:08b}" for x in data)
    bits = "0" * ((5 - len(bits) % 5) % 5) + bits
    return "".join(ALPHABET[int(bits[i:i + 5], 2)] for i in range(0, len(bits), 5))


def padded(b):
    return b + b"%" * ((5 - len(b) % 5) % 5)


def lowered_config():
    """A Config.cfg whose table ends below zero, so a game that scores nothing takes its first
    row; the player's country set."""
    lines = [b"false", b"true", b"true", padded("Россия".encode("cp1251")), b""]
    for k in range(10):
        lines += [padded("Ваня".encode("cp1251")), padded(str(-10 * (k + 1)).encode())]
    return b"".join(encode(line).encode() + b"\r\n" for line in lines)


class BrowserOnlineTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="tk-browser-online-")
        self.addCleanup(shutil.rmtree, self.tmp, True)
        err = open(os.path.join(self.tmp, "scores.err"), "w")
        self.addCleanup(err.close)
        self.server = subprocess.Popen(
            [ARGS.scores, "--port", "0", "--db", os.path.join(self.tmp, "scores.db"), "--play-dir", ARGS.page,
             "--checker", ARGS.checker, "--game-dir", ARGS.game_dir],
            stdout=subprocess.PIPE, stderr=err, text=True,
            # The checker's hash cache goes with the test's folder, not into the user's.
            env=dict(os.environ, XDG_CACHE_HOME=os.path.join(self.tmp, "cache")))
        self.addCleanup(self.stop_server)
        line = self.server.stdout.readline()
        self.assertTrue(line.startswith("listening on "), line)
        self.url = line.split()[-1]
        self.browser = devtools.Browser()
        self.addCleanup(self.browser.close)

    def stop_server(self):
        self.server.terminate()
        self.server.wait(timeout=60)
        self.server.stdout.close()

    def state(self, page):
        return json.loads(page.evaluate("tinokvak.state()"))

    def wait_state(self, page, condition):
        """Waits for the state line to meet a JavaScript condition on s."""
        try:
            page.wait_for("(s => %s)(JSON.parse(tinokvak.state()))" % condition)
        except devtools.DevToolsError as e:
            raise AssertionError("%s; the game's state: %s" % (e, page.evaluate("tinokvak.state()")))
        return self.state(page)

    def test_a_result_sent_from_the_browser_is_verified_and_the_table_kept(self):
        page = self.browser.open(self.url + "/play/")
        page.wait_for("window.tinokvak && tinokvak.ready")
        # The player's stored settings, as if kept from earlier games; read on the next load.
        page.evaluate("tinokvak.writeFile('Config.cfg', '%s')" % base64.b64encode(lowered_config()).decode())
        page.evaluate("tinokvak.saved()")
        page.reload()
        page.wait_for("tinokvak.ready")
        s = self.wait_state(page, "s.scene === 'SceneMainMenu'")
        self.assertEqual((s["highScores"][0]["score"], s["playerCountry"]), (-10, "Россия"))
        # A new game, left at once through the exit prompt's Yes: a score of nothing, the best.
        page.key("Enter")
        self.wait_state(page, "s.scene === 'ScenePond'")
        page.key("Escape")
        self.wait_state(page, "s.sprites.TMainExit === 1")
        page.click(330, 322)
        self.wait_state(page, "s.scene === 'SceneGameOver' && s.sprites.TEnter_Name === 1")
        # Typed as a player types, each letter seen before the next.
        for n in range(1, len(NAME) + 1):
            page.type(NAME[n - 1])
            self.wait_state(page, "s.playerName === '%s'" % NAME[:n])
        page.click(264, 386)  # "send the result"
        self.wait_state(page, "s.sprites.TEnter_Name_Send === 1")
        # The panel takes the typed name at its next frame tick and Enter records that one, as
        # on the desktop: a player's Enter never comes within a tick of the last letter.
        ticks = page.evaluate("tinokvak.ticks()")
        page.wait_for("tinokvak.ticks() >= %d" % (ticks + 2))
        page.key("Enter")
        s = self.wait_state(page, "s.scene === 'SceneHighScores'")
        self.assertEqual(s["highScores"][0], {"name": NAME, "score": 0})
        # The result and its replay went to the server that served the page, which verified
        # the game recorded in the browser with the desktop's checker.
        table = self.url + "/cgi/version.pl?prg=Pondlark&type=0&show&verified"
        deadline = time.monotonic() + 120
        while "<td>%s <span class=\"verified\"" % NAME not in urllib.request.urlopen(table, timeout=60).read().decode():
            self.assertEqual(self.state(page)["messages"], [])
            self.assertLess(time.monotonic(), deadline, "the result was not verified")
            time.sleep(0.2)
        self.assertEqual(self.state(page)["messages"], [])
        # The table is the player's: kept across a reload.
        page.evaluate("tinokvak.saved()")
        page.reload()
        page.wait_for("tinokvak.ready")
        self.assertEqual(self.state(page)["highScores"][0], {"name": NAME, "score": 0})
        page.assert_no_errors()


if __name__ == "__main__":
    unittest.main()
