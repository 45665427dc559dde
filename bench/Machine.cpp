#include "Machine.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <fstream>

namespace bench {

namespace {

// A guest sees the "hypervisor" CPU flag; systemd-detect-virt names the
// hypervisor and, apart from it, a container around the benchmark.
std::string describeVirtualisation(bool hypervisorFlag)
{
    const std::string vm = firstLineOf("systemd-detect-virt --vm");
    const std::string container = firstLineOf("systemd-detect-virt --container");
    std::string text;
    if (!vm.empty() && vm != "none")
        text = "virtual machine (" + vm + ")";
    else if (hypervisorFlag)
        text = "virtual machine";
    else if (vm == "none")
        text = "bare metal";
    else
        text = "unknown whether virtual";
    if (!container.empty() && container != "none")
        text += ", in a container (" + container + ")";
    return text;
}

} // namespace

MachineInfo describeMachine()
{
    MachineInfo info;
    std::ifstream cpuinfo("/proc/cpuinfo");
    bool hypervisor = false;
    for (std::string line; std::getline(cpuinfo, line);) {
        if (line.rfind("model name", 0) == 0 && info.cpu.empty())
            info.cpu = line.substr(line.find(':') + 2);
        if (line.rfind("flags", 0) == 0 && line.find(" hypervisor") != std::string::npos)
            hypervisor = true;
    }
    info.virtualisation = describeVirtualisation(hypervisor);
    std::ifstream loadavg("/proc/loadavg");
    std::string one, five, fifteen;
    if (loadavg >> one >> five >> fifteen)
        info.load = one + ' ' + five + ' ' + fifteen;
    info.cores = static_cast<int>(::sysconf(_SC_NPROCESSORS_ONLN));
    utsname name{};
    if (::uname(&name) == 0)
        info.kernel = std::string(name.sysname) + ' ' + name.release;
    const std::time_t now = std::time(nullptr);
    char date[64] = {};
    std::strftime(date, sizeof date, "%Y-%m-%d %H:%M UTC", std::gmtime(&now));
    info.date = date;
    return info;
}

std::string firstLineOf(const std::string &command)
{
    FILE *pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr)
        return {};
    char line[512] = {};
    const bool read = std::fgets(line, sizeof line, pipe) != nullptr;
    ::pclose(pipe);
    if (!read)
        return {};
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text;
}

} // namespace bench
