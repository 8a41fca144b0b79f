"""tinokvak-scores finds the game's page as the game finds its data: --play-dir (or the
configuration's play-dir), else beside its build or its installation; it says once where it
looked when there is none, and refuses to start on a folder that is not there.
    play_dir.py TINOKVAK-SCORES"""
import gzip
import os
import shutil
import subprocess
import sys
import tempfile
import unittest
import urllib.error
import urllib.request

SCORES = os.path.abspath(sys.argv.pop(1))


class Server:
    def __init__(self, exe, *args, cwd):
        self.proc = subprocess.Popen([exe, "--port", "0", "--db", os.path.join(cwd, "scores.db"), *args],
                                     cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        line = self.proc.stdout.readline()  # waits for the server to listen, or to die
        if not line.startswith("listening on "):
            self.proc.wait(timeout=60)
            raise AssertionError("no server: " + line + self.proc.stderr.read())
        self.url = line.split()[-1]

    def get(self, path, gzip_ok=False):
        req = urllib.request.Request(self.url + path, headers={"Accept-Encoding": "gzip"} if gzip_ok else {})
        try:
            with urllib.request.urlopen(req, timeout=60) as r:
                return r.status, dict(r.headers), r.read()
        except urllib.error.HTTPError as e:
            return e.code, dict(e.headers), e.read()

    def stop(self):
        self.proc.terminate()
        self.proc.wait(timeout=60)
        return self.proc.stderr.read()


class PlayDirTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="tk-playdir-")
        self.addCleanup(shutil.rmtree, self.tmp, True)

    def page(self, folder, text="<!doctype html><title>page</title>" + " " * 1000):
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "index.html"), "w") as f:
            f.write(text)

    def test_given_folder_by_option_and_by_configuration(self):
        given = os.path.join(self.tmp, "given")
        self.page(given, "<!doctype html>given" + " " * 1000)
        conf = os.path.join(self.tmp, "scores.conf")
        with open(conf, "w") as f:
            f.write("play-dir = %s\n" % given)
        for args in (["--play-dir", given], ["--config", conf]):
            with self.subTest(args=args):
                s = Server(SCORES, *args, cwd=self.tmp)
                status, headers, body = s.get("/play/", gzip_ok=True)
                err = s.stop()
                self.assertEqual(status, 200)
                self.assertEqual(headers.get("Content-Encoding"), "gzip")
                self.assertTrue(gzip.decompress(body).startswith(b"<!doctype html>given"))
                self.assertIn("serving the game page from " + given, err)

    def test_a_missing_given_folder_stops_the_server_with_its_name(self):
        missing = os.path.join(self.tmp, "nowhere")
        out = subprocess.run([SCORES, "--port", "0", "--db", os.path.join(self.tmp, "s.db"), "--play-dir", missing],
                             capture_output=True, text=True, timeout=60)
        self.assertEqual(out.returncode, 1)
        self.assertIn("play-dir " + missing + ": not a folder", out.stderr)
        self.assertNotIn("listening", out.stdout)

    def test_found_beside_the_build_or_the_installation_else_said_once(self):
        # A build's layout: TOP/build/tinokvak-scores beside TOP/build-web/play.
        exe = os.path.join(self.tmp, "build", "tinokvak-scores")
        os.makedirs(os.path.dirname(exe))
        shutil.copy2(SCORES, exe)
        s = Server(exe, cwd=self.tmp)
        status, _, body = s.get("/play/")
        err = s.stop()
        self.assertEqual(status, 404)
        self.assertIn(b"not installed", body)
        looked = "looked in %s/build-web/play, %s/share/tinokvak/play" % (self.tmp, self.tmp)
        self.assertEqual(err.count("no game page found"), 1, err)
        self.assertIn(looked, err)
        # The installed layout, then the build's, which wins.
        self.page(os.path.join(self.tmp, "share", "tinokvak", "play"), "installed" + " " * 10)
        s = Server(exe, cwd=self.tmp)
        self.assertEqual(s.get("/play/")[2], b"installed" + b" " * 10)
        s.stop()
        self.page(os.path.join(self.tmp, "build-web", "play"), "built" + " " * 10)
        s = Server(exe, cwd=self.tmp)
        self.assertEqual(s.get("/play/index.html")[2], b"built" + b" " * 10)
        self.assertEqual(s.get("/play")[0], 200)  # urllib follows the move to /play/
        self.assertIn("serving the game page from %s/build-web/play" % self.tmp, s.stop())


if __name__ == "__main__":
    unittest.main()
