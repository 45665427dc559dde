#include "Websocket_server.h"

#include "Websocket_client.h"

Websocket_server::Websocket_server(QObject *parent)
    : Libressl_server(parent)
{
    Websocket_client::registerMetaTypes();
}
