#pragma once

#include "Libressl_socket.h"
#include "Token_bucket.h"
#include "Websocket_connection.h"

#include <QMetaType>

#include <chrono>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

// A WebSocket connection (RFC 6455) with the subprotocol "relay-protocol" on
// one accepted TLS connection (the bytes are handled by Websocket_connection).
// The upgrade request may come in any number of pieces within the upgrade
// time-out. A request for a page, which asks for no upgrade, waits for the
// owner's answer under the same bounds; the answer ends the connection.
//
// Received messages wait in the connection's inbox until the owner takes
// them. The connection stops reading its socket while the inbox holds
// kMaxPendingMessages or kMaxPendingBytes, and while the client has sent more
// messages than its rate allows: a client that sends faster than it is served
// is slowed down, never dropped, and its messages keep their order.
//
// The signals are emitted on the connection's thread; how the inbox crosses
// to the owner's is on the Threads page of docs/ARCHITECTURE.md.
class Websocket_client : public Libressl_socket
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds kDefaultUpgradeTimeout{10000};
    static constexpr std::size_t kMaxPendingMessages = 256;
    static constexpr std::size_t kMaxPendingBytes = 1024 * 1024;
    // Messages a second, and at once: far above what any application sends.
    static constexpr double kDefaultMessageRate = 3000;
    static constexpr double kDefaultMessageBurst = 300;

    Websocket_client(Libressl_server *owner, int fd, QObject *parent = nullptr);

    // Encodes one text frame and queues it; any thread, never blocks.
    bool send(const std::string &text);
    // The owner's thread: moves up to `most` waiting messages, oldest first,
    // to the end of out. False when none is left waiting.
    bool takeMessages(std::vector<std::string> &out, std::size_t most);
    // The owner's thread: the page request announced by http_request, once.
    bool takeRequest(Http_request &out);
    // The owner's thread: sends the response to the page request and
    // releases the connection, as close() does.
    void answer(const std::string &response);

    // The signals cross threads with their arguments copied, so their types
    // are registered: by Websocket_server's constructor, on the owner's thread,
    // as Qt's type registry is best not written from connection threads.
    static void registerMetaTypes();

    // Before start(): how long the upgrade may take after the TLS handshake.
    void setUpgradeTimeout(std::chrono::milliseconds timeout) { m_upgradeTimeout = timeout; }
    // Before start(): the web pages that may connect.
    void setOriginPolicy(std::shared_ptr<const Origin_policy> policy)
    {
        m_connection.setOriginPolicy(std::move(policy));
    }
    // Before start(): the bound on the rate of messages.
    void setMessageRate(double perSecond, double burst) { m_rate = Token_bucket(perSecond, burst); }

signals:
    // The inbox was empty and is not any more. It is not emitted again until
    // takeMessages() has emptied it.
    void websocket_ready(Websocket_client *client);
    // Once, after the 101 response was queued.
    void websocket_connected(Websocket_client *client);
    // Instead of websocket_connected: a request for a page came, to be taken
    // with takeRequest() and answered with answer().
    void http_request(Websocket_client *client);
    // When the connection's loop ends, whether it upgraded or not; messages
    // may still wait in the inbox.
    void websocket_disconnected(Websocket_client *client);

protected:
    void onConnected() override;
    void onReadyRead(const char *data, std::size_t size) override;
    void onDisconnected() override;
    void onClosing() override;
    std::chrono::nanoseconds readDelay() override;

private:
    void deliver(std::vector<std::string> &messages);

    std::chrono::milliseconds m_upgradeTimeout = kDefaultUpgradeTimeout;
    // Connection thread only.
    Websocket_connection m_connection;
    Websocket_connection::Output m_output;
    Token_bucket m_rate{kDefaultMessageRate, kDefaultMessageBurst};

    // Guarded by m_inboxMutex.
    std::mutex m_inboxMutex;
    std::deque<std::string> m_inbox;
    std::size_t m_inboxBytes = 0;
    bool m_readingStopped = false;
    bool m_requested = false;
    Http_request m_request;
};
