#include "Report.h"

#include "Statistics.h"

#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>

namespace bench {

namespace {

const char *const kBegin = "<!-- latest-run:begin -->";
const char *const kEnd = "<!-- latest-run:end -->";

// Targets of the issue.
constexpr double kLatencyP99Ms = 0.3;
constexpr double kFanoutRatio = 1.5;
constexpr double kIdlePercent = 0.1;
constexpr double kStartupMs = 50;
constexpr double kResidentMB = 15;

std::string fixed(double value, int decimals)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

template <typename T>
double medianOf(const std::vector<T> &runs, const std::function<double(const T &)> &field)
{
    std::vector<double> values;
    for (const T &run : runs)
        values.push_back(field(run));
    return median(values);
}

double residentMB(const ServerResults &s)
{
    return median(s.residentKiB) * 1024.0 / 1e6;
}

double startupMs(const ServerResults &s, bool ready)
{
    return medianOf<StartupResult>(s.startups,
                                   [ready](const StartupResult &r) { return ready ? r.readyMs : r.listenMs; });
}

double fanoutPerCpuSecond(const ServerResults &s)
{
    return medianOf<FanoutResult>(s.fanout, [](const FanoutResult &r) { return r.framesPerCpuSecond; });
}

std::string verdict(bool met)
{
    return met ? "met" : "**missed**";
}

class Table
{
public:
    explicit Table(std::vector<std::string> header)
        : m_columns(header.size())
    {
        row(std::move(header));
    }
    void row(std::vector<std::string> cells)
    {
        m_text << '|';
        for (const std::string &cell : cells)
            m_text << ' ' << cell << " |";
        m_text << '\n';
        if (m_rows++ == 0) {
            m_text << '|';
            for (std::size_t i = 0; i < m_columns; ++i)
                m_text << (i == 0 ? "---|" : "---:|");
            m_text << '\n';
        }
    }
    std::string text() const { return m_text.str() + '\n'; }

private:
    std::size_t m_columns;
    int m_rows = 0;
    std::ostringstream m_text;
};

} // namespace

std::string renderReport(const MachineInfo &machine, const BenchOptions &options,
                         const std::vector<ServerResults> &servers, const std::string &address)
{
    std::ostringstream out;
    out << "Run of " << machine.date << " on " << machine.cpu << ", " << machine.cores << " cores, " << machine.kernel
        << ".\n";
    out << "Every figure is the median of " << options.runs << " runs (start-up: of "
        << options.runs + options.startupRuns << "), the servers taken in turn. Times from one monotonic clock "
        << "in the benchmark process; server CPU from /proc/PID/stat (utime + stime, all threads).\n\n";
    for (const std::string &version : machine.versions)
        out << "- " << version << '\n';
    for (const ServerResults &s : servers)
        out << "- " << s.name << ": " << (s.tls.empty() ? "not reached" : s.tls)
            << (s.failure.empty() ? "" : " — failed: " + s.failure) << '\n';
    out << "- Address prefix of every message: " << address << "\n\n";

    out << "**Latency**, trigger to arrival at each client: " << options.clients << " clients, pen samples at "
        << options.rateHz << " Hz for " << options.latencySeconds << " s (" << options.rateHz * options.latencySeconds
        << " samples, " << options.rateHz * options.latencySeconds * options.clients << " arrivals a run).\n\n";
    Table latency({"server", "p50 ms", "p99 ms", "p99.9 ms", "max ms", "missing", "server CPU % of a core"});
    for (const ServerResults &s : servers) {
        using L = LatencyResult;
        latency.row({s.name, fixed(medianOf<L>(s.latency, [](const L &r) { return r.p50Ms; }), 3),
                     fixed(medianOf<L>(s.latency, [](const L &r) { return r.p99Ms; }), 3),
                     fixed(medianOf<L>(s.latency, [](const L &r) { return r.p999Ms; }), 3),
                     fixed(medianOf<L>(s.latency, [](const L &r) { return r.maxMs; }), 3),
                     fixed(medianOf<L>(s.latency, [](const L &r) { return double(r.missing); }), 0),
                     fixed(medianOf<L>(s.latency, [](const L &r) { return r.serverCpuPercent; }), 1)});
    }
    out << latency.text();

    const ServerResults *ws = nullptr;
    for (const ServerResults &s : servers) {
        if (s.label == "ws")
            ws = &s;
    }
    out << "**Fan-out**: " << options.clients << " clients, strokes of " << options.strokeSteps + 1
        << " samples as fast as the server takes them (at most " << options.window << " samples in flight), "
        << options.fanoutSeconds << " s.\n\n";
    Table fanout({"server", "frames/s delivered", "server CPU µs/frame", "frames per CPU s", "vs ws",
                  "server cores busy", "of it in kernel", "context switches/frame", "lost"});
    for (const ServerResults &s : servers) {
        using F = FanoutResult;
        const double perCpu = fanoutPerCpuSecond(s);
        const double wsPerCpu = ws ? fanoutPerCpuSecond(*ws) : 0;
        fanout.row({s.name, fixed(medianOf<F>(s.fanout, [](const F &r) { return r.framesPerSecond; }), 0),
                    fixed(medianOf<F>(s.fanout, [](const F &r) { return r.cpuUsPerFrame; }), 2), fixed(perCpu, 0),
                    wsPerCpu > 0 ? fixed(perCpu / wsPerCpu, 2) + "×" : "–",
                    fixed(medianOf<F>(s.fanout, [](const F &r) { return r.serverCores; }), 2),
                    fixed(100 * medianOf<F>(s.fanout, [](const F &r) { return r.kernelShare; }), 0) + " %",
                    fixed(medianOf<F>(s.fanout, [](const F &r) { return r.switchesPerFrame; }), 3),
                    fixed(medianOf<F>(s.fanout, [](const F &r) { return double(r.lost); }), 0)});
    }
    out << fanout.text();

    out << "**Idle and footprint**: CPU over " << options.idleSeconds << " s with " << options.clients
        << " silent clients (the three servers idle at the same time; scheduler run time, ticks in brackets); "
        << "resident memory with " << options.memoryClients
        << " connected clients; start-up from fork to an accepted TCP connection and to a first upgraded client.\n\n";
    Table idle({"server", "idle CPU % of a core", "resident MB, " + std::to_string(options.memoryClients) + " clients",
                "start-up to listening ms", "to first client ms"});
    for (const ServerResults &s : servers) {
        idle.row({s.name,
                  s.idleMeasured ? fixed(s.idle.cpuPercent, 3) + " (" + fixed(s.idle.tickCpuPercent, 3) + ")" : "–",
                  fixed(residentMB(s), 1), fixed(startupMs(s, false), 1), fixed(startupMs(s, true), 1)});
    }
    out << idle.text();

    if (!servers.empty() && servers.front().label == "relay") {
        const ServerResults &relay = servers.front();
        using L = LatencyResult;
        const double p99 = medianOf<L>(relay.latency, [](const L &r) { return r.p99Ms; });
        const double ratio =
            ws && fanoutPerCpuSecond(*ws) > 0 ? fanoutPerCpuSecond(relay) / fanoutPerCpuSecond(*ws) : 0;
        out << "**Targets** (" << relay.name << "):\n\n";
        Table targets({"target", "measured", "verdict"});
        targets.row({"pen sample p99 ≤ " + fixed(kLatencyP99Ms, 1) + " ms", fixed(p99, 3) + " ms",
                     verdict(p99 <= kLatencyP99Ms)});
        targets.row({"frames per CPU s ≥ " + fixed(kFanoutRatio, 1) + "× ws", fixed(ratio, 2) + "×",
                     verdict(ratio >= kFanoutRatio)});
        targets.row({"idle CPU ≤ " + fixed(kIdlePercent, 1) + " % of a core",
                     relay.idleMeasured ? fixed(relay.idle.cpuPercent, 3) + " %" : "–",
                     verdict(relay.idleMeasured && relay.idle.cpuPercent <= kIdlePercent)});
        targets.row({"start-up to listening < " + fixed(kStartupMs, 0) + " ms",
                     fixed(startupMs(relay, false), 1) + " ms", verdict(startupMs(relay, false) < kStartupMs)});
        targets.row(
            {"resident < " + fixed(kResidentMB, 0) + " MB with " + std::to_string(options.memoryClients) + " clients",
             fixed(residentMB(relay), 1) + " MB", verdict(residentMB(relay) < kResidentMB)});
        out << targets.text();
    }

    out << "**The clients' own load** (one thread serves all clients and the trigger): share of its wall time spent "
           "waiting in ppoll, its CPU as a share of one core during fan-out, triggers sent more than 0.1 ms late in "
           "the "
           "latency runs, and how often the fan-out trigger found its window full (the server behind).\n\n";
    Table checks(
        {"server", "latency: client waiting", "late triggers", "fan-out: client CPU", "client waiting", "window full"});
    for (const ServerResults &s : servers) {
        using L = LatencyResult;
        using F = FanoutResult;
        checks.row({s.name, fixed(100 * medianOf<L>(s.latency, [](const L &r) { return r.clientWaitShare; }), 1) + " %",
                    fixed(medianOf<L>(s.latency, [](const L &r) { return double(r.lateTriggers); }), 0),
                    fixed(100 * medianOf<F>(s.fanout, [](const F &r) { return r.clientCpuShare; }), 1) + " %",
                    fixed(100 * medianOf<F>(s.fanout, [](const F &r) { return r.clientWaitShare; }), 1) + " %",
                    fixed(100 * medianOf<F>(s.fanout, [](const F &r) { return r.windowFullShare; }), 1) + " %"});
    }
    out << checks.text();

    out << "**Every run**:\n\n";
    Table runs({"server", "run", "p50 ms", "p99 ms", "p99.9 ms", "max ms", "frames/s", "CPU µs/frame", "resident MB",
                "listening ms"});
    for (const ServerResults &s : servers) {
        for (std::size_t i = 0; i < s.latency.size() || i < s.fanout.size(); ++i) {
            const bool l = i < s.latency.size(), f = i < s.fanout.size();
            runs.row({s.name, std::to_string(i + 1), l ? fixed(s.latency[i].p50Ms, 3) : "–",
                      l ? fixed(s.latency[i].p99Ms, 3) : "–", l ? fixed(s.latency[i].p999Ms, 3) : "–",
                      l ? fixed(s.latency[i].maxMs, 3) : "–", f ? fixed(s.fanout[i].framesPerSecond, 0) : "–",
                      f ? fixed(s.fanout[i].cpuUsPerFrame, 2) : "–",
                      i < s.residentKiB.size() ? fixed(s.residentKiB[i] * 1024.0 / 1e6, 1) : "–",
                      i < s.startups.size() ? fixed(s.startups[i].listenMs, 1) : "–"});
        }
    }
    out << runs.text();
    return out.str();
}

bool updateResultsFile(const std::string &path, const std::string &report)
{
    std::string text;
    {
        std::ifstream in(path);
        std::ostringstream all;
        all << in.rdbuf();
        text = all.str();
    }
    const std::string block = std::string(kBegin) + "\n" + report + kEnd;
    const std::size_t begin = text.find(kBegin);
    const std::size_t end = text.find(kEnd);
    if (begin != std::string::npos && end != std::string::npos && end > begin)
        text.replace(begin, end + std::string(kEnd).size() - begin, block);
    else
        text += (text.empty() || text.back() == '\n' ? "" : "\n") + block + "\n";
    std::ofstream out(path, std::ios::trunc);
    out << text;
    return bool(out);
}

} // namespace bench
