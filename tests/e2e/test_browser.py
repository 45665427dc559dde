"""The Origin policy: pages of a loopback origin are served, pages of a foreign
site are refused, and native clients, which name no origin, go on as before."""
import asyncio
import os
import unittest

from websockets.frames import Frame, Opcode

from browserharness import Browser, PageServer
from relayharness import CLASSROOM, Client, Relay, copy_relay, round_trip, tls_connection

EXAMPLE = os.path.join(os.environ["VELARELAY_SOURCE"], "examples", "browser")
FOREIGN = "classroom.example"
LISTED = "https://classroom.example, http://quiz.test:8080 https://bad.example/path"
# relay_allowed_origins (None: no velarelay.ini), the Origin sent (None: no
# header), and whether the upgrade is accepted.
ORIGINS = (
    (None, None, True),
    (None, "http://127.0.0.1:8000", True),
    (None, "https://evil.example", False),
    (None, "null", False),
    (None, "http://localhost.evil.example", False),
    (None, "http://127.0.0.1.evil.example", False),
    (LISTED, "https://Classroom.Example:443", True),
    (LISTED, "http://quiz.test:8080", True),
    ("*", "https://evil.example", True),
)


class Origins(unittest.TestCase):
    """The policy end to end: the setting read from velarelay.ini, and a page
    that sends its commands right behind its upgrade, as a hijacking page
    would, without waiting for the answer."""

    def start(self, setting):
        folder = copy_relay(self)
        if setting is not None:
            with open(os.path.join(folder, "velarelay.ini"), "w") as f:
                f.write("relay_allowed_origins=%s\n" % setting)
        relay = Relay(CLASSROOM, folder=folder)
        self.addCleanup(relay.close)
        return relay

    def attempt(self, relay, origin):
        """The status line of the answer, and the hub calls made since."""
        head = ["GET / HTTP/1.1", "Host: 127.0.0.1:%d" % relay.port, "Upgrade: websocket", "Connection: Upgrade",
                "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==", "Sec-WebSocket-Version: 13",
                "Sec-WebSocket-Protocol: relay-protocol"] + (["Origin: " + origin] if origin is not None else [])
        with tls_connection(relay) as tls:
            frame = Frame(Opcode.TEXT, b"hub,changeBacklight,0,0").serialize(mask=True)
            tls.sendall(("\r\n".join(head) + "\r\n\r\n").encode() + frame)
            answer = b""
            while b"\r\n\r\n" not in answer:
                answer += tls.recv(4096)
        # A native client's answer comes after whatever the relay was handed before it.
        asyncio.run(round_trip(relay))
        return answer.split(b"\r\n", 1)[0].decode(), relay.journal()

    def test_each_origin_is_accepted_or_refused_before_its_commands_reach_the_hubs(self):
        relays = {}
        for setting, origin, accepted in ORIGINS:
            with self.subTest(setting=setting, origin=origin):
                relay = relays.get(setting) or relays.setdefault(setting, self.start(setting))
                status, journal = self.attempt(relay, origin)
                if accepted:
                    self.assertEqual((status, journal), ("HTTP/1.1 101 Switching Protocols", ["hub setBacklight 1 0 0"]))
                else:
                    self.assertEqual((status, journal), ("HTTP/1.1 403 Forbidden", []))
                    self.assertTrue(relay.wait_output('upgrade refused: origin "%s" is not allowed' % origin),
                                    relay.output)
        self.assertIn('relay_allowed_origins: "https://bad.example/path" is not an origin', relays[LISTED].output)
        self.assertIn('relay_allowed_origins is "*"', relays["*"].output)


class InBrowser(unittest.IsolatedAsyncioTestCase):
    @classmethod
    def setUpClass(cls):
        cls.relay = Relay(CLASSROOM)
        cls.addClassCleanup(cls.relay.close)
        cls.pages = PageServer(EXAMPLE)
        cls.addClassCleanup(cls.pages.close)
        cls.browser = Browser(hosts=[FOREIGN])
        cls.addClassCleanup(cls.browser.close)

    def open(self, host):
        return self.browser.open("http://%s:%d/index.html?port=%d" % (host, self.pages.port, self.relay.port))

    async def test_a_page_of_a_loopback_origin_draws_beside_a_native_client(self):
        native = await Client.connect(self.relay)
        self.addAsyncCleanup(native.close)
        page = self.open("127.0.0.1")
        # Said once the relay's "o" came.
        page.wait_text("#status", "connected to port %d" % self.relay.port)
        page.wait_text("#log", "board: 10,4")
        # The whole screen as the window, so the stroke falls inside it;
        # the answer to a later command shows that the window is set.
        page.evaluate("(document.getElementById('whole').click(), document.getElementById('text').value = 'hub,count',"
                      " document.getElementById('command').requestSubmit())")
        page.wait_text("#log", "hubCount: 2")
        self.relay.sim("stroke", 0, 1, 16000, 9000, 16400, 9000, 2)
        for sample in ("16000,9000 down", "16400,9000 down", "16400,9000 up"):
            page.wait_text("#log", "pen 1 at " + sample)
        for _ in range(3):
            await native.next("pen")
        await native.carried_out()
        self.assertEqual([m for m in page.messages() if m[0] == "SEVERE"], [])

    def test_a_page_of_a_foreign_site_is_refused_and_named_in_the_log(self):
        page = self.open(FOREIGN)
        page.wait_text("#status", "closed (1006)")
        origin = "http://%s:%d" % (FOREIGN, self.pages.port)
        self.assertTrue(self.relay.wait_output('origin "%s" is not allowed' % origin), self.relay.output)
        refusal = ("WebSocket connection to 'wss://127.0.0.1:%d/' failed: Error during WebSocket handshake: "
                   "Unexpected response code: 403" % self.relay.port)
        self.assertTrue(any(level == "SEVERE" and refusal in text for level, text in page.messages()), page.messages())
