#include "Websocket_server.h"

#include "Websocket_client.h"

#include <algorithm>
#include <vector>

Websocket_server::Websocket_server(QObject *parent)
    : Libressl_server(parent)
    , m_upgradeTimeout(Websocket_client::kDefaultUpgradeTimeout.count())
    , m_messageRate(Websocket_client::kDefaultMessageRate)
    , m_messageBurst(Websocket_client::kDefaultMessageBurst)
{
    Websocket_client::registerMetaTypes();
}

void Websocket_server::setMessageRate(double perSecond, double burst)
{
    m_messageRate.store(perSecond);
    m_messageBurst.store(burst);
}

void Websocket_server::setOriginPolicy(Origin_policy policy)
{
    auto shared = std::make_shared<const Origin_policy>(std::move(policy));
    std::lock_guard<std::mutex> lock(m_originMutex);
    m_origins = std::move(shared);
}

Libressl_socket *Websocket_server::createSocket(int fd)
{
    auto *client = new Websocket_client(this, fd);
    client->setUpgradeTimeout(std::chrono::milliseconds(m_upgradeTimeout.load()));
    client->setMessageRate(m_messageRate.load(), m_messageBurst.load());
    {
        std::lock_guard<std::mutex> lock(m_originMutex);
        client->setOriginPolicy(m_origins);
    }
    // Connected by name: a member-function-pointer connection made here, on
    // the accept thread, writes a slot object that the main thread reads when
    // the signal arrives, ordered only by Qt's internal locks, which
    // ThreadSanitizer cannot see. By name, Qt keeps only method indices.
    connect(client, SIGNAL(websocket_ready(Websocket_client *)), this, SLOT(on_websocket_ready(Websocket_client *)));
    connect(client, SIGNAL(websocket_connected(Websocket_client *)), this,
            SLOT(on_websocket_connected(Websocket_client *)));
    connect(client, SIGNAL(websocket_disconnected(Websocket_client *)), this,
            SLOT(on_websocket_disconnected(Websocket_client *)));
    connect(client, SIGNAL(http_request(Websocket_client *)), this, SLOT(on_http_request(Websocket_client *)));
    return client;
}

void Websocket_server::on_websocket_connected(Websocket_client *client)
{
    clientConnected(client);
}

void Websocket_server::on_websocket_ready(Websocket_client *client)
{
    if (std::find(m_waiting.begin(), m_waiting.end(), client) == m_waiting.end())
        m_waiting.push_back(client);
    scheduleTurn();
}

void Websocket_server::on_websocket_disconnected(Websocket_client *client)
{
    m_waiting.erase(std::remove(m_waiting.begin(), m_waiting.end(), client), m_waiting.end());
    // What a client sent before it left is carried out: its loop has ended,
    // so nothing is added any more.
    std::vector<std::string> messages;
    while (client->takeMessages(messages, Websocket_client::kMaxPendingMessages)) {
    }
    for (const std::string &message : messages)
        messageReceived(client, message);
    clientDisconnected(client);
    // Released last: from here on the clean-up thread may destroy it.
    client->close();
}

void Websocket_server::on_http_request(Websocket_client *client)
{
    Http_request request;
    if (client->takeRequest(request))
        client->answer(m_site.respond(request));
}

void Websocket_server::scheduleTurn()
{
    if (m_turnScheduled)
        return;
    m_turnScheduled = true;
    // Posted behind whatever else waits for the thread, which comes first.
    QMetaObject::invokeMethod(this, "carryOutTurn", Qt::QueuedConnection);
}

void Websocket_server::carryOutTurn()
{
    m_turnScheduled = false;
    std::vector<std::string> messages;
    for (std::size_t turns = m_waiting.size(); turns > 0 && !m_waiting.empty(); --turns) {
        Websocket_client *client = m_waiting.front();
        m_waiting.pop_front();
        messages.clear();
        if (client->takeMessages(messages, kBatch))
            m_waiting.push_back(client);
        for (const std::string &message : messages)
            messageReceived(client, message);
    }
    if (!m_waiting.empty())
        scheduleTurn();
}

void Websocket_server::onShutdown()
{
    // Every connection is gone, and the posted turn with them.
    m_waiting.clear();
    m_turnScheduled = false;
}
