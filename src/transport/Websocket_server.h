#pragma once

#include "Http_site.h"
#include "Libressl_server.h"
#include "Origin_policy.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

class Websocket_client;

// The server of WebSocket connections. It creates a Websocket_client for
// every accepted connection and tells the derived server, on its own thread,
// when a client has upgraded, each message a client sent, and when a client
// has gone.
//
// Messages are carried out in turns: each turn of the event loop gives every
// client that has messages waiting up to kBatch of them, round robin, so one
// client's backlog does not hold up other clients or anything else the
// thread does.
//
// A connection whose request asks for no upgrade is answered from site(), on
// the server's thread, and ends there.
class Websocket_server : public Libressl_server
{
    Q_OBJECT

public:
    static constexpr std::size_t kBatch = 32;

    explicit Websocket_server(QObject *parent = nullptr);

    // For the connections accepted from then on.
    void setUpgradeTimeout(std::chrono::milliseconds timeout) { m_upgradeTimeout.store(timeout.count()); }
    void setMessageRate(double perSecond, double burst);
    // The pages served beside the upgrade; set up on the server's thread.
    Http_site &site() { return m_site; }
    // Which web pages may connect (Origin_policy); by default those of the
    // loopback hosts.
    void setOriginPolicy(Origin_policy policy);

protected:
    // All on the server's thread.
    virtual void clientConnected(Websocket_client *client) = 0;
    virtual void messageReceived(Websocket_client *client, const std::string &message) = 0;
    // After the last of its messages; the client is released right after.
    virtual void clientDisconnected(Websocket_client *client) = 0;

    Libressl_socket *createSocket(int fd) override;
    void onShutdown() override;

private slots:
    void on_websocket_ready(Websocket_client *client);
    void on_websocket_connected(Websocket_client *client);
    void on_websocket_disconnected(Websocket_client *client);
    void on_http_request(Websocket_client *client);
    void carryOutTurn();

private:
    void scheduleTurn();

    std::atomic<std::chrono::milliseconds::rep> m_upgradeTimeout;
    std::atomic<double> m_messageRate;
    std::atomic<double> m_messageBurst;
    // Read on the accept thread; each connection shares the one it was made with.
    std::mutex m_originMutex;
    std::shared_ptr<const Origin_policy> m_origins;
    // Clients with messages waiting, in the order of their turns.
    std::deque<Websocket_client *> m_waiting;
    bool m_turnScheduled = false;
    Http_site m_site;
};
