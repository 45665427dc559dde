"""The example clients of examples/, run as a client developer runs them,
against the real relay: a stroke drawn and a question answered with velasim
must show in what they print."""
import os
import shutil
import subprocess
import sys
import unittest

from relayharness import CERT, Output, Relay

EXAMPLES = os.path.join(os.environ["VELARELAY_SOURCE"], "examples")
CLASSROOM = """
hub add 0 pens=4 touches=10 erasers=2
hub add 1 type=2
device add 1 1002 5 Smith, Jane
"""


class Example(unittest.TestCase):
    def run_example(self, command, env=None):
        relay = Relay(CLASSROOM)
        self.addCleanup(relay.close)
        example = Output(subprocess.Popen(command + ["--port", str(relay.port), "--cert", CERT], env=env, text=True,
                                          stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.STDOUT))
        self.addCleanup(example.proc.kill)

        def expect(line):
            self.assertTrue(example.wait_output(line + "\n"), "%r not printed; printed:\n%s" % (line, example.output))

        # Answered only once the screen and window are set.
        expect("board: 4 pens, 10 touch points")
        relay.sim("stroke", 0, 1, 16000, 9000, 16400, 9000, 2)
        for sample in ("16000,9000 down", "16400,9000 down", "16400,9000 up"):
            expect("pen 1 at " + sample)
        example.proc.stdin.write("question,askYesNoQuestion,7,0\n")
        example.proc.stdin.flush()
        expect("question open")
        relay.sim("answer", 1, "yesno", 1002, 7, 1)
        expect("answer to question 7 from Smith, Jane (1002): Yes")
        expect("question closed")
        example.proc.stdin.close()
        self.assertEqual(example.wait(10), 0, example.output)


class Python(Example):
    def test_prints_pen_samples_and_answers(self):
        self.run_example([sys.executable, os.path.join(EXAMPLES, "python", "relay_client.py")])


class Node(Example):
    def test_prints_pen_samples_and_answers(self):
        node = shutil.which("node") or shutil.which("nodejs")
        self.assertIsNotNone(node, "Node.js is not installed (make deps installs it)")
        # Debian's node-ws, which a Node.js from elsewhere finds only so.
        env = dict(os.environ, NODE_PATH="/usr/share/nodejs")
        self.run_example([node, os.path.join(EXAMPLES, "node", "relay-client.js")], env)


if __name__ == "__main__":
    unittest.main()
