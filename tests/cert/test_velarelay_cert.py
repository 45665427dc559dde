"""velarelay-cert create: an authority bound to the loopback names, and the
relay's pair signed by it."""
import grp
import os
import subprocess
import tempfile
import unittest

TOOL = os.path.join(os.environ["VELARELAY_BIN"], "velarelay-cert")


def openssl(*args):
    return subprocess.run(["openssl", *args], capture_output=True, text=True)


class Create(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.dir = os.path.join(cls.tmp.name, "ssl")
        cls.group = grp.getgrgid(os.getegid()).gr_name
        cls.create()

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    @classmethod
    def create(cls):
        subprocess.run([TOOL, "--group", cls.group, "create", cls.dir], check=True, capture_output=True)

    def path(self, name):
        return os.path.join(self.dir, name)

    def verify(self, cert, *options):
        return openssl("verify", "-CAfile", self.path("velarelay-ca.crt"), "-purpose", "sslserver", *options, cert)

    def test_authority_is_constrained_to_loopback_names(self):
        text = openssl("x509", "-in", self.path("velarelay-ca.crt"), "-noout", "-ext", "nameConstraints").stdout
        lines = [line.strip() for line in text.splitlines()]
        self.assertEqual(lines[0], "X509v3 Name Constraints: critical")
        self.assertEqual(lines[1:], ["Permitted:", "DNS:localhost", "IP:127.0.0.1/255.255.255.255",
                                     "IP:0:0:0:0:0:0:0:1/FFFF:FFFF:FFFF:FFFF:FFFF:FFFF:FFFF:FFFF"])

    def test_relay_certificate_verifies_for_each_loopback_name(self):
        for name in (["-verify_hostname", "localhost"], ["-verify_ip", "127.0.0.1"], ["-verify_ip", "::1"]):
            result = self.verify(self.path("velarelay.crt"), *name)
            self.assertEqual(result.returncode, 0, result.stdout + result.stderr)

    def test_authority_cannot_vouch_for_another_name(self):
        # Signed by hand with the authority's key, as a thief of that key would.
        forged = os.path.join(self.tmp.name, "forged.crt")
        result = subprocess.run(
            ["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", os.devnull, "-subj", "/CN=x",
             "-CA", self.path("velarelay-ca.crt"), "-CAkey", self.path("velarelay-ca.key"),
             "-addext", "subjectAltName=DNS:example.com", "-out", forged], capture_output=True, text=True)
        self.assertEqual(result.returncode, 0, result.stderr)
        result = self.verify(forged)
        self.assertIn("permitted subtree violation", result.stdout + result.stderr)

    def test_keys_are_private(self):
        self.assertEqual(os.stat(self.path("velarelay-ca.key")).st_mode & 0o7777, 0o600)
        key = os.stat(self.path("velarelay.key"))
        self.assertEqual((key.st_mode & 0o7777, key.st_gid), (0o640, os.getegid()))

    def test_second_run_changes_nothing(self):
        def snapshot():
            return {name: (os.stat(self.path(name)).st_mtime_ns, open(self.path(name), "rb").read())
                    for name in os.listdir(self.dir)}
        before = snapshot()
        self.create()
        self.assertEqual(snapshot(), before)


if __name__ == "__main__":
    unittest.main()
