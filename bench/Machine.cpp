#include "Machine.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <fstream>

namespace bench {

MachineInfo describeMachine()
{
    MachineInfo info;
    std::ifstream cpuinfo("/proc/cpuinfo");
    for (std::string line; std::getline(cpuinfo, line);) {
        if (line.rfind("model name", 0) == 0) {
            info.cpu = line.substr(line.find(':') + 2);
            break;
        }
    }
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
