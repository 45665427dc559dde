"""The relay's own pages, served over HTTPS beside the WebSocket upgrade: the
console, /status and /commands, with the upgrade's bounds."""
import http.client
import json
import os
import re
import socket
import subprocess
import time
import unittest

from relayharness import BIN, Client, Relay, outbound_address, tls_context

CLASSROOM = """
hub add 0 pens=4 touches=10 erasers=2
hub add 1 type=2 state=3
device add 1 1001 5 Amira Haddad
device add 1 1002 5 Ben Okafor
"""


def get(relay, path, method="GET"):
    connection = http.client.HTTPSConnection("127.0.0.1", relay.port, context=tls_context(), timeout=10)
    try:
        connection.request(method, path)
        response = connection.getresponse()
        return response, response.read()
    finally:
        connection.close()


def status(relay):
    response, body = get(relay, "/status")
    return json.loads(body)


def exchange(relay, data):
    """Sends data on one connection and reads until the relay ends it: what
    came back, and how long the relay took to end it."""
    started = time.monotonic()
    with socket.create_connection(("127.0.0.1", relay.port), timeout=30) as plain:
        with tls_context().wrap_socket(plain, server_hostname="127.0.0.1") as tls:
            tls.sendall(data)
            received = b""
            while chunk := tls.recv(65536):
                received += chunk
    return received, time.monotonic() - started


class Endpoint(unittest.IsolatedAsyncioTestCase):
    async def asyncSetUp(self):
        self.relay = Relay(CLASSROOM)

    async def asyncTearDown(self):
        self.relay.close()

    async def test_statuses_and_the_headers_every_response_carries(self):
        rows = [("GET", "/", 200, "text/html"), ("GET", "/console.js", 200, "text/javascript"),
                ("GET", "/console.css", 200, "text/css"), ("GET", "/status?now", 200, "application/json"),
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

    async def test_status_reads_each_owner(self):
        version = subprocess.run([os.path.join(BIN, "velarelay"), "--version"], capture_output=True, text=True)
        first = status(self.relay)
        self.assertEqual((first["version"], first["port"], first["address"], first["clients"], first["votingHub"]),
                         (version.stdout.split()[1], self.relay.port, outbound_address(), 0, 1))
        board, voting = first["hubs"]
        self.assertEqual(board, {"index": 0, "type": 1, "kind": "board", "virtual": False, "pens": 4, "touches": 10,
                                 "erasers": 2, "state": 0, "voting": False, "devices": []})
        self.assertEqual((voting["kind"], voting["state"], voting["voting"], voting["devices"]),
                         ("voting", 3, True, [{"uid": 1001, "type": 5, "name": "Amira Haddad"},
                                              {"uid": 1002, "type": 5, "name": "Ben Okafor"}]))
        self.assertIsNone(first["window"])
        self.assertEqual({name: session["running"] for name, session in first["sessions"].items()},
                         dict.fromkeys(("question", "enhanced", "registration", "teacherNaming", "studentNaming"),
                                       False))

        client = await Client.connect(self.relay)
        for command in ("screen,size,1920,1080", "window,position,10,20,800,600", "pen,private,1,2",
                        "relay,intelligence,1", "question,askYesNoQuestion,8,1", "enhanced,startSession,1",
                        "hub,startRegistrationSession,2,0,0,ABC,0,0,0", "hub,startTeacherNamingSession"):
            await client.send(command)
        await client.send("hub,count")
        await client.next("hubCount")
        self.relay.sim("answer", 1, "yesno", 1001, 8, 1)
        await client.next("questionResponse")
        now = status(self.relay)
        await client.close()
        self.assertEqual((now["clients"], now["screen"], now["window"]),
                         (1, {"width": 1920, "height": 1080}, {"x": 10, "y": 20, "width": 800, "height": 600}))
        self.assertEqual(now["reportModes"], {"pen": "private", "touch": "native", "eraser": "native",
                                              "supervision": True,
                                              "boards": {"pens": {"2": "private"}, "touch": "native",
                                                         "eraser": "native"}})
        sessions = now["sessions"]
        self.assertEqual(sessions["question"], {"running": True, "type": "yesNo", "id": 8, "hub": 1, "asked": 2,
                                                "answered": 1})
        self.assertEqual(sessions["enhanced"], {"running": True, "id": 1, "hub": 1})
        self.assertEqual(sessions["registration"], {"running": True, "hub": 1, "expected": 2, "registered": 0})
        self.assertEqual(sessions["teacherNaming"], {"running": True, "hub": 1})

    async def test_commands_are_the_tables_as_the_reference_shows_them(self):
        _, body = get(self.relay, "/commands")
        served = [row["group"] + "," + row["command"] + "".join(
            ("[,%s]" if argument["optional"] else ",%s") % argument["name"] for argument in row["arguments"])
            for row in json.loads(body)["commands"]]
        with open(os.path.join(os.environ["VELARELAY_SOURCE"], "docs", "protocol.md")) as reference:
            documented = re.findall(r"^### `(\w+,\w+)`\n\n(?:`([^`]+)`\n)?", reference.read(), re.M)
        self.assertEqual(served, [usage or words for words, usage in documented])

    async def test_one_request_per_connection_within_the_upgrades_bounds(self):
        request = b"GET /status HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"
        received, _ = exchange(self.relay, request + request)
        self.assertEqual(received.count(b"HTTP/1.1 "), 1)
        self.assertTrue(received.startswith(b"HTTP/1.1 200 OK\r\n"), received[:100])

        over = b"GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Fill: " + b"a" * 16 * 1024 + b"\r\n\r\n"
        received, _ = exchange(self.relay, over)
        self.assertTrue(received.startswith(b"HTTP/1.1 400 "), received[:100])

        received, elapsed = exchange(self.relay, b"GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n")
        self.assertEqual(received, b"")
        self.assertAlmostEqual(elapsed, 10, delta=1.5)


if __name__ == "__main__":
    unittest.main()
