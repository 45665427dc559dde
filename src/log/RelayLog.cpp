#include "RelayLog.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <map>
#include <mutex>

namespace RelayLog {

namespace {

constexpr std::string_view kInfoPrefix = "VelaRelay: ";
constexpr std::string_view kDebugPrefix = "VelaRelay debug: ";

struct Window
{
    std::chrono::steady_clock::time_point start;
    int written = 0;
    long long leftOut = 0;
};

std::atomic<bool> g_debug{false};
std::atomic<int> g_fd{2};
std::atomic<Clock> g_clock{nullptr};

// Guards the windows and orders the writes, so a summary never overtakes the
// lines it counts.
std::mutex g_mutex;
std::map<std::string, Window, std::less<>> g_windows;

std::chrono::steady_clock::time_point now()
{
    const Clock clock = g_clock.load();
    return clock ? clock() : std::chrono::steady_clock::now();
}

void writeLocked(std::string_view prefix, std::string_view text)
{
    std::string line;
    line.reserve(prefix.size() + text.size() + 1);
    line.append(prefix).append(text);
    // A line is one line: a text that carries a line break of its own (a
    // peer's bytes quoted in it, say) must not start a second one.
    for (char &c : line) {
        if (c == '\n' || c == '\r')
            c = ' ';
    }
    line += '\n';
    const int fd = g_fd.load();
    std::size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(fd, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return; // nowhere to log to; the relay goes on
        done += static_cast<std::size_t>(n);
    }
}

void reportLeftOutLocked(std::string_view kind, Window &window)
{
    if (window.leftOut == 0)
        return;
    writeLocked(kInfoPrefix,
                std::to_string(window.leftOut) + " more " + std::string(kind) + " left out of the log (at most "
                    + std::to_string(kBurst) + " a second)");
    window.leftOut = 0;
}

void limited(std::string_view prefix, std::string_view kind, std::string_view text)
{
    const auto at = now();
    std::lock_guard<std::mutex> lock(g_mutex);
    auto found = g_windows.find(kind);
    if (found == g_windows.end())
        found = g_windows.emplace(std::string(kind), Window{at, 0, 0}).first;
    Window &window = found->second;
    if (at - window.start >= kWindow) {
        reportLeftOutLocked(kind, window);
        window.start = at;
        window.written = 0;
    }
    if (window.written >= kBurst) {
        ++window.leftOut;
        return;
    }
    ++window.written;
    writeLocked(prefix, text);
}

} // namespace

void setDebugEnabled(bool enabled)
{
    g_debug.store(enabled);
}
bool debugEnabled()
{
    return g_debug.load();
}

void info(std::string_view text)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    writeLocked(kInfoPrefix, text);
}

void debug(std::string_view text)
{
    if (!debugEnabled())
        return;
    std::lock_guard<std::mutex> lock(g_mutex);
    writeLocked(kDebugPrefix, text);
}

void repeated(std::string_view kind, std::string_view text)
{
    limited(kInfoPrefix, kind, text);
}

void repeatedDebug(std::string_view kind, std::string_view text)
{
    if (debugEnabled())
        limited(kDebugPrefix, kind, text);
}

void flush()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    for (auto &[kind, window] : g_windows)
        reportLeftOutLocked(kind, window);
}

void setClockForTesting(Clock clock)
{
    g_clock.store(clock);
}
void setDescriptorForTesting(int fd)
{
    g_fd.store(fd);
}

} // namespace RelayLog
