#pragma once

#include "BenchOptions.h"
#include "Machine.h"
#include "Scenarios.h"

#include <string>
#include <vector>

namespace bench {

// Everything measured of one server over all runs.
struct ServerResults
{
    std::string name;
    std::string label;
    std::string failure; // the first thing that went wrong, if anything did
    std::string tls;     // negotiated version and cipher
    std::vector<StartupResult> startups;
    std::vector<MemoryResult> memory;
    std::vector<LatencyResult> latency;     // with few clients
    std::vector<LatencyResult> wideLatency; // with many
    std::vector<FanoutResult> fanout;
    std::vector<IdleResult> idle;
};

// The tables, as Markdown: every figure's median with the least and the most
// of the runs, the verdicts, the checks on the clients, and every run's own
// figures.
std::string renderReport(const MachineInfo &machine, const BenchOptions &options,
                         const std::vector<ServerResults> &servers, const std::string &address, double elapsedSeconds);
// Puts the report between the markers of the results file (adding them at
// the end when missing), keeping the text around them.
bool updateResultsFile(const std::string &path, const std::string &report);

} // namespace bench
