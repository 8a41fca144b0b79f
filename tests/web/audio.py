#!/usr/bin/env python3
"""The Web Audio output in headless Chromium, on the test page built beside this build
(tests/web/audio/): our mixer playing a 441 Hz tone at a quarter of full scale.

The output opens at 44100 Hz and stays suspended, pulling nothing, until the page has a
key press; then it pulls the mixer and an AnalyserNode beside the speakers hears the tone;
closed, its context is closed and it pulls no more; opened again on a page that has had
its gesture, it runs at once. Waits are for states, never for a time.

    audio.py PAGE-DIR
"""
import functools
import http.server
import os
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import devtools  # noqa: E402


class Handler(http.server.SimpleHTTPRequestHandler):
    extensions_map = dict(http.server.SimpleHTTPRequestHandler.extensions_map,
                          **{".wasm": "application/wasm", ".js": "text/javascript"})

    def log_message(self, *args):
        pass


def quiet(page, expression):
    """Evaluates without the user gesture the driver's evaluate lends the page: before the
    key press the page must not have had one."""
    res = page.send("Runtime.evaluate", {"expression": expression, "returnByValue": True,
                                         "userGesture": False})
    if "exceptionDetails" in res:
        raise devtools.PageError(str(res["exceptionDetails"]))
    return res.get("result", {}).get("value")


def quiet_wait(page, expression):
    deadline = time.monotonic() + page.browser.limit  # against a hang only
    while not quiet(page, expression):
        page.assert_no_errors()
        if time.monotonic() > deadline:
            raise devtools.DevToolsError("%s stayed false" % expression)
        time.sleep(0.05)


def main():
    root = sys.argv[1]
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(Handler, directory=root))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    failures = []

    def check(ok, what):
        print(("ok: " if ok else "FAIL: ") + what)
        if not ok:
            failures.append(what)

    try:
        with devtools.Browser() as browser:
            page = browser.open("http://127.0.0.1:%d/index.html" % server.server_address[1])
            quiet_wait(page, "window.audioTest && audioTest.ready")
            check(not quiet(page, "navigator.userActivation.hasBeenActive"), "no gesture yet")
            rate = quiet(page, "audioTest.open()")
            check(rate == 44100, "opens at 44100 Hz (got %r)" % rate)
            check(quiet(page, "audioTest.isOpen()"), "reports itself open")
            quiet_wait(page, "audioTest.state() === 'suspended'")
            check(True, "suspended before any gesture")
            check(quiet(page, "audioTest.pulled()") == 0, "pulls nothing while suspended")

            page.key("a")
            page.wait_for("audioTest.state() === 'running'")
            check(True, "running after a key press")
            page.wait_for("audioTest.pulled() >= 44100")
            pulled = page.evaluate("audioTest.pulled()")
            check(pulled % 2048 == 0, "pulls whole blocks of 2048 frames (%d so far)" % pulled)
            page.evaluate("audioTest.listen()")
            # The analyser's window filled from the tone alone: two blocks pulled since.
            page.wait_for("audioTest.pulled() >= %d" % (page.evaluate("audioTest.pulled()") + 3 * 2048))
            heard = page.evaluate("audioTest.heard()")
            check(abs(heard["rms"] - 0.25 / 2 ** 0.5) < 0.02, "heard at the tone's level (RMS %.4f)" % heard["rms"])
            check(abs(heard["hz"] - 441) < 5, "heard at the tone's pitch (%.1f Hz)" % heard["hz"])

            page.evaluate("audioTest.close()")
            check(not page.evaluate("audioTest.isOpen()"), "reports itself closed")
            page.wait_for("audioTest.states()[0] === 'closed'")
            check(True, "its context closed")
            after = page.evaluate("audioTest.pulled()")
            # Blocks Web Audio asked for before it closed may still arrive; none once it has.
            page.wait_for("audioTest.states()[0] === 'closed'")
            check(page.evaluate("audioTest.pulled()") == after, "pulls nothing once closed")

            check(page.evaluate("audioTest.open()") == 44100, "opens again")
            page.wait_for("audioTest.state() === 'running'")
            check(True, "runs at once on a page that has had its gesture")
            page.wait_for("audioTest.pulled() >= 4096")
            page.evaluate("audioTest.close()")
            page.assert_no_errors()
    finally:
        server.shutdown()
    if failures:
        sys.exit("%d failures" % len(failures))


if __name__ == "__main__":
    main()
