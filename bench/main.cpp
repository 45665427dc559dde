// Benchmarks the relay side by side with two broadcast servers doing the same
// job (Node's `ws` and Qt's QWebSocketServer, both over TLS), on this machine
// and in this run: latency of a pen sample to every client, fan-out per CPU
// second, idle cost, memory and start-up. Only 127.0.0.1 is ever used, and
// every step is bounded in time.

#include "BenchOptions.h"
#include "Clock.h"
#include "Machine.h"
#include "Report.h"
#include "Scenarios.h"

#include <sys/prctl.h>
#include <sys/stat.h>
#include <tls.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>

using namespace bench;

namespace {

// When the benchmark began: progress lines and the report say how long it took.
std::int64_t startedNs()
{
    static const std::int64_t started = nowNs();
    return started;
}

void progress(const std::string &line)
{
    const std::int64_t seconds = (nowNs() - startedNs()) / kNsPerSecond;
    std::fprintf(stderr, "bench [%lld:%02lld]: %s\n", static_cast<long long>(seconds / 60),
                 static_cast<long long>(seconds % 60), line.c_str());
}

std::vector<ServerKind> serverKinds(const Context &context)
{
    const BenchOptions &o = context.options;
    const std::string cert = o.sslDir + "/velarelay.crt";
    const std::string key = o.sslDir + "/velarelay.key";
    const std::string scenario = o.outDir + "/bench.scenario";
    // The peers get the relay's address so that their messages are the same
    // length; it is read when each one starts.
    const auto peerArgs = [&context, cert, key](std::uint16_t port, const std::string &control) {
        return std::vector<std::string>{
            "--port", std::to_string(port), "--control",    control, "--cert", cert, "--key",
            key,      "--address",          context.address};
    };
    std::vector<ServerKind> all, kinds;
    all.push_back({"velarelay", "relay", [o, scenario](std::uint16_t port, const std::string &control) {
                       ServerCommand command;
                       std::istringstream wrapper(o.wrapRelay);
                       for (std::string word; wrapper >> word;)
                           command.argv.push_back(word);
                       command.argv.insert(command.argv.end(), {o.relay, "--port", std::to_string(port)});
                       command.env = {"VELASYSTEM_SCENARIO=" + scenario, "VELASYSTEM_CONTROL=" + control};
                       return command;
                   }});
    all.push_back({"ws (Node)", "ws", [o, peerArgs](std::uint16_t port, const std::string &control) {
                       ServerCommand command{{o.node, o.wsPeer}, {"NODE_PATH=" + o.nodePath}};
                       for (std::string &arg : peerArgs(port, control))
                           command.argv.push_back(std::move(arg));
                       return command;
                   }});
    all.push_back({"QWebSocketServer", "qt", [o, peerArgs](std::uint16_t port, const std::string &control) {
                       ServerCommand command{{o.qtPeer}, {}};
                       for (std::string &arg : peerArgs(port, control))
                           command.argv.push_back(std::move(arg));
                       return command;
                   }});
    for (ServerKind &kind : all) {
        if (o.selected(kind.label))
            kinds.push_back(std::move(kind));
    }
    return kinds;
}

// One client, a warm-up: proves the whole road works, warms the file cache,
// and learns the TLS parameters and the address prefix.
void probe(const ServerKind &kind, Context &context, ServerResults &results)
{
    ServerSession session(kind, context);
    StartupResult startup;
    ClientSet clients(context.tls);
    std::string error, address;
    if (!session.start(startup, error) || !openClients(session, clients, 1, true, error)
        || !warmUp(session, clients, address, error)) {
        results.failure = error;
        progress(kind.name + ": " + error);
        return;
    }
    results.tls = session.tlsDescription();
    if (kind.label == "relay")
        context.address = address;
    progress(kind.name + ": works; " + results.tls);
}

bool fail(ServerResults &results, const std::string &name, const std::string &error)
{
    results.failure = error;
    progress(name + ": " + error);
    return false;
}

// One server's turn in a round: memory, latency with few and with many
// clients, fan-out, all on one start of the server.
bool round(const ServerKind &kind, Context &context, ServerResults &results, int run)
{
    const BenchOptions &o = context.options;
    const std::string name = kind.name + " run " + std::to_string(run);
    ServerSession session(kind, context);
    StartupResult startup;
    MemoryResult memory;
    std::string error, address;
    if (!session.start(startup, error) || !measureMemory(session, std::size_t(o.memoryClients), memory, error))
        return fail(results, name, error);
    results.startups.push_back(startup);
    results.memory.push_back(memory);

    ClientSet clients(context.tls);
    LatencyResult latency, wide;
    FanoutResult fanout;
    if (!openClients(session, clients, std::size_t(o.clients), true, error) || !warmUp(session, clients, address, error)
        || !measureLatency(session, clients, "latency", latency, error))
        return fail(results, name, error);
    results.latency.push_back(latency);
    // The many-client measure before fan-out, so that both latency measures
    // find the server as the warm-up left it, not after a flood.
    if (!openClients(session, clients, std::size_t(std::max(0, o.wideClients - o.clients)), true, error)
        || !warmUp(session, clients, address, error) || !measureLatency(session, clients, "wide-latency", wide, error))
        return fail(results, name, error);
    results.wideLatency.push_back(wide);
    clients.closeFrom(std::size_t(o.clients));
    if (!warmUp(session, clients, address, error) || !measureFanout(session, clients, fanout, error))
        return fail(results, name, error);
    results.fanout.push_back(fanout);
    char line[320];
    std::snprintf(line, sizeof line,
                  "start %.1f ms, %.1f MB (%.0f KB a client); p99 %.3f ms, with %d clients %.3f ms; "
                  "fan-out %.0f frames/s, %.0f per CPU s",
                  startup.listenMs, double(memory.fullKiB) * 1024 / 1e6, memory.perClientKiB() * 1024 / 1e3,
                  latency.p99Ms, o.wideClients, wide.p99Ms, fanout.framesPerSecond, fanout.framesPerCpuSecond);
    progress(name + ": " + line);
    return true;
}

// Every server that still works, idle at the same time with silent clients;
// each start is one more start-up figure.
void idleRound(const std::vector<ServerKind> &kinds, Context &context, std::vector<ServerResults> &results)
{
    std::vector<std::unique_ptr<ServerSession>> sessions;
    std::vector<ServerSession *> started;
    std::vector<std::size_t> index;
    std::string error;
    for (std::size_t k = 0; k < kinds.size(); ++k) {
        if (!results[k].failure.empty())
            continue;
        StartupResult startup;
        auto session = std::make_unique<ServerSession>(kinds[k], context);
        if (!session->start(startup, error)) {
            progress(kinds[k].name + " (idle): " + error);
            continue;
        }
        results[k].startups.push_back(startup);
        started.push_back(session.get());
        index.push_back(k);
        sessions.push_back(std::move(session));
    }
    std::vector<IdleResult> idle;
    if (!measureIdle(started, idle, error)) {
        progress("idle: " + error);
        return;
    }
    for (std::size_t i = 0; i < idle.size(); ++i)
        results[index[i]].idle.push_back(idle[i]);
}

} // namespace

int main(int argc, char **argv)
{
    startedNs();
    Context context;
    std::string error;
    if (!context.options.parse(argc, argv, error)) {
        std::fprintf(stderr, "velarelay-bench: %s\n", error.c_str());
        return 2;
    }
    const BenchOptions &options = context.options;
    // The trigger keeps a 2 ms beat: timers fire when due, not up to 50 µs late.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    ::mkdir(options.outDir.c_str(), 0755);
    std::ofstream(options.outDir + "/bench.scenario") << "hub add 0 pens=4 touches=10 erasers=2\n";
    char socketDir[] = "/tmp/velarelay-bench-XXXXXX";
    if (::mkdtemp(socketDir) == nullptr) {
        std::fprintf(stderr, "velarelay-bench: cannot make a folder for the control sockets\n");
        return 2;
    }
    context.socketDir = socketDir;

    if (tls_init() != 0 || (context.tls = tls_config_new()) == nullptr
        || tls_config_set_ca_file(context.tls, (options.sslDir + "/velarelay-ca.crt").c_str()) != 0) {
        std::fprintf(stderr, "velarelay-bench: cannot set up TLS for the clients\n");
        return 2;
    }

    MachineInfo machine = describeMachine();
    const std::string nodeEnv = "NODE_PATH=" + options.nodePath + ' ';
    machine.versions = {"Node " + firstLineOf(options.node + " --version") + ", ws "
                            + firstLineOf(nodeEnv + options.node + " -p \"require('ws/package.json').version\""),
                        "Qt " + firstLineOf(options.qtPeer + " --version"), firstLineOf("openssl version")};

    const std::vector<ServerKind> kinds = serverKinds(context);
    std::vector<ServerResults> results(kinds.size());
    for (std::size_t k = 0; k < kinds.size(); ++k) {
        std::ofstream(options.outDir + '/' + kinds[k].label + ".log", std::ios::trunc);
        results[k].name = kinds[k].name;
        results[k].label = kinds[k].label;
        probe(kinds[k], context, results[k]);
    }

    // Servers in turn, the order shifted each round, so slow phases of the
    // shared machine spread over all of them; then all of them idle together.
    for (int run = 1; run <= options.runs; ++run) {
        for (std::size_t i = 0; i < kinds.size(); ++i) {
            const std::size_t k = (i + std::size_t(run) - 1) % kinds.size();
            if (results[k].failure.empty())
                round(kinds[k], context, results[k], run);
        }
        progress("round " + std::to_string(run) + ": idle for " + std::to_string(options.idleSeconds) + " s");
        idleRound(kinds, context, results);
    }

    const double elapsed = double(nowNs() - startedNs()) / double(kNsPerSecond);
    const std::string report = renderReport(machine, options, results, context.address, elapsed);
    std::cout << report << std::flush;
    if (!updateResultsFile(options.results, report))
        std::fprintf(stderr, "velarelay-bench: cannot write %s\n", options.results.c_str());
    tls_config_free(context.tls);
    for (const ServerKind &kind : kinds)
        ::unlink((context.socketDir + '/' + kind.label + ".sock").c_str());
    ::rmdir(context.socketDir.c_str());
    for (const ServerResults &r : results) {
        if (!r.failure.empty())
            return 1;
    }
    return 0;
}
