#include "Tls_test_client.h"

#include "Websocket_frame.h"

#include <QEventLoop>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <thread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <tls.h>
#include <unistd.h>

namespace {

// libtls answers "want" on a blocking socket too, after a TLS 1.3 ticket or
// when the receive time-out passes: the call is made again, for a while.
template <typename Call>
ssize_t retried(Call call)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    ssize_t result;
    do {
        result = call();
    } while ((result == TLS_WANT_POLLIN || result == TLS_WANT_POLLOUT) && std::chrono::steady_clock::now() < deadline);
    return result;
}

} // namespace

Tls_test_client::~Tls_test_client()
{
    closeSocket();
}

bool Tls_test_client::connectTcp(std::uint16_t port)
{
    m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    const timeval timeout{5, 0};
    setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    return ::connect(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
}

bool Tls_test_client::handshake()
{
    tls_config *config = tls_config_new();
    tls_config_insecure_noverifycert(config);
    tls_config_insecure_noverifyname(config);
    m_tls = tls_client();
    const bool ok = tls_configure(m_tls, config) == 0 && tls_connect_socket(m_tls, m_fd, "localhost") == 0
        && retried([this] { return tls_handshake(m_tls); }) == 0;
    tls_config_free(config);
    return ok;
}

bool Tls_test_client::upgrade()
{
    if (!sendRaw("GET /relay HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                 "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Protocol: relay-protocol\r\n"
                 "Sec-WebSocket-Version: 13\r\n\r\n")) {
        return false;
    }
    std::string response;
    char byte = 0;
    // Byte by byte, so no frame behind the response is swallowed.
    while (response.find("\r\n\r\n") == std::string::npos && retried([&] { return tls_read(m_tls, &byte, 1); }) == 1)
        response += byte;
    return response.rfind("HTTP/1.1 101 ", 0) == 0;
}

bool Tls_test_client::sendRaw(const std::string &bytes)
{
    return m_tls != nullptr
        && retried([&] { return tls_write(m_tls, bytes.data(), bytes.size()); }) == static_cast<ssize_t>(bytes.size());
}

bool Tls_test_client::sendPlain(const std::string &bytes)
{
    return ::write(m_fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

bool Tls_test_client::sendText(const std::string &text)
{
    return sendRaw(maskedFrame(Websocket_frame::Text, text));
}

std::vector<Websocket_event> Tls_test_client::receive()
{
    char buffer[16384];
    std::vector<Websocket_event> events;
    while (events.empty()) {
        const ssize_t received = retried([&] { return tls_read(m_tls, buffer, sizeof buffer); });
        if (received <= 0)
            break;
        events = m_decoder.decode(buffer, static_cast<std::size_t>(received));
    }
    return events;
}

bool Tls_test_client::exchange(const std::string &bytes, const std::function<bool(const Websocket_event &)> &done,
                               std::chrono::milliseconds timeout)
{
    const int flags = fcntl(m_fd, F_GETFL);
    fcntl(m_fd, F_SETFL, flags | O_NONBLOCK);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::size_t sent = 0;
    char buffer[16384];
    bool finished = false;
    bool broken = false;
    while (!finished && !broken && std::chrono::steady_clock::now() < deadline) {
        short events = POLLIN;
        if (sent < bytes.size()) {
            // After a "want", libtls is given the same bytes again.
            const ssize_t written =
                tls_write(m_tls, bytes.data() + sent, std::min<std::size_t>(16384, bytes.size() - sent));
            if (written > 0)
                sent += static_cast<std::size_t>(written);
            else if (written == TLS_WANT_POLLOUT)
                events |= POLLOUT;
            else if (written != TLS_WANT_POLLIN)
                broken = true;
        }
        for (;;) {
            const ssize_t received = tls_read(m_tls, buffer, sizeof buffer);
            if (received == TLS_WANT_POLLIN || received == TLS_WANT_POLLOUT)
                break;
            if (received <= 0) {
                broken = true;
                break;
            }
            for (const Websocket_event &event : m_decoder.decode(buffer, static_cast<std::size_t>(received)))
                finished = finished || done(event);
        }
        if (!finished && !broken && (sent == bytes.size() || (events & POLLOUT) != 0)) {
            pollfd fd{m_fd, events, 0};
            ::poll(&fd, 1, 100);
        }
    }
    fcntl(m_fd, F_SETFL, flags);
    return finished;
}

void Tls_test_client::closeSocket()
{
    if (m_tls != nullptr)
        tls_free(m_tls);
    if (m_fd >= 0)
        ::close(m_fd);
    m_tls = nullptr;
    m_fd = -1;
}

std::string Tls_test_client::maskedFrame(std::uint8_t opcode, const std::string &payload)
{
    Websocket_frame frame;
    frame.opcode = opcode;
    frame.masked = true;
    frame.maskKey = {1, 2, 3, 4};
    frame.payload = payload;
    return frame.encode();
}

bool runBeside(const std::function<void()> &work, std::chrono::milliseconds timeout)
{
    QEventLoop loop;
    std::atomic<bool> done{false};
    std::thread thread([&] {
        work();
        done = true;
        QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
    });
    QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
    // A plain event loop: QTest::qWaitFor rests 10 ms between its passes,
    // which would bound the rate at which the servers carry out messages.
    loop.exec();
    const bool finished = done.load();
    while (!done.load())
        loop.processEvents(QEventLoop::WaitForMoreEvents, 100);
    thread.join();
    return finished;
}
