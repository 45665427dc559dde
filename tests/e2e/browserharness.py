"""Headless Chromium driven through the DevTools protocol, for pages that
speak to the relay.

The browser trusts the relay as a user's would: its home is a throwaway one
whose NSS database `velarelay-cert trust` filled with the development
authority, and no flag turns certificate checks off. Pages come from a small
HTTP server on 127.0.0.1; the host names given to Browser map to that address
too, so a page can come from a foreign origin without a network.
"""
import base64
import functools
import http.server
import io
import json
import os
import select
import shutil
import subprocess
import tempfile
import threading
import time

from PIL import Image

from relayharness import BIN

CHROMIUM = "/usr/bin/chromium"
# What works on these machines: no sandbox (tests run as root), nothing that
# reaches for a network, a new empty profile.
FLAGS = ["--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--no-proxy-server", "--remote-debugging-pipe"]


class PageServer:
    """Serves one folder over HTTP on 127.0.0.1."""

    def __init__(self, folder):
        handler = functools.partial(_QuietHandler, directory=folder)
        self._server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        self.port = self._server.server_address[1]
        threading.Thread(target=self._server.serve_forever, daemon=True).start()

    def url(self, path, host="127.0.0.1"):
        return "http://%s:%d/%s" % (host, self.port, path)

    def close(self):
        self._server.shutdown()
        self._server.server_close()


class _QuietHandler(http.server.SimpleHTTPRequestHandler):
    def do_GET(self):
        # Browsers ask every server for one; a page need not ship it, and the
        # 404 would count among the page's console errors.
        if self.path == "/favicon.ico":
            self.send_response(204)
            self.end_headers()
        else:
            super().do_GET()

    def log_message(self, *args):
        pass


class Browser:
    """One Chromium; its DevTools protocol runs over a pipe (fds 3 and 4), read
    on the caller's thread when it waits for an answer or looks at events."""

    def __init__(self, hosts=(), authority_dir=os.path.join(BIN, "ssl")):
        self._dir = tempfile.mkdtemp(prefix="velarelay-browser-")
        home = os.path.join(self._dir, "home")
        os.mkdir(home)
        # As root the tool also fills the system's store: a folder of ours here.
        trust = subprocess.run([os.path.join(BIN, "velarelay-cert"), "trust", authority_dir], capture_output=True,
                               text=True, env=dict(os.environ, HOME=home,
                                                   VELARELAY_CERT_SYSTEM_STORE=os.path.join(self._dir, "store")))
        if trust.returncode != 0:
            raise AssertionError("velarelay-cert trust: " + trust.stdout + trust.stderr)
        rules = ", ".join("MAP %s 127.0.0.1" % host for host in hosts)
        to_browser, self._out = os.pipe()
        self._in, from_browser = os.pipe()

        def pipes():
            # Both moved out of the way first, as either may be 3 or 4 already.
            read, write = os.dup(to_browser), os.dup(from_browser)
            os.dup2(read, 3)
            os.dup2(write, 4)

        self.log_path = os.path.join(self._dir, "chromium.log")
        with open(self.log_path, "w") as log:
            self._proc = subprocess.Popen(
                [CHROMIUM, *FLAGS, "--user-data-dir=" + os.path.join(self._dir, "profile"),
                 *(["--host-resolver-rules=" + rules] if rules else []), "about:blank"],
                env=dict(os.environ, HOME=home), stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                pass_fds=(3, 4), preexec_fn=pipes)
        os.close(to_browser)
        os.close(from_browser)
        self._next_id = 0
        self._replies = {}
        self._events = []
        self._buffer = b""

    def _receive(self, timeout):
        """Takes in what Chromium sent within timeout seconds; False if nothing came."""
        if not select.select([self._in], [], [], max(timeout, 0))[0]:
            return False
        chunk = os.read(self._in, 1 << 16)
        if not chunk:
            raise AssertionError("Chromium is gone; its log:\n" + self.log())
        *messages, self._buffer = (self._buffer + chunk).split(b"\0")
        for message in map(json.loads, messages):
            if "id" in message:
                self._replies[message["id"]] = message
            else:
                self._events.append(message)
        return True

    def call(self, method, session=None, timeout=15, **params):
        """One command; its result, or AssertionError with the browser's error."""
        self._next_id += 1
        ident = self._next_id
        message = {"id": ident, "method": method, "params": params}
        if session:
            message["sessionId"] = session
        os.write(self._out, json.dumps(message).encode() + b"\0")
        reply = self.wait(lambda: self._replies.pop(ident, None), timeout, method)
        if "error" in reply:
            raise AssertionError("%s: %s" % (method, reply["error"]))
        return reply["result"]

    def wait(self, found, timeout, what):
        """The first value of found() that is not None; AssertionError past timeout."""
        deadline = time.monotonic() + timeout
        while (result := found()) is None:
            if not self._receive(deadline - time.monotonic()):
                raise AssertionError("no %s from Chromium within %ss; its log:\n%s" % (what, timeout, self.log()))
        return result

    def events(self, session, method=None):
        """(method, params) of a session's events so far, or of those of one method."""
        while self._receive(0):
            pass
        return [(e["method"], e["params"]) for e in self._events
                if e.get("sessionId") == session and method in (None, e["method"])]

    def open(self, url):
        return Page(self, url)

    def log(self):
        with open(self.log_path, errors="replace") as f:
            return f.read()[-4000:]

    def close(self):
        try:
            self.call("Browser.close", timeout=5)
            self._proc.wait(10)
        except (AssertionError, OSError, subprocess.TimeoutExpired):
            self._proc.kill()
            self._proc.wait()
        os.close(self._out)
        os.close(self._in)
        shutil.rmtree(self._dir, ignore_errors=True)


class Page:
    """A tab showing url, loaded when the constructor returns."""

    def __init__(self, browser, url):
        self.browser = browser
        self.target = browser.call("Target.createTarget", url="about:blank")["targetId"]
        self.session = browser.call("Target.attachToTarget", targetId=self.target, flatten=True)["sessionId"]
        for domain in ("Page", "Runtime", "Log"):
            self.call(domain + ".enable")
        loads = len(browser.events(self.session, "Page.loadEventFired"))
        self.call("Page.navigate", url=url)
        browser.wait(lambda: len(browser.events(self.session, "Page.loadEventFired")) > loads or None,
                     15, "load of " + url)

    def call(self, method, timeout=15, **params):
        return self.browser.call(method, self.session, timeout, **params)

    def evaluate(self, expression, timeout=15):
        """The value of expression in the page, a promise awaited."""
        result = self.call("Runtime.evaluate", timeout, expression=expression, awaitPromise=True,
                           returnByValue=True)
        if "exceptionDetails" in result:
            details = result["exceptionDetails"]
            raise AssertionError("%s: %s" % (expression, details.get("exception", {}).get("description",
                                                                                        details["text"])))
        return result["result"].get("value")

    def wait_text(self, selector, text, timeout=10):
        """Until the element's text holds text; woken by each change to it."""
        self.evaluate("""new Promise((resolve, reject) => {
            const node = document.querySelector(%s), text = %s;
            const check = () => node.textContent.includes(text) && (observer.disconnect(), resolve(true));
            const observer = new MutationObserver(check);
            observer.observe(node, {childList: true, characterData: true, subtree: true});
            check();
            setTimeout(() => { observer.disconnect(); reject(new Error(`no "${text}" in: ${node.textContent}`)); },
                       %d);
        })""" % (json.dumps(selector), json.dumps(text), timeout * 1000), timeout + 5)

    def messages(self):
        """What the page and the browser said about it, in order, as
        (level, text): console calls, uncaught exceptions, and the browser's
        own reports (failed connections, refused content, CSP)."""
        lines = []
        for method, params in self.browser.events(self.session):
            if method == "Runtime.consoleAPICalled":
                lines.append((params["type"], " ".join(str(a.get("value", a.get("description", "")))
                                                       for a in params["args"])))
            elif method == "Runtime.exceptionThrown":
                details = params["exceptionDetails"]
                lines.append(("error", details.get("exception", {}).get("description", details["text"])))
            elif method == "Log.entryAdded":
                lines.append((params["entry"]["level"], params["entry"]["text"]))
        return lines

    def screenshot(self, path=None, **clip):
        """The viewport, or the clip's x, y, width and height, as an RGB
        image; the PNG is written to path when one is given."""
        png = base64.b64decode(self.call("Page.captureScreenshot", format="png",
                                         **({"clip": dict(clip, scale=1)} if clip else {}))["data"])
        if path:
            with open(path, "wb") as f:
                f.write(png)
        return Image.open(io.BytesIO(png)).convert("RGB")

    def close(self):
        self.browser.call("Target.closeTarget", targetId=self.target)

