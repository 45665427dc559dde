#!/usr/bin/env python3
"""A minimal VelaRelay client in Python.

It trusts the relay's authority, connects with the relay-protocol
subprotocol, tells the relay the screen and the window (without both no pen
input arrives), prints pen samples, answers and the relay's other messages,
and sends each line typed on standard input as a command. End it with Ctrl-D.

    python3 examples/python/relay_client.py --cert build/bin/ssl/velarelay-ca.crt

Needs Python's websockets library (Debian: python3-websockets). The protocol
is described in docs/protocol.md.
"""
import argparse
import asyncio
import ssl
import sys
import threading

import websockets

UNIT_SEPARATOR = "\x1f"  # a comma inside a text field


def text(field):
    return field.replace(UNIT_SEPARATOR, ",")


def describe(message):
    """One printed line for a message, or None for the relay's heartbeat."""
    fields = message.split(",")
    # fields[0] is the relay's own address, the same in every message.
    keyword, rest = fields[1], fields[2:]
    if keyword == "keepAlive5":
        return None
    if keyword == "pen":
        pen, _timestamp, x, y, tip, _barrel = rest
        return "pen %s at %s,%s %s" % (pen, x, y, "down" if tip == "1" else "up")
    if keyword == "board":
        return "board: %s pens, %s touch points" % (rest[2], rest[1])
    if keyword == "questionSession":
        return "question open" if rest[1] == "1" else "question closed"
    if keyword == "questionResponse":
        _timestamp, question, uid, name, response = rest
        return "answer to question %s from %s (%s): %s" % (question, text(name), uid, text(response))
    return "%s: %s" % (keyword, ",".join(rest[1:]))


def read_lines(loop, queue):
    """Standard input, line by line, into the event loop; None at its end."""
    for line in sys.stdin:
        loop.call_soon_threadsafe(queue.put_nowait, line.rstrip("\n"))
    loop.call_soon_threadsafe(queue.put_nowait, None)


async def send_typed_commands(ws):
    queue = asyncio.Queue()
    # A daemon thread: a blocked read must not keep the program alive once
    # the relay has gone.
    threading.Thread(target=read_lines, args=(asyncio.get_running_loop(), queue), daemon=True).start()
    while (line := await queue.get()) is not None:
        if line:
            await ws.send(line)


async def print_messages(ws):
    async for message in ws:
        line = describe(message)
        if line:
            print(line, flush=True)


async def main(options):
    # Trust the authority of the relay's machine, and only it.
    context = ssl.create_default_context(cafile=options.cert)
    url = "wss://%s:%d" % (options.host, options.port)
    async with websockets.connect(url, ssl=context, subprotocols=["relay-protocol"]) as ws:
        greeting = await ws.recv()
        if greeting != "o":
            sys.exit("%s is not a VelaRelay: it said %r" % (url, greeting))
        width, height = options.screen
        # The window is one setting for every client of the relay: this
        # client asks for the whole screen. An application sends its own
        # window's rectangle, and again whenever the window moves.
        await ws.send("screen,size,%d,%d" % (width, height))
        await ws.send("window,position,0,0,%d,%d" % (width, height))
        # Commands are carried out in order, so once this is answered the
        # screen and window are set.
        await ws.send("board,touchAndPenCount")
        printing = asyncio.create_task(print_messages(ws))
        await send_typed_commands(ws)
        printing.cancel()


def screen_size(value):
    width, height = value.lower().split("x")
    return int(width), int(height)


if __name__ == "__main__":
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=9082)
    parser.add_argument("--cert", default="build/bin/ssl/velarelay-ca.crt", help="the authority that signed the relay's certificate")
    parser.add_argument("--screen", type=screen_size, default=(1920, 1080), metavar="WIDTHxHEIGHT")
    try:
        asyncio.run(main(parser.parse_args()))
    except KeyboardInterrupt:
        pass
    except websockets.ConnectionClosed as closed:
        sys.exit("the relay closed the connection: %s" % closed)
