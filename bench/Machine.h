#pragma once

#include <string>
#include <vector>

namespace bench {

// What the report says about where it ran: enough to tell two hosts apart
// when their figures differ.
struct MachineInfo
{
    std::string cpu;
    int cores = 0;
    std::string kernel;
    std::string virtualisation;        // "virtual machine (kvm)", "bare metal", …
    std::string load;                  // /proc/loadavg's three averages at the start
    std::string date;                  // UTC
    std::vector<std::string> versions; // "name version" of what was compared
};

MachineInfo describeMachine();
// The first line a command prints, trimmed; empty when it fails.
std::string firstLineOf(const std::string &command);

} // namespace bench
