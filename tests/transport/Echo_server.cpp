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

void Echo_server::clientConnected(Websocket_client *client)
{
    clients.append(client);
    emit connected();
}

void Echo_server::messageReceived(Websocket_client *client, const std::string &message)
{
    client->send(message);
    emit received(QString::fromStdString(message));
}

void Echo_server::clientDisconnected(Websocket_client *client)
{
    clients.removeAll(client);
    emit disconnected();
}
