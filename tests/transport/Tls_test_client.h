#pragma once

#include "Websocket_decoder.h"

#include <cstdint>
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
    void closeSocket();

    static std::string maskedFrame(std::uint8_t opcode, const std::string &payload);

private:
    int m_fd = -1;
    struct tls *m_tls = nullptr;
    Websocket_decoder m_decoder;
};
