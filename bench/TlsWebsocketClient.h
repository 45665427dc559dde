#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

struct tls;
struct tls_config;

namespace bench {

// When the bytes holding a frame arrived, both on the monotonic clock.
struct Arrival
{
    std::int64_t readNs = 0;   // just after they came out of the TLS layer
    std::int64_t socketNs = 0; // the kernel's receive stamp of the last of them; 0 when there is none
};

// Called for every complete text frame.
using TextHandler = std::function<void(std::string_view text, const Arrival &arrival)>;

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
    Read readChunk(Arrival &arrival);
    bool waitFor(short events, std::int64_t deadlineNs) const;
    void decodeFrames(const Arrival &arrival, const TextHandler &onText);
    // libtls's socket callbacks: reading takes the kernel's receive stamp
    // along (SO_TIMESTAMPNS).
    static ssize_t receive(tls *context, void *buffer, size_t size, void *self);
    static ssize_t transmit(tls *context, const void *buffer, size_t size, void *self);

    tls_config *m_config;
    tls *m_tls = nullptr;
    int m_fd = -1;
    bool m_ended = false;
    std::vector<char> m_chunk;
    std::string m_input;         // undecoded bytes
    std::int64_t m_socketNs = 0; // receive stamp of the latest bytes read from the socket
};

} // namespace bench
