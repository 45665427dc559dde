#pragma once

#include "Websocket_decoder.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct tls;

// A blocking TLS WebSocket client for tests, with a time-out on every read.
class Tls_test_client
{
public:
    Tls_test_client() = default;
    ~Tls_test_client();
    Tls_test_client(const Tls_test_client &) = delete;
    Tls_test_client &operator=(const Tls_test_client &) = delete;

    // TCP connect only; the TLS handshake follows in handshake().
    bool connectTcp(std::uint16_t port);
    bool handshake();
    bool connect(std::uint16_t port) { return connectTcp(port) && handshake(); }
    // Sends the upgrade request and reads the 101 response.
    bool upgrade();
    // One tls_write: one TLS record for up to 16 KiB.
    bool sendRaw(const std::string &bytes);
    bool sendText(const std::string &text);
    // Bytes on the bare TCP connection, for a peer that does not speak TLS.
    bool sendPlain(const std::string &bytes);
    // The next events from the server, waiting about 5 s at most.
    std::vector<Websocket_event> receive();
    // Sends the bytes while it reads, as a client that pipelines does, until
    // done() says so for a received event. False when the time is up first
    // or the connection broke.
    bool exchange(const std::string &bytes, const std::function<bool(const Websocket_event &)> &done,
                  std::chrono::milliseconds timeout);
    void closeSocket();

    static std::string maskedFrame(std::uint8_t opcode, const std::string &payload);

private:
    int m_fd = -1;
    struct tls *m_tls = nullptr;
    Websocket_decoder m_decoder{Websocket_decoder::Sender::Server};
};

// Runs work on a thread of its own while the calling thread runs its event
// loop, serving the servers it owns. False when the work took longer than
// the time-out; the call still waits for it.
bool runBeside(const std::function<void()> &work, std::chrono::milliseconds timeout);
