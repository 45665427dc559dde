#pragma once

#include "TlsWebsocketClient.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <poll.h>
#include <string>
#include <vector>

namespace bench {

class ControlChannel;

using ClientTextHandler = std::function<void(std::size_t client, std::string_view text, const Arrival &arrival)>;

// The clients of one run, served by one thread: each pump waits in one ppoll
// for any client or the trigger's replies and reads everything that came.
class ClientSet
{
public:
    explicit ClientSet(tls_config *config)
        : m_config(config)
    {}

    // Connects and upgrades `count` more clients.
    bool open(std::size_t count, std::uint16_t port, std::int64_t deadlineNs, std::string &error);
    bool sendToAll(std::string_view text, std::int64_t deadlineNs);
    // Closes the clients from index `keep` on.
    void closeFrom(std::size_t keep);
    void closeAll() { closeFrom(0); }

    // Waits until the deadline or until something arrives, then reads it all.
    // False when a client's connection ended.
    bool pump(std::int64_t deadlineNs, ControlChannel *control, const ClientTextHandler &onText);

    std::size_t size() const { return m_clients.size(); }
    TlsWebsocketClient &at(std::size_t i) { return *m_clients[i]; }
    // Time spent blocked in ppoll since the last reset: what the clients did
    // not need of their thread.
    std::int64_t waitedNs() const { return m_waitedNs; }
    void resetWaited() { m_waitedNs = 0; }
    // When the last ppoll returned: an arrival stamped later than this may
    // have waited for the thread to read the clients before it.
    std::int64_t wokeNs() const { return m_wokeNs; }

private:
    tls_config *m_config;
    std::vector<std::unique_ptr<TlsWebsocketClient>> m_clients;
    std::int64_t m_waitedNs = 0;
    std::int64_t m_wokeNs = 0;
    std::vector<pollfd> m_fds;
};

} // namespace bench
