"""A real WebSocket client against the server under test.

Usage: ws_peer.py PORT CAFILE [tls12]
Prints one line per check; the C++ test compares them.
"""
import asyncio
import ssl
import sys

import websockets


def context(tls12_only):
    ctx = ssl.create_default_context(cafile=sys.argv[2])
    if tls12_only:
        ctx.maximum_version = ssl.TLSVersion.TLSv1_2
        ctx.set_ciphers("ECDHE-RSA-AES256-GCM-SHA384")
    return ctx


async def main():
    tls12_only = len(sys.argv) > 3 and sys.argv[3] == "tls12"
    uri = "wss://127.0.0.1:%s/relay" % sys.argv[1]
    ctx = context(tls12_only)

    def connect(**kwargs):
        return websockets.connect(uri, ssl=ctx, subprotocols=["relay-protocol"], open_timeout=5, **kwargs)

    async with connect() as ws:
        print("subprotocol", ws.subprotocol)
        if tls12_only:
            transport_ssl = ws.transport.get_extra_info("ssl_object")
            print("tls", transport_ssl.version(), transport_ssl.cipher()[0])
            return
        await ws.send("qt,keepalive")
        await ws.send("qt,focus")
        print("echo", await asyncio.wait_for(ws.recv(), 5))
        print("echo", await asyncio.wait_for(ws.recv(), 5))
        pong = await ws.ping(b"ping-data")
        await asyncio.wait_for(pong, 5)
        print("pong received")
        await ws.send("x" * (1 << 20))
        print("limit echoed", len(await asyncio.wait_for(ws.recv(), 5)))
        await asyncio.wait_for(ws.close(1000), 5)
        print("close answered", ws.close_code)

    async with connect(max_size=None) as ws:
        await ws.send("x" * ((1 << 20) + 1))
        await asyncio.wait_for(ws.wait_closed(), 5)
        print("too big closed", ws.close_code)


asyncio.run(main())
