#include "Echo_server.h"

Echo_server::Echo_server(QObject *parent)
    : Websocket_server(parent)
{
    setCertificateFile("ssl/velarelay.crt");
    setKeyFile("ssl/velarelay.key");
}

bool Echo_server::listen()
{
    return start("127.0.0.1", 0);
}

Libressl_socket *Echo_server::createSocket(struct tls *ctx, int fd)
{
    auto *client = new Websocket_client(this, ctx, fd);
    client->setUpgradeTimeout(upgradeTimeout);
    // Connected by name, as the relay's front does, so no slot object is made
    // on the accept thread (see VelaRelayServer::createSocket).
    connect(client, SIGNAL(websocket_connected(Websocket_client *)), this, SLOT(onConnected(Websocket_client *)));
    connect(client, SIGNAL(websocket_ready(Websocket_client *, std::string)), this,
            SLOT(onReady(Websocket_client *, std::string)));
    connect(client, SIGNAL(websocket_disconnected(Websocket_client *)), this, SLOT(onDisconnected(Websocket_client *)));
    return client;
}

void Echo_server::onConnected(Websocket_client *client)
{
    clients.append(client);
    emit clientConnected();
}

void Echo_server::onReady(Websocket_client *client, std::string msg)
{
    if (echo)
        client->send(msg);
    emit messageReceived(QString::fromStdString(msg));
}

void Echo_server::onDisconnected(Websocket_client *client)
{
    clients.removeAll(client);
    client->close();
    emit clientDisconnected();
}
