#include "ControlClient.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

ControlClient::~ControlClient()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool ControlClient::connectTo(const std::string &path, std::string *error)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        *error = "the socket path is empty or too long";
        return false;
    }
    std::memcpy(address.sun_path, path.data(), path.size());
    m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0 || ::connect(m_fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        *error = std::strerror(errno);
        return false;
    }
    return true;
}

bool ControlClient::readLine(std::string *line)
{
    for (;;) {
        const size_t end = m_buffer.find('\n');
        if (end != std::string::npos) {
            line->assign(m_buffer, 0, end);
            m_buffer.erase(0, end + 1);
            return true;
        }
        char chunk[65536];
        const ssize_t got = ::recv(m_fd, chunk, sizeof chunk, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        m_buffer.append(chunk, static_cast<size_t>(got));
    }
}

bool ControlClient::command(const std::string &line, std::vector<std::string> *reply)
{
    const std::string out = line + '\n';
    size_t sent = 0;
    while (sent < out.size()) {
        const ssize_t n = ::send(m_fd, out.data() + sent, out.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        sent += static_cast<size_t>(n);
    }
    reply->clear();
    std::string first;
    if (!readLine(&first))
        return false;
    reply->push_back(first);
    // Only "calls" answers with more than one line: "ok N", then N lines.
    const size_t start = line.find_first_not_of(' ');
    const bool isCalls = start != std::string::npos && line.compare(start, 5, "calls") == 0
        && line.find_first_not_of(' ', start + 5) == std::string::npos;
    if (!isCalls || first.compare(0, 3, "ok ") != 0)
        return true;
    long more = std::strtol(first.c_str() + 3, nullptr, 10);
    for (std::string next; more > 0; --more) {
        if (!readLine(&next))
            return false;
        reply->push_back(next);
    }
    return true;
}
