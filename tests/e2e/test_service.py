"""The relay as an operator meets it."""
import asyncio
import os
import re
import signal
import socket
import ssl
import subprocess
import tempfile
import time
import unittest

from relayharness import BIN, Client, Relay, copy_relay, free_port, round_trip, tls_connection


def peer_certificate(relay):
    """The relay's certificate, checked against the authority of the build."""
    with tls_connection(relay) as tls:
        return tls.getpeercert(binary_form=True)


class CommandLine(unittest.TestCase):
    def test_help_and_version_print_and_start_nothing(self):
        port = free_port()
        control = os.path.join(self.enterContext(tempfile.TemporaryDirectory()), "control.sock")
        for option, expected in (("--help", "Usage: velarelay"), ("-h", "SIGHUP"),
                                 ("--version", "velarelay "), ("-v", "velarelay ")):
            done = subprocess.run([os.path.join(BIN, "velarelay"), "--port", str(port), option],
                                  env=dict(os.environ, VELASYSTEM_CONTROL=control),
                                  capture_output=True, text=True, timeout=10)
            self.assertEqual((done.returncode, done.stderr), (0, ""), option)
            self.assertIn(expected, done.stdout)
            self.assertFalse(os.path.exists(control), option)
        with self.assertRaises(ConnectionRefusedError):
            socket.create_connection(("127.0.0.1", port)).close()


class Settings(unittest.TestCase):
    def started(self, folder, arguments):
        relay = Relay(args=arguments, port=False, wait=False, folder=folder)
        self.assertTrue(relay.wait_output("Started on port"), relay.output)
        relay.close()
        return int(re.search(r"Started on port (\d+)", relay.output).group(1)), "VelaRelay debug:" in relay.output

    def test_the_file_the_command_line_and_the_defaults(self):
        folder = copy_relay(self)
        ini = os.path.join(folder, "velarelay.ini")
        with socket.socket() as probe:
            default_free = probe.connect_ex(("127.0.0.1", 9082)) != 0
        if default_free:
            self.assertEqual(self.started(folder, []), (9082, False))
        in_file, on_line = free_port(), free_port()
        for debug_value, debug in (("", False), ("0", False), ("FALSE", False), ("yes", True), ("true", True)):
            with open(ini, "w") as f:
                f.write("relay_port=%d\nrelay_debug=%s\n" % (in_file, debug_value))
            self.assertEqual(self.started(folder, []), (in_file, debug), debug_value)
        with open(ini, "w") as f:
            f.write("relay_port=%d\n" % in_file)
        for arguments, expected in ((["--port", str(on_line)], on_line),
                                    (["--port", "1", "--port", str(on_line)], on_line),  # the last wins
                                    (["--port"], in_file),  # nothing after it: ignored
                                    (["--PORT", str(on_line)], in_file),  # only the exact spelling
                                    (["--port=%d" % on_line], in_file),
                                    (["--debug"], in_file)):
            self.assertEqual(self.started(folder, arguments), (expected, "--debug" in arguments), arguments)


class StartFailures(unittest.TestCase):
    def start(self, folder=BIN, port=None, scenario=""):
        relay = Relay(scenario, port=port, wait=False, folder=folder)
        self.addCleanup(relay.stop)
        self.assertEqual(relay.wait(), 1, relay.output)
        lines = relay.output.splitlines()
        self.assertEqual(len(lines), 1, relay.output)
        self.assertFalse(os.path.exists(relay.socket_path), "a failed start left its control socket")
        return lines[0]

    def test_each_failure_names_what_failed_and_why(self):
        for port in ("abc", "70000", "0", "-1", "80x", ""):
            self.assertIn('invalid port "%s"' % port, self.start(port=port))
        folder = copy_relay(self)
        ssl_dir = os.path.join(folder, "ssl")
        with socket.socket() as taken:
            taken.bind(("127.0.0.1", 0))
            taken.listen()
            port = taken.getsockname()[1]
            self.assertEqual(self.start(folder, port),
                             "VelaRelay: bind error: cannot listen on 127.0.0.1:%d: Address already in use" % port)
        # The scenario's line is counted with its comments.
        self.assertRegex(self.start(folder, scenario="hub add 0\n# fine so far\nhub add 0 pens=2\nhub add 1\n"),
                         r"^VelaRelay: the hub library could not start: velasystem: \S+/test\.scenario:3: "
                         r"hub add 0 pens=2: error hub 0 is already connected$")
        os.rename(os.path.join(ssl_dir, "velarelay.key"), os.path.join(folder, "kept.key"))
        self.assertIn("tls_config_set_key_file error: failed to open key file '%s/velarelay.key': "
                      "No such file or directory" % ssl_dir, self.start(folder))
        subprocess.run(["openssl", "genpkey", "-algorithm", "RSA", "-out", os.path.join(ssl_dir, "velarelay.key")],
                       check=True, capture_output=True)
        self.assertIn("tls_configure error: ", self.start(folder))
        os.remove(os.path.join(ssl_dir, "velarelay.crt"))
        self.assertIn("tls_config_set_cert_file error: failed to open certificate file '%s/velarelay.crt'"
                      % ssl_dir, self.start(folder))


class Signals(unittest.IsolatedAsyncioTestCase):
    async def test_renew_serves_a_new_certificate_of_the_same_authority_to_new_clients_only(self):
        folder = copy_relay(self)
        ssl_dir = os.path.join(folder, "ssl")
        relay = Relay(folder=folder)
        self.addCleanup(relay.close)
        client = await Client.connect(relay)
        subprocess.run([os.path.join(BIN, "velarelay-cert"), "renew", "--pid", str(relay.proc.pid), ssl_dir],
                       check=True, capture_output=True)
        self.assertTrue(relay.wait_output("VelaRelay: Reloaded the key and certificate"), relay.output)
        after = peer_certificate(relay)
        with open(os.path.join(ssl_dir, "velarelay.crt")) as f:
            self.assertEqual(after, ssl.PEM_cert_to_DER_cert(f.read()))
        await client.carried_out()

        with open(os.path.join(ssl_dir, "velarelay.key"), "w") as f:
            f.write("not a key")
        relay.signal(signal.SIGHUP)
        self.assertTrue(relay.wait_output("reload failed, the key and certificate in use stay: "), relay.output)
        self.assertEqual(peer_certificate(relay), after)
        await client.close()

    async def test_a_storm_of_pauses_is_one_line_and_signals_during_a_stop_still_end_with_0(self):
        relay = Relay()
        paused = await Client.connect(relay)
        for signo, word in ((signal.SIGUSR1, "Paused"), (signal.SIGUSR2, "Resumed")):
            for _ in range(20):
                relay.signal(signo)
            self.assertTrue(relay.wait_output("VelaRelay: %s on port %d\n" % (word, relay.port)))
            # Clients are served again once the storm has been handled.
            await round_trip(relay)
        # The pause dropped every client with "going away".
        await asyncio.wait_for(paused.ws.wait_closed(), 10)
        self.assertEqual(paused.ws.close_code, 1001)
        clients = [await Client.connect(relay) for _ in range(3)]
        self.assertEqual((relay.output.count("Paused on port"), relay.output.count("Resumed on port")), (1, 1),
                         relay.output)
        # Clients that stopped reading with replies still queued for them make
        # the stop wait for their goodbyes, the time the signals have to hit.
        for sleeper in clients[1:]:
            sleeper.ws.transport.pause_reading()
        for _ in range(50):
            for _ in range(100):
                await clients[0].send("capabilities,getAll")
            for _ in range(100):
                await clients[0].next("allCapabilities")
        # An interrupt stops it as SIGTERM does, which every test's clean-up sends.
        relay.signal(signal.SIGINT)
        deadline = time.monotonic() + 5
        while relay.proc.poll() is None and time.monotonic() < deadline:
            for signo in (signal.SIGUSR1, signal.SIGUSR2, signal.SIGHUP, signal.SIGINT, signal.SIGTERM):
                try:
                    relay.signal(signo)
                except ProcessLookupError:
                    break
            time.sleep(0.001)
        self.assertEqual(relay.wait(), 0, relay.output)
        self.assertTrue(relay.output.endswith("VelaRelay: Stopped on port %d\n" % relay.port), relay.output)
        for client in clients:
            client.ws.transport.abort()
        relay.close()


class Log(unittest.TestCase):
    def test_peers_that_vanish_or_probe_leave_a_short_whole_log(self):
        relay = Relay()
        for _ in range(200):
            tls = tls_connection(relay)
            tls.sendall(b"GET / HTTP/1.1\r\n")
            tls.close()  # no close_notify, as every Python ssl client leaves
        for _ in range(50):
            socket.create_connection(("127.0.0.1", relay.port)).close()
        # A client that completes its upgrade shows that the relay kept up.
        asyncio.run(round_trip(relay))
        relay.close()
        lines = relay.output.splitlines()
        self.assertLess(len(lines), 60, relay.output)
        for line in lines:
            self.assertTrue(line.startswith("VelaRelay"), line)
        # A peer that speaks no TLS is named, with why its handshake failed.
        self.assertRegex(relay.output, r"(?m)^VelaRelay: connection [0-9]+: TLS handshake failed \(tls_handshake error\): ")
