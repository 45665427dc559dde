"""The real relay with simulated hubs, and real WebSocket clients over TLS.

Each Relay runs build/bin/velarelay on a free port with its own scenario and
control socket; velasim drives the hubs. Clients use Python's websockets
library, as a client developer would.
"""
import asyncio
import atexit
import os
import shutil
import signal
import socket
import ssl
import subprocess
import tempfile
import threading
import time
import unittest

import websockets

BIN = os.environ["VELARELAY_BIN"]
# What clients trust: the development authority, which signed the relay's
# certificate (velarelay-cert create).
CERT = os.path.join(BIN, "ssl", "velarelay-ca.crt")
# A board and a voting hub with four learners' devices: where most tests start.
CLASSROOM = """
hub add 0 pens=4 touches=10 erasers=2
hub add 1 type=2 state=3
device add 1 1001 5 Amira Haddad
device add 1 1002 5 Smith, Jane
device add 1 1003 5 Chloé Martin
device add 1 1004 5 Dmitri Ivanov
"""


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def outbound_address():
    """The address the relay puts in front of its messages."""
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        try:
            s.connect(("203.0.113.1", 53))
            address = s.getsockname()[0]
        except OSError:
            return "127.0.0.1"
    return "127.0.0.1" if address == "0.0.0.0" else address


def copy_relay(test):
    """A copy of the relay with its hub library and development pair, as an
    administrator might copy the build folder, in a folder the test removes;
    returns the folder."""
    folder = test.enterContext(tempfile.TemporaryDirectory())
    for name in ("velarelay", "libvelasystem.so.2"):
        shutil.copy(os.path.join(BIN, name), folder)
    shutil.copytree(os.path.join(BIN, "ssl"), os.path.join(folder, "ssl"))
    return folder


_running = []


@atexit.register
def _stop_leftovers():
    """A test that failed half-way leaves no relay behind."""
    for proc in _running:
        if proc.poll() is None:
            proc.kill()


class Relay:
    """port None: a free one; False: none on the command line."""

    def __init__(self, scenario="", args=(), port=None, wait=True, folder=BIN):
        self._dir = tempfile.TemporaryDirectory()
        self.port = port if port is not None else free_port()
        self.socket_path = os.path.join(self._dir.name, "velasim.sock")
        scenario_path = os.path.join(self._dir.name, "test.scenario")
        with open(scenario_path, "w") as f:
            f.write(scenario)
        env = dict(os.environ, VELASYSTEM_SCENARIO=scenario_path, VELASYSTEM_CONTROL=self.socket_path)
        self.started = time.monotonic()
        port_args = ["--port", str(self.port)] if port is not False else []
        self.proc = subprocess.Popen([os.path.join(folder, "velarelay"), *port_args, *args],
                                     stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=env)
        _running.append(self.proc)
        self._output = []
        self._ended = False
        self._changed = threading.Condition()
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()
        if wait:
            self.wait_listening()

    def _read(self):
        for line in self.proc.stdout:
            with self._changed:
                self._output.append(line.decode(errors="replace"))
                self._changed.notify_all()
        with self._changed:
            self._ended = True
            self._changed.notify_all()

    @property
    def output(self):
        with self._changed:
            return "".join(self._output)

    def wait_output(self, text, timeout=10):
        """Whether the relay said text within timeout seconds, before its output ended."""
        with self._changed:
            self._changed.wait_for(lambda: self._ended or text in "".join(self._output), timeout)
            return text in "".join(self._output)

    def wait_listening(self, timeout=10):
        """The relay says it started only once it listens with its key loaded."""
        if not self.wait_output("VelaRelay: Started on port %s\n" % self.port, timeout):
            raise AssertionError("relay did not start:\n" + self.output)
        return time.monotonic() - self.started

    def sim(self, *words, expect_ok=True):
        done = subprocess.run([os.path.join(BIN, "velasim"), "--socket", self.socket_path, *map(str, words)],
                              capture_output=True, text=True, timeout=30)
        if expect_ok and done.returncode != 0:
            raise AssertionError("velasim %s: %s%s" % (" ".join(map(str, words)), done.stdout, done.stderr))
        return done.stdout.strip()

    def journal(self):
        return self.sim("calls").splitlines()[1:]

    def signal(self, signo):
        self.proc.send_signal(signo)

    def wait(self, timeout=15):
        code = self.proc.wait(timeout)
        self._reader.join(5)
        if not self._reader.is_alive():
            self.proc.stdout.close()
        return code

    def stop(self):
        """Stops the relay as the service manager would; returns its exit
        status (the soak run reports it)."""
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
        try:
            code = self.wait()
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.wait()
            raise AssertionError("relay did not stop:\n" + self.output)
        self._dir.cleanup()
        return code

    def close(self):
        """stop(); a clean stop is part of every test, so sanitizer reports at
        exit fail it too."""
        code = self.stop()
        if code != 0:
            raise AssertionError("relay ended with %d:\n%s" % (code, self.output))


def tls_context():
    return ssl.create_default_context(cafile=CERT)


def tls_connection(relay):
    """A TLS connection to the relay, handshake done, nothing sent."""
    raw = socket.create_connection(("127.0.0.1", relay.port), timeout=30)
    return tls_context().wrap_socket(raw, server_hostname="127.0.0.1")


class Client:
    """One WebSocket client; messages are read in order, and those a test is
    not looking for yet stay pending for a later look."""

    def __init__(self, ws):
        self.ws = ws
        self.pending = []

    @classmethod
    async def connect(cls, relay, expect_o=True):
        """expect_o=False leaves the greeting to the caller (the soak run
        times it under load)."""
        ws = await websockets.connect("wss://127.0.0.1:%d" % relay.port, ssl=tls_context(),
                                      subprotocols=["relay-protocol"], open_timeout=10,
                                      max_size=None, ping_interval=None)
        if expect_o:
            first = await asyncio.wait_for(ws.recv(), 10)
            assert first == "o", first
        return cls(ws)

    async def send(self, text):
        await self.ws.send(text)

    async def carried_out(self, *packets):
        """Sends the packets, then hub,count, whose answer shows that the
        relay has carried them out; returns that answer."""
        for packet in packets + ("hub,count",):
            await self.ws.send(packet)
        return await self.next("hubCount")

    async def next(self, keyword, timeout=10):
        """The first message with this keyword not yet taken, as its fields
        after the address."""
        for i, message in enumerate(self.pending):
            if self.keyword(message) == keyword:
                del self.pending[i]
                return message.split(",")[1:]
        try:
            async with asyncio.timeout(timeout):
                while self.keyword(message := await self.ws.recv()) != keyword:
                    self.pending.append(message)
        except TimeoutError:
            raise AssertionError("no %s within %ss; pending: %s" % (keyword, timeout, self.pending[-10:]))
        return message.split(",")[1:]

    @staticmethod
    def keyword(message):
        fields = message.split(",")
        return fields[1] if len(fields) > 1 else fields[0]

    async def close(self):
        await self.ws.close()


class RelayTest(unittest.IsolatedAsyncioTestCase):
    """A relay of its own for each test, started with the class's scenario
    (the classroom unless it names another) and arguments; the clients a test
    connects are closed before it stops."""
    scenario = CLASSROOM
    args = ()

    async def asyncSetUp(self):
        self.relay = Relay(self.scenario, self.args)
        self.clients = []

    async def asyncTearDown(self):
        for client in self.clients:
            await client.close()
        self.relay.close()

    async def connect(self):
        self.clients.append(await Client.connect(self.relay))
        return self.clients[-1]


async def round_trip(relay):
    client = await Client.connect(relay)
    await client.carried_out()
    await client.close()
