#pragma once

#include <QList>
#include <QObject>
#include <QString>

class QSslConfiguration;
class QWebSocket;
class QWebSocketServer;

// A TLS WebSocket server that sends every message to every client, in the
// relay's wire form: the address, a comma, the message.
class BroadcastServer : public QObject
{
    Q_OBJECT

public:
    BroadcastServer(const QString &address, const QSslConfiguration &tls, QObject *parent = nullptr);

    bool listen(quint16 port);
    void pen(int id, int x, int y, bool tip, bool barrel);

private:
    void onNewConnection();
    void broadcast(const QString &message);

    QWebSocketServer *m_server;
    QList<QWebSocket *> m_clients;
    QString m_address;
};
