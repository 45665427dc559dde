#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

struct tls;
struct tls_config;

namespace bench {

// Called for every complete text frame, with the time the bytes holding it
// came out of the TLS layer.
using TextHandler = std::function<void(std::string_view text, std::int64_t arrivalNs)>;

// One WebSocket client over TLS on 127.0.0.1, written to cost the server's
// rival as little CPU as possible: one non-blocking socket, libtls, and a
// frame reader that only understands what a server sends (unmasked, whole
// frames). Setup steps block up to a deadline; reading never blocks.
class TlsWebsocketClient
{
public:
    explicit TlsWebsocketClient(tls_config *config);
    ~TlsWebsocketClient();
    TlsWebsocketClient(const TlsWebsocketClient &) = delete;
    TlsWebsocketClient &operator=(const TlsWebsocketClient &) = delete;

    // TCP only: false at once when nothing listens on the port yet.
    bool connectTcp(std::uint16_t port);
    // TLS handshake, upgrade with the subprotocol "relay-protocol", and the
    // server's first frame, which must be "o".
    bool upgrade(std::uint16_t port, std::int64_t deadlineNs, std::string &error);
    bool sendText(std::string_view text, std::int64_t deadlineNs);
    // Reads what has arrived; false once the connection has ended or failed.
    bool readAvailable(const TextHandler &onText);
    void close();

    int fd() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0 && !m_ended; }
    // "TLSv1.3 TLS_AES_256_GCM_SHA384", for the report.
    std::string tlsDescription() const;

private:
    enum class Read {
        Data,
        Blocked,
        Ended
    };

    bool handshake(std::int64_t deadlineNs, std::string &error);
    bool writeAll(std::string_view bytes, std::int64_t deadlineNs);
    Read readChunk(std::int64_t &arrivalNs);
    bool waitFor(short events, std::int64_t deadlineNs) const;
    void decodeFrames(std::int64_t arrivalNs, const TextHandler &onText);

    tls_config *m_config;
    tls *m_tls = nullptr;
    int m_fd = -1;
    bool m_ended = false;
    std::vector<char> m_chunk;
    std::string m_input; // undecoded bytes
};

} // namespace bench
