#include "Scenarios.h"

#include "Clock.h"
#include "PenSample.h"
#include "Statistics.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <thread>

namespace bench {

namespace {

constexpr std::int64_t kStartDeadlineNs = 10 * kNsPerSecond;
constexpr std::int64_t kSetupDeadlineNs = 10 * kNsPerSecond;
constexpr std::int64_t kDrainNs = 2 * kNsPerSecond;
constexpr std::int64_t kLateTriggerNs = 100 * 1000;

std::uint16_t freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    std::uint16_t port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

std::int64_t selfCpuNs()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto ns = [](const timeval &t) { return std::int64_t(t.tv_sec) * kNsPerSecond + t.tv_usec * 1000; };
    return ns(usage.ru_utime) + ns(usage.ru_stime);
}

// Pumps until the deadline, discarding what arrives (keep-alives, late frames).
bool drain(ClientSet &clients, ControlChannel *control, std::int64_t untilNs)
{
    while (nowNs() < untilNs) {
        if (!clients.pump(untilNs, control, [](std::size_t, std::string_view, const Arrival &) {}))
            return false;
    }
    return true;
}

// Takes what is still on the way, until `done` or for 2 s at most; the
// trigger must have accepted every command.
bool collectRest(ClientSet &clients, ControlChannel &control, const ClientTextHandler &onText,
                 const std::function<bool()> &done, std::string &error)
{
    const std::int64_t until = nowNs() + kDrainNs;
    while (!done() && nowNs() < until) {
        if (!clients.pump(until, &control, onText)) {
            error = "a client lost its connection";
            return false;
        }
    }
    if (control.errors() > 0) {
        error = "the trigger refused a command: " + control.lastError();
        return false;
    }
    return true;
}

double nsToMs(double ns)
{
    return ns / double(kNsPerMs);
}

// The whole machine's busy and stolen CPU time so far (/proc/stat, all CPUs).
struct MachineCpu
{
    std::int64_t busyNs = 0;
    std::int64_t stealNs = 0;

    static MachineCpu now()
    {
        MachineCpu cpu;
        std::ifstream stat("/proc/stat");
        std::string label;
        long long user = 0, nice = 0, system = 0, idle = 0, iowait = 0, irq = 0, softirq = 0, steal = 0;
        if (stat >> label >> user >> nice >> system >> idle >> iowait >> irq >> softirq >> steal && label == "cpu") {
            const std::int64_t tick = kNsPerSecond / ::sysconf(_SC_CLK_TCK);
            cpu.busyNs = (user + nice + system + irq + softirq) * tick;
            cpu.stealNs = steal * tick;
        }
        return cpu;
    }
};

} // namespace

bool ServerSession::start(StartupResult &startup, std::string &error)
{
    const BenchOptions &options = m_context.options;
    m_port = freePort();
    const std::string controlPath = m_context.socketDir + '/' + m_kind.label + ".sock";
    ::unlink(controlPath.c_str());
    if (!m_process.start(m_kind.command(m_port, controlPath), options.outDir + '/' + m_kind.label + ".log")) {
        error = "cannot start " + m_kind.name;
        return false;
    }
    if (m_kind.label == "relay" && !options.wrapRelay.empty())
        m_process.setStopTimeoutNs(60 * kNsPerSecond);
    const std::int64_t deadline = m_process.startNs() + kStartDeadlineNs;
    TlsWebsocketClient first(m_context.tls);
    while (!first.connectTcp(m_port)) {
        if (!m_process.running() || nowNs() >= deadline) {
            error = m_kind.name + " did not start listening (see " + m_kind.label + ".log)";
            return false;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    startup.listenMs = nsToMs(double(nowNs() - m_process.startNs()));
    if (!first.upgrade(m_port, deadline, error))
        return false;
    startup.readyMs = nsToMs(double(nowNs() - m_process.startNs()));
    m_tls = first.tlsDescription();
    if (!m_control.open(controlPath, deadline)) {
        error = m_kind.name + ": no control socket at " + controlPath;
        return false;
    }
    return true;
}

void ServerSession::hook(const std::string &event)
{
    const std::string &command = m_context.options.hook;
    if (command.empty())
        return;
    const std::string line = command + ' ' + event + ' ' + m_kind.label + ' ' + std::to_string(m_process.pid());
    if (std::system(line.c_str()) != 0)
        std::fprintf(stderr, "bench: hook failed: %s\n", line.c_str());
}

bool openClients(ServerSession &session, ClientSet &clients, std::size_t count, bool announceWindow, std::string &error)
{
    const std::int64_t deadline = nowNs() + kSetupDeadlineNs;
    if (!clients.open(count, session.port(), deadline, error))
        return false;
    if (announceWindow
        && (!clients.sendToAll("screen,size,32767,32767", deadline)
            || !clients.sendToAll("window,position,0,0,32767,32767", deadline))) {
        error = "cannot announce the window";
        return false;
    }
    return true;
}

bool warmUp(ServerSession &session, ClientSet &clients, std::string &address, std::string &error)
{
    // The window announcement and the first trigger take different roads
    // into the relay; samples are repeated until every client has one.
    constexpr std::int64_t kRetryNs = 20 * kNsPerMs;
    constexpr int kBurst = 100;
    ControlChannel &control = session.control();
    std::vector<bool> got(clients.size(), false);
    std::size_t missing = clients.size();
    const auto onText = [&](std::size_t client, std::string_view text, const Arrival &) {
        PenFrame frame;
        if (parsePenFrame(text, frame) && PenSample::isWarmup(frame)) {
            address = std::string(frameAddress(text));
            if (!got[client]) {
                got[client] = true;
                --missing;
            }
        }
    };
    const std::int64_t deadline = nowNs() + kSetupDeadlineNs;
    int n = 0;
    for (std::int64_t next = nowNs(); missing > 0;) {
        if (nowNs() >= deadline) {
            error = "no pen samples reached the clients"
                + (control.errors() > 0 ? " (trigger: " + control.lastError() + ")" : std::string());
            return false;
        }
        if (nowNs() >= next) {
            control.send(PenSample::warmupCommand(n++));
            next += kRetryNs;
        }
        if (!clients.pump(std::min(next, deadline), &control, onText)) {
            error = "a client lost its connection during the warm-up";
            return false;
        }
    }
    // A short burst at the benchmark's rate, so caches and buffers are warm.
    for (int i = 0; i < kBurst; ++i) {
        control.send(PenSample::warmupCommand(n++));
        if (!drain(clients, &control, nowNs() + 2 * kNsPerMs))
            return false;
    }
    if (!control.waitForReplies(deadline) || !drain(clients, &control, nowNs() + 50 * kNsPerMs)) {
        error = "the trigger did not answer during the warm-up";
        return false;
    }
    return true;
}

bool measureLatency(ServerSession &session, ClientSet &clients, const std::string &phase, LatencyResult &result,
                    std::string &error)
{
    Context &context = session.context();
    ControlChannel &control = session.control();
    const std::int64_t count = std::int64_t(context.options.rateHz) * context.options.latencySeconds;
    const std::int64_t period = kNsPerSecond / context.options.rateHz;
    const std::size_t width = clients.size();
    const std::int64_t base = context.takeSeqs(count);
    std::vector<std::int64_t> sentNs(static_cast<std::size_t>(count), 0);
    std::vector<std::int64_t> latencyNs(static_cast<std::size_t>(count) * width, -1);
    std::vector<double> clientDelayMs, socketMs;
    clientDelayMs.reserve(latencyNs.size());
    socketMs.reserve(latencyNs.size());
    std::int64_t arrivals = 0;
    const auto onText = [&](std::size_t client, std::string_view text, const Arrival &arrival) {
        PenFrame frame;
        if (!parsePenFrame(text, frame) || PenSample::isWarmup(frame))
            return;
        const std::int64_t seq = PenSample::seq(frame) - base;
        if (seq < 0 || seq >= count || sentNs[static_cast<std::size_t>(seq)] == 0)
            return;
        std::int64_t &slot = latencyNs[static_cast<std::size_t>(seq) * width + client];
        if (slot < 0) {
            slot = arrival.readNs - sentNs[static_cast<std::size_t>(seq)];
            clientDelayMs.push_back(nsToMs(double(arrival.readNs - clients.wokeNs())));
            if (arrival.socketNs > 0)
                socketMs.push_back(nsToMs(double(arrival.socketNs - sentNs[static_cast<std::size_t>(seq)])));
            ++arrivals;
        }
    };

    session.hook(phase + "-begin");
    clients.resetWaited();
    const MachineCpu machineBefore = MachineCpu::now();
    const std::int64_t selfBefore = selfCpuNs();
    const std::int64_t cpuBefore = session.process().cpuNs();
    const std::int64_t start = nowNs() + 10 * kNsPerMs;
    for (std::int64_t i = 0; i < count;) {
        const std::int64_t due = start + i * period;
        const std::int64_t now = nowNs();
        if (now >= due) {
            if (now - due > kLateTriggerNs)
                ++result.lateTriggers;
            // Stamped just before the write: everything after it is the server's.
            sentNs[static_cast<std::size_t>(i)] = nowNs();
            // The replies are read here, while this thread is awake anyway,
            // and not waited for: a server that replies on another thread
            // than the one that sends the frames (the relay's hub library)
            // would otherwise wake this thread once more for each sample,
            // ahead of the frames, which no real client pays for.
            if (!control.send(PenSample::penCommand(base + i)) || !control.readReplies()) {
                error = "the trigger socket failed";
                return false;
            }
            ++i;
            continue;
        }
        if (!clients.pump(due, nullptr, onText)) {
            error = "a client lost its connection";
            return false;
        }
    }
    const std::int64_t sendEnd = nowNs();
    const std::int64_t serverNs = session.process().cpuNs() - cpuBefore;
    const MachineCpu machineAfter = MachineCpu::now();
    const double wallNs = double(nowNs() - start);
    result.serverCpuPercent = 100.0 * double(serverNs) / double(sendEnd - start);
    result.otherLoadPercent = std::max(
        0.0,
        100.0 * double(machineAfter.busyNs - machineBefore.busyNs - serverNs - (selfCpuNs() - selfBefore)) / wallNs);
    result.stealPercent = 100.0 * double(machineAfter.stealNs - machineBefore.stealNs) / wallNs;
    session.hook(phase + "-end");
    result.clientWaitShare = double(clients.waitedNs()) / double(sendEnd - start);
    if (!collectRest(
            clients, control, onText, [&] { return arrivals == count * std::int64_t(width); }, error))
        return false;

    std::vector<double> values;
    values.reserve(static_cast<std::size_t>(arrivals));
    for (std::int64_t ns : latencyNs) {
        if (ns >= 0)
            values.push_back(nsToMs(double(ns)));
    }
    result.arrivals = arrivals;
    result.missing = count * std::int64_t(width) - arrivals;
    result.p50Ms = percentile(values, 50);
    result.p99Ms = percentile(values, 99);
    result.p999Ms = percentile(values, 99.9);
    result.maxMs = values.empty() ? 0 : values.back();
    result.clientDelayP99Ms = percentile(clientDelayMs, 99);
    result.socketP50Ms = percentile(socketMs, 50);
    result.socketP99Ms = percentile(socketMs, 99);
    return true;
}

bool measureFanout(ServerSession &session, ClientSet &clients, FanoutResult &result, std::string &error)
{
    Context &context = session.context();
    ControlChannel &control = session.control();
    const int steps = context.options.strokeSteps;
    const std::int64_t framesPerStroke = steps + 1;
    std::vector<std::int64_t> received(clients.size(), 0);
    const auto onText = [&](std::size_t client, std::string_view text, const Arrival &) {
        PenFrame frame;
        if (parsePenFrame(text, frame) && !PenSample::isWarmup(frame))
            ++received[client];
    };
    const auto least = [&received] { return *std::min_element(received.begin(), received.end()); };
    const auto total = [&received] {
        std::int64_t sum = 0;
        for (std::int64_t n : received)
            sum += n;
        return sum;
    };

    std::int64_t sent = 0; // frames each client is to receive
    std::int64_t cursor = context.takeSeqs(0);
    std::int64_t pumps = 0, fullPumps = 0;
    session.hook("fanout-begin");
    clients.resetWaited();
    const std::int64_t cpuBefore = session.process().cpuNs();
    const std::int64_t kernelBefore = session.process().kernelCpuNs();
    const std::int64_t switchesBefore = session.process().contextSwitches();
    const std::int64_t selfBefore = selfCpuNs();
    const std::int64_t start = nowNs();
    const std::int64_t end = start + context.options.fanoutSeconds * kNsPerSecond;
    while (nowNs() < end) {
        // Keep at most `window` samples in flight towards the slowest client:
        // enough to keep the server busy, never enough to fill its buffers.
        while (sent - least() + framesPerStroke <= context.options.window) {
            const std::int64_t first = PenSample::strokeStart(cursor, steps);
            if (!control.send(PenSample::strokeCommand(first, steps))) {
                error = "the trigger socket failed";
                return false;
            }
            cursor = first + steps;
            sent += framesPerStroke;
        }
        ++pumps;
        if (sent - least() + framesPerStroke > context.options.window)
            ++fullPumps;
        if (!clients.pump(end, &control, onText)) {
            error = "a client lost its connection";
            return false;
        }
    }
    const std::int64_t stop = nowNs();
    const std::int64_t cpuAfter = session.process().cpuNs();
    const std::int64_t kernelAfter = session.process().kernelCpuNs();
    const std::int64_t switchesAfter = session.process().contextSwitches();
    const std::int64_t selfAfter = selfCpuNs();
    const std::int64_t waited = clients.waitedNs();
    const std::int64_t delivered = total();
    session.hook("fanout-end");
    const double seconds = double(stop - start) / double(kNsPerSecond);
    context.takeSeqs(cursor - context.nextSeq);

    // Let the rest arrive, to tell slow from lost.
    if (!collectRest(
            clients, control, onText, [&] { return least() == sent; }, error))
        return false;
    result.delivered = delivered;
    result.lost = std::int64_t(clients.size()) * sent - total();
    result.framesPerSecond = double(delivered) / seconds;
    const double cpuNs = double(cpuAfter - cpuBefore);
    result.cpuUsPerFrame = delivered > 0 ? cpuNs / 1000.0 / double(delivered) : 0;
    result.framesPerCpuSecond = cpuNs > 0 ? double(delivered) / (cpuNs / double(kNsPerSecond)) : 0;
    result.serverCores = cpuNs / double(stop - start);
    result.switchesPerFrame = delivered > 0 ? double(switchesAfter - switchesBefore) / double(delivered) : 0;
    result.kernelShare = cpuNs > 0 ? double(kernelAfter - kernelBefore) / cpuNs : 0;
    result.clientCpuShare = double(selfAfter - selfBefore) / double(stop - start);
    result.clientWaitShare = double(waited) / double(stop - start);
    result.windowFullShare = pumps > 0 ? double(fullPumps) / double(pumps) : 0;
    return true;
}

bool measureMemory(ServerSession &session, std::size_t count, MemoryResult &result, std::string &error)
{
    // Both readings come after a pause, so that the server has finished with
    // the start-up's client before the first and with the last upgrade
    // before the second.
    constexpr std::int64_t kSettleNs = 300 * kNsPerMs;
    ClientSet clients(session.context().tls);
    drain(clients, nullptr, nowNs() + kSettleNs);
    result.emptyKiB = session.process().residentKiB();
    if (!openClients(session, clients, count, false, error))
        return false;
    if (!drain(clients, nullptr, nowNs() + kSettleNs)) {
        error = "a client lost its connection";
        return false;
    }
    result.fullKiB = session.process().residentKiB();
    result.clients = count;
    if (result.emptyKiB <= 0 || result.fullKiB <= 0) {
        error = "cannot read the resident memory of " + session.kind().name;
        return false;
    }
    return true;
}

bool measureIdle(std::vector<ServerSession *> &sessions, std::vector<IdleResult> &results, std::string &error)
{
    if (sessions.empty())
        return true;
    const Context &context = sessions.front()->context();
    ClientSet clients(context.tls);
    for (ServerSession *session : sessions) {
        if (!openClients(*session, clients, std::size_t(context.options.clients), false, error))
            return false;
    }
    if (!drain(clients, nullptr, nowNs() + kNsPerSecond)) {
        error = "a client lost its connection";
        return false;
    }
    std::vector<std::int64_t> scheduled, ticks;
    for (ServerSession *session : sessions) {
        scheduled.push_back(session->process().scheduledNs());
        ticks.push_back(session->process().cpuNs());
    }
    const std::int64_t start = nowNs();
    if (!drain(clients, nullptr, start + context.options.idleSeconds * kNsPerSecond)) {
        error = "a client lost its connection";
        return false;
    }
    const double wallNs = double(nowNs() - start);
    results.clear();
    for (std::size_t i = 0; i < sessions.size(); ++i) {
        IdleResult idle;
        idle.cpuPercent = 100.0 * double(sessions[i]->process().scheduledNs() - scheduled[i]) / wallNs;
        idle.tickCpuPercent = 100.0 * double(sessions[i]->process().cpuNs() - ticks[i]) / wallNs;
        results.push_back(idle);
    }
    return true;
}

} // namespace bench
