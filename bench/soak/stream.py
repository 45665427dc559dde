"""The numbered pen stream and the well-behaved clients that check it.

The stream drives the simulated board through its control socket: pen 1,
one sample per sequence number, the number encoded in X and Y. Pen 1 alone
keeps the relay's throttle off, so every sample must reach every client
whose window holds it. Each client reads all the time, checks every sample,
and now and then times a query."""
import asyncio
import bisect
import time

import websockets

from relayharness import Client
from wire import abort

# Every sample lies inside this window, so none may be filtered out.
SCREEN = "screen,size,32767,32767"
WINDOW = "window,position,0,0,32767,32767"
# A query only the watchers send, so its answer tells them their window is
# set (the relay answers commands in order); capabilities,getQuestion is
# answered with questionCapabilities, and nothing else produces that message.
READY_QUERY, READY_ANSWER = "capabilities,getQuestion", "questionCapabilities"
# The timed query; the soak's other clients never send it.
PROBE_QUERY, PROBE_ANSWER = "hub,getState", "hubState"
# A sample the relay had not yet sent when a pause closed every client was
# in flight and is not lost; one the simulator emitted longer ago than this
# before the pause counts as lost all the same: a pen stroke cannot wait that long.
IN_FLIGHT_LIMIT = 5.0
STROKE = 50


def encode(seq):
    x, y = 1 + seq % 32000, 1 + seq // 32000
    return x, y


def decode(x, y):
    return (y - 1) * 32000 + (x - 1)


class ControlLine:
    """One connection to the simulator's control socket, one command at a time."""

    def __init__(self, path):
        self.path = path
        self.lock = asyncio.Lock()

    async def open(self):
        self.reader, self.writer = await asyncio.open_unix_connection(self.path)

    async def command(self, line):
        async with self.lock:
            self.writer.write((line + "\n").encode())
            reply = await asyncio.wait_for(self.reader.readline(), 30)
        return reply.decode().rstrip("\n")

    def close(self):
        self.writer.close()


class PenStream:
    """Pen samples at a steady rate, pipelined on a control connection of
    their own. sent[seq] and acked[seq] are monotonic times of the write and
    of the simulator's "ok" (the sample has been emitted to the relay)."""

    MAX_IN_FLIGHT = 2000

    def __init__(self, path, rate):
        self.path = path
        self.rate = rate
        self.sent = []
        self.acked = []
        self.errors = []
        self.stalls = 0
        self._acked_all = asyncio.Event()
        self._stop = asyncio.Event()

    async def open(self):
        self.reader, self.writer = await asyncio.open_unix_connection(self.path)

    async def run(self):
        acks = asyncio.create_task(self._read_acks())
        start = time.monotonic()
        try:
            while not self._stop.is_set():
                due = int((time.monotonic() - start) * self.rate)
                if len(self.sent) - len(self.acked) >= self.MAX_IN_FLIGHT:
                    # The simulator, and so the relay's hub thread, is behind.
                    self.stalls += 1
                    due = len(self.sent)
                lines = []
                now = time.monotonic()
                for seq in range(len(self.sent), due):
                    x, y = encode(seq)
                    lines.append("pen 0 1 %d %d %d 0\n" % (x, y, 0 if seq % STROKE == STROKE - 1 else 1))
                    self.sent.append(now)
                if lines:
                    self.writer.write("".join(lines).encode())
                try:
                    await asyncio.wait_for(self._stop.wait(), 0.01)
                except asyncio.TimeoutError:
                    pass
            self._acked_all.clear()
            if len(self.acked) < len(self.sent):
                await asyncio.wait_for(self._acked_all.wait(), 30)
        finally:
            acks.cancel()

    async def _read_acks(self):
        while True:
            line = (await self.reader.readline()).decode().rstrip("\n")
            if not line:
                raise ConnectionError("the control socket closed")
            if line != "ok":
                self.errors.append(line)
            self.acked.append(time.monotonic())
            if len(self.acked) == len(self.sent):
                self._acked_all.set()

    def stop(self):
        self._stop.set()

    def close(self):
        self.writer.close()


class Session:
    """One connection of a watcher, from connect to close."""

    def __init__(self):
        self.ready = None  # when its window was known to be set
        self.received = []  # seqs in arrival order
        self.latencies = []
        self.ended = None
        self.end = None  # "final", "pause" or "drop"
        self.close_code = None
        self.pause = None  # the pause that ended it


class Watcher:
    """A well-behaved client: connects (again after a pause), reads all the
    time, checks every pen sample and times a query now and then."""

    def __init__(self, name, soak):
        self.name = name
        self.soak = soak
        self.sessions = []
        self.connect_failures = 0
        self.foreign = []  # pen messages that are not the stream's
        self.probes = []  # round trips, seconds
        self.unanswered = 0
        self.current = None
        self._probe_answer = None
        self._stopping = False
        self._caught_up = asyncio.Event()

    async def run(self):
        while not self._stopping:
            try:
                client = await Client.connect(self.soak.relay, expect_o=False)
            except (OSError, asyncio.TimeoutError, websockets.WebSocketException):
                self.connect_failures += 1
                await asyncio.sleep(0.2)
                continue
            try:
                first = await asyncio.wait_for(client.ws.recv(), 30)
            except (asyncio.TimeoutError, websockets.ConnectionClosed):
                first = None
            if first != "o":
                # Closed by a pause before its first message, or "o" did
                # not come first: either way, not a session to judge.
                if first is not None:
                    self.foreign.append(first)
                abort(client.ws.transport)
                self.connect_failures += 1
                continue
            if self._stopping:
                await client.close()
                break
            session = Session()
            self.sessions.append(session)
            self.current = session
            self.ws = client.ws
            probing = asyncio.create_task(self._probe(session))
            try:
                await self._read(session)
            finally:
                probing.cancel()
                self.current = None

    async def _read(self, session):
        ws = self.ws
        try:
            await ws.send(SCREEN)
            await ws.send(WINDOW)
            await ws.send(READY_QUERY)
            while True:
                message = await ws.recv()
                now = time.monotonic()
                fields = message.split(",")
                keyword = fields[1] if len(fields) > 1 else fields[0]
                if keyword == "pen":
                    self._sample(session, fields, now)
                elif keyword == PROBE_ANSWER:
                    if self._probe_answer and not self._probe_answer.done():
                        self._probe_answer.set_result(now)
                elif keyword == READY_ANSWER and session.ready is None:
                    session.ready = now
        except websockets.ConnectionClosed as closed:
            session.ended = time.monotonic()
            session.close_code = closed.rcvd.code if closed.rcvd else None
            if self._stopping:
                session.end = "final"
                return
            pause = self.soak.last_pause_before(session.ended)
            if session.close_code == 1001 and pause is not None and session.ended - pause < 10:
                session.end, session.pause = "pause", pause
            else:
                session.end = "drop"

    def _sample(self, session, fields, now):
        if len(fields) != 8 or fields[2] != "1":
            self.foreign.append(",".join(fields[1:]))
            return
        try:
            seq = decode(int(fields[4]), int(fields[5]))
        except ValueError:
            seq = -1
        stream = self.soak.stream
        if not 0 <= seq < len(stream.sent):
            self.foreign.append(",".join(fields[1:]))
            return
        session.received.append(seq)
        session.latencies.append(now - stream.sent[seq])
        if self._stopping and seq == len(stream.sent) - 1:
            self._caught_up.set()

    async def _probe(self, session):
        """A query a second, one watcher at a time, so that the answer that
        comes is the answer to this query."""
        while True:
            await asyncio.sleep(self.soak.probe_interval)
            if session.ready is None:
                continue
            async with self.soak.probe_lock:
                self._probe_answer = asyncio.get_running_loop().create_future()
                started = time.monotonic()
                try:
                    await self.ws.send(PROBE_QUERY)
                    answered = await asyncio.wait_for(self._probe_answer, 10)
                except asyncio.TimeoutError:
                    if session.ended is None:
                        self.unanswered += 1
                    continue
                except websockets.ConnectionClosed:
                    return
                self.probes.append(answered - started)

    async def finish(self, timeout):
        """After the stream stopped: waits for its last sample, then leaves
        with a close handshake."""
        self._stopping = True
        last = len(self.soak.stream.sent) - 1
        session = self.current
        if session and session.received and session.received[-1] == last:
            self._caught_up.set()
        if session:
            try:
                await asyncio.wait_for(self._caught_up.wait(), timeout)
            except asyncio.TimeoutError:
                pass
            try:
                await asyncio.wait_for(self.ws.close(), 10)
            except asyncio.TimeoutError:
                abort(self.ws.transport)

    def account(self):
        """Per session: the samples it had to receive, and what came."""
        stream = self.soak.stream
        total = dict(delivered=0, lost=0, excused=0, oldest_excused=0.0, duplicates=0, disorder=0,
                     drops=0, sessions=len(self.sessions), lost_examples=[])
        seen = set()
        for s in self.sessions:
            total["delivered"] += len(s.received)
            for i, seq in enumerate(s.received):
                if seq in seen:
                    total["duplicates"] += 1
                seen.add(seq)
                if i and seq <= s.received[i - 1]:
                    total["disorder"] += 1
            if s.end == "drop":
                total["drops"] += 1
            if s.ready is None or s.end is None:
                continue  # never ready, or cut off by a run that broke off
            first = bisect.bisect_left(stream.sent, s.ready)
            if s.end == "final":
                last = len(stream.sent) - 1
            elif s.end == "pause":
                # What came after the last delivered sample was in flight,
                # unless it had waited too long already.
                arrived = [seq for seq in s.received if seq >= first]
                tail_from = max(arrived) + 1 if arrived else first
                limit = bisect.bisect_left(stream.acked, s.pause - IN_FLIGHT_LIMIT)
                last = max(tail_from, limit) - 1
                in_flight_end = bisect.bisect_right(stream.acked, s.ended)
                excused = max(0, in_flight_end - max(tail_from, limit))
                total["excused"] += excused
                if excused:
                    total["oldest_excused"] = max(total["oldest_excused"],
                                                  s.pause - stream.acked[max(tail_from, limit)])
            else:
                last = bisect.bisect_right(stream.acked, s.ended) - 1
            got = set(s.received)
            missing = [seq for seq in range(first, last + 1) if seq not in got]
            total["lost"] += len(missing)
            total["lost_examples"] += missing[:5]
        latencies = sorted(x for s in self.sessions for x in s.latencies)
        total["worst_latency"] = latencies[-1] if latencies else None
        total["p99_latency"] = latencies[int(len(latencies) * 0.99)] if latencies else None
        total["worst_probe"] = max(self.probes) if self.probes else None
        total["probes"] = len(self.probes)
        total["unanswered"] = self.unanswered
        return total
