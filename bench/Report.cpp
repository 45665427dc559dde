#include "Report.h"

#include "Statistics.h"

#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>

namespace bench {

namespace {

const char *const kBegin = "<!-- latest-run:begin -->";
const char *const kEnd = "<!-- latest-run:end -->";

// The judgements of the issue, made on one run of the benchmark.
constexpr double kP99LimitMs = 0.3;
constexpr double kWorstP99Factor = 2.0;   // the relay's worst run against its own median
constexpr double kFanoutRatio = 1.2;      // the relay's median against QWebSocketServer's median
constexpr double kWorstFanoutRatio = 1.0; // the relay's worst run against the same
constexpr int kRunsForVerdicts = 5;

std::string fixed(double value, int decimals)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

template <typename T, typename Field>
Spread spread(const std::vector<T> &runs, Field field)
{
    std::vector<double> values;
    for (const T &run : runs)
        values.push_back(double(field(run)));
    return spreadOf(values);
}

Spread scaled(Spread s, double factor)
{
    s.median *= factor;
    s.min *= factor;
    s.max *= factor;
    return s;
}

// "median (least–most)"; the median alone for one run, "–" for none.
std::string show(const Spread &s, int decimals)
{
    if (s.count == 0)
        return "–";
    std::string text = fixed(s.median, decimals);
    if (s.count > 1)
        text += " (" + fixed(s.min, decimals) + "–" + fixed(s.max, decimals) + ")";
    return text;
}

std::string verdict(std::optional<bool> met)
{
    return !met ? "not judged" : *met ? "met" : "**missed**";
}

const ServerResults *find(const std::vector<ServerResults> &servers, const std::string &label)
{
    for (const ServerResults &s : servers) {
        if (s.label == label && !s.latency.empty())
            return &s;
    }
    return nullptr;
}

Spread p99Of(const std::vector<LatencyResult> &runs)
{
    return spread(runs, [](const LatencyResult &r) { return r.p99Ms; });
}

Spread perCpuSecondOf(const ServerResults &s)
{
    return spread(s.fanout, [](const FanoutResult &r) { return r.framesPerCpuSecond; });
}

Spread residentMBOf(const ServerResults &s)
{
    return spread(s.memory, [](const MemoryResult &r) { return double(r.fullKiB) * 1024.0 / 1e6; });
}

class Table
{
public:
    // Text in the first `leftColumns` columns, figures to the right.
    explicit Table(std::vector<std::string> header, std::size_t leftColumns = 1)
        : m_columns(header.size())
        , m_left(leftColumns)
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
                m_text << (i < m_left ? "---|" : "---:|");
            m_text << '\n';
        }
    }
    std::string text() const { return m_text.str() + '\n'; }

private:
    std::size_t m_columns;
    std::size_t m_left;
    int m_rows = 0;
    std::ostringstream m_text;
};

std::string latencyTable(const std::vector<ServerResults> &servers, std::vector<LatencyResult> ServerResults::*runs)
{
    using L = LatencyResult;
    Table table({"server", "p50 ms", "p99 ms", "p99.9 ms", "max ms", "missing", "server CPU % of a core",
                 "in the socket: p50 ms", "p99 ms"});
    for (const ServerResults &s : servers) {
        const std::vector<L> &r = s.*runs;
        table.row({s.name, show(spread(r, [](const L &l) { return l.p50Ms; }), 3), show(p99Of(r), 3),
                   show(spread(r, [](const L &l) { return l.p999Ms; }), 3),
                   show(spread(r, [](const L &l) { return l.maxMs; }), 3),
                   show(spread(r, [](const L &l) { return l.missing; }), 0),
                   show(spread(r, [](const L &l) { return l.serverCpuPercent; }), 1),
                   show(spread(r, [](const L &l) { return l.socketP50Ms; }), 3),
                   show(spread(r, [](const L &l) { return l.socketP99Ms; }), 3)});
    }
    return table.text();
}

// The rows of the judgements, each with the figure, the rule and
// what this run measured.
std::string verdictTable(const BenchOptions &options, const std::vector<ServerResults> &servers)
{
    const ServerResults *relay = find(servers, "relay");
    const ServerResults *qt = find(servers, "qt");
    std::ostringstream out;
    out << "**Verdicts** (velarelay against the rules of the issue, from this run alone";
    if (options.runs < kRunsForVerdicts)
        out << "; fewer than " << kRunsForVerdicts << " runs, so only indicative";
    out << "):\n\n";
    Table table({"figure", "rule", "measured", "verdict"}, 4);
    const std::string few = std::to_string(options.clients) + " clients";
    const std::string many = std::to_string(options.wideClients) + " clients";
    if (relay == nullptr) {
        // Left out on purpose is not judged; asked for and failed is missed.
        table.row({"every rule", "needs velarelay's figures", "velarelay not measured",
                   verdict(options.selected("relay") ? std::optional<bool>(false) : std::nullopt)});
        return out.str() + table.text();
    }
    const std::string qtMissing = "QWebSocketServer not measured";

    const Spread p99 = p99Of(relay->latency);
    table.row({"p99, " + few + ": velarelay's median", "≤ " + fixed(kP99LimitMs, 1) + " ms",
               fixed(p99.median, 3) + " ms", verdict(p99.median <= kP99LimitMs)});
    if (qt != nullptr) {
        const double qtP99 = p99Of(qt->latency).median;
        table.row({"p99, " + few + ": velarelay's median", "≤ QWebSocketServer's median",
                   fixed(p99.median, 3) + " ms against " + fixed(qtP99, 3) + " ms", verdict(p99.median <= qtP99)});
    } else {
        table.row(
            {"p99, " + few + ": velarelay's median", "≤ QWebSocketServer's median", qtMissing, verdict(std::nullopt)});
    }
    table.row({"p99, " + few + ": velarelay's worst run", "≤ " + fixed(kWorstP99Factor, 0) + "× its median",
               fixed(p99.max, 3) + " ms = " + fixed(p99.median > 0 ? p99.max / p99.median : 0, 2) + "×",
               verdict(p99.max <= kWorstP99Factor * p99.median)});

    const Spread perCpu = perCpuSecondOf(*relay);
    const double qtPerCpu = qt != nullptr ? perCpuSecondOf(*qt).median : 0;
    const auto ratio = [qtPerCpu](double value) { return qtPerCpu > 0 ? value / qtPerCpu : 0; };
    const auto judged = [qtPerCpu](bool met) { return qtPerCpu > 0 ? std::optional<bool>(met) : std::nullopt; };
    const auto measured = [&](double value, bool withQt) {
        const std::string text = fixed(value / 1e6, 2) + " M";
        if (qtPerCpu <= 0)
            return text + " (" + qtMissing + ")";
        return text + " = " + fixed(ratio(value), 2) + "×"
            + (withQt ? " against " + fixed(qtPerCpu / 1e6, 2) + " M" : std::string());
    };
    table.row({"frames per CPU s: velarelay's median", "≥ " + fixed(kFanoutRatio, 1) + "× QWebSocketServer's median",
               measured(perCpu.median, true), verdict(judged(ratio(perCpu.median) >= kFanoutRatio))});
    table.row({"frames per CPU s: velarelay's worst run",
               "≥ " + fixed(kWorstFanoutRatio, 1) + "× QWebSocketServer's median", measured(perCpu.min, false),
               verdict(judged(ratio(perCpu.min) >= kWorstFanoutRatio))});

    // Reported means every server that was asked for gave a figure in every run.
    std::string reported;
    bool allReported = true, allAsked = true;
    for (const char *label : {"relay", "ws", "qt"}) {
        if (!options.selected(label)) {
            allAsked = false;
            continue;
        }
        const ServerResults *s = nullptr;
        for (const ServerResults &candidate : servers) {
            if (candidate.label == label)
                s = &candidate;
        }
        const bool complete = s != nullptr && int(s->wideLatency.size()) == options.runs;
        allReported = allReported && complete;
        if (s != nullptr)
            reported += (reported.empty() ? "" : ", ") + s->name + " "
                + (complete ? fixed(p99Of(s->wideLatency).median, 3) + " ms" : "incomplete");
    }
    table.row({"p99, " + many, "reported for all three servers, every run", reported,
               verdict(allAsked ? std::optional<bool>(allReported)
                                : (allReported ? std::nullopt : std::optional<bool>(false)))});

    const Spread resident = residentMBOf(*relay);
    if (qt != nullptr && !qt->memory.empty()) {
        const double qtResident = residentMBOf(*qt).median;
        table.row({"resident, " + std::to_string(options.memoryClients) + " clients: velarelay's median",
                   "≤ QWebSocketServer's median",
                   fixed(resident.median, 1) + " MB against " + fixed(qtResident, 1) + " MB",
                   verdict(resident.median <= qtResident)});
    } else {
        table.row({"resident, " + std::to_string(options.memoryClients) + " clients: velarelay's median",
                   "≤ QWebSocketServer's median", qtMissing, verdict(std::nullopt)});
    }
    return out.str() + table.text();
}

} // namespace

std::string renderReport(const MachineInfo &machine, const BenchOptions &options,
                         const std::vector<ServerResults> &servers, const std::string &address, double elapsedSeconds)
{
    std::ostringstream out;
    const int elapsed = int(elapsedSeconds + 0.5);
    out << "Run of " << machine.date << " on " << machine.cpu << ", " << machine.cores << " cores, " << machine.kernel
        << ", " << machine.virtualisation << "; load average at the start " << machine.load << ". The run took "
        << elapsed / 60 << " min " << elapsed % 60 << " s.\n\n";
    out << "Every measure ran " << options.runs << " times; every figure is the median with the least and the most "
        << "run in brackets, \"median (least–most)\". Each round takes every server once, in an order shifted by "
           "one each round, then lets all of them idle together for "
        << options.idleSeconds << " s (start-up: of " << 2 * options.runs
        << " starts). Times from one monotonic clock in the benchmark process; server CPU from /proc/PID/stat "
           "(utime + stime, all threads).\n\n";
    for (const std::string &version : machine.versions)
        out << "- " << version << '\n';
    for (const ServerResults &s : servers)
        out << "- " << s.name << ": " << (s.tls.empty() ? "not reached" : s.tls)
            << (s.failure.empty() ? "" : " — failed: " + s.failure) << '\n';
    out << "- Address prefix of every message: " << address << "\n\n";

    out << verdictTable(options, servers);

    const int samples = options.rateHz * options.latencySeconds;
    for (const auto &[count, runs] : {std::pair{options.clients, &ServerResults::latency},
                                      std::pair{options.wideClients, &ServerResults::wideLatency}}) {
        out << "**Latency, " << count << " clients**, trigger to arrival at each client: pen samples at "
            << options.rateHz << " Hz for " << options.latencySeconds << " s (" << samples << " samples, "
            << samples * count
            << " arrivals a run). \"In the socket\": the same to the kernel's receive stamp on the "
               "client's socket, without the client thread's wake-up and reading.\n\n";
        out << latencyTable(servers, runs);
    }

    const ServerResults *qt = find(servers, "qt");
    const double qtPerCpu = qt != nullptr ? perCpuSecondOf(*qt).median : 0;
    out << "**Fan-out**: " << options.clients << " clients, strokes of " << options.strokeSteps + 1
        << " samples as fast as the server takes them (at most " << options.window << " samples in flight), "
        << options.fanoutSeconds << " s. Frames in millions; the ratio is each run's against QWebSocketServer's "
        << "median.\n\n";
    Table fanout({"server", "frames/s delivered, M", "server CPU µs/frame", "frames per CPU s, M",
                  "vs QWebSocketServer", "server cores busy", "of it in kernel %", "context switches/frame", "lost"});
    for (const ServerResults &s : servers) {
        using F = FanoutResult;
        const Spread perCpu = perCpuSecondOf(s);
        fanout.row({s.name, show(scaled(spread(s.fanout, [](const F &r) { return r.framesPerSecond; }), 1e-6), 2),
                    show(spread(s.fanout, [](const F &r) { return r.cpuUsPerFrame; }), 2),
                    show(scaled(perCpu, 1e-6), 2), qtPerCpu > 0 ? show(scaled(perCpu, 1 / qtPerCpu), 2) : "–",
                    show(spread(s.fanout, [](const F &r) { return r.serverCores; }), 2),
                    show(spread(s.fanout, [](const F &r) { return 100 * r.kernelShare; }), 0),
                    show(spread(s.fanout, [](const F &r) { return r.switchesPerFrame; }), 3),
                    show(spread(s.fanout, [](const F &r) { return r.lost; }), 0)});
    }
    out << fanout.text();

    out << "**Idle and footprint**: CPU over " << options.idleSeconds << " s with " << options.clients
        << " silent clients (all servers idle at the same time; scheduler run time from /proc/PID/task/*/schedstat, "
        << "and the same from clock ticks); resident memory (VmRSS) with no upgraded client (after the start-up's "
        << "client left) and with " << options.memoryClients << ", and what each of them added; start-up from fork "
        << "to an accepted TCP connection and to a first upgraded client.\n\n";
    Table idle({"server", "idle CPU % of a core", "by ticks", "resident MB, no client",
                "resident MB, " + std::to_string(options.memoryClients) + " clients", "KB per client",
                "start-up to listening ms", "to first client ms"});
    for (const ServerResults &s : servers) {
        using I = IdleResult;
        using M = MemoryResult;
        using S = StartupResult;
        idle.row({s.name, show(spread(s.idle, [](const I &r) { return r.cpuPercent; }), 3),
                  show(spread(s.idle, [](const I &r) { return r.tickCpuPercent; }), 3),
                  show(spread(s.memory, [](const M &r) { return double(r.emptyKiB) * 1024.0 / 1e6; }), 1),
                  show(residentMBOf(s), 1),
                  show(spread(s.memory, [](const M &r) { return r.perClientKiB() * 1024.0 / 1e3; }), 1),
                  show(spread(s.startups, [](const S &r) { return r.listenMs; }), 1),
                  show(spread(s.startups, [](const S &r) { return r.readyMs; }), 1)});
    }
    out << idle.text();

    out << "**The clients' own load** (one thread serves all clients and the trigger): share of its wall time spent "
           "waiting in ppoll, triggers sent more than 0.1 ms late, and the p99 of its own delay (from its wake-up to "
           "an arrival's stamp, which includes reading the clients before it), in the "
        << options.clients << "-client and the " << options.wideClients
        << "-client latency runs; its CPU as a share of one core during fan-out, and how often the fan-out trigger "
           "found its window full (the server behind).\n\n";
    Table checks({"server", "latency: client waiting %", "late triggers", "own delay p99 ms",
                  std::to_string(options.wideClients) + " clients: waiting %", "late triggers", "own delay p99 ms",
                  "fan-out: client CPU %", "client waiting %", "window full %"});
    for (const ServerResults &s : servers) {
        using L = LatencyResult;
        using F = FanoutResult;
        const auto waiting = [](const L &r) { return 100 * r.clientWaitShare; };
        const auto late = [](const L &r) { return r.lateTriggers; };
        const auto delay = [](const L &r) { return r.clientDelayP99Ms; };
        checks.row({s.name, show(spread(s.latency, waiting), 1), show(spread(s.latency, late), 0),
                    show(spread(s.latency, delay), 3), show(spread(s.wideLatency, waiting), 1),
                    show(spread(s.wideLatency, late), 0), show(spread(s.wideLatency, delay), 3),
                    show(spread(s.fanout, [](const F &r) { return 100 * r.clientCpuShare; }), 1),
                    show(spread(s.fanout, [](const F &r) { return 100 * r.clientWaitShare; }), 1),
                    show(spread(s.fanout, [](const F &r) { return 100 * r.windowFullShare; }), 1)});
    }
    out << checks.text();

    out << "**Every run** (the round's number; idle from the round's idle period; what else the machine did "
           "during the "
        << options.clients
        << "-client latency measure, in % of one core: other processes' CPU, and time stolen by the "
           "hypervisor):\n\n";
    Table runs({"server", "run", "p50 ms", "p99 ms", "p99.9 ms", "max ms", "others %", "steal %",
                "p99 ms, " + std::to_string(options.wideClients) + " clients",
                "max ms, " + std::to_string(options.wideClients) + " clients", "frames per CPU s, M", "resident MB",
                "KB per client", "idle CPU %"});
    for (const ServerResults &s : servers) {
        for (std::size_t i = 0; i < s.latency.size() || i < s.memory.size(); ++i) {
            const bool l = i < s.latency.size(), w = i < s.wideLatency.size(), f = i < s.fanout.size(),
                       m = i < s.memory.size(), d = i < s.idle.size();
            runs.row({s.name, std::to_string(i + 1), l ? fixed(s.latency[i].p50Ms, 3) : "–",
                      l ? fixed(s.latency[i].p99Ms, 3) : "–", l ? fixed(s.latency[i].p999Ms, 3) : "–",
                      l ? fixed(s.latency[i].maxMs, 3) : "–", l ? fixed(s.latency[i].otherLoadPercent, 1) : "–",
                      l ? fixed(s.latency[i].stealPercent, 1) : "–", w ? fixed(s.wideLatency[i].p99Ms, 3) : "–",
                      w ? fixed(s.wideLatency[i].maxMs, 3) : "–",
                      f ? fixed(s.fanout[i].framesPerCpuSecond / 1e6, 2) : "–",
                      m ? fixed(double(s.memory[i].fullKiB) * 1024.0 / 1e6, 1) : "–",
                      m ? fixed(s.memory[i].perClientKiB() * 1024.0 / 1e3, 1) : "–",
                      d ? fixed(s.idle[i].cpuPercent, 3) : "–"});
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
