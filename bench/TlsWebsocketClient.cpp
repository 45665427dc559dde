#include "TlsWebsocketClient.h"

#include "Clock.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <tls.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

namespace bench {

namespace {

constexpr std::size_t kChunkSize = 64 * 1024;
// RFC 6455 section 5.2.
constexpr int kOpText = 0x1;
constexpr int kOpClose = 0x8;

int pollTimeoutMs(std::int64_t deadlineNs)
{
    const std::int64_t left = deadlineNs - nowNs();
    return left <= 0 ? 0 : static_cast<int>((left + kNsPerMs - 1) / kNsPerMs);
}

std::int64_t clockNs(clockid_t clock)
{
    timespec now{};
    ::clock_gettime(clock, &now);
    return std::int64_t(now.tv_sec) * kNsPerSecond + now.tv_nsec;
}

} // namespace

TlsWebsocketClient::TlsWebsocketClient(tls_config *config)
    : m_config(config)
    , m_chunk(kChunkSize)
{}

TlsWebsocketClient::~TlsWebsocketClient()
{
    close();
}

bool TlsWebsocketClient::connectTcp(std::uint16_t port)
{
    close();
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0)
        return false;
    // Bounds a blocking connect on Linux; on loopback it answers at once.
    const timeval timeout{2, 0};
    setsockopt(m_fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(m_fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        ::close(m_fd);
        m_fd = -1;
        return false;
    }
    const int on = 1;
    setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    setsockopt(m_fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
    fcntl(m_fd, F_SETFL, fcntl(m_fd, F_GETFL) | O_NONBLOCK);
    return true;
}

bool TlsWebsocketClient::upgrade(std::uint16_t port, std::int64_t deadlineNs, std::string &error)
{
    if (m_fd < 0) {
        error = "not connected";
        return false;
    }
    if (!handshake(deadlineNs, error))
        return false;

    const std::string request = "GET / HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port)
        + "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
          "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
          "Sec-WebSocket-Version: 13\r\n"
          "Sec-WebSocket-Protocol: relay-protocol\r\n\r\n";
    if (!writeAll(request, deadlineNs)) {
        error = "upgrade request not sent";
        return false;
    }
    // The response head, then the first frame, which may come in the same read.
    std::string first;
    bool headDone = false;
    while (first.empty()) {
        Arrival arrival;
        const Read result = readChunk(arrival);
        if (result == Read::Ended) {
            error = "connection ended during the upgrade";
            return false;
        }
        if (result == Read::Blocked) {
            if (!waitFor(POLLIN, deadlineNs)) {
                error = headDone ? "no first frame" : "no upgrade response";
                return false;
            }
            continue;
        }
        if (!headDone) {
            const std::size_t end = m_input.find("\r\n\r\n");
            if (end == std::string::npos)
                continue;
            if (m_input.compare(0, 12, "HTTP/1.1 101") != 0) {
                error = "upgrade refused: " + m_input.substr(0, m_input.find('\r'));
                return false;
            }
            m_input.erase(0, end + 4);
            headDone = true;
        }
        decodeFrames(arrival, [&first](std::string_view text, const Arrival &) {
            if (first.empty())
                first = std::string(text);
        });
    }
    if (first != "o") {
        error = "first frame was \"" + first + "\", not \"o\"";
        return false;
    }
    return true;
}

bool TlsWebsocketClient::handshake(std::int64_t deadlineNs, std::string &error)
{
    m_tls = tls_client();
    if (m_tls == nullptr || tls_configure(m_tls, m_config) != 0
        || tls_connect_cbs(m_tls, receive, transmit, this, "127.0.0.1") != 0) {
        error = std::string("tls set-up: ") + (m_tls ? tls_error(m_tls) : "tls_client failed");
        return false;
    }
    for (;;) {
        const int result = tls_handshake(m_tls);
        if (result == 0)
            return true;
        if ((result != TLS_WANT_POLLIN && result != TLS_WANT_POLLOUT)
            || !waitFor(result == TLS_WANT_POLLIN ? POLLIN : POLLOUT, deadlineNs)) {
            const char *text = tls_error(m_tls);
            error = std::string("tls handshake: ") + (text ? text : "timed out");
            return false;
        }
    }
}

bool TlsWebsocketClient::sendText(std::string_view text, std::int64_t deadlineNs)
{
    // Client frames are masked (RFC 6455 section 5.3); the key need not be
    // unpredictable for a benchmark on the loopback.
    static constexpr unsigned char kMask[4] = {0x37, 0xfa, 0x21, 0x3d};
    std::string frame;
    frame += static_cast<char>(0x80 | kOpText);
    if (text.size() <= 125) {
        frame += static_cast<char>(0x80 | text.size());
    } else {
        frame += static_cast<char>(0x80 | 126);
        frame += static_cast<char>((text.size() >> 8) & 0xFF);
        frame += static_cast<char>(text.size() & 0xFF);
    }
    frame.append(reinterpret_cast<const char *>(kMask), 4);
    for (std::size_t i = 0; i < text.size(); ++i)
        frame += static_cast<char>(text[i] ^ kMask[i % 4]);
    return writeAll(frame, deadlineNs);
}

bool TlsWebsocketClient::writeAll(std::string_view bytes, std::int64_t deadlineNs)
{
    while (!bytes.empty()) {
        const ssize_t written = tls_write(m_tls, bytes.data(), bytes.size());
        if (written > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(written));
            continue;
        }
        if ((written != TLS_WANT_POLLIN && written != TLS_WANT_POLLOUT)
            || !waitFor(written == TLS_WANT_POLLIN ? POLLIN : POLLOUT, deadlineNs)) {
            return false;
        }
    }
    return true;
}

ssize_t TlsWebsocketClient::receive(tls *, void *buffer, size_t size, void *self)
{
    auto *client = static_cast<TlsWebsocketClient *>(self);
    iovec data{buffer, size};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
    msghdr message{};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t received = ::recvmsg(client->m_fd, &message, 0);
    if (received < 0)
        return errno == EAGAIN || errno == EWOULDBLOCK ? TLS_WANT_POLLIN : -1;
    for (cmsghdr *c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
            timespec stamp{};
            std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
            // The stamp is on the wall clock; moved onto the monotonic one at
            // once, so that a clock adjustment can only shift it by what it
            // moves within microseconds.
            const std::int64_t wallNs = std::int64_t(stamp.tv_sec) * kNsPerSecond + stamp.tv_nsec;
            client->m_socketNs = clockNs(CLOCK_MONOTONIC) - (clockNs(CLOCK_REALTIME) - wallNs);
        }
    }
    return received;
}

ssize_t TlsWebsocketClient::transmit(tls *, const void *buffer, size_t size, void *self)
{
    const ssize_t sent = ::send(static_cast<TlsWebsocketClient *>(self)->m_fd, buffer, size, MSG_NOSIGNAL);
    if (sent < 0)
        return errno == EAGAIN || errno == EWOULDBLOCK ? TLS_WANT_POLLOUT : -1;
    return sent;
}

TlsWebsocketClient::Read TlsWebsocketClient::readChunk(Arrival &arrival)
{
    const ssize_t received = tls_read(m_tls, m_chunk.data(), m_chunk.size());
    arrival.readNs = nowNs();
    arrival.socketNs = m_socketNs;
    if (received > 0) {
        m_input.append(m_chunk.data(), static_cast<std::size_t>(received));
        return Read::Data;
    }
    if (received == TLS_WANT_POLLIN || received == TLS_WANT_POLLOUT)
        return Read::Blocked;
    m_ended = true;
    return Read::Ended;
}

bool TlsWebsocketClient::readAvailable(const TextHandler &onText)
{
    if (m_tls == nullptr || m_ended)
        return false;
    for (;;) {
        Arrival arrival;
        switch (readChunk(arrival)) {
        case Read::Data: decodeFrames(arrival, onText); continue;
        case Read::Blocked: return !m_ended;
        case Read::Ended: return false;
        }
    }
}

void TlsWebsocketClient::decodeFrames(const Arrival &arrival, const TextHandler &onText)
{
    std::size_t pos = 0;
    const auto byte = [this](std::size_t at) { return static_cast<unsigned char>(m_input[at]); };
    while (m_input.size() - pos >= 2) {
        const int opcode = byte(pos) & 0x0F;
        const bool masked = (byte(pos + 1) & 0x80) != 0;
        std::uint64_t length = byte(pos + 1) & 0x7F;
        std::size_t header = 2;
        if (length == 126 || length == 127) {
            const std::size_t extra = length == 126 ? 2 : 8;
            if (m_input.size() - pos < header + extra)
                break;
            length = 0;
            for (std::size_t i = 0; i < extra; ++i)
                length = length << 8 | byte(pos + header + i);
            header += extra;
        }
        if (masked)
            header += 4;
        if (m_input.size() - pos < header + length)
            break;
        const std::string_view payload(m_input.data() + pos + header, static_cast<std::size_t>(length));
        if (opcode == kOpText)
            onText(payload, arrival);
        else if (opcode == kOpClose)
            m_ended = true;
        pos += header + static_cast<std::size_t>(length);
    }
    m_input.erase(0, pos);
}

bool TlsWebsocketClient::waitFor(short events, std::int64_t deadlineNs) const
{
    pollfd fd{m_fd, events, 0};
    for (;;) {
        const int ready = ::poll(&fd, 1, pollTimeoutMs(deadlineNs));
        if (ready < 0 && errno == EINTR)
            continue;
        return ready > 0 && (fd.revents & (events | POLLHUP | POLLERR)) != 0;
    }
}

std::string TlsWebsocketClient::tlsDescription() const
{
    if (m_tls == nullptr)
        return {};
    const char *version = tls_conn_version(m_tls);
    const char *cipher = tls_conn_cipher(m_tls);
    return std::string(version ? version : "?") + ' ' + (cipher ? cipher : "?");
}

void TlsWebsocketClient::close()
{
    if (m_tls != nullptr) {
        // One attempt at a close_notify; the socket is non-blocking and the
        // benchmark does not wait for the server's.
        tls_close(m_tls);
        tls_free(m_tls);
        m_tls = nullptr;
    }
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    m_ended = false;
    m_input.clear();
    m_socketNs = 0;
}

} // namespace bench
