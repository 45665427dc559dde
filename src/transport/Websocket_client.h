#pragma once

#include "Libressl_socket.h"
#include "Websocket_decoder.h"
#include "Websocket_handshake.h"

#include <QMetaType>

#include <chrono>
#include <string>

Q_DECLARE_METATYPE(std::string)

// A WebSocket connection (RFC 6455) with the subprotocol "relay-protocol" on
// one accepted TLS connection. The upgrade request may come in any number of
// pieces within the upgrade time-out; after it, each text message is reported
// on its own. Pings are answered, close frames echoed, and a message over
// 1 MiB closes the connection with status 1009.
//
// The signals are emitted on the connection's thread.
class Websocket_client : public Libressl_socket
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds kDefaultUpgradeTimeout{10000};

    Websocket_client(Libressl_server *owner, struct tls *ctx, int fd, QObject *parent = nullptr);

    // Encodes one text frame and queues it; any thread, never blocks.
    bool send(const std::string &text);
    // The signals cross threads with their arguments copied, so their types
    // are registered: by Websocket_server's constructor, on the owner's thread,
    // as Qt's type registry is best not written from connection threads.
    static void registerMetaTypes();

    // Before start(): how long the upgrade may take after the TLS handshake.
    void setUpgradeTimeout(std::chrono::milliseconds timeout) { m_upgradeTimeout = timeout; }

signals:
    // One complete message; never two joined, never a control frame.
    void websocket_ready(Websocket_client *client, std::string msg);
    // Once, after the 101 response was queued.
    void websocket_connected(Websocket_client *client);
    // When the connection's loop ends, whether it upgraded or not.
    void websocket_disconnected(Websocket_client *client);

protected:
    void onConnected() override;
    void onReadyRead(const char *data, std::size_t size) override;
    void onDisconnected() override;
    void onClosing() override;

private:
    void handle(const std::vector<Websocket_event> &events);
    void closeWith(std::uint16_t code);

    std::chrono::milliseconds m_upgradeTimeout = kDefaultUpgradeTimeout;
    // Connection thread only.
    Websocket_handshake m_handshake;
    Websocket_decoder m_decoder;
    bool m_upgraded = false;
    bool m_closeSent = false;
};
