#pragma once

#include "Send_batch.h"
#include "Websocket_server.h"

#include <QList>
#include <QSet>
#include <QString>

#include <chrono>
#include <string>

class Websocket_client;

// The relay's network front: a TLS WebSocket server on 127.0.0.1 that counts
// its upgraded clients, hands every message a client sends to the protocol
// side, and sends every outgoing message to all clients, prefixed with the
// relay's own address.
//
// Everything but createSocket runs on the thread the server lives in (the
// main thread); the client list is only ever touched there. A frame's way
// from there into each connection: docs/ARCHITECTURE.md, a pen sample's walk.
class VelaRelayServer : public Websocket_server
{
    Q_OBJECT

public:
    static constexpr quint16 DefaultPort = 9082;

    explicit VelaRelayServer(QObject *parent = nullptr);
    ~VelaRelayServer() override;

    // Takes a port text: a whole number from 1 to 65535. Anything else is
    // refused (false) and leaves the port as it was.
    bool setPort(const QString &port);
    quint16 port() const { return m_port; }
    QString address() const { return m_address; }
    // Upgraded clients that have not been dropped.
    int clientCount() const { return m_clients.size(); }

    // Listens on 127.0.0.1 with ssl/velarelay.crt and ssl/velarelay.key from
    // the current directory. Does nothing while already listening. False,
    // with the reason in startError(), when the relay cannot listen.
    bool start();
    // Closes every client; the server goes on listening.
    void stop();

public slots:
    void sendMessage(const QString &message);

signals:
    void apiMessageReceived(QString apiMessage);
    void setNumConnections(int numConnections);

protected:
    void clientConnected(Websocket_client *client) override;
    void messageReceived(Websocket_client *client, const std::string &message) override;
    void clientDisconnected(Websocket_client *client) override;

private:
    // Hands the gathered frames to every listed client.
    void flushPending();

    QList<Websocket_client *> m_clients;
    // A message that comes while the relay is quiet goes out at once. One
    // that follows another closely is gathered here, and what a burst
    // gathers is handed over at once when the events already waiting have
    // been handled: each client's thread then wakes and writes once for the
    // lot, not once per message.
    std::string m_pending;
    std::chrono::steady_clock::time_point m_lastMessage;
    // What a lone message's writes to every client leave through, together.
    Send_ring m_sendRing;
    // Clients that upgraded and have not yet reported their end, listed or
    // not: their end changes what the protocol side is told, the end of a
    // connection that never upgraded does not.
    QSet<Websocket_client *> m_upgraded;
    QString m_address;
    std::string m_prefix; // the address and "," in UTF-8, in front of every message
    quint16 m_port = DefaultPort;
};

// The address of the interface the machine would use toward the internet,
// learned from the routing table without sending anything; "127.0.0.1" when
// there is no route.
QString detectOutboundAddress();
