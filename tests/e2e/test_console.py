"""The relay's own pages, served over HTTPS beside the WebSocket upgrade: the
console, /status and /commands; the console in headless Chromium."""
import contextlib
import http.client
import json
import os
import re
import subprocess
import time
import unittest

from PIL import ImageChops
from selenium.webdriver import ActionChains, Keys

from browserharness import Browser
from relayharness import BIN, CLASSROOM, Client, Relay, RelayTest, outbound_address, tls_connection, tls_context


def get(relay, path, method="GET"):
    with contextlib.closing(http.client.HTTPSConnection("127.0.0.1", relay.port, context=tls_context(),
                                                        timeout=10)) as connection:
        connection.request(method, path)
        response = connection.getresponse()
        return response, response.read()


class Endpoint(RelayTest):
    async def test_statuses_and_the_headers_every_response_carries(self):
        rows = [("GET", "/", 200, "text/html"), ("GET", "/board.js", 200, "text/javascript"),
                ("GET", "/console.js", 200, "text/javascript"), ("GET", "/console.css", 200, "text/css"),
                ("GET", "/status?now", 200, "application/json"),
                ("GET", "/commands", 200, "application/json"), ("GET", "/index.html", 404, "text/plain"),
                ("POST", "/status", 405, "text/plain"), ("HEAD", "/", 405, "text/plain"),
                ("OPTIONS", "/nothing", 405, "text/plain")]
        for method, path, code, kind in rows:
            response, _ = get(self.relay, method=method, path=path)
            headers = response.headers
            self.assertEqual((response.status, headers.get_content_type()), (code, kind), (method, path))
            policy = headers["Content-Security-Policy"]
            for directive in ("default-src 'none'", "script-src 'self'", "style-src 'self'", "connect-src 'self'"):
                self.assertIn(directive, policy)
            self.assertNotIn("unsafe", policy)
            self.assertEqual((headers["X-Content-Type-Options"], headers["Referrer-Policy"], headers["Cache-Control"],
                              headers["Connection"], headers["Allow"]),
                             ("nosniff", "no-referrer", "no-store", "close", "GET" if code == 405 else None))

    def status(self):
        """/status, its uptime taken out once it is seen to be a sane number."""
        status = json.loads(get(self.relay, "/status")[1])
        self.assertLess(status.pop("uptimeSeconds"), 60)
        return status

    async def test_status_reads_each_owner(self):
        version = subprocess.run([os.path.join(BIN, "velarelay"), "--version"], capture_output=True, text=True)
        devices = [dict(uid=uid, type=5, name=name) for uid, name in enumerate(
            ("Amira Haddad", "Smith, Jane", "Chloé Martin", "Dmitri Ivanov"), start=1001)]
        hub = {"virtual": False, "pens": 0, "touches": 0, "erasers": 0, "state": 0, "devices": []}
        native = {"pen": "native", "touch": "native", "eraser": "native"}
        expected = {
            "version": version.stdout.split()[1], "port": self.relay.port, "address": outbound_address(), "clients": 0,
            "votingHub": 1, "screen": {"width": 0, "height": 0}, "window": None,
            "hubs": [dict(hub, index=0, type=1, kind="board", voting=False, pens=4, touches=10, erasers=2),
                     dict(hub, index=1, type=2, kind="voting", voting=True, state=3, devices=devices)],
            "reportModes": dict(native, supervision=False, boards={"pens": {}, "touch": "native", "eraser": "native"}),
            "sessions": dict.fromkeys(("question", "enhanced", "registration", "teacherNaming", "studentNaming"),
                                      {"running": False})}
        self.assertEqual(self.status(), expected)

        client = await self.connect()
        await client.carried_out("screen,size,1920,1080", "window,position,10,20,800,600", "pen,private,1,2",
                                 "relay,intelligence,1", "question,askYesNoQuestion,8,1", "enhanced,startSession,1",
                                 "hub,startRegistrationSession,2,0,0,ABC,0,0,0", "hub,startTeacherNamingSession")
        self.relay.sim("answer", 1, "yesno", 1001, 8, 1)
        await client.next("questionResponse")
        expected.update(clients=1, screen=dict(width=1920, height=1080), window=dict(x=10, y=20, width=800, height=600),
                        reportModes=dict(native, pen="private", supervision=True,
                                         boards={"pens": {"2": "private"}, "touch": "native", "eraser": "native"}))
        expected["sessions"] = dict(expected["sessions"], enhanced=dict(running=True, id=1, hub=1),
                                    question=dict(running=True, type="yesNo", id=8, hub=1, asked=4, answered=1),
                                    registration=dict(running=True, hub=1, expected=2, registered=0),
                                    teacherNaming=dict(running=True, hub=1))
        self.assertEqual(self.status(), expected)

    async def test_commands_are_the_tables_as_the_reference_shows_them(self):
        _, body = get(self.relay, "/commands")
        served = [row["group"] + "," + row["command"] + "".join(
            ("[,%s]" if argument["optional"] else ",%s") % argument["name"] for argument in row["arguments"])
            for row in json.loads(body)["commands"]]
        with open(os.path.join(os.environ["VELARELAY_SOURCE"], "docs", "protocol.md")) as reference:
            documented = re.findall(r"^### `(\w+,\w+)`\n\n(?:`([^`]+)`\n)?", reference.read(), re.M)
        self.assertEqual(served, [usage or words for words, usage in documented])

    async def test_a_request_head_not_ended_within_10_s_is_dropped_unanswered(self):
        started = time.monotonic()
        with tls_connection(self.relay) as tls:
            tls.sendall(b"GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n")
            self.assertEqual(tls.recv(65536), b"")
        self.assertAlmostEqual(time.monotonic() - started, 10, delta=1.5)


# Two pens' strokes in hub coordinates: pen, from x, y, to x, y.
STROKES = ((1, 3000, 26000, 9000, 6000), (1, 9000, 6000, 15000, 26000), (2, 18000, 16000, 29000, 16000))
DIALOG = "[document.getElementById('confirm').open, document.activeElement.id]"
# Where the test leaves the console as it looks with a classroom running;
# `make console-screenshot` copies it to docs/console.png.
SCREENSHOT = os.path.join(os.path.dirname(BIN), "console.png")


class InBrowser(unittest.IsolatedAsyncioTestCase):
    @classmethod
    def setUpClass(cls):
        cls.relay = Relay(CLASSROOM)
        cls.addClassCleanup(cls.relay.close)
        cls.browser = Browser()
        cls.addClassCleanup(cls.browser.close)

    def open(self, width, height, mobile=False):
        page = self.browser.open("https://127.0.0.1:%d/" % self.relay.port)
        page.driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                                    dict(width=width, height=height, deviceScaleFactor=1, mobile=mobile))
        page.wait_text("#watch-state", "yes")
        return page

    def press(self, *keys):
        ActionChains(self.browser.driver).send_keys(*keys).perform()

    @staticmethod
    def complaints(page):
        return [m for m in page.messages() if m[0] in ("SEVERE", "WARNING")]

    async def test_follows_the_classroom_and_draws_its_strokes(self):
        native = await Client.connect(self.relay)
        self.addAsyncCleanup(native.close)
        await native.carried_out("screen,size,1920,1080", "window,position,0,0,1920,1080",
                                 "question,askYesNoQuestion,8,1")
        page = self.open(1280, 800)
        page.wait_text("#clients", "2")
        page.wait_text("#hub-count", "2")
        self.relay.sim("hub", "add", 2, "pens=2")
        page.wait_text("#hub-count", "3")
        self.relay.sim("hub", "remove", 2)
        page.wait_text("#hub-count", "2")
        for uid, answer in ((1001, 1), (1002, 0), (1004, 1)):
            self.relay.sim("answer", 1, "yesno", uid, 8, answer)
        page.wait_text("#current-question", "Yes/no question 8 on hub 1: 3 of 4 answered")
        page.wait_text("#answers", "Smith, Jane (1002) answered question 8: No")
        page.wait_text("#window", "1920×1080 at 0,0")

        canvas = page.evaluate("((c, {x, y, width, height}) => ({x, y, width, height, inner: [c.width, c.height]}))"
                               "(document.getElementById('board'), document.getElementById('board').getBoundingClientRect())")
        inner = canvas.pop("inner")
        before = page.screenshot(**canvas)
        for pen, *line in STROKES:
            self.relay.sim("stroke", 0, pen, *line, 6)
        page.wait_text("#last-input", "Pen 2 at 29000, 16000, tip up")
        page.evaluate("new Promise((resolve) => requestAnimationFrame(() => requestAnimationFrame(resolve)))")
        after = page.screenshot(**canvas)
        page.screenshot(SCREENSHOT)
        left, top, right, bottom = ImageChops.difference(before, after).getbbox()
        # The canvas draws inside its 1 px border, 32767 hub units to its width
        # and height; a pen's ring at its last point reaches 11 px past it.
        xs = [1 + x * inner[0] / 32767 for stroke in STROKES for x in stroke[1::2]]
        ys = [1 + y * inner[1] / 32767 for stroke in STROKES for y in stroke[2::2]]
        drawn = [left, top, right - 1, bottom - 1]
        for edge, expected in zip(drawn, (min(xs), min(ys), max(xs), max(ys))):
            self.assertAlmostEqual(edge, expected, delta=16, msg=(drawn, xs, ys))

        await native.close()
        page.wait_text("#clients", "1")
        self.assertEqual(self.complaints(page), [])

    async def test_fits_a_phone_works_by_keyboard_and_holds_to_its_policy(self):
        page = self.open(390, 844, mobile=True)
        page.wait_text("#hub-count", "2")
        self.assertEqual(page.evaluate("document.documentElement.scrollWidth"), 390)

        for _ in range(40):
            if page.evaluate("document.activeElement.id") == "command":
                break
            self.press(Keys.TAB)
        self.press("hub,count", Keys.ENTER)
        self.assertEqual(page.evaluate(DIALOG), [True, "confirm-cancel"])
        self.press(Keys.TAB, Keys.ENTER)
        page.wait_text("#messages", ",hubCount,")
        self.assertEqual(page.evaluate(DIALOG), [False, "command"])
        self.assertEqual(self.complaints(page), [])

        response, _ = get(self.relay, "/")
        refused = page.evaluate("""new Promise((resolve) => {
            document.addEventListener('securitypolicyviolation',
                (e) => resolve([e.violatedDirective, e.originalPolicy, 'injected' in window]), {once: true});
            document.head.append(Object.assign(document.createElement('script'), {text: 'window.injected = 1'}));
        })""")
        self.assertEqual(refused, ["script-src-elem", response.headers["Content-Security-Policy"], False])
