#pragma once

#include "Websocket_client.h"
#include "Websocket_server.h"

#include <QList>

#include <chrono>

// A WebSocket server for tests: echoes every message on the main thread and
// releases every client it hears disconnect from, as the relay's front does.
class Echo_server : public Websocket_server
{
    Q_OBJECT

public:
    explicit Echo_server(QObject *parent = nullptr);
    ~Echo_server() override { shutdown(); }

    // Starts on 127.0.0.1 with the development certificate and a free port.
    bool listen();

    QList<Websocket_client *> clients;
    std::chrono::milliseconds upgradeTimeout = Websocket_client::kDefaultUpgradeTimeout;
    bool echo = true;

signals:
    void messageReceived(QString text);
    void clientConnected();
    void clientDisconnected();

protected:
    Libressl_socket *createSocket(struct tls *ctx, int fd) override;

private slots:
    void onConnected(Websocket_client *client);
    void onReady(Websocket_client *client, std::string msg);
    void onDisconnected(Websocket_client *client);
};
