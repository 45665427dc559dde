"""The example clients of examples/, run as a client developer runs them,
against the real relay: a stroke drawn and a question answered with velasim
must show in what they print."""
import asyncio
import os
import shutil
import subprocess
import sys
import unittest

from relayharness import CERT, CLASSROOM, Relay

EXAMPLES = os.path.join(os.environ["VELARELAY_SOURCE"], "examples")


class Example(unittest.IsolatedAsyncioTestCase):
    async def run_example(self, command, env=None):
        relay = Relay(CLASSROOM)
        self.addCleanup(relay.close)
        example = await asyncio.create_subprocess_exec(
            *command, "--port", str(relay.port), "--cert", CERT, env=env, stdin=subprocess.PIPE,
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.addCleanup(lambda: example.returncode is None and example.kill())
        printed = []

        async def expect(line):
            while line not in printed:
                try:
                    read = await asyncio.wait_for(example.stdout.readline(), 10)
                except asyncio.TimeoutError:
                    read = b""
                self.assertTrue(read, "%r not printed; printed: %s" % (line, printed))
                printed.append(read.decode().rstrip("\n"))

        # Answered only once the screen and window are set.
        await expect("board: 4 pens, 10 touch points")
        relay.sim("stroke", 0, 1, 16000, 9000, 16400, 9000, 2)
        for sample in ("16000,9000 down", "16400,9000 down", "16400,9000 up"):
            await expect("pen 1 at " + sample)
        example.stdin.write(b"question,askYesNoQuestion,7,0\n")
        await expect("question open")
        for uid in (1002, 1001, 1003, 1004):
            relay.sim("answer", 1, "yesno", uid, 7, 1)
        await expect("answer to question 7 from Smith, Jane (1002): Yes")
        await expect("question closed")
        example.stdin.close()
        self.assertEqual(await asyncio.wait_for(example.wait(), 10), 0, printed)


class Python(Example):
    async def test_prints_pen_samples_and_answers(self):
        await self.run_example([sys.executable, os.path.join(EXAMPLES, "python", "relay_client.py")])


class Node(Example):
    async def test_prints_pen_samples_and_answers(self):
        node = shutil.which("node") or shutil.which("nodejs")
        self.assertIsNotNone(node, "Node.js is not installed (make deps installs it)")
        # Debian's node-ws, which a Node.js from elsewhere finds only so.
        env = dict(os.environ, NODE_PATH="/usr/share/nodejs")
        await self.run_example([node, os.path.join(EXAMPLES, "node", "relay-client.js")], env)
