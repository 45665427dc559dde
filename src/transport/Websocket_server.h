#pragma once

#include "Libressl_server.h"

// The server of WebSocket connections; a concrete server creates its
// Websocket_client objects in createSocket.
class Websocket_server : public Libressl_server
{
    Q_OBJECT

public:
    explicit Websocket_server(QObject *parent = nullptr);
};
