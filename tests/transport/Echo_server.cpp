#include "Echo_server.h"

Echo_server::Echo_server(QObject *parent)
    : Websocket_server(parent)
{
    setCertificateFile("ssl/velarelay.crt");
    setKeyFile("ssl/velarelay.key");
}

bool Echo_server::listen()
{
    start("127.0.0.1", 0);
    return waitUntilListening(std::chrono::seconds(10));
}

Libressl_socket *Echo_server::createSocket(struct tls *ctx, int fd)
{
    auto *client = new Websocket_client(this, ctx, fd);
    client->setUpgradeTimeout(upgradeTimeout);
    connect(client, &Websocket_client::websocket_connected, this, [this](Websocket_client *c) {
        clients.append(c);
        emit clientConnected();
    });
    connect(client, &Websocket_client::websocket_ready, this, [this](Websocket_client *c, const std::string &msg) {
        if (echo)
            c->send(msg);
        emit messageReceived(QString::fromStdString(msg));
    });
    connect(client, &Websocket_client::websocket_disconnected, this, [this](Websocket_client *c) {
        clients.removeAll(c);
        c->close();
        emit clientDisconnected();
    });
    return client;
}
