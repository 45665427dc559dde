#include "ServerProcess.h"

#include "Clock.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

extern char **environ;

namespace bench {

namespace {

std::string readFile(const std::string &path)
{
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool waitForExit(pid_t pid, std::int64_t deadlineNs)
{
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid || (done < 0 && errno == ECHILD))
            return true;
        if (nowNs() >= deadlineNs)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

} // namespace

bool ServerProcess::start(const ServerCommand &command, const std::string &logPath)
{
    stop();
    std::vector<std::string> env;
    for (char **e = environ; *e != nullptr; ++e)
        env.emplace_back(*e);
    env.insert(env.end(), command.env.begin(), command.env.end());
    std::vector<char *> argv, envp;
    for (const std::string &a : command.argv)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    for (const std::string &e : env)
        envp.push_back(const_cast<char *>(e.c_str()));
    envp.push_back(nullptr);

    const int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    m_startNs = nowNs();
    m_pid = ::fork();
    if (m_pid == 0) {
        const int null = ::open("/dev/null", O_RDONLY);
        ::dup2(null, STDIN_FILENO);
        if (log >= 0) {
            ::dup2(log, STDOUT_FILENO);
            ::dup2(log, STDERR_FILENO);
        }
        ::execvpe(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    if (log >= 0)
        ::close(log);
    return m_pid > 0;
}

void ServerProcess::stop()
{
    if (m_pid <= 0)
        return;
    ::kill(m_pid, SIGTERM);
    if (!waitForExit(m_pid, nowNs() + m_stopTimeoutNs)) {
        ::kill(m_pid, SIGKILL);
        waitForExit(m_pid, nowNs() + 5 * kNsPerSecond);
    }
    m_pid = -1;
}

bool ServerProcess::running()
{
    if (m_pid <= 0)
        return false;
    int status = 0;
    if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
        m_pid = -1;
        return false;
    }
    return true;
}

std::int64_t ServerProcess::systemCpuNs(bool withUser) const
{
    const std::string stat = readFile("/proc/" + std::to_string(m_pid) + "/stat");
    // Fields after the command name, which is in parentheses and may hold
    // spaces: state is field 3, utime 14, stime 15.
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream fields(stat.substr(close + 2));
    std::string skip;
    for (int field = 3; field < 14; ++field)
        fields >> skip;
    long long utime = 0, stime = 0;
    fields >> utime >> stime;
    return ((withUser ? utime : 0) + stime) * kNsPerSecond / ::sysconf(_SC_CLK_TCK);
}

std::int64_t ServerProcess::sumOverThreads(const std::function<std::int64_t(const std::string &)> &read) const
{
    const std::string tasks = "/proc/" + std::to_string(m_pid) + "/task";
    DIR *dir = ::opendir(tasks.c_str());
    if (dir == nullptr)
        return -1;
    std::int64_t total = 0;
    while (const dirent *entry = ::readdir(dir)) {
        if (entry->d_name[0] != '.')
            total += read(tasks + '/' + entry->d_name);
    }
    ::closedir(dir);
    return total;
}

std::int64_t ServerProcess::scheduledNs() const
{
    return sumOverThreads([](const std::string &task) {
        std::istringstream in(readFile(task + "/schedstat"));
        long long runNs = 0;
        in >> runNs;
        return std::int64_t(runNs);
    });
}

std::int64_t ServerProcess::contextSwitches() const
{
    return sumOverThreads([](const std::string &task) {
        std::istringstream status(readFile(task + "/status"));
        std::int64_t switches = 0;
        for (std::string line; std::getline(status, line);) {
            if (line.find("ctxt_switches:") != std::string::npos)
                switches += std::stoll(line.substr(line.find(':') + 1));
        }
        return switches;
    });
}

std::int64_t ServerProcess::residentKiB() const
{
    std::istringstream status(readFile("/proc/" + std::to_string(m_pid) + "/status"));
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stoll(line.substr(6));
    }
    return -1;
}

} // namespace bench
