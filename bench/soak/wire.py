"""A WebSocket client at the byte level, for what a well-mannered library will
not do: malformed frames and requests, stalls at every stage, and leaving with
or without a close handshake or TLS close_notify (RFC 6455)."""
import asyncio
import base64
import os
import ssl
import struct

TEXT, BINARY, CONTINUATION, CLOSE, PING, PONG = 0x1, 0x2, 0x0, 0x8, 0x9, 0xA

# Errors that mean the peer is gone, however the TLS layer words it.
GONE = (asyncio.IncompleteReadError, ConnectionError, ssl.SSLError, EOFError, OSError)


def masked(payload, key):
    if not payload:
        return b""
    n = len(payload)
    stream = (key * (n // 4 + 1))[:n]
    return (int.from_bytes(payload, "big") ^ int.from_bytes(stream, "big")).to_bytes(n, "big")


def frame(opcode, payload=b"", fin=True, mask=True, rsv=0, length=None):
    """One frame as a client sends it; length overrides the announced length."""
    n = len(payload) if length is None else length
    first = (0x80 if fin else 0) | rsv << 4 | opcode
    second = 0x80 if mask else 0
    if n <= 125:
        header = bytes([first, second | n])
    elif n <= 0xFFFF:
        header = bytes([first, second | 126]) + struct.pack("!H", n)
    else:
        header = bytes([first, second | 127]) + struct.pack("!Q", n)
    if not mask:
        return header + payload
    key = os.urandom(4)
    return header + key + masked(payload, key)


def text(message):
    return frame(TEXT, message.encode())


def close_frame(code=1000, reason=b""):
    return frame(CLOSE, struct.pack("!H", code) + reason)


def upgrade_request(port, omit=(), method="GET", version_line="HTTP/1.1", **overrides):
    """An opening handshake (RFC 6455 section 4.1); keyword arguments replace
    headers (underscores for dashes), omit drops them."""
    headers = {
        "Host": "127.0.0.1:%d" % port,
        "Upgrade": "websocket",
        "Connection": "Upgrade",
        "Sec-WebSocket-Key": base64.b64encode(os.urandom(16)).decode(),
        "Sec-WebSocket-Version": "13",
        "Sec-WebSocket-Protocol": "relay-protocol",
    }
    for name, value in overrides.items():
        headers[name.replace("_", "-")] = value
    lines = ["%s / %s" % (method, version_line)]
    lines += ["%s: %s" % (name, value) for name, value in headers.items() if name not in omit]
    return ("\r\n".join(lines) + "\r\n\r\n").encode()


def client_hello(context):
    """The first flight of a TLS handshake, to send in part or whole and stall."""
    incoming, outgoing = ssl.MemoryBIO(), ssl.MemoryBIO()
    tls = context.wrap_bio(incoming, outgoing, server_hostname="127.0.0.1")
    try:
        tls.do_handshake()
    except ssl.SSLWantReadError:
        pass
    return outgoing.read()


def abort(transport):
    try:
        transport.abort()
    except AttributeError:
        pass  # asyncio's TLS transport, closed already


class RawConnection:
    """One connection to the relay; TLS unless tls is None."""

    def __init__(self, reader, writer):
        self.reader = reader
        self.writer = writer

    @classmethod
    async def open(cls, port, tls, timeout=15):
        options = dict(ssl=tls, server_hostname="127.0.0.1", ssl_handshake_timeout=timeout) if tls else {}
        reader, writer = await asyncio.wait_for(asyncio.open_connection("127.0.0.1", port, **options), timeout)
        return cls(reader, writer)

    def write(self, data):
        self.writer.write(data)

    async def drain(self):
        await self.writer.drain()

    async def response(self, timeout=10):
        """The status code and headers of an HTTP response; None when the
        connection ended without one."""
        try:
            head = await asyncio.wait_for(self.reader.readuntil(b"\r\n\r\n"), timeout)
        except (asyncio.LimitOverrunError, *GONE):
            return None, {}
        lines = head.decode(errors="replace").split("\r\n")
        parts = lines[0].split(" ", 2)
        status = int(parts[1]) if len(parts) > 1 and parts[1].isdigit() else None
        headers = {}
        for line in lines[1:]:
            if ":" in line:
                name, value = line.split(":", 1)
                headers[name.strip().lower()] = value.strip()
        return status, headers

    async def upgrade(self, port, timeout=10):
        self.write(upgrade_request(port))
        status, _ = await self.response(timeout)
        if status != 101:
            raise ConnectionError("upgrade answered %s" % status)

    async def read_frame(self):
        """(fin, opcode, payload) of the next server frame."""
        first, second = await self.reader.readexactly(2)
        n = second & 0x7F
        if n == 126:
            n = struct.unpack("!H", await self.reader.readexactly(2))[0]
        elif n == 127:
            n = struct.unpack("!Q", await self.reader.readexactly(8))[0]
        key = await self.reader.readexactly(4) if second & 0x80 else None
        payload = await self.reader.readexactly(n)
        if key:
            payload = masked(payload, key)
        return bool(first & 0x80), first & 0x0F, payload

    async def until(self, opcodes, timeout):
        """Reads frames until one of these opcodes: its payload, or None when
        the connection ended or the time ran out first."""
        async def look():
            while True:
                _, opcode, payload = await self.read_frame()
                if opcode in opcodes:
                    return opcode, payload
        try:
            return await asyncio.wait_for(look(), timeout)
        except (asyncio.TimeoutError, *GONE):
            return None

    async def close_code(self, timeout):
        """The status code of the relay's close frame (0 for an empty one), or
        None when none came."""
        got = await self.until((CLOSE,), timeout)
        if got is None:
            return None
        payload = got[1]
        return struct.unpack("!H", payload[:2])[0] if len(payload) >= 2 else 0

    async def still_open(self, timeout):
        """A ping answered: the relay kept the connection."""
        self.write(frame(PING, b"soak"))
        got = await self.until((PONG, CLOSE), timeout)
        return got is not None and got[0] == PONG

    async def ended(self, timeout):
        """Waits for the relay to end the connection, ignoring what it sends:
        True when it did within the time."""
        async def drain():
            while await self.reader.read(65536):
                pass
        try:
            await asyncio.wait_for(drain(), timeout)
        except asyncio.TimeoutError:
            return False
        except GONE:
            pass
        return True

    def abort(self):
        """Gone at once: no close frame, no TLS close_notify."""
        abort(self.writer.transport)

    async def close_tls(self, timeout=5):
        """TLS close_notify, then the TCP close."""
        self.writer.close()
        try:
            await asyncio.wait_for(self.writer.wait_closed(), timeout)
        except (asyncio.TimeoutError, *GONE):
            self.abort()
