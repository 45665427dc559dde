"""The relay's WebSocket front end to end."""
import asyncio
import os
import shutil
import socket
import ssl
import subprocess
import time
import unittest
import warnings

from relayharness import RelayTest, outbound_address, round_trip, tls_context


class Messages(RelayTest):
    async def test_a_real_client_pings_closes_and_is_held_to_1_mib(self):
        client, other = await self.connect(), await self.connect()
        await asyncio.wait_for(await client.ws.ping(b"ping-data"), 10)
        # A message at the bound is read (and dropped: it is no command); one
        # byte more ends the connection with 1009.
        await client.carried_out("x" * (1 << 20))
        await client.ws.send("x" * ((1 << 20) + 1))
        await asyncio.wait_for(client.ws.wait_closed(), 10)
        self.assertEqual(client.ws.close_code, 1009)
        await asyncio.wait_for(other.ws.close(1000), 10)
        self.assertEqual(other.ws.close_code, 1000)

    async def test_capability_queries(self):
        client = await self.connect()
        groups = ["multipleChoice:1:1:6:1:6", "sortInOrder:1:1:6:1:6", "likert:1:4:9", "yesNo:1:0",
                  "trueFalse:1:0", "numeric:1", "text:1"]
        for command, keyword, fields in (("getAll", "allCapabilities", ["10", "4"] + groups),
                                         ("getBoard", "boardCapabilities", ["10", "4"]),
                                         ("getQuestion", "questionCapabilities", groups)):
            await client.send("capabilities," + command)
            self.assertEqual((await client.next(keyword))[2:], fields)
        # A hub that comes later is announced in the capability mode chosen.
        await client.carried_out("capabilities,setMode,1")
        self.relay.sim("hub", "add", 2, "pens=6", "touches=20")
        self.assertEqual([(await client.next(k))[2:] for k in ("board", "boardCapabilities")], [["20", "6"]] * 2)

    async def test_a_client_leaving_while_messages_flow(self):
        leaving, staying = await self.connect(), await self.connect()
        await staying.carried_out("screen,size,32767,32767", "window,position,0,0,32767,32767")
        play = os.path.join(self.relay._dir.name, "strokes.play")
        with open(play, "w") as f:
            f.write("\n".join("stroke 0 1 %d 100 %d 5000 40" % (i * 100, i * 100) for i in range(1, 26)))
        playing = asyncio.get_running_loop().run_in_executor(None, self.relay.sim, "play", play)
        first = await staying.next("pen")
        self.assertEqual(first[:2] + first[3:], ["pen", "1", "100", "100", "1", "0"])
        self.clients.remove(leaving)
        leaving.ws.transport.abort()  # gone without a close handshake
        await playing  # velasim said ok to every line
        for _ in range(25 * 41 - 1):
            await staying.next("pen")
        # A newcomer is greeted with "o" (Client.connect checks it) and then
        # answered; the time stamp is milliseconds since the epoch, by the relay's clock.
        _, ts, count = await (await self.connect()).carried_out()
        self.assertEqual(count, "2")
        self.assertTrue(len(ts) == 13 and ts.isdigit() and abs(int(ts) - time.time() * 1000) < 60000, ts)


class Counting(RelayTest):
    args = ("--debug",)

    async def test_clients_are_counted_and_dropped_commands_explained(self):
        first, second = await self.connect(), await self.connect()
        await first.close()
        self.clients.remove(first)
        await second.carried_out("hub,cout")
        self.assertTrue(self.relay.wait_output("VelaRelay debug: 1 client(s) connected\nVelaRelay debug: 2 client(s) "
                                               "connected\nVelaRelay debug: 1 client(s) connected"))
        self.assertTrue(self.relay.wait_output('VelaRelay debug: command dropped: "hub,cout" is no command (the words '
                                               'are matched exactly, case included); did you mean hub,count?\n'
                                               'VelaRelay debug: command: "hub,count"'))


class KeepAlive(RelayTest):
    scenario = ""

    async def test_every_five_seconds_without_hubs(self):
        client = await self.connect()
        arrivals = []
        for _ in range(2):
            message = await asyncio.wait_for(client.ws.recv(), 7)
            arrivals.append(time.monotonic())
            self.assertEqual(message, outbound_address() + ",keepAlive5")
        self.assertAlmostEqual(arrivals[1] - arrivals[0], 5.0, delta=0.5)


class Tls(RelayTest):
    async def test_weak_protocols_and_ciphers_are_refused_and_the_relay_goes_on(self):
        for name, version, ciphers, accepted in (
                ("TLS 1.2 with the first suite", ssl.TLSVersion.TLSv1_2, "ECDHE-RSA-AES256-GCM-SHA384", True),
                ("TLS 1.2 with a CBC suite of the list", ssl.TLSVersion.TLSv1_2, "ECDHE-RSA-AES256-SHA384", True),
                ("TLS 1.1", ssl.TLSVersion.TLSv1_1, "DEFAULT:@SECLEVEL=0", False),
                ("TLS 1.2 offering only AES-128", ssl.TLSVersion.TLSv1_2, "ECDHE-RSA-AES128-GCM-SHA256:AES128-SHA",
                 False)):
            context = tls_context()
            with warnings.catch_warnings():
                # Python frowns on the old version the table offers on purpose.
                warnings.simplefilter("ignore", DeprecationWarning)
                context.minimum_version = context.maximum_version = version
            context.set_ciphers(ciphers)
            with socket.create_connection(("127.0.0.1", self.relay.port), timeout=10) as raw:
                try:
                    context.wrap_socket(raw, server_hostname="127.0.0.1").close()
                    shaken = True
                except ssl.SSLError:  # the relay's alert: it logs the handshake's failure
                    shaken = False
            self.assertEqual(shaken, accepted, name)
        await round_trip(self.relay)


class StartUp(unittest.TestCase):
    def test_listening_within_a_second_without_network(self):
        if (os.geteuid() != 0 or not shutil.which("ip")
                or subprocess.run(["unshare", "-n", "true"]).returncode != 0):
            self.skipTest("needs a network namespace of its own")
        # Inside a namespace with nothing but loopback: no route, no DNS. The
        # child imports the harness from the working folder, as unittest does.
        child = """
import asyncio
from relayharness import Client, Relay
relay = Relay()
elapsed = relay.wait_listening()
async def main():
    client = await Client.connect(relay)
    await client.send("hub,count")
    print(elapsed, await asyncio.wait_for(client.ws.recv(), 10))
    await client.close()
asyncio.run(main())
relay.close()
"""
        done = subprocess.run(["unshare", "-n", "sh", "-c", 'ip link set lo up && exec "$0" -c "$1"',
                               "/usr/bin/python3", child], capture_output=True, text=True, timeout=60)
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        elapsed, message = done.stdout.split()
        self.assertLess(float(elapsed), 1.0)
        self.assertTrue(message.startswith("127.0.0.1,hubCount,"), message)


class Supervision(RelayTest):
    async def test_silence_after_intelligence_announces_the_client_unresponsive(self):
        supervising, other = await self.connect(), await self.connect()
        await supervising.carried_out("relay,intelligence,1")
        started = time.monotonic()
        for client in (supervising, other):
            self.assertEqual((await client.next("error", timeout=15))[2], "CLIENT_UNRESPONSIVE")
        self.assertAlmostEqual(time.monotonic() - started, 11.0, delta=1.0)
        self.assertLessEqual({"hub setPenReportMode 0 4 6000", "hub setTouchReportMode 0 0"}, set(self.relay.journal()))
