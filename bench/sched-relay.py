#!/usr/bin/python3
"""Why the relay's latency is what it is: the scheduler's view of one latency measure.

    bench/sched-relay.py [--quick] [--wide] [--seconds N] [--runs N] [--no-perf] [--relay PATH]

after `make bench-build`. Runs the relay alone through one latency measure (4 clients, or 32 with
--wide, 500 Hz; with --runs, several in turn, to catch both modes of a bimodal host) and prints
the measure's own figures and then, for each relay thread and the
benchmark's client thread: wake-ups per pen sample, how long it waited on the run queue after each
wake-up (mean, p99, max), how often it was preempted, which task held the CPU while it waited and
who woke it. That needs `perf sched record` (root, or perf_event_paranoid at -1); without it the
counters of /proc/PID/task/*/schedstat and the context switches, taken before and after, still give
wake-ups and the mean wait. The recording lands in bench/out/sched/.
"""

import argparse
import collections
import os
import re
import shutil
import signal
import subprocess
import sys
import time

RATE_HZ = 500  # the benchmark's latency beat
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, "bench", "out", "sched")
PERF_DATA = os.path.join(OUT, "perf.data")
PERF_PID = os.path.join(OUT, "perf.pid")


# --- the hook: called by the benchmark as `... EVENT LABEL PID` ------------------------------

def tasks(pid):
    """{tid: (comm, run ns, wait ns, slices, voluntary, involuntary)} of a process's live threads."""
    result = {}
    base = f"/proc/{pid}/task"
    for tid in os.listdir(base):
        try:
            with open(f"{base}/{tid}/comm") as f:
                comm = f.read().strip()
            with open(f"{base}/{tid}/schedstat") as f:
                run, wait, slices = (int(v) for v in f.read().split()[:3])
            switches = {}
            with open(f"{base}/{tid}/status") as f:
                for line in f:
                    key, _, value = line.partition(":")
                    if key in ("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches"):
                        switches[key] = int(value)
        except (FileNotFoundError, ProcessLookupError, ValueError):
            continue
        result[int(tid)] = (comm, run, wait, slices, switches.get("voluntary_ctxt_switches", 0),
                            switches.get("nonvoluntary_ctxt_switches", 0))
    return result


def bench_pid():
    """The benchmark process: the nearest ancestor of this hook that is velarelay-bench."""
    pid = os.getppid()
    while pid > 1:
        with open(f"/proc/{pid}/comm") as f:
            if f.read().strip() == "velarelay-bench":
                return pid
        with open(f"/proc/{pid}/stat") as f:
            pid = int(f.read().rsplit(")", 1)[1].split()[1])
    return None


def snapshot(relay, name):
    bench = bench_pid()
    with open(os.path.join(OUT, name), "w") as f:
        f.write(f"{time.monotonic_ns()} {relay} {bench or 0}\n")
        for who, pid in (("relay", relay), ("bench", bench)):
            if pid:
                for tid, row in tasks(pid).items():
                    f.write(f"{who} {tid} {' '.join(str(v) for v in row[1:])} {row[0]}\n")


def process_gone(pid):
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()[0] in ("Z", "X")
    except FileNotFoundError:
        return True


def hook(phase, use_perf, event, label, pid):
    if label != "relay":
        return
    if event == phase + "-begin":
        if use_perf:
            perf = subprocess.Popen(["perf", "sched", "record", "-k", "CLOCK_MONOTONIC", "-o", PERF_DATA], stdin=subprocess.DEVNULL,
                                    stdout=subprocess.DEVNULL, stderr=open(os.path.join(OUT, "perf.log"), "w"),
                                    start_new_session=True)
            with open(PERF_PID, "w") as f:
                f.write(str(perf.pid))
            time.sleep(1)  # perf needs a moment before it records; the measure starts after the hook
        # perf stamps events with the same clock, so the report keeps only what happened in between.
        snapshot(int(pid), "before")
    elif event == phase + "-end":
        snapshot(int(pid), "after")
        if use_perf and os.path.exists(PERF_PID):
            with open(PERF_PID) as f:
                perf = int(f.read())
            os.kill(perf, signal.SIGINT)
            deadline = time.monotonic() + 60
            while not process_gone(perf) and time.monotonic() < deadline:
                time.sleep(0.05)
            os.remove(PERF_PID)


# --- the report --------------------------------------------------------------------------------

def read_snapshot(name):
    with open(os.path.join(OUT, name)) as f:
        when, relay, bench = (int(v) for v in f.readline().split())
        rows = {}
        for line in f:
            who, tid, run, wait, slices, vol, invol, comm = line.rstrip("\n").split(" ", 7)
            rows[int(tid)] = (who, comm, int(run), int(wait), int(slices), int(vol), int(invol))
    return when, relay, bench, rows


def label(tid, relay, rows):
    who, comm = rows[tid][0], rows[tid][1]
    if who == "relay":
        return f"relay main {tid}" if tid == relay else f"relay {comm} {tid}"
    return f"bench {comm} {tid}"


def percentile(values, p):
    if not values:
        return 0
    values = sorted(values)
    return values[max(0, min(len(values) - 1, -(-len(values) * p // 100) - 1))]


def table(header, rows):
    print("| " + " | ".join(header) + " |")
    print("|---|" + "---:|" * (len(header) - 1))
    for row in rows:
        print("| " + " | ".join(str(c) for c in row) + " |")
    print()


def schedstat_report(samples):
    start, relay, _, before = read_snapshot("before")
    end, _, _, after = read_snapshot("after")
    seconds = (end - start) / 1e9
    print(f"**/proc counters** over {seconds:.1f} s, {samples} pen samples "
          "(wake-ups counted as voluntary switches; wait is run-queue time per time slice):\n")
    rows = []
    idle = 0
    for tid in sorted(after, key=lambda t: (after[t][0] != "relay", t)):
        if tid not in before:
            continue
        b, a = before[tid], after[tid]
        run, wait, slices, vol, invol = (a[i] - b[i] for i in range(2, 7))
        if slices == 0:
            idle += 1
            continue
        rows.append([label(tid, relay, after), f"{run / 1e6:.1f}", f"{vol / samples:.2f}", invol,
                     f"{wait / slices / 1e3:.1f}", f"{wait / 1e6:.1f}"])
    table(["thread", "ran ms", "wake-ups/sample", "preempted", "wait per slice µs", "wait total ms"], rows)
    if idle:
        print(f"{idle} more thread(s) of the relay did not run at all.\n")


LINE = re.compile(r"^\s*(.+?)\s+(\d+)\s+\[(\d+)\]\s+([\d.]+):\s+sched:(\w+):\s+(.*)$")
FIELD = re.compile(r"(\w+)=(\S+)")


def perf_report(samples):
    end, relay, _, rows = read_snapshot("after")
    start, _, _, first = read_snapshot("before")
    rows = {**first, **rows}
    names = {tid: label(tid, relay, rows) for tid in rows}
    script = subprocess.run(["perf", "script", "-i", PERF_DATA, "-F", "comm,tid,cpu,time,event,trace"],
                            capture_output=True, text=True)
    if script.returncode != 0:
        print("perf script failed: " + script.stderr.strip())
        return
    woken = {}                      # tid -> time of its pending wake-up
    preempted = {}                  # tid -> time it was switched out while runnable
    wake_waits = collections.defaultdict(list)
    preempt_waits = collections.defaultdict(list)
    wakeups = collections.Counter()
    behind = collections.defaultdict(collections.Counter)  # tid -> {task: µs waited behind it}
    wakers = collections.defaultdict(collections.Counter)

    def task(comm, pid):
        pid = int(pid)
        return "idle CPU (waking it)" if pid == 0 else names.get(pid, f"{comm}[{pid}]")

    for line in script.stdout.splitlines():
        m = LINE.match(line)
        if not m:
            continue
        comm, tid, _, stamp, event, trace = m.groups()
        t = float(stamp)
        if t * 1e9 < start or t * 1e9 > end:
            continue
        f = dict(FIELD.findall(trace.replace(" ==> ", " ")))
        if event == "sched_waking":
            target = int(f["pid"])
            if target in names and target not in woken:
                woken[target] = t
                wakeups[target] += 1
                wakers[target][task(comm, tid)] += 1
        elif event == "sched_switch":
            prev, nxt = int(f["prev_pid"]), int(f["next_pid"])
            if prev in names and f["prev_state"].startswith("R"):
                preempted[prev] = t
            if nxt in names:
                holder = task(f["prev_comm"], prev)
                for pending, waits in ((woken, wake_waits), (preempted, preempt_waits)):
                    if nxt in pending:
                        wait = (t - pending.pop(nxt)) * 1e6
                        waits[nxt].append(wait)
                        if prev != nxt:
                            behind[nxt][holder] += wait
    if not wakeups:
        print("perf recorded no wake-up of these threads during the measure")
        return
    print(f"**perf sched** over the same {(end - start) / 1e9:.1f} s, {samples} pen samples: "
          "wait is from the wake-up (or the preemption) to running again, and \"behind\" is what held the "
          "CPU until then (µs summed over the run).\n")
    out = []
    for tid in sorted(names, key=lambda t: (rows[t][0] != "relay", t)):
        waits = wake_waits[tid]
        if not waits and not preempt_waits[tid]:
            continue
        top = ", ".join(f"{who} {us:.0f}" for who, us in behind[tid].most_common(3))
        by = ", ".join(f"{who} {n}" for who, n in wakers[tid].most_common(2))
        out.append([names[tid], f"{wakeups[tid] / samples:.2f}",
                    f"{sum(waits) / len(waits):.1f}" if waits else "–", f"{percentile(waits, 99):.1f}",
                    f"{max(waits, default=0):.1f}", len(preempt_waits[tid]),
                    f"{max(preempt_waits[tid], default=0):.1f}", top, by])
    table(["thread", "wake-ups/sample", "wait mean µs", "p99 µs", "max µs", "preempted", "its max wait µs",
           "waited behind (µs)", "woken by (times)"], out)


# --- the driver ---------------------------------------------------------------------------------

def perf_works():
    if shutil.which("perf") is None:
        return False
    data = os.path.join(OUT, "probe.data")
    probe = subprocess.run(["perf", "sched", "record", "-o", data, "--", "true"], capture_output=True)
    for name in (data, data + ".old"):
        if os.path.exists(name):
            os.remove(name)
    return probe.returncode == 0


def main(argv):
    if argv[:1] == ["hook"]:
        # hook PHASE PERF EVENT LABEL PID
        hook(argv[1], argv[2] == "perf", *argv[3:6])
        return 0
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--quick", action="store_true", help="a 2 s measure, to try the tool out")
    parser.add_argument("--seconds", type=int, default=10, help="length of the measure (default 10)")
    parser.add_argument("--wide", action="store_true", help="the 32-client measure instead of the 4-client one")
    parser.add_argument("--runs", type=int, default=1, help="measures in turn, each with its own report")
    parser.add_argument("--no-perf", action="store_true", help="only the /proc counters")
    parser.add_argument("--relay", help="another build of the relay to look at (default: build-bench's); it must "
                        "find an ssl/ folder beside it with build-bench's pair, as make bench-compare leaves one")
    args = parser.parse_args(argv)
    seconds = 2 if args.quick else args.seconds
    os.makedirs(OUT, exist_ok=True)
    use_perf = not args.no_perf and perf_works()
    if not args.no_perf and not use_perf:
        print("perf sched record does not work here: the /proc counters only", file=sys.stderr)
    phase = "wide-latency" if args.wide else "latency"
    bin_dir = os.path.join(ROOT, "build-bench")
    node = shutil.which("node") or shutil.which("nodejs") or "node"
    command = [os.path.join(bin_dir, "bench", "bin", "velarelay-bench"), "--only", "relay", "--runs", "1",
               "--relay", args.relay or os.path.join(bin_dir, "bin", "velarelay"), "--ssl-dir", os.path.join(bin_dir, "bin", "ssl"),
               "--node", node, "--node-path", "/usr/share/nodejs",
               "--ws-peer", os.path.join(ROOT, "bench", "peers", "ws", "server.js"),
               "--qt-peer", os.path.join(bin_dir, "bench", "bin", "velarelay-qt-peer"),
               "--out", OUT, "--results", os.path.join(OUT, "results.md"),
               "--latency-seconds", str(seconds), "--fanout-seconds", "1", "--idle-seconds", "1",
               "--memory-clients", "1",
               "--hook", f"{sys.executable} {os.path.abspath(__file__)} hook {phase} {'perf' if use_perf else 'none'}"]
    samples = RATE_HZ * seconds
    clients = 32 if args.wide else 4
    for run in range(1, args.runs + 1):
        for name in ("before", "after", "perf.data", "perf.data.old"):
            if os.path.exists(os.path.join(OUT, name)):
                os.remove(os.path.join(OUT, name))
        bench = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        if bench.returncode != 0 or not os.path.exists(os.path.join(OUT, "after")):
            print(bench.stderr + "the benchmark failed; see " + OUT, file=sys.stderr)
            return 1
        figures = next((line.split(": ", 1)[1] for line in bench.stderr.splitlines() if " run 1: " in line), "")
        print(f"## Run {run}: relay, {clients} clients, {RATE_HZ} Hz for {seconds} s\n\n"
              f"The benchmark's figures (p99 first with 4 clients, then with 32): {figures}\n")
        schedstat_report(samples)
        if use_perf:
            perf_report(samples)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
