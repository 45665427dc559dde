"""A real WebSocket client against the server under test.

Usage: ws_peer.py PORT CAFILE
Prints one line per check; the C++ test compares them.
"""
import asyncio
import ssl
import sys

import websockets


async def main():
    uri = "wss://127.0.0.1:%s/relay" % sys.argv[1]
    ctx = ssl.create_default_context(cafile=sys.argv[2])

    def connect(**kwargs):
        return websockets.connect(uri, ssl=ctx, subprotocols=["relay-protocol"], open_timeout=5, **kwargs)

    async with connect() as ws:
        print("subprotocol", ws.subprotocol)
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
