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
    std::vector<double> residentKiB;
    std::vector<LatencyResult> latency;
    std::vector<FanoutResult> fanout;
    bool idleMeasured = false;
    IdleResult idle;
};

// The tables, as Markdown: medians of the runs, the targets, the checks on
// the clients, and every run's own figures.
std::string renderReport(const MachineInfo &machine, const BenchOptions &options,
                         const std::vector<ServerResults> &servers, const std::string &address);
// Puts the report between the markers of the results file (adding them at
// the end when missing), keeping the text around them.
bool updateResultsFile(const std::string &path, const std::string &report);

} // namespace bench
