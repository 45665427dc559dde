#include "ControlChannel.h"

#include "Clock.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

namespace bench {

ControlChannel::~ControlChannel()
{
    close();
}

bool ControlChannel::open(const std::string &path, std::int64_t deadlineNs)
{
    close();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    for (;;) {
        m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (m_fd < 0)
            return false;
        if (::connect(m_fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0)
            break;
        ::close(m_fd);
        m_fd = -1;
        if (nowNs() >= deadlineNs)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    fcntl(m_fd, F_SETFL, fcntl(m_fd, F_GETFL) | O_NONBLOCK);
    return true;
}

void ControlChannel::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_sent = m_replies = m_errors = 0;
    m_partial.clear();
}

bool ControlChannel::send(std::string_view line)
{
    const std::int64_t deadline = nowNs() + kNsPerSecond;
    while (!line.empty()) {
        const ssize_t written = ::write(m_fd, line.data(), line.size());
        if (written > 0) {
            line.remove_prefix(static_cast<std::size_t>(written));
            continue;
        }
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0 && errno == EAGAIN) {
            // The server is behind on commands: take its replies while waiting.
            if (!readReplies())
                return false;
            pollfd fd{m_fd, POLLOUT, 0};
            if (nowNs() >= deadline || ::poll(&fd, 1, 10) < 0)
                return false;
            continue;
        }
        return false;
    }
    ++m_sent;
    return true;
}

bool ControlChannel::readReplies()
{
    char buffer[4096];
    for (;;) {
        const ssize_t received = ::read(m_fd, buffer, sizeof buffer);
        if (received > 0) {
            m_partial.append(buffer, static_cast<std::size_t>(received));
            std::size_t start = 0;
            for (std::size_t end; (end = m_partial.find('\n', start)) != std::string::npos; start = end + 1) {
                ++m_replies;
                if (m_partial.compare(start, 2, "ok") != 0) {
                    ++m_errors;
                    m_lastError = m_partial.substr(start, end - start);
                }
            }
            m_partial.erase(0, start);
            continue;
        }
        if (received < 0 && errno == EINTR)
            continue;
        return received < 0 && errno == EAGAIN;
    }
}

bool ControlChannel::waitForReplies(std::int64_t deadlineNs)
{
    while (pending() > 0) {
        if (!readReplies())
            return false;
        if (pending() == 0)
            break;
        const std::int64_t left = deadlineNs - nowNs();
        if (left <= 0)
            return false;
        pollfd fd{m_fd, POLLIN, 0};
        ::poll(&fd, 1, static_cast<int>(left / kNsPerMs + 1));
    }
    return true;
}

} // namespace bench
