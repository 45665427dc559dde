#include "BroadcastServer.h"

#include <QDateTime>
#include <QHostAddress>
#include <QTimer>
#include <QWebSocket>
#include <QWebSocketServer>

BroadcastServer::BroadcastServer(const QString &address, const QSslConfiguration &tls, QObject *parent)
    : QObject(parent)
    , m_server(new QWebSocketServer(QStringLiteral("velarelay-qt-peer"), QWebSocketServer::SecureMode, this))
    , m_address(address)
{
    m_server->setSslConfiguration(tls);
    connect(m_server, &QWebSocketServer::newConnection, this, &BroadcastServer::onNewConnection);
    auto *keepAlive = new QTimer(this);
    connect(keepAlive, &QTimer::timeout, this, [this] { broadcast(QStringLiteral("keepAlive5")); });
    keepAlive->start(5000);
}

bool BroadcastServer::listen(quint16 port)
{
    return m_server->listen(QHostAddress::LocalHost, port);
}

void BroadcastServer::pen(int id, int x, int y, bool tip, bool barrel)
{
    broadcast(QStringLiteral("pen,%1,%2,%3,%4,%5,%6")
                  .arg(id)
                  .arg(QDateTime::currentMSecsSinceEpoch())
                  .arg(x)
                  .arg(y)
                  .arg(tip ? 1 : 0)
                  .arg(barrel ? 1 : 0));
}

void BroadcastServer::onNewConnection()
{
    while (QWebSocket *client = m_server->nextPendingConnection()) {
        m_clients.append(client);
        connect(client, &QWebSocket::disconnected, this, [this, client] {
            m_clients.removeAll(client);
            client->deleteLater();
        });
        client->sendTextMessage(QStringLiteral("o"));
    }
}

void BroadcastServer::broadcast(const QString &message)
{
    const QString text = m_address + QLatin1Char(',') + message;
    for (QWebSocket *client : qAsConst(m_clients))
        client->sendTextMessage(text);
}
