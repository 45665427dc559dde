"""velarelay-cert, run as root on throwaway folders, home and system store."""
import grp
import os
import shutil
import subprocess
import tempfile
import unittest

TOOL = os.path.join(os.environ["VELARELAY_BIN"], "velarelay-cert")


def openssl(*args):
    return subprocess.run(["openssl", *args], capture_output=True, text=True)


def create(folder):
    group = grp.getgrgid(os.getegid()).gr_name
    subprocess.run([TOOL, "--group", group, "create", folder], check=True, capture_output=True)


# One authority for every test (its RSA keys take seconds); those that change
# files work on a copy.
def setUpModule():
    global MADE
    MADE = tempfile.TemporaryDirectory()
    unittest.addModuleCleanup(MADE.cleanup)
    create(os.path.join(MADE.name, "ssl"))


class Create(unittest.TestCase):
    def path(self, name=""):
        return os.path.join(MADE.name, "ssl", name)

    # What a verifier does with the constraint is its own; the tool's part is
    # that the authority carries it, critical and with exactly these names.
    def test_authority_is_constrained_to_loopback_names(self):
        text = openssl("x509", "-in", self.path("velarelay-ca.crt"), "-noout", "-ext", "nameConstraints").stdout
        lines = [line.strip() for line in text.splitlines()]
        self.assertEqual(lines[0], "X509v3 Name Constraints: critical")
        self.assertEqual(lines[1:], ["Permitted:", "DNS:localhost", "IP:127.0.0.1/255.255.255.255",
                                     "IP:0:0:0:0:0:0:0:1/FFFF:FFFF:FFFF:FFFF:FFFF:FFFF:FFFF:FFFF"])

    def test_relay_certificate_verifies_for_each_loopback_name(self):
        for name in (["-verify_hostname", "localhost"], ["-verify_ip", "127.0.0.1"], ["-verify_ip", "::1"]):
            result = openssl("verify", "-CAfile", self.path("velarelay-ca.crt"), "-purpose", "sslserver", *name,
                             self.path("velarelay.crt"))
            self.assertEqual(result.returncode, 0, result.stdout + result.stderr)

    def test_keys_are_private(self):
        self.assertEqual(os.stat(self.path("velarelay-ca.key")).st_mode & 0o7777, 0o600)
        key = os.stat(self.path("velarelay.key"))
        self.assertEqual((key.st_mode & 0o7777, key.st_gid), (0o640, os.getegid()))

    def test_second_run_changes_nothing(self):
        def snapshot():
            return {name: (os.stat(self.path(name)).st_mtime_ns, open(self.path(name), "rb").read())
                    for name in os.listdir(self.path())}
        before = snapshot()
        create(self.path())
        self.assertEqual(snapshot(), before)


class Trust(unittest.TestCase):
    def setUp(self):
        self.tmp = self.enterContext(tempfile.TemporaryDirectory())
        self.home, self.store = (os.path.join(self.tmp, name) for name in ("home", "store"))
        self.firefox = os.path.join(self.home, ".mozilla", "firefox", "x.default-esr")
        os.makedirs(self.firefox)
        subprocess.run(["certutil", "-N", "-d", "sql:" + self.firefox, "--empty-password"], check=True)
        self.ssl = shutil.copytree(os.path.join(MADE.name, "ssl"), os.path.join(self.tmp, "ssl"))

    def run_tool(self, *args):
        env = dict(os.environ, HOME=self.home, VELARELAY_CERT_SYSTEM_STORE=self.store)
        return subprocess.run([TOOL, *args], env=env, capture_output=True, text=True)

    def status(self):
        """Each place and whether it trusts the authority."""
        result = self.run_tool("status", self.ssl)
        self.assertEqual(result.returncode, 0, result.stderr)
        return dict(line.split(": ", 1) for line in result.stdout.splitlines()[2:])

    def test_trust_twice_then_untrust(self):
        places = ["system (%s)" % self.store, "Chromium (%s/.pki/nssdb)" % self.home, "Firefox (%s)" % self.firefox]
        self.assertEqual(self.status(), dict(zip(places, ["not trusted", "no database", "not trusted"])))
        for _ in range(2):
            self.assertEqual(self.run_tool("trust", self.ssl).returncode, 0)
        self.assertEqual(self.status(), dict(zip(places, ["trusted", "trusted (C,,)", "trusted (C,,)"])))
        self.assertEqual(os.stat(os.path.join(self.home, ".pki", "nssdb")).st_mode & 0o777, 0o700)
        self.assertEqual(self.run_tool("untrust", self.ssl).returncode, 0)
        self.assertEqual(self.status(), dict(zip(places, ["not trusted", "not trusted", "not trusted"])))
        self.assertEqual(os.listdir(self.store), [])

    def test_refusals_name_what_is_missing(self):
        for args, message in ((["trust", self.tmp], "holds no readable velarelay-ca.crt"),
                              (["trust", "--user", "no-such-user", self.ssl], "no user named no-such-user"),
                              (["renew", self.tmp], "velarelay-ca.key cannot be read")):
            result = self.run_tool(*args)
            self.assertEqual(result.returncode, 1, args)
            self.assertIn(message, result.stderr, args)

    # That the relay then serves a certificate the authority signed, the
    # service's renewal test checks over TLS.
    def test_renew_makes_a_new_pair_from_the_same_authority_readable_as_the_old_key(self):
        def read(name):
            with open(os.path.join(self.ssl, name), "rb") as f:
                return f.read()
        key_path = os.path.join(self.ssl, "velarelay.key")
        for mode in (0o600, 0o640):
            authority, leaf, key = read("velarelay-ca.crt"), read("velarelay.crt"), read("velarelay.key")
            os.chmod(key_path, mode)
            result = self.run_tool("renew", self.ssl)
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertIn("no running relay was told", result.stdout)
            self.assertEqual((os.stat(key_path).st_mode & 0o777, os.stat(key_path).st_gid), (mode, os.getegid()))
            self.assertEqual(read("velarelay-ca.crt"), authority)
            self.assertNotEqual(read("velarelay.crt"), leaf)
            self.assertNotEqual(read("velarelay.key"), key)
        self.assertIn("(valid)", self.run_tool("status", self.ssl).stdout)
