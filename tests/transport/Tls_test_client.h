#pragma once

#include "Websocket_decoder.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

struct tls;

// A TLS WebSocket client for tests. Its socket never blocks: each call writes
// what it can and reads what has come until it is done, or about 5 s have passed.
class Tls_test_client
{
public:
    // Sees each received event once, in order; true ends the wait.
    using Until = std::function<bool(const Websocket_event &)>;

    Tls_test_client() = default;
    ~Tls_test_client();
    Tls_test_client(const Tls_test_client &) = delete;
    Tls_test_client &operator=(const Tls_test_client &) = delete;

    // TCP only; connect() goes on from there.
    bool connectTcp(std::uint16_t port);
    // Before connecting: a small socket receive buffer, so that the server's
    // writes fill it soon when the client does not read.
    void setReceiveBuffer(int bytes) { m_receiveBuffer = bytes; }
    // The TLS handshake and, unless told otherwise, the upgrade to a 101 response.
    bool connect(std::uint16_t port, bool upgrade = true);
    // Writes the bytes while it reads, as a client that pipelines does. True
    // once they are written and, with until, until() said so; false when the
    // connection broke or the time was up first. Events until() did not see
    // are kept for the next call.
    bool exchange(const std::string &bytes, const Until &until = {},
                  std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // The next `count` text messages, fewer if the server goes quiet.
    std::vector<std::string> texts(std::size_t count);

private:
    void take(const char *data, std::size_t size);

    int m_fd = -1;
    int m_receiveBuffer = 0;
    struct tls *m_tls = nullptr;
    // The upgrade response while it comes in; frames follow it.
    bool m_inHead = false;
    std::string m_head;
    Websocket_decoder m_decoder{Websocket_decoder::Sender::Server};
    std::deque<Websocket_event> m_events;
};

// A frame as a client sends it: masked (RFC 6455 section 5.3) unless told otherwise.
std::string clientFrame(std::uint8_t opcode, const std::string &payload, bool fin = true, bool masked = true);

// Runs work on a thread of its own while the calling thread runs its event
// loop, serving the servers it owns. False when the work took longer than
// the time-out; the call still waits for it.
bool runBeside(const std::function<void()> &work, std::chrono::milliseconds timeout);
