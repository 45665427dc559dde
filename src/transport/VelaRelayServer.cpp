#include "VelaRelayServer.h"

#include "RelayMessages.h"
#include "Websocket_client.h"
#include "Websocket_frame.h"

#include <QDir>
#include <QFileInfo>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

QString detectOutboundAddress()
{
    QString address = QStringLiteral("127.0.0.1");
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return address;
    // Connecting a UDP socket only selects the route: no packet leaves. The
    // target is a documentation address (RFC 5737) that the default route
    // covers and no real host owns.
    sockaddr_in target = {};
    target.sin_family = AF_INET;
    target.sin_port = htons(53);
    ::inet_pton(AF_INET, "203.0.113.1", &target.sin_addr);
    sockaddr_in local = {};
    socklen_t length = sizeof local;
    if (::connect(fd, reinterpret_cast<sockaddr *>(&target), sizeof target) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr *>(&local), &length) == 0
        && local.sin_addr.s_addr != htonl(INADDR_ANY)) {
        char text[INET_ADDRSTRLEN] = {};
        if (::inet_ntop(AF_INET, &local.sin_addr, text, sizeof text))
            address = QString::fromLatin1(text);
    }
    ::close(fd);
    return address;
}

VelaRelayServer::VelaRelayServer(QObject *parent)
    : Websocket_server(parent)
    , m_address(detectOutboundAddress())
    , m_prefix(RelayMessages::addressPrefix(m_address).toStdString())
{}

VelaRelayServer::~VelaRelayServer()
{
    // No connection may be created or report to a half-destroyed server.
    shutdown();
}

bool VelaRelayServer::setPort(const QString &port)
{
    bool ok = false;
    const uint value = port.toUInt(&ok, 10);
    if (!ok || value < 1 || value > 65535)
        return false;
    m_port = static_cast<quint16>(value);
    return true;
}

bool VelaRelayServer::start()
{
    // Named in full, links resolved, so that a line about a missing or bad
    // file tells the operator where it was looked for.
    const QString ssl = QFileInfo(QStringLiteral("ssl")).canonicalFilePath();
    const QString folder = ssl.isEmpty() ? QDir::current().absoluteFilePath(QStringLiteral("ssl")) : ssl;
    setCertificateFile(QDir(folder).filePath(QStringLiteral("velarelay.crt")).toStdString());
    setKeyFile(QDir(folder).filePath(QStringLiteral("velarelay.key")).toStdString());
    return Websocket_server::start("127.0.0.1", m_port);
}

void VelaRelayServer::stop()
{
    // What was sent before the stop still reaches the clients.
    flushPending();
    // Out of the list first: only listed clients are ever sent to, and a
    // closed client may be destroyed once it has ended.
    const QList<Websocket_client *> clients = std::exchange(m_clients, {});
    for (Websocket_client *client : clients)
        client->close();
    emit setNumConnections(0);
}

namespace {

// Messages closer together than this count as a burst. Pen samples of one
// pen come several milliseconds apart.
constexpr std::chrono::microseconds kBurstGap{1000};
// A burst that gathers more than this hands it over at once, so the clients'
// threads work on it while the burst goes on, and no client's queue takes a
// long burst in one piece.
constexpr std::size_t kMaxPendingBytes = 64 * 1024;

} // namespace

void VelaRelayServer::sendMessage(const QString &message)
{
    if (m_clients.isEmpty())
        return;
    const QByteArray text = message.toUtf8();
    const std::string_view body(text.constData(), static_cast<std::size_t>(text.size()));
    const auto now = std::chrono::steady_clock::now();
    const bool quiet = now - m_lastMessage >= kBurstGap;
    m_lastMessage = now;
    if (quiet && m_pending.empty()) {
        std::string frame;
        Websocket_frame::appendText(frame, m_prefix, body);
        const Send_batch batch(m_sendRing);
        for (Websocket_client *client : qAsConst(m_clients))
            client->write(frame);
        return;
    }
    // Queued behind the events already waiting, the flush comes once they
    // have all been handled.
    if (m_pending.empty())
        QMetaObject::invokeMethod(this, &VelaRelayServer::flushPending, Qt::QueuedConnection);
    Websocket_frame::appendText(m_pending, m_prefix, body);
    if (m_pending.size() >= kMaxPendingBytes)
        flushPending();
}

void VelaRelayServer::flushPending()
{
    if (m_pending.empty())
        return;
    for (Websocket_client *client : qAsConst(m_clients))
        client->write(m_pending);
    m_pending.clear();
}

void VelaRelayServer::messageReceived(Websocket_client *client, const std::string &message)
{
    // A client dropped by stop() may still have messages on the way; it no
    // longer speaks for anyone.
    if (m_clients.contains(client))
        emit apiMessageReceived(QString::fromStdString(message));
}

void VelaRelayServer::clientConnected(Websocket_client *client)
{
    // Messages sent before a client joined are not for it.
    flushPending();
    m_clients.append(client);
    m_upgraded.insert(client);
    client->send(RelayMessages::greeting().toStdString());
    emit setNumConnections(m_clients.size());
}

void VelaRelayServer::clientDisconnected(Websocket_client *client)
{
    flushPending();
    m_clients.removeAll(client);
    const bool upgraded = m_upgraded.remove(client);
    if (upgraded)
        emit setNumConnections(m_clients.size());
}
