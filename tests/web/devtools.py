"""Headless Chromium driven over its DevTools protocol, for the browser game's tests and figures.

Python's standard library only. The browser is Debian's `chromium --headless` started with
`--remote-debugging-pipe`: commands go to its fd 3 and answers and events come from its fd 4,
each a JSON object ended by a NUL byte. Every browser gets a throw-away profile and is killed
(with every process it started) when it is closed, when the script exits, or when the script
is ended by SIGTERM/SIGINT/SIGHUP.

    from devtools import Browser
    with Browser() as browser:
        page = browser.open("http://127.0.0.1:8080/play/")
        page.wait_for("window.tinokvak && window.tinokvak.ready")
        page.key("Enter")
        print(page.evaluate("window.tinokvak.state()"))
        page.assert_no_errors()

Waits take a limit only so that a broken page cannot hang a test forever: it is generous, and
no test measures time with it.
"""

import atexit
import base64
import fcntl
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

DEFAULT_LIMIT = float(os.environ.get("TK_DEVTOOLS_LIMIT", "120"))


class DevToolsError(Exception):
    """The browser refused a command, died, or a wait ran past its limit."""


class PageError(DevToolsError):
    """The page's JavaScript threw (an evaluation, or an uncaught error on the page)."""


# key name -> (code, windowsVirtualKeyCode, text) for what the game and the menus read.
_KEYS = {
    "Enter": ("Enter", 13, "\r"),
    "Escape": ("Escape", 27, ""),
    "Backspace": ("Backspace", 8, ""),
    "Tab": ("Tab", 9, ""),
    " ": ("Space", 32, " "),
    "ArrowLeft": ("ArrowLeft", 37, ""),
    "ArrowUp": ("ArrowUp", 38, ""),
    "ArrowRight": ("ArrowRight", 39, ""),
    "ArrowDown": ("ArrowDown", 40, ""),
    "Delete": ("Delete", 46, ""),
    "Home": ("Home", 36, ""),
    "End": ("End", 35, ""),
    "PageUp": ("PageUp", 33, ""),
    "PageDown": ("PageDown", 34, ""),
    "Insert": ("Insert", 45, ""),
    "Shift": ("ShiftLeft", 16, ""),
    "Control": ("ControlLeft", 17, ""),
    "Alt": ("AltLeft", 18, ""),
}
for _n in range(1, 13):
    _KEYS["F%d" % _n] = ("F%d" % _n, 111 + _n, "")
_ALIASES = {"Space": " ", "Esc": "Escape", "Left": "ArrowLeft", "Right": "ArrowRight",
            "Up": "ArrowUp", "Down": "ArrowDown", "Return": "Enter"}
_MODIFIER_BITS = {"Alt": 1, "Control": 2, "Meta": 4, "Shift": 8}


def key_fields(key):
    """The DevTools fields (key, code, windowsVirtualKeyCode, text) of a key by its DOM name:
    "Enter", "ArrowLeft", "Space" or " ", "F1", or one printable character such as "a"."""
    key = _ALIASES.get(key, key)
    if key in _KEYS:
        code, vk, text = _KEYS[key]
        return {"key": key, "code": code, "windowsVirtualKeyCode": vk, "text": text}
    if len(key) == 1:
        c = key
        if c.isalpha() and c.isascii():
            return {"key": c, "code": "Key" + c.upper(), "windowsVirtualKeyCode": ord(c.upper()), "text": c}
        if c.isdigit():
            return {"key": c, "code": "Digit" + c, "windowsVirtualKeyCode": ord(c), "text": c}
        # Other printable characters: no physical key of ours, the character alone.
        return {"key": c, "code": "", "windowsVirtualKeyCode": 0, "text": c}
    raise ValueError("unknown key name %r" % key)


def find_chromium():
    for name in (os.environ.get("TK_CHROMIUM"), "chromium", "chromium-browser"):
        if name and shutil.which(name):
            return shutil.which(name)
    raise DevToolsError("no chromium found (Debian's package 'chromium'; TK_CHROMIUM names another)")


_live = set()  # browsers to kill if the script ends without closing them


def _kill_all():
    for b in list(_live):
        b.close()


def _on_signal(signum, frame):
    _kill_all()
    signal.signal(signum, signal.SIG_DFL)
    os.kill(os.getpid(), signum)


_handlers_installed = False


def _install_handlers():
    global _handlers_installed
    if _handlers_installed:
        return
    _handlers_installed = True
    atexit.register(_kill_all)
    if threading.current_thread() is threading.main_thread():
        for s in (signal.SIGTERM, signal.SIGHUP, signal.SIGINT):
            if signal.getsignal(s) in (signal.SIG_DFL, signal.default_int_handler):
                signal.signal(s, _on_signal)


class Browser:
    """One headless Chromium with its own profile. Use as a context manager or call close()."""

    def __init__(self, args=(), limit=DEFAULT_LIMIT):
        _install_handlers()
        self.limit = limit
        self._next_id = 0
        self._lock = threading.Lock()
        self._cond = threading.Condition(self._lock)
        self._results = {}
        self._sessions = {}  # sessionId -> Page
        self._dead = None
        self._closed = False
        self.profile = tempfile.mkdtemp(prefix="tk-chromium-")
        to_browser_r, self._to_browser = os.pipe()
        self._from_browser, from_browser_w = os.pipe()
        # The browser's ends above 9, so that no pipe end is on 3 or 4 when the shell moves them.
        for name in ("to_browser_r", "from_browser_w"):
            fd = locals()[name]
            high = fcntl.fcntl(fd, fcntl.F_DUPFD_CLOEXEC, 10)
            os.close(fd)
            if name == "to_browser_r":
                to_browser_r = high
            else:
                from_browser_w = high
        cmd = [find_chromium(), "--headless", "--remote-debugging-pipe",
               "--user-data-dir=" + self.profile,
               "--no-first-run", "--no-default-browser-check", "--disable-gpu",
               "--disable-background-networking", "--disable-component-update", "--disable-sync",
               "--disable-quic", "--disable-extensions", "--mute-audio", "--hide-scrollbars",
               "--autoplay-policy=no-user-gesture-required",
               "--disable-features=Translate,MediaRouter,OptimizationHints",
               "--disable-renderer-backgrounding", "--disable-background-timer-throttling",
               "--disable-backgrounding-occluded-windows"]
        if os.geteuid() == 0:
            cmd.append("--no-sandbox")  # Chromium's sandbox refuses to run as root
        cmd += list(args)
        cmd.append("about:blank")
        # bash (dash takes no fd above 9) puts our pipe ends on the browser's fds 3 and 4 and becomes the browser.
        shell = 'exec "$@" 3<&%d 4>&%d %d<&- %d>&-' % (to_browser_r, from_browser_w, to_browser_r, from_browser_w)
        self._stderr = open(os.path.join(self.profile, "stderr.log"), "wb")
        self.proc = subprocess.Popen(["/bin/bash", "-c", shell, "bash"] + cmd,
                                     pass_fds=(to_browser_r, from_browser_w),
                                     stdin=subprocess.DEVNULL, stdout=self._stderr, stderr=self._stderr,
                                     start_new_session=True)
        os.close(to_browser_r)
        os.close(from_browser_w)
        _live.add(self)
        self._reader = threading.Thread(target=self._read_loop, daemon=True)
        self._reader.start()
        try:
            self.version = self.send("Browser.getVersion")
        except Exception:
            self.close()
            raise

    # -- the pipe ----------------------------------------------------------------------------
    def _read_loop(self):
        buf = b""
        try:
            while True:
                chunk = os.read(self._from_browser, 1 << 16)
                if not chunk:
                    break
                buf += chunk
                while True:
                    end = buf.find(b"\0")
                    if end < 0:
                        break
                    msg, buf = json.loads(buf[:end].decode("utf-8")), buf[end + 1:]
                    self._dispatch(msg)
        except OSError:
            pass
        with self._cond:
            if self._dead is None:
                self._dead = "the browser closed its DevTools pipe" + self._stderr_tail()
            self._cond.notify_all()

    def _stderr_tail(self):
        try:
            with open(os.path.join(self.profile, "stderr.log"), "rb") as f:
                tail = f.read()[-2000:].decode("utf-8", "replace").strip()
            return (":\n" + tail) if tail else ""
        except OSError:
            return ""

    def _dispatch(self, msg):
        with self._cond:
            if "id" in msg:
                self._results[msg["id"]] = msg
            else:
                page = self._sessions.get(msg.get("sessionId"))
                if page is not None:
                    page._event(msg["method"], msg.get("params", {}))
            self._cond.notify_all()

    def send(self, method, params=None, session=None, limit=None):
        """Send one command and return its result; a refused command raises DevToolsError."""
        with self._cond:
            if self._dead:
                raise DevToolsError(self._dead)
            self._next_id += 1
            ident = self._next_id
        msg = {"id": ident, "method": method, "params": params or {}}
        if session:
            msg["sessionId"] = session
        data = json.dumps(msg).encode("utf-8") + b"\0"
        try:
            while data:
                data = data[os.write(self._to_browser, data):]
        except OSError as e:
            raise DevToolsError("the browser is gone (%s)" % e)
        reply = self._wait(lambda: self._results.pop(ident, None), limit, "an answer to " + method)
        if "error" in reply:
            raise DevToolsError("%s: %s" % (method, reply["error"].get("message", reply["error"])))
        return reply.get("result", {})

    def _wait(self, probe, limit, what):
        """Wait (holding no lock outside) until probe() under the lock returns something."""
        deadline = time.monotonic() + (self.limit if limit is None else limit)
        with self._cond:
            while True:
                got = probe()
                if got:
                    return got
                if self._dead:
                    raise DevToolsError(self._dead)
                left = deadline - time.monotonic()
                if left <= 0:
                    raise DevToolsError("no %s in %.0f s" % (what, self.limit if limit is None else limit))
                self._cond.wait(min(left, 0.5))

    # -- pages ------------------------------------------------------------------------------
    def open(self, url=None, width=800, height=600, mobile=False):
        """A new tab of the given viewport; with a url, navigated there and loaded."""
        target = self.send("Target.createTarget", {"url": "about:blank"})["targetId"]
        session = self.send("Target.attachToTarget", {"targetId": target, "flatten": True})["sessionId"]
        page = Page(self, target, session)
        with self._cond:
            self._sessions[session] = page
        page._start()
        page.set_viewport(width, height, mobile=mobile)
        if url:
            page.navigate(url)
        return page

    def pids(self):
        """The browser's processes (it and everything it started)."""
        pids = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open("/proc/%s/stat" % entry) as f:
                    fields = f.read().rsplit(")", 1)[1].split()
            except OSError:
                continue
            if int(fields[3]) == self.proc.pid:  # session id (start_new_session)
                pids.append(int(entry))
        return pids

    def cpu_seconds(self):
        """User + system CPU time of all the browser's processes so far."""
        tick = os.sysconf("SC_CLK_TCK")
        total = 0
        for pid in self.pids():
            try:
                with open("/proc/%d/stat" % pid) as f:
                    fields = f.read().rsplit(")", 1)[1].split()
                total += int(fields[11]) + int(fields[12])
            except OSError:
                pass
        return total / tick

    def close(self):
        """Kill the browser and everything it started; remove its profile. Safe to repeat."""
        if self._closed:
            return
        self._closed = True
        _live.discard(self)
        try:
            os.close(self._to_browser)
        except OSError:
            pass
        try:
            os.killpg(self.proc.pid, signal.SIGKILL)
        except (ProcessLookupError, PermissionError):
            pass
        try:
            self.proc.wait(timeout=30)
        except subprocess.TimeoutExpired:
            pass
        # Children that left the group in between (none should) by session id.
        for pid in self.pids():
            try:
                os.kill(pid, signal.SIGKILL)
            except OSError:
                pass
        self._reader.join(timeout=10)
        try:
            os.close(self._from_browser)
        except OSError:
            pass
        self._stderr.close()
        shutil.rmtree(self.profile, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


class Page:
    """One tab. Console messages, uncaught errors and network requests are collected from the
    moment it is opened."""

    def __init__(self, browser, target, session):
        self.browser = browser
        self.target = target
        self.session = session
        self.console = []   # {"type": "log"|"error"|..., "text": str}
        self.errors = []    # texts of uncaught exceptions and unhandled rejections
        self.requests = {}  # requestId -> {"url", "status", "mime", "encoded", "finished", "failed", "cached"}
        self._loads = 0

    def _start(self):
        for domain in ("Page", "Runtime", "Network", "Log"):
            self.send(domain + ".enable")
        self.send("Page.setLifecycleEventsEnabled", {"enabled": True})

    def send(self, method, params=None, limit=None):
        return self.browser.send(method, params, session=self.session, limit=limit)

    # -- events (under the browser's lock) ---------------------------------------------------
    def _event(self, method, p):
        if method == "Page.loadEventFired":
            self._loads += 1
        elif method == "Runtime.consoleAPICalled":
            self.console.append({"type": p.get("type"), "text": " ".join(_remote_text(a) for a in p.get("args", []))})
        elif method == "Runtime.exceptionThrown":
            self.errors.append(_exception_text(p.get("exceptionDetails", {})))
        elif method == "Log.entryAdded":
            e = p.get("entry", {})
            self.console.append({"type": "browser-" + e.get("level", ""), "text": e.get("text", ""),
                                 "url": e.get("url", "")})
        elif method == "Network.requestWillBeSent":
            r = self.requests.setdefault(p["requestId"], {})
            r.update(url=p["request"]["url"], method=p["request"].get("method"), status=None, mime=None,
                     encoded=0, finished=False, failed=None, cached=False, started=p.get("timestamp"))
        elif method == "Network.responseReceived":
            r = self.requests.setdefault(p["requestId"], {})
            resp = p.get("response", {})
            r.update(status=resp.get("status"), mime=resp.get("mimeType"),
                     headers={k.lower(): v for k, v in resp.get("headers", {}).items()},
                     cached=bool(resp.get("fromDiskCache") or resp.get("fromServiceWorker")
                                 or resp.get("fromPrefetchCache")))
        elif method == "Network.loadingFinished":
            r = self.requests.setdefault(p["requestId"], {})
            r.update(encoded=p.get("encodedDataLength", 0), finished=True, ended=p.get("timestamp"))
        elif method == "Network.loadingFailed":
            r = self.requests.setdefault(p["requestId"], {})
            r.update(failed=p.get("errorText", "failed"), finished=True)

    # -- navigation --------------------------------------------------------------------------
    def _wait_load(self, before, limit, what):
        self.browser._wait(lambda: self._loads > before, limit, "load event of " + what)

    def navigate(self, url, limit=None):
        """Go to url and wait for its load event; a failed navigation raises."""
        with self.browser._cond:
            before = self._loads
        res = self.send("Page.navigate", {"url": url}, limit=limit)
        if res.get("errorText"):
            raise DevToolsError("navigating to %s: %s" % (url, res["errorText"]))
        self._wait_load(before, limit, url)

    def reload(self, ignore_cache=False, limit=None):
        """Reload the page and wait for its load event."""
        with self.browser._cond:
            before = self._loads
        self.send("Page.reload", {"ignoreCache": ignore_cache}, limit=limit)
        self._wait_load(before, limit, "the reload")

    def close(self):
        self.browser.send("Target.closeTarget", {"targetId": self.target})
        with self.browser._cond:
            self.browser._sessions.pop(self.session, None)

    # -- script ------------------------------------------------------------------------------
    def evaluate(self, expression, limit=None):
        """The value of a JavaScript expression (promises awaited, results by value, undefined
        as None); a throw or a rejection raises PageError with the page's exception text."""
        res = self.send("Runtime.evaluate", {"expression": expression, "awaitPromise": True,
                                             "returnByValue": True, "userGesture": True}, limit=limit)
        if "exceptionDetails" in res:
            raise PageError(_exception_text(res["exceptionDetails"]))
        return res.get("result", {}).get("value")

    def wait_for(self, expression, limit=None, poll=0.05):
        """Poll a JavaScript expression until it is truthy and return its value. The limit
        guards against a hang only; a page error while waiting raises at once."""
        limit = self.browser.limit if limit is None else limit
        deadline = time.monotonic() + limit
        while True:
            value = self.evaluate(expression)
            if value:
                return value
            self.assert_no_errors()
            if time.monotonic() > deadline:
                raise DevToolsError("%s stayed false for %.0f s" % (expression, limit))
            time.sleep(poll)

    def assert_no_errors(self):
        """Raise PageError if the page has had an uncaught error or an unhandled rejection."""
        with self.browser._cond:
            errors = list(self.errors)
        if errors:
            raise PageError("uncaught error on the page:\n" + "\n".join(errors))

    def console_texts(self, kind=None):
        with self.browser._cond:
            return [m["text"] for m in self.console if kind is None or m["type"] == kind]

    def network(self):
        """The requests so far, in order: dicts of url, status, mime, encoded (bytes over the
        wire, headers included, compressed as sent), finished, failed, cached."""
        with self.browser._cond:
            return [dict(r) for r in self.requests.values()]

    def set_cache_disabled(self, disabled=True):
        self.send("Network.setCacheDisabled", {"cacheDisabled": disabled})

    # -- input -------------------------------------------------------------------------------
    def key_down(self, key, modifiers=()):
        f = key_fields(key)
        m = _modifiers(modifiers)
        params = {"type": "keyDown" if f["text"] else "rawKeyDown", "key": f["key"], "code": f["code"],
                  "windowsVirtualKeyCode": f["windowsVirtualKeyCode"],
                  "nativeVirtualKeyCode": f["windowsVirtualKeyCode"], "modifiers": m}
        if f["text"] and not (m & (1 | 2 | 4)):
            params["text"] = f["text"]
            params["unmodifiedText"] = f["text"]
        self.send("Input.dispatchKeyEvent", params)

    def key_up(self, key, modifiers=()):
        f = key_fields(key)
        self.send("Input.dispatchKeyEvent", {"type": "keyUp", "key": f["key"], "code": f["code"],
                                             "windowsVirtualKeyCode": f["windowsVirtualKeyCode"],
                                             "nativeVirtualKeyCode": f["windowsVirtualKeyCode"],
                                             "modifiers": _modifiers(modifiers)})

    def char(self, text):
        """Characters typed with no key behind them (keypress/input only)."""
        for c in text:
            self.send("Input.dispatchKeyEvent", {"type": "char", "text": c, "unmodifiedText": c, "key": c})

    def key(self, key, modifiers=()):
        """Press and release a key (with modifiers held, e.g. key("Enter", ["Alt"]))."""
        for mod in modifiers:
            self.key_down(mod)
        self.key_down(key, modifiers)
        self.key_up(key, modifiers)
        for mod in reversed(list(modifiers)):
            self.key_up(mod)

    def type(self, text):
        """Type text key by key (letters, digits, space); other characters as char events."""
        for c in text:
            try:
                key_fields(c)
                self.key(c)
            except ValueError:
                self.char(c)

    def mouse(self, kind, x, y, button="left", clicks=1):
        """kind: "move", "down", "up", or "wheel" (then clicks is the vertical delta)."""
        t = {"move": "mouseMoved", "down": "mousePressed", "up": "mouseReleased", "wheel": "mouseWheel"}[kind]
        p = {"type": t, "x": x, "y": y}
        if kind in ("down", "up"):
            p.update(button=button, clickCount=clicks)
        elif kind == "wheel":
            p.update(deltaX=0, deltaY=clicks)
        else:
            p["button"] = "none"
        self.send("Input.dispatchMouseEvent", p)

    def click(self, x, y, button="left"):
        self.mouse("move", x, y)
        self.mouse("down", x, y, button)
        self.mouse("up", x, y, button)

    def touch(self, kind, points):
        """kind: "start", "move", "end" or "cancel"; points: [(x, y), ...] (empty for end)."""
        t = {"start": "touchStart", "move": "touchMove", "end": "touchEnd", "cancel": "touchCancel"}[kind]
        self.send("Input.dispatchTouchEvent",
                  {"type": t, "touchPoints": [{"x": x, "y": y, "id": i} for i, (x, y) in enumerate(points)]})

    def tap(self, x, y):
        self.touch("start", [(x, y)])
        self.touch("end", [])

    # -- looks -------------------------------------------------------------------------------
    def set_viewport(self, width, height, mobile=False, scale=1):
        """The page's size in CSS pixels; mobile also turns touch on (a phone's 390 × 844)."""
        self.send("Emulation.setDeviceMetricsOverride", {"width": width, "height": height,
                                                         "deviceScaleFactor": scale, "mobile": mobile})
        self.send("Emulation.setTouchEmulationEnabled", {"enabled": bool(mobile), "maxTouchPoints": 5 if mobile else 1})

    def screenshot(self, path=None):
        """The visible page as PNG bytes (also written to path when given)."""
        png = base64.b64decode(self.send("Page.captureScreenshot", {"format": "png"})["data"])
        if path:
            with open(path, "wb") as f:
                f.write(png)
        return png


def _modifiers(names):
    bits = 0
    for n in names:
        bits |= _MODIFIER_BITS[n]
    return bits


def _remote_text(obj):
    if "value" in obj:
        v = obj["value"]
        return v if isinstance(v, str) else json.dumps(v)
    return obj.get("description") or obj.get("unserializableValue") or obj.get("type", "")


def _exception_text(details):
    exc = details.get("exception") or {}
    text = exc.get("description") or exc.get("value") or details.get("text") or "exception"
    where = details.get("url")
    if where:
        text = "%s (%s:%s)" % (text, where, details.get("lineNumber", 0) + 1)
    return str(text)


if __name__ == "__main__":
    # A quick look: devtools.py URL [shot.png] prints console and errors, saves a screenshot.
    with Browser() as b:
        p = b.open(sys.argv[1])
        if len(sys.argv) > 2:
            p.screenshot(sys.argv[2])
        for m in p.console:
            print(m["type"], m["text"])
        for e in p.errors:
            print("ERROR", e)
