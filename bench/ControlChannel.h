#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace bench {

// The trigger: a client of a server's UNIX control socket (the hub
// simulator's for the relay, the peers' own). One command per line, one
// reply line per command. Commands go out without waiting for replies;
// replies are counted as they come.
class ControlChannel
{
public:
    ControlChannel() = default;
    ~ControlChannel();
    ControlChannel(const ControlChannel &) = delete;
    ControlChannel &operator=(const ControlChannel &) = delete;

    // Retries until the socket exists and accepts, or the deadline passes.
    bool open(const std::string &path, std::int64_t deadlineNs);
    void close();
    // Writes one whole line (with its LF); false when the socket failed.
    bool send(std::string_view line);
    // Reads the replies that have arrived; false when the socket ended.
    bool readReplies();
    // Waits until every command sent so far has its reply.
    bool waitForReplies(std::int64_t deadlineNs);

    int fd() const { return m_fd; }
    std::int64_t pending() const { return m_sent - m_replies; }
    std::int64_t errors() const { return m_errors; }
    const std::string &lastError() const { return m_lastError; }

private:
    int m_fd = -1;
    std::int64_t m_sent = 0;
    std::int64_t m_replies = 0;
    std::int64_t m_errors = 0;
    std::string m_partial;
    std::string m_lastError;
};

} // namespace bench
