#!/usr/bin/python3
"""The relay under a long, mixed load (`make soak`).

The real relay runs with simulated hubs. A few well-behaved clients read all
the time and check a numbered pen stream sample by sample, while other
clients churn, flood, pipeline, break the protocol and stall, hubs come and
go, library calls fail, and the relay is paused and resumed. At the end the
relay is stopped with SIGTERM. Prints a table, writes it to --report, and
exits 1 when a check failed. README.md ("Soak run") says what each check means.
"""
import argparse
import asyncio
import os
import random
import resource
import signal
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
os.environ.setdefault("VELARELAY_BIN", os.path.join(ROOT, "build", "bin"))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

from relayharness import Relay, tls_context  # noqa: E402

from behaviours import FAULTS, Churn  # noqa: E402
from stream import ControlLine, PenStream, Watcher  # noqa: E402

SCENARIO = """
hub add 0 pens=4 touches=10 erasers=2
hub add 1 type=2
device add 1 1001 5 Amira Haddad
device add 1 1002 5 Ben Okafor
"""
LOG = os.path.join(ROOT, "bench", "out", "soak-relay.log")
# Hubs other than the pen stream's board (0) and the voting hub (1).
TRANSIENT_HUBS = range(2, 6)
MiB = 1 << 20
# The relay's allocator returns what is freed, so that resident memory
# follows what the relay holds, not what glibc keeps for later: freed blocks
# of 1 MiB messages would otherwise stay, arena by arena, and look like a leak.
ALLOCATOR = {"MALLOC_MMAP_THRESHOLD_": "131072", "MALLOC_TRIM_THRESHOLD_": "131072"}
# Growth of resident memory between the first lull and the last one that
# still counts as bounded: whichever is larger.
MEMORY_SLACK_BYTES = 8 * MiB
MEMORY_SLACK_SHARE = 0.10
# What one connection may hold by the relay's documented limits: 4 MiB of
# unsent output, a message of 1 MiB in the making, an upgrade request of
# 16 KiB. The peak must stay within that for every connection the soak can
# have open at once, plus room for the allocator and thread stacks.
PER_CONNECTION_BYTES = 4 * MiB + MiB + 16 * 1024
ALLOCATOR_SLACK_BYTES = 64 * MiB


def process_stats(pid):
    values = {}
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            name, _, rest = line.partition(":")
            if name in ("VmRSS", "VmHWM", "Threads"):
                values[name] = int(rest.split()[0])
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return dict(rss=values["VmRSS"] * 1024, hwm=values["VmHWM"] * 1024, threads=values["Threads"],
                fds=len(os.listdir("/proc/%d/fd" % pid)),
                cpu=(int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK"))


def mib(n):
    return "%.1f MiB" % (n / MiB)


def ms(seconds):
    return "—" if seconds is None else "%.1f ms" % (seconds * 1000)


class Soak:
    def __init__(self, options):
        self.options = options
        self.probe_interval = 1.0
        self.probe_lock = asyncio.Lock()
        self.pauses = []
        self.events = dict(pauses=0, hubs_added=0, hubs_removed=0, faults=0)
        self.lulls = []  # (label, stats)
        self.samples = []
        self.active = asyncio.Event()
        self.relay_died = None
        self.loop_lag = 0.0

    def last_pause_before(self, moment):
        earlier = [p for p in self.pauses if p <= moment]
        return earlier[-1] if earlier else None

    def stats(self):
        return process_stats(self.relay.proc.pid)

    async def run(self):
        asyncio.get_running_loop().set_exception_handler(quiet_about_abandoned_tasks)
        o = self.options
        self.load_at_start = os.getloadavg()
        os.environ.update(ALLOCATOR)  # read by the relay, not by this process, which has started
        self.relay = Relay(SCENARIO)
        self.admin = ControlLine(self.relay.socket_path)
        await self.admin.open()
        self.stream = PenStream(self.relay.socket_path, o.rate)
        await self.stream.open()
        await asyncio.sleep(1)
        self.before = self.stats()
        self.started = time.monotonic()
        self.cpu_start = resource.getrusage(resource.RUSAGE_SELF)
        self.churn = Churn(self.relay, tls_context(), o.concurrency, o.flood_seconds, o.flood_mib, self.pauses)
        self.watchers = [Watcher("client %d" % (i + 1), self) for i in range(o.clients)]
        stream_task = asyncio.create_task(self.stream.run())
        watcher_tasks = [asyncio.create_task(w.run()) for w in self.watchers]
        background = [asyncio.create_task(f())
                      for f in (self.sample, self.hubs, self.faults, self.signals, self.watch_loop)]
        churn_task = asyncio.create_task(self.churn.run())
        # Each of these runs for the whole soak; one that ends has failed.
        self.loops = [stream_task, *watcher_tasks, *background, churn_task]
        self.active.set()
        try:
            await self.timeline()
            self.churn.running.clear()
            self.active.clear()
            await self.churn.quiesce(20)
            await self.remove_hubs()
            self.stream.stop()
            await stream_task
            await self.lull("at the end")
            for w in self.watchers:
                await w.finish(15)
            await asyncio.wait(watcher_tasks, timeout=15)
            self.after = await self.settle()
        finally:
            for task in [churn_task, *background, *watcher_tasks, stream_task]:
                task.cancel()
        self.wall = time.monotonic() - self.started
        cpu = resource.getrusage(resource.RUSAGE_SELF)
        self.tool_cpu = cpu.ru_utime + cpu.ru_stime - self.cpu_start.ru_utime - self.cpu_start.ru_stime
        self.hwm = self.after["hwm"]
        self.stream.close()
        self.admin.close()
        stopping = time.monotonic()
        try:
            self.exit_status = self.relay.stop()
        except AssertionError:
            self.exit_status = "did not stop within 15 s"
        self.stop_time = time.monotonic() - stopping

    async def timeline(self):
        """Runs for the given seconds, with a lull at each quarter: the churn
        stops and its clients leave, so the relay's memory, threads and
        descriptors can be compared from lull to lull."""
        quarter = self.options.seconds / 4
        for n in range(1, 5):
            await self.alive_for(quarter)
            self.active.clear()
            await self.churn.quiesce(20)
            if n == 4:
                # The last lull comes after the watchers read their last sample.
                return
            await self.lull("after %d s" % round(n * quarter))
            self.churn.resume()
            self.active.set()

    async def alive_for(self, seconds):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            for task in self.loops:
                if task.done():
                    raise RuntimeError("a part of the soak ended: %r" % (task.exception() or task))
            if self.relay.proc.poll() is not None:
                self.relay_died = self.relay.proc.returncode
                raise RuntimeError("the relay ended with %s during the run:\n%s"
                                   % (self.relay_died, self.relay.output[-3000:]))
            await asyncio.sleep(min(1, deadline - time.monotonic()))

    async def lull(self, label):
        await asyncio.sleep(2)
        self.lulls.append((label, self.stats()))

    async def settle(self):
        """The relay after every client left: waits for its threads and
        descriptors to come back to where they were, for at most 20 s."""
        deadline = time.monotonic() + 20
        while True:
            stats = self.stats()
            if ((stats["threads"], stats["fds"]) == (self.before["threads"], self.before["fds"])
                    or time.monotonic() > deadline):
                return stats
            await asyncio.sleep(0.5)

    async def watch_loop(self):
        """How late this tool's own event loop runs: timings it takes are no
        better than that."""
        while True:
            before = time.monotonic()
            await asyncio.sleep(0.1)
            self.loop_lag = max(self.loop_lag, time.monotonic() - before - 0.1)

    async def sample(self):
        while True:
            self.samples.append(self.stats())
            await asyncio.sleep(1)

    async def hubs(self):
        present = set()
        while True:
            await asyncio.sleep(random.uniform(1, 4))
            await self.active.wait()
            index = random.choice(TRANSIENT_HUBS)
            if index in present:
                reply = await self.admin.command("hub remove %d" % index)
                present.discard(index)
                self.events["hubs_removed"] += 1
            else:
                reply = await self.admin.command("hub add %d pens=%d touches=%d erasers=%d virtual=%d" % (
                    index, random.randint(0, 4), random.choice([0, 10, 20]), random.randint(0, 2),
                    random.random() < 0.2))
                present.add(index)
                self.events["hubs_added"] += 1
            if not reply.startswith("ok"):
                raise RuntimeError("the simulator refused a hub change: " + reply)

    async def remove_hubs(self):
        reply = await self.admin.command("hubs")
        for group in reply.split()[1:]:
            index = int(group.split(":")[0])
            if index in TRANSIENT_HUBS:
                await self.admin.command("hub remove %d" % index)
                self.events["hubs_removed"] += 1

    async def faults(self):
        while True:
            await asyncio.sleep(random.uniform(2, 6))
            await self.active.wait()
            method, command = self.churn.next_row(FAULTS)
            self.events["faults"] += 1
            await self.churn.fault(self.admin, method, command)

    async def signals(self):
        """Pause and resume now and then; a pause closes every client."""
        every = self.options.pause_every
        while True:
            await asyncio.sleep(random.uniform(0.6 * every, 1.4 * every))
            await self.active.wait()
            self.pauses.append(time.monotonic())
            self.relay.signal(signal.SIGUSR1)
            self.events["pauses"] += 1
            await asyncio.sleep(random.uniform(0.5, 2))
            self.relay.signal(signal.SIGUSR2)


def quiet_about_abandoned_tasks(loop, context):
    # The library's reader tasks of connections this tool cut off are
    # collected unfinished; that is no news. Anything else is.
    if context.get("message") != "Task was destroyed but it is pending!":
        loop.default_exception_handler(context)


def commit():
    def git(*args):
        return subprocess.run(["git", "-C", ROOT, *args], capture_output=True, text=True).stdout.strip()
    head, branch = git("rev-parse", "--short", "HEAD"), git("rev-parse", "--abbrev-ref", "HEAD")
    dirty = git("status", "--porcelain", "--untracked-files=no", "--", "src", "platform", "CMakeLists.txt")
    return "`%s` (%s)%s" % (head, branch, ", with uncommitted changes in src/ or platform/" if dirty else "")


def report(soak, error):
    o = soak.options
    checks = []

    def check(name, passed, detail):
        checks.append((name, passed, detail))

    accounts = [(w, w.account()) for w in soak.watchers] if hasattr(soak, "watchers") else []
    if error:
        check("the run completed", False, error.splitlines()[0])
    for w, a in accounts:
        check("%s: no sample lost while connected" % w.name, a["lost"] == 0,
              "%d lost%s" % (a["lost"], ", e.g. " + ", ".join(map(str, a["lost_examples"][:5])) if a["lost"] else ""))
        check("%s: every sample once and in order" % w.name,
              a["duplicates"] == 0 and a["disorder"] == 0 and not w.foreign,
              "%d duplicates, %d out of order, %d foreign pen messages" % (
                  a["duplicates"], a["disorder"], len(w.foreign)))
        check("%s: never dropped, every query answered" % w.name, a["drops"] == 0 and a["unanswered"] == 0,
              "%d drops, %d unanswered" % (a["drops"], a["unanswered"]))
    if getattr(soak, "stream", None) and soak.stream.errors:
        check("the simulator took every pen sample", False, soak.stream.errors[0])
    after = getattr(soak, "after", None)
    if after:
        check("threads back to where they were", after["threads"] == soak.before["threads"],
              "%d before, %d after" % (soak.before["threads"], after["threads"]))
        check("descriptors back to where they were", after["fds"] == soak.before["fds"],
              "%d before, %d after" % (soak.before["fds"], after["fds"]))
        lulls = [s["rss"] for _, s in soak.lulls] + [after["rss"]]
        first = soak.lulls[0][1]["rss"] if soak.lulls else soak.before["rss"]
        bound = max(MEMORY_SLACK_BYTES, MEMORY_SLACK_SHARE * first)
        check("resident memory does not grow from lull to lull", max(lulls) - first <= bound,
              "first lull %s, largest later %s, allowed growth %s" % (mib(first), mib(max(lulls)), mib(bound)))
        # The watchers, the other clients, and the one a fault injection opens.
        connections = o.clients + o.concurrency + 1
        ceiling = soak.before["rss"] + connections * PER_CONNECTION_BYTES + ALLOCATOR_SLACK_BYTES
        check("resident memory within the documented limits", soak.hwm <= ceiling,
              "peak %s, limit for %d connections %s" % (mib(soak.hwm), connections, mib(ceiling)))
    exit_status = getattr(soak, "exit_status", None)
    check("exit status 0 after SIGTERM", exit_status == 0, str(exit_status))
    churn = getattr(soak, "churn", None)
    if churn:
        for name, (runs, good, bad, examples) in sorted(churn.outcomes.items()):
            if bad:
                check(name, False, "%d of %d runs: %s" % (bad, runs, "; ".join(examples)))
        checked = sum(e[1] + e[2] for e in churn.outcomes.values())
        passed = sum(e[1] for e in churn.outcomes.values())
        check("other clients: the relay did what the RFC and its limits say", passed == checked,
              "%d of %d checked runs" % (passed, checked))

    failed = [c for c in checks if not c[1]]
    lines = ["# Soak run", "",
             "`make soak` (README.md, \"Soak run\"). Ran against commit %s, relay from %s, on %s, for %d s;"
             % (commit(), os.path.relpath(os.environ["VELARELAY_BIN"], ROOT), time.strftime("%Y-%m-%d %H:%M"),
                o.seconds),
             "%d well-behaved clients, pen samples at %d/s, up to %d other clients at once, a pause about every "
             "%d s. Load average at the start: %.1f on %d cores. The relay ran with %s, so that its resident "
             "memory follows what it holds." % (
                 o.clients, o.rate, o.concurrency, o.pause_every, soak.load_at_start[0], os.cpu_count(),
                 " ".join("%s=%s" % item for item in ALLOCATOR.items())),
             "", "**%s**" % ("PASS" if not failed else "FAIL: %d of %d checks" % (len(failed), len(checks))), "",
             "## Checks", "", "| check | result | detail |", "|---|---|---|"]
    lines += ["| %s | %s | %s |" % (name, "ok" if passed else "**FAIL**", detail) for name, passed, detail in checks]
    lines += ["", "## Well-behaved clients", "",
              "Samples emitted by the simulator: %d. Lost counts the samples a client had to receive, while it "
              "was connected and its window set, that never came. A pause closes every client by design; "
              "samples still in the relay then were in flight and are not lost (the oldest such one is shown)."
              % len(soak.stream.sent), "",
              "| client | sessions (failed connects) | delivered | lost while connected | in flight at a pause "
              "| pen latency p99 / worst | query round trip worst (%s) | queries | dropped |" % "`hub,getState`",
              "|---|---|---|---|---|---|---|---|---|"]
    for w, a in accounts:
        lines.append("| %s | %d (%d) | %d | %d | %d (oldest %.1f s) | %s / %s | %s | %d (%d unanswered) | %d |" % (
            w.name, a["sessions"], w.connect_failures, a["delivered"], a["lost"], a["excused"], a["oldest_excused"],
            ms(a["p99_latency"]), ms(a["worst_latency"]), ms(a["worst_probe"]), a["probes"], a["unanswered"],
            a["drops"]))
    if after:
        peak_sampled = max(s["rss"] for s in soak.samples) if soak.samples else 0
        lines += ["", "## The relay", "",
                  "| | before any client | peak | at the lulls | after every client left |", "|---|---|---|---|---|",
                  "| resident memory | %s | %s (sampled each second: %s) | %s | %s |" % (
                      mib(soak.before["rss"]), mib(soak.hwm), mib(peak_sampled),
                      ", ".join(mib(s["rss"]) for _, s in soak.lulls), mib(after["rss"])),
                  "| threads | %d | %d | %s | %d |" % (
                      soak.before["threads"], max(s["threads"] for s in soak.samples),
                      ", ".join(str(s["threads"]) for _, s in soak.lulls), after["threads"]),
                  "| descriptors | %d | %d | %s | %d |" % (
                      soak.before["fds"], max(s["fds"] for s in soak.samples),
                      ", ".join(str(s["fds"]) for _, s in soak.lulls), after["fds"]),
                  "",
                  "Lulls (the other clients gone, the watchers connected): %s. Exit status after SIGTERM: %s, "
                  "stopped in %.1f s." % (", ".join(label for label, _ in soak.lulls), exit_status, soak.stop_time),
                  "CPU over the run: the relay %.0f%% of one core, this tool %.0f%%; this tool's event loop ran "
                  "late by %.0f ms at worst. The relay's log: %s (%d lines)." % (
                      100 * (after["cpu"] - soak.before["cpu"]) / soak.wall, 100 * soak.tool_cpu / soak.wall,
                      1000 * soak.loop_lag, os.path.relpath(LOG, ROOT), soak.log_lines)]
    if churn:
        lines += ["", "## Other clients", "",
                  "Events: %d pauses, %d hubs added and %d removed, %d library faults injected; the pen stream "
                  "waited %d times for the simulator to catch up." % (
                      soak.events["pauses"], soak.events["hubs_added"], soak.events["hubs_removed"],
                      soak.events["faults"], soak.stream.stalls), ""]
        for what in ("reading", "never reading"):
            rates = sorted(r for w, r, _ in churn.floods if w == what)
            waits = [f for w, _, f in churn.floods if w == what]
            if rates:
                lines.append("Floods %s: %d, the relay took %.1f MiB/s (median), the writer waited %.0f%% of "
                             "the time." % (what, len(rates), rates[len(rates) // 2], 100 * sum(waits) / len(waits)))
        lines += ["", "| behaviour | runs | as expected | not | what was seen |", "|---|---|---|---|---|"]
        for name, (runs, good, bad, examples) in sorted(churn.outcomes.items()):
            lines.append("| %s | %d | %s | %s | %s |" % (
                name, runs, good if good or bad else "—", bad if good or bad else "—", "; ".join(examples)))
    return "\n".join(lines) + "\n", not failed


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seconds", type=int, default=int(os.environ.get("SOAK_SECONDS", 600)))
    parser.add_argument("--report", help="Markdown file to write the table to")
    parser.add_argument("--clients", type=int, default=3, help="well-behaved clients")
    parser.add_argument("--rate", type=int, default=100, help="pen samples a second")
    parser.add_argument("--concurrency", type=int, default=16, help="other clients at once, at most")
    parser.add_argument("--pause-every", type=int, default=40, help="seconds between pauses, about")
    parser.add_argument("--flood-seconds", type=float, default=3)
    parser.add_argument("--flood-mib", type=int, default=16, help="most a flood sends")
    parser.add_argument("--seed", type=int)
    options = parser.parse_args()
    random.seed(options.seed)
    soak = Soak(options)
    error = None
    try:
        asyncio.run(soak.run())
    except Exception as e:  # the run broke off: still report what was seen
        error = "%s: %s" % (type(e).__name__, e)
        relay = getattr(soak, "relay", None)
        if relay and relay.proc.poll() is None:
            try:
                soak.exit_status = relay.stop()
            except AssertionError:
                soak.exit_status = "did not stop within 15 s"
        elif relay:
            soak.exit_status = relay.proc.returncode
    relay = getattr(soak, "relay", None)
    if relay:
        os.makedirs(os.path.dirname(LOG), exist_ok=True)
        with open(LOG, "w") as f:
            f.write(relay.output)
        soak.log_lines = relay.output.count("\n")
    text, passed = report(soak, error)
    print(text)
    if options.report:
        with open(options.report, "w") as f:
            f.write(text)
    return 0 if passed else 1


if __name__ == "__main__":
    sys.exit(main())
