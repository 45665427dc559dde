#include "ClientSet.h"

#include "Clock.h"
#include "ControlChannel.h"

#include <cerrno>
#include <ctime>

namespace bench {

bool ClientSet::open(std::size_t count, std::uint16_t port, std::int64_t deadlineNs, std::string &error)
{
    for (std::size_t i = 0; i < count; ++i) {
        auto client = std::make_unique<TlsWebsocketClient>(m_config);
        if (!client->connectTcp(port)) {
            error = "cannot connect to port " + std::to_string(port);
            return false;
        }
        if (!client->upgrade(port, deadlineNs, error))
            return false;
        m_clients.push_back(std::move(client));
    }
    return true;
}

bool ClientSet::sendToAll(std::string_view text, std::int64_t deadlineNs)
{
    for (auto &client : m_clients) {
        if (!client->sendText(text, deadlineNs))
            return false;
    }
    return true;
}

void ClientSet::closeFrom(std::size_t keep)
{
    while (m_clients.size() > keep)
        m_clients.pop_back();
}

bool ClientSet::pump(std::int64_t deadlineNs, ControlChannel *control, const ClientTextHandler &onText)
{
    std::vector<pollfd> &fds = m_fds;
    fds.clear();
    for (auto &client : m_clients)
        fds.push_back({client->fd(), POLLIN, 0});
    if (control != nullptr)
        fds.push_back({control->fd(), POLLIN, 0});

    const std::int64_t before = nowNs();
    const std::int64_t left = std::max<std::int64_t>(0, deadlineNs - before);
    const timespec timeout{static_cast<time_t>(left / kNsPerSecond), static_cast<long>(left % kNsPerSecond)};
    const int ready = ::ppoll(fds.data(), fds.size(), &timeout, nullptr);
    m_wokeNs = nowNs();
    m_waitedNs += m_wokeNs - before;
    if (ready < 0)
        return errno == EINTR;
    if (ready == 0)
        return true;

    bool alive = true;
    for (std::size_t i = 0; i < m_clients.size(); ++i) {
        if (fds[i].revents == 0)
            continue;
        alive = m_clients[i]->readAvailable([&onText, i](std::string_view text, const Arrival &arrival) {
            onText(i, text, arrival);
        }) && alive;
    }
    if (control != nullptr && fds.back().revents != 0)
        alive = control->readReplies() && alive;
    return alive;
}

} // namespace bench
