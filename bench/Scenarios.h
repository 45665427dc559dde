#pragma once

#include "BenchOptions.h"
#include "ClientSet.h"
#include "ControlChannel.h"
#include "ServerProcess.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct tls_config;

namespace bench {

// One of the servers compared: the relay or a peer.
struct ServerKind
{
    std::string name;  // as the tables show it
    std::string label; // for file names
    std::function<ServerCommand(std::uint16_t port, const std::string &controlPath)> command;
};

// What every measure shares: the options, the clients' TLS set-up, the
// relay's address (the prefix the peers copy) and the sequence numbers.
struct Context
{
    BenchOptions options;
    tls_config *tls = nullptr;
    std::string address = "127.0.0.1";
    // The control sockets: a short private folder, as a socket path has at
    // most 107 bytes.
    std::string socketDir;
    std::int64_t nextSeq = 0;

    std::int64_t takeSeqs(std::int64_t count)
    {
        const std::int64_t first = nextSeq;
        nextSeq += count;
        return first;
    }
};

struct StartupResult
{
    double listenMs = 0; // process start to an accepted TCP connection
    double readyMs = 0;  // process start to a first upgraded client
};

struct LatencyResult
{
    double p50Ms = 0;
    double p99Ms = 0;
    double p999Ms = 0;
    double maxMs = 0;
    std::int64_t arrivals = 0;
    std::int64_t missing = 0;
    // Triggers sent more than 0.1 ms after their due time: how well the
    // client thread kept the 500 Hz beat.
    std::int64_t lateTriggers = 0;
    double clientWaitShare = 0;  // of the run's wall time, spent blocked in ppoll
    double serverCpuPercent = 0; // of one core, while the samples came
    // p99 of the time from the client thread's wake-up to an arrival's stamp:
    // at most this much of a latency is the benchmark reading other clients first.
    double clientDelayP99Ms = 0;
    // The same latency to the kernel's receive stamp on the client's socket:
    // what is left once the client thread's wake-up and reading are taken out.
    double socketP50Ms = 0;
    double socketP99Ms = 0;
    // What else the machine did meanwhile, in % of one core (/proc/stat):
    // the CPU time of every other process, and the time the hypervisor kept
    // for itself. Either explains a run whose tail stands out.
    double otherLoadPercent = 0;
    double stealPercent = 0;
};

struct FanoutResult
{
    double framesPerSecond = 0;
    double cpuUsPerFrame = 0;
    double framesPerCpuSecond = 0;
    double serverCores = 0;      // server CPU time over wall time
    double kernelShare = 0;      // of the server's CPU time, spent in the kernel
    double switchesPerFrame = 0; // the server's context switches
    std::int64_t delivered = 0;
    std::int64_t lost = 0;
    double clientCpuShare = 0; // of one core
    double clientWaitShare = 0;
    // Share of the pumps that found the trigger window full: the server (or
    // the clients) were behind, not the trigger.
    double windowFullShare = 0;
};

struct MemoryResult
{
    std::int64_t emptyKiB = 0; // VmRSS with no upgraded client (the start-up's client has left)
    std::int64_t fullKiB = 0;  // and with `clients` of them
    std::size_t clients = 0;

    double perClientKiB() const { return clients > 0 ? double(fullKiB - emptyKiB) / double(clients) : 0; }
};

struct IdleResult
{
    double cpuPercent = 0;     // scheduler run time, of one core
    double tickCpuPercent = 0; // the same from utime + stime
};

// One started server with its trigger channel.
class ServerSession
{
public:
    ServerSession(const ServerKind &kind, Context &context)
        : m_kind(kind)
        , m_context(context)
    {}

    // Starts the process and times it: to an accepted TCP connection, then to
    // a first upgraded client. Then opens the trigger.
    bool start(StartupResult &startup, std::string &error);
    void stop() { m_process.stop(); }
    // Tells the hook, if there is one, that a measure begins or ends.
    void hook(const std::string &event);

    const ServerKind &kind() const { return m_kind; }
    Context &context() { return m_context; }
    std::uint16_t port() const { return m_port; }
    ServerProcess &process() { return m_process; }
    ControlChannel &control() { return m_control; }
    // The negotiated TLS version and cipher of the first client.
    const std::string &tlsDescription() const { return m_tls; }

private:
    const ServerKind &m_kind;
    Context &m_context;
    ServerProcess m_process;
    ControlChannel m_control;
    std::uint16_t m_port = 0;
    std::string m_tls;
};

// Opens clients; with `announceWindow` each tells the server a screen and a
// window covering the whole board, as the relay wants before it forwards pens.
bool openClients(ServerSession &session, ClientSet &clients, std::size_t count, bool announceWindow,
                 std::string &error);
// Triggers warm-up samples until every client got one, then a short burst;
// learns the server's address prefix on the way.
bool warmUp(ServerSession &session, ClientSet &clients, std::string &address, std::string &error);

// Pen samples at the set rate to every client; `phase` names the measure to
// the hook ("PHASE-begin", "PHASE-end").
bool measureLatency(ServerSession &session, ClientSet &clients, const std::string &phase, LatencyResult &result,
                    std::string &error);
bool measureFanout(ServerSession &session, ClientSet &clients, FanoutResult &result, std::string &error);
// VmRSS with no client, then once `count` clients are connected and upgraded.
bool measureMemory(ServerSession &session, std::size_t count, MemoryResult &result, std::string &error);
// CPU of each server over the same idle period, with silent clients each.
bool measureIdle(std::vector<ServerSession *> &sessions, std::vector<IdleResult> &results, std::string &error);

} // namespace bench
