#pragma once

#include "Websocket_client.h"
#include "Websocket_server.h"

#include <QList>
#include <QString>

// A WebSocket server for tests: echoes every message to its sender.
class Echo_server : public Websocket_server
{
    Q_OBJECT

public:
    explicit Echo_server(QObject *parent = nullptr);
    ~Echo_server() override { shutdown(); }

    // Starts on 127.0.0.1 with the development certificate and a free port.
    bool listen();

    QList<Websocket_client *> clients;

signals:
    void received(QString text);
    void connected();
    void disconnected();

protected:
    void clientConnected(Websocket_client *client) override;
    void messageReceived(Websocket_client *client, const std::string &message) override;
    void clientDisconnected(Websocket_client *client) override;
};
