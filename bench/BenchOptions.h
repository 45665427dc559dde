#pragma once

#include <string>

namespace bench {

// Where everything is, and how long each measure runs. The defaults are the
// ones the issue sets: 5 runs of every measure, 4 and 32 clients at 500 Hz for
// 10 s, fan-out for 10 s, 64 clients for the memory figure. Idle is 20 s a
// round, so that five rounds keep the whole run near 10 minutes.
struct BenchOptions
{
    std::string relay;     // velarelay executable
    std::string sslDir;    // its ssl/ folder: the peers serve its pair, the clients trust its velarelay-ca.crt
    std::string node;      // node executable
    std::string nodePath;  // where the `ws` module is found
    std::string wsPeer;    // bench/peers/ws/server.js
    std::string qtPeer;    // the QWebSocketServer peer executable
    std::string outDir;    // logs, sockets and the hub scenario
    std::string results;   // results.md, rewritten between its markers
    std::string only;      // comma-separated labels (relay, ws, qt); empty: all
    std::string wrapRelay; // a command line the relay runs under (a profiler), split at spaces
    std::string hook;      // run as `HOOK EVENT LABEL PID` when a measure begins and ends

    int runs = 5;
    int clients = 4;
    int wideClients = 32; // the second latency measure
    int rateHz = 500;
    int latencySeconds = 10;
    int fanoutSeconds = 10;
    int strokeSteps = 100;
    int window = 4000; // pen samples in flight at most during fan-out
    int idleSeconds = 20;
    int memoryClients = 64;

    bool selected(const std::string &label) const;

    // Fills the options from "--name value" pairs; false with a message on error.
    // "--quick" shortens the defaults wherever it stands; numbers given beside it win.
    bool parse(int argc, char **argv, std::string &error);
    // Shortens every timed measure, for trying the benchmark itself out.
    void makeQuick();
};

} // namespace bench
