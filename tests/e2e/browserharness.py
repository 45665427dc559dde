"""Headless Chromium driven through Debian's chromedriver and Selenium, for
pages that speak to the relay.

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
import shutil
import subprocess
import tempfile
import threading

from PIL import Image
from selenium import webdriver
from selenium.webdriver.chrome.service import Service

from relayharness import BIN

# What works on these machines: no sandbox (tests run as root), nothing that
# reaches for a network.
FLAGS = ["--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync", "--no-proxy-server"]


class PageServer:
    def __init__(self, folder):
        handler = functools.partial(_QuietHandler, directory=folder)
        self._server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        self.port = self._server.server_address[1]
        threading.Thread(target=self._server.serve_forever, daemon=True).start()

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
    """One Chromium with one tab; open() shows a page in it, and the browser
    then stands for that page."""

    def __init__(self, hosts=()):
        self._dir = tempfile.mkdtemp(prefix="velarelay-browser-")
        home = os.path.join(self._dir, "home")
        os.mkdir(home)
        # As root the tool also fills the system's store: a folder of ours here.
        trust = subprocess.run([os.path.join(BIN, "velarelay-cert"), "trust", os.path.join(BIN, "ssl")],
                               capture_output=True, text=True,
                               env=dict(os.environ, HOME=home,
                                        VELARELAY_CERT_SYSTEM_STORE=os.path.join(self._dir, "store")))
        if trust.returncode != 0:
            raise AssertionError("velarelay-cert trust: " + trust.stdout + trust.stderr)
        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        for flag in FLAGS + ["--user-data-dir=" + os.path.join(self._dir, "profile")]:
            options.add_argument(flag)
        if hosts:
            options.add_argument("--host-resolver-rules=" + ", ".join("MAP %s 127.0.0.1" % h for h in hosts))
        options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        self.driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver", env=dict(os.environ, HOME=home)),
                                       options=options)
        self._messages = []

    def open(self, url):
        """The tab showing url, loaded; what earlier pages said is forgotten."""
        self.driver.get_log("browser")
        self.driver.get(url)
        self._messages = []
        return self

    def evaluate(self, expression):
        """The value of expression in the page, a promise awaited."""
        return self.driver.execute_script("return " + expression)

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
        })""" % (json.dumps(selector), json.dumps(text), timeout * 1000))

    def messages(self):
        """What the page and the browser said about it, in order, as (Chrome's level,
        text): console calls, uncaught exceptions, and the browser's own
        reports (failed connections, refused content, CSP)."""
        self._messages += [(e["level"], e["message"]) for e in self.driver.get_log("browser")]
        return self._messages

    def screenshot(self, path=None, **clip):
        """The viewport, or the clip's x, y, width and height, as an RGB
        image; the PNG is written to path when one is given."""
        png = base64.b64decode(self.driver.execute_cdp_cmd("Page.captureScreenshot", dict(
            format="png", **({"clip": dict(clip, scale=1)} if clip else {})))["data"])
        if path:
            with open(path, "wb") as f:
                f.write(png)
        return Image.open(io.BytesIO(png)).convert("RGB")

    def close(self):
        self.driver.quit()
        shutil.rmtree(self._dir, ignore_errors=True)
