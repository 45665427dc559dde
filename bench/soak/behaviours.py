"""The other clients: they come and go, flood, pipeline, send what RFC 6455
forbids and stall at every stage. Each run records an outcome: True when the
relay did what the RFC or its documented limits say, False when it did not,
None when there is nothing to check (the point is only to put the relay
through it)."""
import asyncio
import base64
import concurrent.futures
import contextvars
import os
import random
import socket
import time

import websockets

from relayharness import Client
from wire import (BINARY, CLOSE, CONTINUATION, GONE, PING, TEXT, RawConnection, abort, client_hello, close_frame,
                  frame, text, upgrade_request)

MiB = 1 << 20
# The relay's documented bounds.
HANDSHAKE_LIMIT = 5.0
UPGRADE_LIMIT = 10.0
# Room for a loaded machine on top of a time limit.
SLACK = 3.0
# Commands the churn may send: none of them changes what the watchers check
# (the window, the capabilities mode, the timed query and the pipeline's
# counted answer are left alone).
QUERIES = ["hub,count", "capabilities,getAll", "board,touchAndPenCount", "erase,count", "relay,keepAlive",
           "hub,unknown", "nonsense", ""]
PIPELINED, PIPELINE_ANSWER = "capabilities,getBoard", ",boardCapabilities,"
# The query after a fault; only the fault injection sends it, one at a time.
FAULT_QUERY, FAULT_ANSWER = "question,getRegisteredDevices", "questionDevices"
# Commands that have no answer, so that a flood loads the relay's input,
# not every client's output.
FILLER = ["relay,keepAlive", "relay,unknownCommand", "x", "a,b,c", "hub"]
# When the running behaviour started: a pause closes every client, so what
# a behaviour saw across one is not held against the relay.
STARTED = contextvars.ContextVar("started")
# The transports the running behaviour opened, ended with it whatever happens.
OPENED = contextvars.ContextVar("opened")
# Whether the running behaviour's connection got through the upgrade.
UPGRADED = contextvars.ContextVar("upgraded")


def filler_block(size=64 * 1024):
    frames, n = [], 0
    while n < size:
        f = text(random.choice(FILLER))
        frames.append(f)
        n += len(f)
    return b"".join(frames)


def key_of(n):
    return base64.b64encode(os.urandom(n)).decode()


# Frames the relay must refuse, and the status code of its close frame
# (None: the frame is valid and the connection must stay open).
MALFORMED = [
    ("unmasked frame", lambda: frame(TEXT, b"hub,count", mask=False), 1002),  # section 5.1
    ("RSV1 set", lambda: frame(TEXT, b"hub,count", rsv=4), 1002),  # 5.2
    ("reserved opcode 0x3", lambda: frame(0x3, b"x"), 1002),
    ("reserved opcode 0xB", lambda: frame(0xB), 1002),
    ("64-bit length with the top bit set", lambda: frame(TEXT, length=1 << 63), 1002),
    ("ping of 126 bytes", lambda: frame(PING, b"p" * 126), 1002),  # 5.5
    ("fragmented ping", lambda: frame(PING, b"p", fin=False), 1002),
    ("continuation with no message", lambda: frame(CONTINUATION, b"x"), 1002),  # 5.4
    ("text frame inside a fragmented message", lambda: frame(TEXT, b"a", fin=False) + frame(TEXT, b"b"), 1002),
    ("close with a 1-byte body", lambda: frame(CLOSE, b"\x03"), 1002),  # 5.5.1
    ("close with status 1005", lambda: close_frame(1005), 1002),  # 7.4.1
    ("close with status 999", lambda: close_frame(999), 1002),
    ("text that is not UTF-8", lambda: frame(TEXT, b"hub,\xff\xfe"), 1007),  # 8.1
    ("UTF-8 surrogate", lambda: frame(TEXT, b"x,\xed\xa0\x80"), 1007),
    ("overlong UTF-8", lambda: frame(TEXT, b"x,\xc0\xaf"), 1007),
    ("UTF-8 cut at the end of a message", lambda: frame(TEXT, b"x,\xe2\x82"), 1007),
    ("close reason that is not UTF-8", lambda: close_frame(1000, b"\xff"), 1007),  # 5.5.1
    ("UTF-8 split across fragments", lambda: frame(TEXT, b"x,\xc3", fin=False) + frame(CONTINUATION, b"\xa9"), None),
    ("ping of 125 bytes", lambda: frame(PING, b"p" * 125), None),
    ("binary frame", lambda: frame(BINARY, b"\x00\x01"), "any"),
]
# Heavy ones: a megabyte each, so one at a time.
OVERSIZE = [
    ("message of 1 MiB + 1", lambda: frame(TEXT, b"x" * (MiB + 1)), 1009),
    ("fragments of 1 MiB + 1 together",
     lambda: frame(TEXT, b"x" * (MiB // 2), fin=False) + frame(CONTINUATION, b"x" * (MiB // 2), fin=False)
     + frame(CONTINUATION, b"x"), 1009),
    ("message of exactly 1 MiB", lambda: frame(TEXT, b"x" * MiB), None),
]
# Upgrade requests the relay must refuse (RFC 6455 section 4.2.1 and 4.2.2),
# and the statuses that say so.
UPGRADES = [
    ("no Host", lambda port: upgrade_request(port, omit=("Host",)), {400}),
    ("no Sec-WebSocket-Key", lambda port: upgrade_request(port, omit=("Sec-WebSocket-Key",)), {400}),
    ("key of 8 bytes", lambda port: upgrade_request(port, Sec_WebSocket_Key=key_of(8)), {400}),
    ("key that is not Base64", lambda port: upgrade_request(port, Sec_WebSocket_Key="not*base64*at*all!!!"), {400}),
    ("no Upgrade header", lambda port: upgrade_request(port, omit=("Upgrade",)), {400}),
    ("Upgrade: h2c", lambda port: upgrade_request(port, Upgrade="h2c"), {400}),
    ("Connection: keep-alive", lambda port: upgrade_request(port, Connection="keep-alive"), {400}),
    ("Sec-WebSocket-Version: 8", lambda port: upgrade_request(port, Sec_WebSocket_Version="8"), {426}),
    ("no Sec-WebSocket-Version", lambda port: upgrade_request(port, omit=("Sec-WebSocket-Version",)), {400, 426}),
    ("POST", lambda port: upgrade_request(port, method="POST"), {400, 405}),
    ("HTTP/1.0", lambda port: upgrade_request(port, version_line="HTTP/1.0"), {400, 505}),
    ("another subprotocol only", lambda port: upgrade_request(port, Sec_WebSocket_Protocol="chat"), {400}),
    ("request over 16 KiB", lambda port: upgrade_request(port, X_Padding="a" * 17000), {400, 431}),
    ("not HTTP", lambda port: b"hello relay\r\n\r\n", {400}),
]
# A fault armed in the simulator, and a command that makes the relay call
# the failing method.
FAULTS = [
    ("getHubList", "hub,count"),
    ("setPenHardwareMode", "pen,private,0"),
    ("setPenReportMode", "pen,private,0"),
    ("setTouchReportMode", "touch,private,0"),
    ("setEraseReportMode", "erase,private,0"),
    ("setBacklight", "hub,changeBacklight,3,1"),
    ("resetHubSession", "hub,resetSession"),
    ("startYesNoSession", "question,askYesNoQuestion,5,1"),
    ("stopSession", "question,stopQuestion"),
]


async def drain(ws):
    try:
        while True:
            await ws.recv()
    except websockets.ConnectionClosed:
        pass


class Shutter:
    """Ends a blocking socket that another thread is waiting on."""

    sock = None

    def abort(self):
        try:
            socket.socket.shutdown(self.sock, socket.SHUT_RDWR)
        except (OSError, TypeError):
            pass  # not connected yet, or already closed


def watch_stall(shutter, port, tls, first, limit):
    sock = shutter.sock = socket.create_connection(("127.0.0.1", port), timeout=10)
    started = time.monotonic()
    try:
        if tls:
            sock = shutter.sock = tls.wrap_socket(sock, server_hostname="127.0.0.1")
            started = time.monotonic()
        sock.settimeout(3 * limit)
        sock.sendall(first)
        while sock.recv(65536):
            pass
    except socket.timeout:
        return None
    except OSError:
        pass  # reset, or ended without close_notify: ended all the same
    finally:
        sock.close()
    return time.monotonic() - started


class Churn:
    """Runs behaviours side by side, a bounded number at a time, and tallies
    their outcomes."""

    def __init__(self, relay, tls, concurrency, flood_seconds, flood_mib, pauses):
        self.relay = relay
        self.pauses = pauses
        self.port = relay.port
        self.tls = tls
        self.concurrency = concurrency
        self.flood_seconds = flood_seconds
        self.flood_bytes = flood_mib * MiB
        self.outcomes = {}  # name: [runs, as expected, not, examples]
        self.floods = []  # (what, MiB/s the relay took, fraction of the time the writer waited)
        self.filler = filler_block()
        self.pipeline_block = b"".join(text(PIPELINED) for _ in range(1000))
        self.heavy = asyncio.Lock()
        self.tasks = set()
        self.watchers = concurrent.futures.ThreadPoolExecutor(concurrency)
        self._rounds = {}
        self.running = asyncio.Event()
        self.running.set()
        self.behaviours = [
            (self.visit, 30), (self.leave, 16), (self.malformed, 12), (self.upgrade, 10), (self.stall_tls, 6),
            (self.stall_upgrade, 5), (self.stall_frame, 3), (self.never_read, 2), (self.flood, 2),
            (self.silent_flood, 1), (self.pipeline, 2), (self.oversize, 1),
        ]

    def next_row(self, table):
        """Rows in a shuffled round, so that every row runs as often as any other."""
        rows = self._rounds.setdefault(id(table), [])
        if not rows:
            rows.extend(random.sample(table, len(table)))
        return rows.pop()

    def record(self, name, verdict, detail=""):
        if verdict is False and self.paused_since_start():
            name, verdict = "cut short by a pause", None
        entry = self.outcomes.setdefault(name, [0, 0, 0, []])
        entry[0] += 1
        if verdict is True:
            entry[1] += 1
        elif verdict is False:
            entry[2] += 1
            if detail and detail not in entry[3] and len(entry[3]) < 3:
                entry[3].append(detail)

    async def run(self):
        functions, weights = zip(*self.behaviours)
        slots = asyncio.Semaphore(self.concurrency)
        while True:
            await self.running.wait()
            await slots.acquire()
            behaviour = random.choices(functions, weights)[0]
            task = asyncio.create_task(self._guarded(behaviour, slots))
            self.tasks.add(task)
            task.add_done_callback(self.tasks.discard)
            await asyncio.sleep(random.uniform(0.02, 0.2))

    def paused_since_start(self):
        return any(p >= STARTED.get() for p in self.pauses)

    async def _guarded(self, behaviour, slots):
        STARTED.set(time.monotonic())
        OPENED.set([])
        UPGRADED.set(False)
        try:
            await behaviour()
            if UPGRADED.get():
                self.record("upgraded connections: none ended unexpectedly", True)
        except asyncio.CancelledError:
            pass  # a lull or the end: no outcome
        except (OSError, asyncio.TimeoutError, EOFError, websockets.WebSocketException, AssertionError) as error:
            if UPGRADED.get() and not self.paused_since_start():
                self.record("upgraded connections: none ended unexpectedly", False,
                            "%s in %s: %s" % (type(error).__name__, behaviour.__name__, str(error)[:80]))
            else:
                # Refused at the connection limit, or closed by a pause
                # before it was through: said, not judged.
                self.record("refused before the upgrade, or paused (%s)" % type(error).__name__, None)
        finally:
            for transport in OPENED.get():
                abort(transport)
            slots.release()

    async def quiesce(self, timeout):
        """No new behaviours; those running end or are cut off."""
        self.running.clear()
        if self.tasks:
            _, pending = await asyncio.wait(set(self.tasks), timeout=timeout)
            for task in pending:
                task.cancel()
            if pending:
                await asyncio.wait(pending, timeout=10)

    def resume(self):
        self.running.set()

    async def open(self, tls=True):
        conn = await RawConnection.open(self.port, self.tls if tls else None)
        OPENED.get().append(conn.writer.transport)
        return conn

    async def upgraded(self):
        conn = await self.open()
        await conn.upgrade(self.port)
        UPGRADED.set(True)
        return conn

    async def library_client(self):
        client = await Client.connect(self.relay, expect_o=False)
        OPENED.get().append(client.ws.transport)
        UPGRADED.set(True)
        first = await asyncio.wait_for(client.ws.recv(), 10)
        assert first == "o", first
        return client

    # --- coming and going ---------------------------------------------------

    async def visit(self):
        """A client as a library writes it: a few queries, some reading, then
        a close handshake or an abrupt end."""
        client = await self.library_client()
        ws = client.ws
        for _ in range(random.randint(0, 5)):
            await ws.send(random.choice(QUERIES))
        deadline = time.monotonic() + random.uniform(0.1, 2.0)
        try:
            while time.monotonic() < deadline:
                await asyncio.wait_for(ws.recv(), max(0.01, deadline - time.monotonic()))
        except asyncio.TimeoutError:
            pass
        except websockets.ConnectionClosed:
            return  # a pause
        if random.random() < 0.5:
            # Reading on while closing: the library reads the relay's close
            # frame only once the messages before it have been taken.
            reading = asyncio.create_task(drain(ws))
            await ws.close()
            reading.cancel()
            self.record("library client: close handshake answered (1000)", ws.close_code == 1000,
                        "close code %s" % ws.close_code)
        else:
            abort(ws.transport)
            self.record("library client: gone without a close", None)

    async def leave(self):
        """Leaves with or without a close handshake, with or without TLS close_notify."""
        conn = await self.upgraded()
        handshake, notify = random.random() < 0.5, random.random() < 0.5
        await asyncio.sleep(random.uniform(0, 1.5))
        how = "%s close handshake, %s close_notify" % ("with" if handshake else "no", "with" if notify else "no")
        if handshake:
            conn.write(close_frame(1000))
            code = await conn.close_code(5 + SLACK)
            self.record("leave, %s: close echoed" % how, code == 1000, "close code %s" % code)
        else:
            self.record("leave, " + how, None)
        if notify:
            await conn.close_tls()
        else:
            conn.abort()

    # --- what the RFC forbids ---------------------------------------------------

    async def malformed(self, table=MALFORMED):
        name, make, expected = self.next_row(table)
        conn = await self.upgraded()
        try:
            conn.write(make())
            if expected == "any":
                code = await conn.close_code(2)
                self.record("frame: %s (%s)" % (name, "kept" if code is None else "closed with %d" % code), None)
            elif expected is None:
                kept = await conn.still_open(5 + SLACK)
                self.record("frame: %s: connection kept" % name, kept, "closed or no pong")
            else:
                code = await conn.close_code(5 + SLACK)
                self.record("frame: %s: closed with %d" % (name, expected), code == expected,
                            "close code %s" % code)
        finally:
            conn.abort()

    async def oversize(self):
        async with self.heavy:
            await self.malformed(OVERSIZE)

    async def upgrade(self):
        name, make, statuses = self.next_row(UPGRADES)
        conn = await self.open()
        try:
            conn.write(make(self.port))
            status, headers = await conn.response(10)
            wanted = " or ".join(map(str, sorted(statuses)))
            ok = status in statuses
            if status == 426 and headers.get("sec-websocket-version") != "13":
                ok, status = False, "426 without Sec-WebSocket-Version: 13"
            self.record("upgrade: %s: %s" % (name, wanted), ok, "answered %s" % status)
        finally:
            conn.abort()

    # --- stalls ---------------------------------------------------------------

    async def stall_tls(self):
        """Stops before the TLS handshake is done; the relay must give up on
        it within its handshake bound."""
        stage = random.choice(["nothing sent", "half a ClientHello", "a ClientHello, then silence"])
        hello = client_hello(self.tls)
        first = {"nothing sent": b"", "half a ClientHello": hello[:len(hello) // 2]}.get(stage, hello)
        took = await self._stalled(None, first, HANDSHAKE_LIMIT)
        self.record("stall in TLS handshake (%s): dropped within %.0f s" % (stage, HANDSHAKE_LIMIT),
                    took is not None and took <= HANDSHAKE_LIMIT + SLACK, self._stall_detail(took, HANDSHAKE_LIMIT))

    async def stall_upgrade(self):
        stage = random.choice(["no request", "half a request"])
        request = upgrade_request(self.port)
        first = request[:len(request) // 2] if stage == "half a request" else b""
        took = await self._stalled(self.tls, first, UPGRADE_LIMIT)
        self.record("stall before the upgrade (%s): dropped within %.0f s" % (stage, UPGRADE_LIMIT),
                    took is not None and took <= UPGRADE_LIMIT + SLACK, self._stall_detail(took, UPGRADE_LIMIT))

    @staticmethod
    def _stall_detail(took, limit):
        return "still open after %.0f s" % (3 * limit) if took is None else "dropped after %.1f s" % took

    async def _stalled(self, tls, first, limit):
        """Connects (with a TLS handshake when tls is given), sends first,
        and waits for the relay to end the connection, three times the limit
        at most: the seconds that took, counted from the end of the
        handshake, or None. A thread of its own watches the socket, so the
        moment is seen however busy this event loop is."""
        shutter = Shutter()
        OPENED.get().append(shutter)
        return await asyncio.get_running_loop().run_in_executor(self.watchers, watch_stall, shutter, self.port, tls,
                                                                first, limit)

    async def stall_frame(self):
        """Half a frame, then silence; no bound is documented, so only held."""
        conn = await self.upgraded()
        conn.write(frame(TEXT, b"hub,count" * 20)[:40])
        closed = await conn.ended(random.uniform(3, 12))
        paused = self.paused_since_start()
        self.record("stall in the middle of a frame" + (" (relay closed it)" if closed and not paused else ""), None)
        conn.abort()

    async def never_read(self):
        """Upgraded, sends a little, never reads; the broadcasts pile up."""
        conn = await self.upgraded()
        for _ in range(5):
            conn.write(text(random.choice(QUERIES)))
        await asyncio.sleep(random.uniform(5, 15))
        self.record("never reading", None)
        conn.abort()

    # --- floods -----------------------------------------------------------------

    async def _flood(self, conn, first=b""):
        """Writes first, then filler, for flood_seconds or flood_bytes:
        (bytes taken, seconds, seconds spent waiting for the relay to read)."""
        started = time.monotonic()
        written, waited = 0, 0.0
        if first:
            conn.write(first)
            written += len(first)
        while time.monotonic() - started < self.flood_seconds and written < self.flood_bytes:
            conn.write(self.filler)
            written += len(self.filler)
            before = time.monotonic()
            try:
                await asyncio.wait_for(conn.drain(), max(0.01, self.flood_seconds - (before - started)))
            except asyncio.TimeoutError:
                waited += time.monotonic() - before
                break
            except GONE:
                break  # dropped: the reader, where there is one, says how
            waited += time.monotonic() - before
        elapsed = time.monotonic() - started
        return written - conn.writer.transport.get_write_buffer_size(), elapsed, waited

    async def _reading(self, conn, answers):
        """Reads everything; notes the times of the pipeline's answers; returns
        the close code (or "ended") if the relay ends the connection."""
        try:
            while True:
                _, opcode, payload = await conn.read_frame()
                if opcode == CLOSE:
                    return int.from_bytes(payload[:2], "big") if len(payload) >= 2 else 0
                if PIPELINE_ANSWER.encode() in payload:
                    answers.append(time.monotonic())
        except GONE:
            return "ended"

    async def flood(self):
        """Commands as fast as the relay takes them, reading all the while:
        read more slowly, perhaps, but never dropped."""
        async with self.heavy:
            conn = await self.upgraded()
            reader = asyncio.create_task(self._reading(conn, []))
            taken, elapsed, waited = await self._flood(conn)
            await asyncio.sleep(1)
            ended = reader.result() if reader.done() else None
            reader.cancel()
            conn.abort()
            self.floods.append(("reading", taken / MiB / elapsed, waited / elapsed))
            self.record("flood while reading: not dropped", ended is None, "ended with %s" % ended)

    async def silent_flood(self):
        """Commands as fast as the relay takes them, never reading."""
        async with self.heavy:
            conn = await self.upgraded()
            taken, elapsed, waited = await self._flood(conn)
            conn.abort()
            self.floods.append(("never reading", taken / MiB / elapsed, waited / elapsed))
            self.record("flood, never reading", None)

    async def pipeline(self):
        """A thousand queries at once, then more commands without pause,
        reading all the while: every query answered, the first answers
        while the client is still sending, and never dropped."""
        async with self.heavy:
            conn = await self.upgraded()
            answers = []
            reader = asyncio.create_task(self._reading(conn, answers))
            started = time.monotonic()
            await self._flood(conn, self.pipeline_block)
            sending_ended = time.monotonic()
            deadline = started + 20
            while len(answers) < 1000 and not reader.done() and time.monotonic() < deadline:
                await asyncio.sleep(0.1)
            ended = reader.result() if reader.done() else None
            reader.cancel()
            conn.abort()
            if ended == 1001:
                return  # a pause closed it
            self.record("pipeline: not dropped", ended is None, "ended with %s" % ended)
            self.record("pipeline: all 1000 queries answered within 20 s", len(answers) == 1000,
                        "%d answered" % len(answers))
            self.record("pipeline: answers flow while the client keeps sending",
                        bool(answers) and answers[0] < sending_ended,
                        "first answer %s after %.1f s of sending" % (
                            "%.1f s" % (answers[0] - started) if answers else "never", sending_ended - started))

    async def fault(self, control, method, command):
        """A library call that fails, and a client whose command makes the
        relay call it; the relay must answer the next query all the same."""
        STARTED.set(time.monotonic())
        OPENED.set([])
        UPGRADED.set(False)
        reply = await control.command("fail %s" % method)
        if reply != "ok":
            self.record("fault in %s: armed" % method, False, reply)
            return
        try:
            client = await self.library_client()
        except (OSError, asyncio.TimeoutError, websockets.WebSocketException, AssertionError):
            return
        name = "fault in %s: the relay answers after it" % method
        try:
            await client.send(command)
            await client.send(FAULT_QUERY)
            await client.next(FAULT_ANSWER, timeout=10)
            self.record(name, True)
        except AssertionError:
            self.record(name, False, "no %s within 10 s" % FAULT_ANSWER)
        except websockets.ConnectionClosed as closed:
            self.record(name, False, "closed: %s" % closed)
        finally:
            abort(client.ws.transport)
