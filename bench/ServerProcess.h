#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace bench {

// How to start one server under test.
struct ServerCommand
{
    std::vector<std::string> argv;
    std::vector<std::string> env; // "NAME=value", added to the benchmark's own
};

// A server process the benchmark started, with what /proc tells about it.
// Output goes to a log file. Stopping is SIGTERM, then SIGKILL after 5 s.
class ServerProcess
{
public:
    ServerProcess() = default;
    ~ServerProcess() { stop(); }
    ServerProcess(const ServerProcess &) = delete;
    ServerProcess &operator=(const ServerProcess &) = delete;

    bool start(const ServerCommand &command, const std::string &logPath);
    void stop();
    // How long stop() waits after SIGTERM; a profiler writing its data needs longer.
    void setStopTimeoutNs(std::int64_t ns) { m_stopTimeoutNs = ns; }
    // False once the process has ended.
    bool running();

    pid_t pid() const { return m_pid; }
    // The monotonic time just before the fork.
    std::int64_t startNs() const { return m_startNs; }

    // utime + stime of every thread, dead ones included (/proc/PID/stat),
    // in nanoseconds; the kernel counts it in clock ticks.
    std::int64_t cpuNs() const { return systemCpuNs(true); }
    // stime alone: the kernel's share (system calls, wake-ups).
    std::int64_t kernelCpuNs() const { return systemCpuNs(false); }
    // The scheduler's exact run time of the threads alive now
    // (/proc/PID/task/*/schedstat), for the idle measure where ticks are coarse.
    std::int64_t scheduledNs() const;
    // Context switches, voluntary or not, of the threads alive now.
    std::int64_t contextSwitches() const;
    // VmRSS of /proc/PID/status.
    std::int64_t residentKiB() const;

private:
    std::int64_t systemCpuNs(bool withUser) const;
    std::int64_t sumOverThreads(const std::function<std::int64_t(const std::string &)> &read) const;

    pid_t m_pid = -1;
    std::int64_t m_startNs = 0;
    std::int64_t m_stopTimeoutNs = 5'000'000'000;
};

} // namespace bench
