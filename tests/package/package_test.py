#!/usr/bin/python3
"""The Debian packages installed with apt in a minimal Debian 12 root, and
the installed service checked piece by piece.

systemd cannot run as PID 1 here, so the unit and its drop-ins are read and
their ExecStart is run inside the root as the unit's user, groups and
environment, with a notification socket of our own standing in for systemd's.
A real client over TLS then takes a pen stroke that velasim draws as a member
of the group velasim. Needs root; the minimal root is made once with
debootstrap and kept in the cache folder, with the packages apt downloaded.
"""
import argparse
import asyncio
import glob
import os
import pathlib
import re
import shlex
import shutil
import signal
import socket
import ssl
import subprocess
import sys
import tempfile
import time
import traceback

import websockets

SUITE = "bookworm"
MIRROR = os.environ.get("DEBIAN_MIRROR", "http://deb.debian.org/debian")
# systemd for systemd-analyze; nothing of the relay's own needs: apt must find those.
BASE_PACKAGES = "systemd"
UNIT = "/lib/systemd/system/velarelay.service"
SSL_DIR = "/etc/velarelay/ssl"
INI = "/etc/velarelay/velarelay.ini"
OPERATOR = "operator1"
PACKAGES = ("velarelay", "velarelay-simulator")


def sh(*cmd, check=True, **kw):
    result = subprocess.run(cmd, text=True, capture_output=True, **kw)
    if check and result.returncode != 0:
        raise AssertionError("%s: status %d\n%s%s" % (" ".join(cmd), result.returncode, result.stdout, result.stderr))
    return result


def remove_tree(path):
    if os.path.lexists(path):
        sh("rm", "-rf", "--one-file-system", path)


class Root:
    """A Debian root made fresh from the cached base for each run."""

    def __init__(self, cache):
        self.cache = cache
        self.path = os.path.join(cache, "root")

    def make(self):
        tarball = os.path.join(self.cache, "%s-base.tar" % SUITE)
        if not os.path.exists(tarball):
            work = os.path.join(self.cache, "debootstrap")
            remove_tree(work)
            print("Making a %s root with debootstrap (once; kept in %s)" % (SUITE, tarball), flush=True)
            sh("debootstrap", "--variant=minbase", "--include=" + BASE_PACKAGES, SUITE, work, MIRROR)
            sh("tar", "-C", work, "-cf", tarball + ".part", ".")
            os.rename(tarball + ".part", tarball)
            remove_tree(work)
        self.unmount_all()
        remove_tree(self.path)
        os.makedirs(self.path)
        sh("tar", "-C", self.path, "-xf", tarball)
        shutil.copy("/etc/resolv.conf", self.file("/etc/resolv.conf"))
        # A chroot starts no services, whatever a maintainer script asks.
        with open(os.open(self.file("/usr/sbin/policy-rc.d"), os.O_WRONLY | os.O_CREAT, 0o755), "w") as f:
            f.write("#!/bin/sh\nexit 101\n")
        sh("mount", "-t", "proc", "proc", self.file("/proc"))
        archives = os.path.join(self.cache, "apt-archives")
        os.makedirs(os.path.join(archives, "partial"), exist_ok=True)
        sh("mount", "--bind", archives, self.file("/var/cache/apt/archives"))

    def unmount_all(self):
        # Also what an interrupted run left behind.
        with open("/proc/self/mounts") as f:
            left = [line.split()[1] for line in f if line.split()[1].startswith(self.path + "/")]
        for target in sorted(set(left), key=len, reverse=True):
            subprocess.run(["umount", "-l", target], capture_output=True)

    def file(self, path):
        return self.path + path

    def run(self, *cmd, **kw):
        return sh("chroot", self.path, *cmd, **kw)

    def apt(self, *args):
        env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
        return self.run("apt-get", "-y", "-q", "-o", "Dpkg::Options::=--force-confold", *args, env=env)


def read_unit(root):
    """The [Service] settings of the unit and its drop-ins, in the order
    systemd applies them: lists add up, an empty value resets them."""
    paths = [root.file(UNIT)]
    for folder in ("/lib/systemd/system/velarelay.service.d", "/etc/systemd/system/velarelay.service.d"):
        paths += sorted(glob.glob(root.file(folder) + "/*.conf"))
    settings = {}
    for path in paths:
        section = None
        with open(path) as f:
            for line in f:
                line = line.strip()
                if line.startswith("["):
                    section = line
                if section != "[Service]" or not line or line[0] in "#;[":
                    continue
                key, _, value = line.partition("=")
                values = settings.setdefault(key, [])
                if value:
                    values.extend(shlex.split(value) if key in ("Environment", "SupplementaryGroups") else [value])
                else:
                    values.clear()
    return settings, [os.path.relpath(p, root.path) for p in paths]


class Relay:
    """The unit's ExecStart, run as systemd would run it for this unit."""

    def __init__(self, root, unit):
        self.user = unit["User"][-1]
        self.group = unit["Group"][-1]
        groups = unit.get("SupplementaryGroups", [])
        for name in unit.get("RuntimeDirectory", []):
            os.makedirs(root.file("/run/" + name), exist_ok=True)
            root.run("chown", "%s:%s" % (self.user, self.group), "/run/" + name)
            os.chmod(root.file("/run/" + name), int(unit.get("RuntimeDirectoryMode", ["0755"])[-1], 8))
        # systemd's side of sd_notify: a datagram socket the relay may write to.
        notify_path = "/run/velarelay-test.notify"
        self.notify = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
        self.notify.bind(root.file(notify_path))
        os.chmod(root.file(notify_path), 0o666)
        self.notify.settimeout(20)
        env = ["PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin", "LANG=C.UTF-8",
               "USER=" + self.user, "LOGNAME=" + self.user, "HOME=/nonexistent",
               "NOTIFY_SOCKET=" + notify_path] + unit.get("Environment", [])
        privileges = ["setpriv", "--reuid=" + self.user, "--regid=" + self.group,
                      "--groups=" + ",".join(groups) if groups else "--clear-groups"]
        if unit.get("NoNewPrivileges", ["no"])[-1] == "yes":
            privileges.append("--no-new-privs")
        if unit.get("CapabilityBoundingSet") == []:
            privileges += ["--bounding-set=-all", "--inh-caps=-all"]
        umask = unit.get("UMask", ["0022"])[-1]
        command = shlex.split(unit["ExecStart"][-1].lstrip("-@:+!"))
        # Read back by name: another open file, so reading moves no offset the relay writes at.
        self.log = tempfile.NamedTemporaryFile("w")
        self.proc = subprocess.Popen(["chroot", root.path, "sh", "-c", 'umask %s && exec "$@"' % umask, "sh",
                                      *privileges, "env", "-i", *env, *command],
                                     stdout=subprocess.DEVNULL, stderr=self.log, text=True)

    def lines(self):
        return pathlib.Path(self.log.name).read_text().splitlines()

    def notified(self):
        try:
            return self.notify.recv(4096).decode().split("\n")
        except socket.timeout:
            raise AssertionError("no notification from the relay in 20 s; it said:\n" + "\n".join(self.lines()))

    def stop(self):
        """SIGTERM, as systemd stops it; returns what it notified then."""
        try:
            if self.proc.poll() is not None:
                return []
            self.proc.send_signal(signal.SIGTERM)
            said = self.notified()
            self.proc.wait(20)
            return said
        finally:
            self.notify.close()
            if self.proc.poll() is None:
                self.proc.kill()
                self.proc.wait()


async def receive(ws, keyword, count=1):
    """The next COUNT messages whose second field is KEYWORD."""
    found = []
    while len(found) < count:
        fields = (await asyncio.wait_for(ws.recv(), 10)).split(",")
        if len(fields) > 1 and fields[1] == keyword:
            found.append(fields)
    return found


class PackageTest:
    def __init__(self, options):
        self.options = options
        self.root = Root(os.path.realpath(options.cache))
        self.results = []
        self.facts = {}

    def check(self, name, function):
        started = time.monotonic()
        try:
            detail, status = function() or "", "pass"
        except Exception as error:  # every failure is reported, the run goes on where it can
            detail, status = str(error) if isinstance(error, AssertionError) else traceback.format_exc(), "FAIL"
        self.results.append((name, status, detail, time.monotonic() - started))
        return status == "pass"

    def debs(self):
        found = {name: glob.glob(os.path.join(self.options.debs, "%s_*.deb" % name)) for name in PACKAGES}
        assert all(len(paths) == 1 for paths in found.values()), "want one of each package: %s" % found
        return {name: os.path.abspath(paths[0]) for name, paths in found.items()}

    def apt_install(self, paths):
        folder = self.root.file("/tmp/debs")
        remove_tree(folder)
        os.makedirs(folder)
        for path in paths:
            shutil.copy(path, folder)
        self.root.apt("install", *["/tmp/debs/" + os.path.basename(p) for p in paths])

    def versions(self, form):
        return self.root.run("dpkg-query", "-W", "-f=" + form, *PACKAGES).stdout.strip()

    # The checks, in the order they run.

    def install(self):
        self.root.apt("update")
        self.apt_install(self.debs().values())
        self.facts["installed"] = self.versions("${Package} ${Version}, ").rstrip(",")
        return self.facts["installed"]

    def accounts(self):
        user = self.root.run("getent", "passwd", "velarelay").stdout.strip().split(":")
        group = self.root.run("getent", "group", "velarelay").stdout.strip().split(":")
        self.root.run("getent", "group", "velasim")
        assert int(user[2]) < 1000, "velarelay is not a system user: %s" % user
        assert user[3] == group[2], "velarelay's group is not velarelay: %s" % user
        assert user[5:] == ["/nonexistent", "/usr/sbin/nologin"], "velarelay can log in or has a home: %s" % user
        self.facts["gid"] = int(group[2])
        return ":".join(user)

    def keys(self):
        for name, owners, bits in (("velarelay.key", (0, self.facts["gid"]), 0o640), ("velarelay.crt", (0, 0), 0o644),
                                   ("velarelay-ca.key", (0, 0), 0o600)):
            st = os.stat(self.root.file(SSL_DIR + "/" + name))
            got = (st.st_uid, st.st_gid, oct(st.st_mode & 0o7777))
            assert got == (*owners, oct(bits)), "%s: owner, group, mode %s; want %s" % (name, got, (*owners, oct(bits)))
        self.root.run("openssl", "verify", "-CAfile", SSL_DIR + "/velarelay-ca.crt", "-purpose", "sslserver",
                      "-verify_hostname", "localhost", SSL_DIR + "/velarelay.crt")
        return "velarelay.key root:velarelay 0640, velarelay-ca.key root:root 0600; the certificate verifies"

    def layout(self):
        links = {"/usr/bin/velarelay": "../lib/velarelay/velarelay", "/usr/lib/velarelay/velarelay.ini": INI,
                 "/usr/lib/velarelay/ssl": SSL_DIR}
        for link, target in links.items():
            assert os.readlink(self.root.file(link)) == target, "%s -> %s" % (link, os.readlink(self.root.file(link)))
        # The relay names the folder it reads from: the link's target, not /usr/bin.
        usage = self.root.run("/usr/bin/velarelay", "--help", check=False, timeout=10).stdout
        assert "(/usr/lib/velarelay)" in usage, "velarelay --help does not name /usr/lib/velarelay:\n" + usage
        conffiles = self.root.run("dpkg-query", "-W", "-f=${Conffiles}", "velarelay").stdout
        assert INI in conffiles, "not a conffile: %s (conffiles: %s)" % (INI, conffiles)
        library = [line.split()[2] for line in self.root.run("ldd", "/usr/lib/velarelay/velarelay").stdout.splitlines()
                   if line.split()[0] == "libvelasystem.so.2"]
        assert library, "the relay does not load libvelasystem.so.2"
        # The file itself: ldd may say /lib/..., where dpkg knows /usr/lib/... (usrmerge).
        real = os.path.realpath(self.root.file(library[0]))[len(self.root.path):]
        owner = self.root.run("dpkg", "-S", real).stdout.strip()
        assert owner.startswith("velarelay-simulator:"), "libvelasystem.so.2 from %s" % owner
        return "links %s; the relay reads from /usr/lib/velarelay; %s a conffile; hub library %s" % (
            ", ".join("%s -> %s" % kv for kv in links.items()), INI, owner)

    def unit(self):
        verify = self.root.run("systemd-analyze", "verify", UNIT, check=False)
        assert verify.returncode == 0 and not verify.stderr.strip() and not verify.stdout.strip(), (
            "systemd-analyze verify: %d\n%s%s" % (verify.returncode, verify.stdout, verify.stderr))
        lines = []
        for unit, label in ((UNIT, UNIT), ("velarelay.service", "velarelay.service with the simulator's drop-in")):
            security = self.root.run("systemd-analyze", "security", "--offline=yes", unit, check=False)
            exposure = [l for l in security.stdout.splitlines() if "Overall exposure level" in l]
            assert exposure, "systemd-analyze security %s:\n%s%s" % (unit, security.stdout, security.stderr)
            lines.append("%s: %s" % (label, exposure[0].split("level for")[1].split(":", 1)[1].strip()))
            self.facts["security " + unit] = security.stdout
        return "verify: no findings; exposure " + "; ".join(lines)

    def serve(self):
        unit, files = read_unit(self.root)
        with socket.socket() as s:
            s.bind(("127.0.0.1", 0))
            port = s.getsockname()[1]
        # Set through the conffile, so the relay is seen to read it through its link.
        with open(self.root.file(INI), "a") as f:
            f.write("relay_port=%d\n" % port)
        relay = Relay(self.root, unit)
        try:
            ready = relay.notified()
            assert ready[:2] == ["READY=1", "STATUS=Listening on 127.0.0.1 port %d" % port], "first said %s" % ready
            done = ["ExecStart as %s:%s (+%s) from %s" % (relay.user, relay.group,
                                                           ",".join(unit.get("SupplementaryGroups", [])),
                                                           ", ".join(files))]
            mode = os.stat(self.root.file("/run/velarelay/velasim.sock")).st_mode & 0o777
            assert mode == 0o660, "control socket mode %o" % mode
            done += [asyncio.run(self.stroke(port)), self.reload(relay)]
        finally:
            stopping = relay.stop()
        log = relay.lines()
        assert relay.proc.returncode == 0, "the relay ended with status %s:\n%s" % (
            relay.proc.returncode, "\n".join(log))
        assert "STOPPING=1" in stopping, "no STOPPING=1 on SIGTERM: %s" % stopping
        assert any("VelaRelay: Started on port %d" % port in line for line in log), "no start in the log: %s" % log
        stray = [line for line in log if not line.startswith("VelaRelay")]
        assert not stray, "log lines without the prefix: %s" % stray
        return "; ".join(done + ["SIGTERM: STOPPING=1, status 0"])

    async def stroke(self, port):
        cafile = self.root.file(SSL_DIR + "/velarelay-ca.crt")
        async with websockets.connect("wss://127.0.0.1:%d" % port, ssl=ssl.create_default_context(cafile=cafile),
                                      server_hostname="localhost", subprotocols=["relay-protocol"], open_timeout=10,
                                      ping_interval=None) as ws:
            await ws.send("hub,count")
            count = (await receive(ws, "hubCount"))[0]
            assert count[-1] == "2", "hub count %s, want the classroom's 2" % count
            await ws.send("screen,size,1920,1080")
            await ws.send("window,position,0,0,1920,1080")
            # An operator: a member of velasim may drive the hubs, anyone else may not.
            self.root.run("useradd", "--no-create-home", "--groups", "velasim", OPERATOR)
            velasim = ["velasim", "--socket", "/run/velarelay/velasim.sock"]
            outsider = self.root.run("setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", *velasim,
                                     "ping", check=False)
            assert outsider.returncode == 2, "velasim as nobody: %d %s" % (outsider.returncode, outsider.stdout)
            drawn = self.root.run("setpriv", "--reuid=" + OPERATOR, "--regid=" + OPERATOR, "--init-groups",
                                  *velasim, "stroke", "0", "1", "16000", "9000", "16400", "9000", "2")
            assert drawn.stdout == "ok\n", "velasim stroke: %s" % drawn.stdout
            pens = await receive(ws, "pen", 3)
            samples = [tuple(p[4:7]) for p in pens]
            assert samples == [("16000", "9000", "1"), ("16400", "9000", "1"), ("16400", "9000", "0")], pens
        return "client got hubCount 2 and the stroke %s; velasim as nobody refused" % ", ".join(
            ",".join(p[1:]) for p in pens)

    @staticmethod
    def reload(relay):
        # That a new certificate is served after it is the end-to-end tests'.
        relay.proc.send_signal(signal.SIGHUP)
        assert "RELOADING=1" in relay.notified(), "no RELOADING=1 after SIGHUP"
        assert "READY=1" in relay.notified(), "no READY=1 after the reload"
        return "SIGHUP: RELOADING=1, READY=1"

    def upgrade(self):
        before = self.ssl_files()
        work = tempfile.mkdtemp(dir=self.root.cache)
        try:
            # The same packages under a higher version, named by dpkg-deb.
            for name, path in self.debs().items():
                tree = os.path.join(work, name)
                sh("dpkg-deb", "-R", path, tree)
                control = pathlib.Path(tree, "DEBIAN", "control")
                control.write_text(re.sub(r"(?m)^(Version: .*)$", r"\1+upgrade1", control.read_text()))
                sh("dpkg-deb", "--root-owner-group", "-Zxz", "-b", tree, work)
            self.apt_install(glob.glob(os.path.join(work, "*.deb")))
        finally:
            remove_tree(work)
        versions = self.versions("${Version} ")
        assert versions.count("+upgrade1") == 2, "not upgraded: %s" % versions
        assert self.ssl_files() == before, "the upgrade changed the keys or certificates"
        assert "\nrelay_port=" in pathlib.Path(self.root.file(INI)).read_text(), "the upgrade lost the changed settings"
        return "to %s: keys, certificates and the changed velarelay.ini kept" % versions

    def ssl_files(self):
        found = {p.name: p.read_bytes() for p in pathlib.Path(self.root.file(SSL_DIR)).iterdir()}
        assert len(found) == 4, "%s holds %s" % (SSL_DIR, sorted(found))
        return found

    def purge(self):
        self.root.apt("purge", *PACKAGES)
        left = [p for p in ("/etc/velarelay", "/usr/lib/velarelay", "/usr/sbin/velarelay-cert", UNIT)
                if os.path.lexists(self.root.file(p))]
        assert not left, "left after purge: %s" % left
        return "/etc/velarelay (settings, keys, certificates) and the programs gone; the user velarelay stays"

    def run(self):
        started = time.monotonic()
        print("Package test in %s" % self.root.path, flush=True)
        try:
            if self.check("minimal %s root" % SUITE, self.root.make) and self.check("apt install", self.install):
                for name, step in (("system user and groups", self.accounts), ("keys and certificates", self.keys),
                                   ("files and hub library", self.layout), ("unit", self.unit),
                                   ("service serves a client", self.serve), ("upgrade", self.upgrade),
                                   ("purge", self.purge)):
                    self.check(name, step)
        finally:
            self.root.unmount_all()
        self.write(time.monotonic() - started)
        for name, status, detail, seconds in self.results:
            print("%-4s %s (%.1f s)%s" % (status, name, seconds, "" if status == "pass" else "\n" + detail))
        failed = sum(r[1] != "pass" for r in self.results)
        print("%d passed, %d failed" % (len(self.results) - failed, failed))
        return 1 if failed else 0

    def write(self, seconds):
        lines = ["# Package test: latest run", "",
                 "Written by `make package-test` (tests/package/package_test.py); do not edit by hand.", "",
                 "- date: %s" % time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime()),
                 "- root: Debian %s (debootstrap minbase + %s), packages: %s" % (
                     SUITE, BASE_PACKAGES, self.facts.get("installed", "not installed")),
                 "- time: %.0f s" % seconds, "", "| check | result | detail |", "|---|---|---|"]
        lines += ["| %s | %s | %s |" % (name, status, detail.replace("\n", "<br>").replace("|", "\\|"))
                  for name, status, detail, _ in self.results]
        lint = os.path.join(self.options.debs, "lintian.txt")
        if os.path.exists(lint):
            with open(lint) as f:
                lines += ["", "## lintian", "", "```", f.read().strip() or "(no tags)", "```"]
        for unit in (UNIT, "velarelay.service"):
            if "security " + unit in self.facts:
                lines += ["", "## systemd-analyze security --offline=yes %s" % unit, "", "```",
                          self.facts["security " + unit].strip(), "```"]
        with open(self.options.results, "w") as f:
            f.write("\n".join(lines) + "\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--debs", required=True, help="folder with the built .deb files and lintian.txt")
    parser.add_argument("--cache", required=True, help="folder for the cached root and apt's downloads")
    parser.add_argument("--results", required=True, help="Markdown file for the results")
    options = parser.parse_args()
    if os.geteuid() != 0:
        sys.exit("package_test.py needs root (debootstrap, chroot, mount)")
    os.makedirs(options.cache, exist_ok=True)
    sys.exit(PackageTest(options).run())


if __name__ == "__main__":
    main()
